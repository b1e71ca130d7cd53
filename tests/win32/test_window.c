/* For Windows: a second Win32 program for the tests. Modes:
 *   test_window window <class> <title> <record file> [stubborn|once|linger|hang]
 *     a top-level window that appends "message wparam lparam" (hex) to the
 *     record file for every WM_USER-range or WM_CLOSE message; a stubborn one
 *     does not close on WM_CLOSE, a "once" one refuses the first WM_CLOSE
 *     only; a lingering one's process lives on for 3 s after its window,
 *     holding its own exe open without FILE_SHARE_DELETE or FILE_SHARE_WRITE;
 *     a hanging one stops answering for 12 s on message 0x403.
 *   test_window startupinfo <record file>
 *     writes the STARTUPINFO flags and show state it was started with.
 *   test_window marker <milliseconds> <file> <text>...
 *     waits, then writes the texts, blank-separated, and a line feed to the
 *     file.
 *   test_window hold <file> <milliseconds>
 *     has a copy of itself open the file without FILE_SHARE_DELETE or
 *     FILE_SHARE_WRITE and keep it open that long, and returns once the file
 *     is held (3 when it could not be).
 *   test_window whereami <record file> [arguments...]
 *     writes its current directory and the arguments after the file, one a
 *     line.
 *   test_window <anything else>
 *     writes its command line to its own path with ".ran" appended: a copy
 *     planted where no program should be found shows that it was started. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static const char* g_record;
static int g_refusals; /* WM_CLOSE messages still to refuse; -1: all */
static int g_linger;
static int g_hang;

static void Record(UINT message, WPARAM w, LPARAM l) {
  FILE* f = fopen(g_record, "ab");
  if (!f) return;
  fprintf(f, "%x %llx %llx\n", message, (unsigned long long)w, (unsigned long long)l);
  fclose(f);
}

static LRESULT CALLBACK WindowProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  if (message >= WM_USER && message < 0x8000) {
    Record(message, w, l);
    if (g_hang && message == 0x403) Sleep(12000);
    return 0;
  }
  if (message == WM_CLOSE) {
    Record(message, w, l);
    if (g_refusals == 0) {
      DestroyWindow(h);
    } else if (g_refusals > 0) {
      --g_refusals;
    }
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(h, message, w, l);
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "startupinfo") == 0) {
    STARTUPINFOA si;
    GetStartupInfoA(&si);
    FILE* f = fopen(argv[2], "wb");
    if (!f) return 1;
    fprintf(f, "%lx %u\n", (unsigned long)si.dwFlags, (unsigned)si.wShowWindow);
    fclose(f);
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "hold") == 0) {
    char ready[MAX_PATH + 8];
    snprintf(ready, sizeof ready, "%s.held", argv[2]);
    DeleteFileA(ready);
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 3;
    char line[3 * MAX_PATH];
    snprintf(line, sizeof line, "\"%s\" holding \"%s\" %s", self, argv[2], argv[3]);
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return 3;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 200; ++i) {
      if (GetFileAttributesA(ready) != INVALID_FILE_ATTRIBUTES) return 0;
      Sleep(50);
    }
    return 3;
  }
  if (argc == 4 && strcmp(argv[1], "holding") == 0) {
    HANDLE h = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return 1;
    char ready[MAX_PATH + 8];
    snprintf(ready, sizeof ready, "%s.held", argv[2]);
    FILE* f = fopen(ready, "wb");
    if (f) fclose(f);
    Sleep((DWORD)atoi(argv[3]));
    CloseHandle(h);
    return 0;
  }
  if (argc >= 3 && strcmp(argv[1], "whereami") == 0) {
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);
    FILE* f = fopen(argv[2], "wb");
    if (!f) return 1;
    fprintf(f, "%s\n", cwd);
    for (int i = 3; i < argc; ++i) fprintf(f, "%s\n", argv[i]);
    fclose(f);
    return 0;
  }
  if (argc >= 5 && strcmp(argv[1], "marker") == 0) {
    Sleep((DWORD)atoi(argv[2]));
    FILE* f = fopen(argv[3], "wb");
    if (!f) return 1;
    for (int i = 4; i < argc; ++i) fprintf(f, i > 4 ? " %s" : "%s", argv[i]);
    fputc('\n', f);
    fclose(f);
    return 0;
  }
  if (argc < 5 || strcmp(argv[1], "window") != 0) {
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    strcat(path, ".ran");
    FILE* f = fopen(path, "wb");
    if (f) {
      fputs(GetCommandLineA(), f);
      fclose(f);
    }
    return 2;
  }
  g_record = argv[4];
  if (argc > 5 && strcmp(argv[5], "stubborn") == 0) g_refusals = -1;
  if (argc > 5 && strcmp(argv[5], "once") == 0) g_refusals = 1;
  if (argc > 5 && strcmp(argv[5], "linger") == 0) g_linger = 1;
  if (argc > 5 && strcmp(argv[5], "hang") == 0) g_hang = 1;
  HANDLE self = INVALID_HANDLE_VALUE;
  if (g_linger) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      self = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    }
  }
  WNDCLASSA wc;
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = argv[2];
  if (!RegisterClassA(&wc)) return 3;
  HWND h = CreateWindowA(argv[2], argv[3], WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL,
                         wc.hInstance, NULL);
  if (!h) return 4;
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (g_linger) {
    Sleep(3000);
    if (self != INVALID_HANDLE_VALUE) CloseHandle(self);
  }
  return 0;
}
