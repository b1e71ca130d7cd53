/* For Windows: a second Win32 program for the tests. Modes:
 *   test_window window <class> <title> <record file> [stubborn|once]
 *     a top-level window that appends "message wparam lparam" (hex) to the
 *     record file for every WM_USER-range or WM_CLOSE message; a stubborn one
 *     does not close on WM_CLOSE, a "once" one refuses the first WM_CLOSE
 *     only.
 *   test_window startupinfo <record file>
 *     writes the STARTUPINFO flags and show state it was started with.
 *   test_window marker <milliseconds> <file> <text>
 *     waits, then writes the text and a line feed to the file.
 *   test_window whereami <record file> [arguments...]
 *     writes its current directory and the arguments after the file, one a
 *     line. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static const char* g_record;
static int g_refusals; /* WM_CLOSE messages still to refuse; -1: all */

static void Record(UINT message, WPARAM w, LPARAM l) {
  FILE* f = fopen(g_record, "ab");
  if (!f) return;
  fprintf(f, "%x %llx %llx\n", message, (unsigned long long)w, (unsigned long long)l);
  fclose(f);
}

static LRESULT CALLBACK WindowProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  if (message >= WM_USER && message < 0x8000) {
    Record(message, w, l);
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
  if (argc == 5 && strcmp(argv[1], "marker") == 0) {
    Sleep((DWORD)atoi(argv[2]));
    FILE* f = fopen(argv[3], "wb");
    if (!f) return 1;
    fprintf(f, "%s\n", argv[4]);
    fclose(f);
    return 0;
  }
  if (argc < 5 || strcmp(argv[1], "window") != 0) return 2;
  g_record = argv[4];
  if (argc > 5 && strcmp(argv[5], "stubborn") == 0) g_refusals = -1;
  if (argc > 5 && strcmp(argv[5], "once") == 0) g_refusals = 1;
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
  return 0;
}
