/* For Windows: looks at the update dialog from another Win32 program.
 *   dialog_probe state <out file>   writes what the dialog shows, in the ANSI
 *                                   code page; exit 1 when there is no dialog
 *   dialog_probe close              clicks Close; exit 1 when there is no dialog
 *   dialog_probe about <out file>   chooses the window menu's About item, writes
 *                                   the About box's caption and closes it
 *   dialog_probe box <out file>     writes the caption and text of a message
 *                                   box of updater.exe and presses its OK
 *   dialog_probe find <class> <title>  exit 0 when that top-level window exists
 *   dialog_probe link <lnk> <out>   writes what the shell reads from a link
 *                                   file through IShellLinkA; exit 1 when it
 *                                   cannot be loaded
 *   dialog_probe layout <out file>  writes the DPI the dialog is laid out for
 *                                   and how many of its buttons and bars are
 *                                   themed */
#include <stdio.h>
#include <string.h>
/* <commctrl.h> and <shlobj.h> need <windows.h> first. */
#define COBJMACROS
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <uxtheme.h>
// clang-format on

static HWND Dialog(void) { return FindWindowA("#32770", "Velmar Updater"); }

static void Text(FILE* f, const char* name, HWND dlg, int id) {
  char text[512] = "";
  GetDlgItemTextA(dlg, id, text, sizeof text);
  fprintf(f, "%s=%s\n", name, text);
}

static void Bar(FILE* f, const char* name, HWND dlg, int id) {
  HWND bar = GetDlgItem(dlg, id);
  LRESULT pos = SendMessageA(bar, PBM_GETPOS, 0, 0);
  LRESULT range = SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
  fprintf(f, "%s=%ld/%ld\n", name, (long)pos, (long)range);
}

static void Enabled(FILE* f, const char* name, HWND dlg, int id) {
  HWND item = GetDlgItem(dlg, id);
  fprintf(f, "%s=%d\n", name, item && IsWindowEnabled(item) ? 1 : 0);
}

static int Link(const char* path, const char* out) {
  WCHAR wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH)) return 1;
  CoInitialize(NULL);
  IShellLinkA* link = NULL;
  IPersistFile* file = NULL;
  int rc = 1;
  if (SUCCEEDED(CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkA,
                                 (void**)&link)) &&
      SUCCEEDED(IShellLinkA_QueryInterface(link, &IID_IPersistFile, (void**)&file)) &&
      SUCCEEDED(IPersistFile_Load(file, wide, STGM_READ))) {
    char target[MAX_PATH] = "", args[1024] = "", desc[1024] = "", icon[MAX_PATH] = "";
    int index = 0;
    IShellLinkA_GetPath(link, target, sizeof target, NULL, SLGP_RAWPATH);
    IShellLinkA_GetArguments(link, args, sizeof args);
    IShellLinkA_GetDescription(link, desc, sizeof desc);
    IShellLinkA_GetIconLocation(link, icon, sizeof icon, &index);
    FILE* f = fopen(out, "wb");
    if (f) {
      fprintf(f, "target=%s\nargs=%s\ndesc=%s\nicon=%s\nindex=%d\n", target, args, desc, icon,
              index);
      fclose(f);
      rc = 0;
    }
  }
  if (file) IPersistFile_Release(file);
  if (link) IShellLinkA_Release(link);
  CoUninitialize();
  return rc;
}

/* 1 when every text control shows "&" as it is (SS_NOPREFIX). */
static void NoPrefix(FILE* f, HWND dlg) {
  static const int ids[] = {1000, 1004, 1005};
  int all = 1;
  for (size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
    LONG style = GetWindowLongA(GetDlgItem(dlg, ids[i]), GWL_STYLE);
    if ((style & SS_NOPREFIX) == 0) all = 0;
  }
  fprintf(f, "noprefix=%d\n", all);
}

/* 1 when the dialog's middle is the work area's, within a pixel. */
static void Centred(FILE* f, HWND dlg) {
  RECT window, work;
  GetWindowRect(dlg, &window);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  long dx = (window.left + window.right) - (work.left + work.right);
  long dy = (window.top + window.bottom) - (work.top + work.bottom);
  fprintf(f, "centred=%d\n", dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2);
}

/* The DPI the dialog is laid out for, and how many of its buttons and bars
 * are themed (buttons only with Common Controls 6). */
static BOOL CALLBACK CountThemed(HWND control, LPARAM counts) {
  char cls[32] = "";
  GetClassNameA(control, cls, sizeof cls);
  if (lstrcmpiA(cls, "Button") == 0 || lstrcmpiA(cls, "msctls_progress32") == 0) {
    ((int*)counts)[1]++;
    if (GetWindowTheme(control)) ((int*)counts)[0]++;
  }
  return TRUE;
}

static int WriteLayout(const char* out) {
  HWND dlg = Dialog();
  if (!dlg) return 1;
  int counts[2] = {0, 0};
  EnumChildWindows(dlg, CountThemed, (LPARAM)counts);
  FILE* f = fopen(out, "wb");
  if (!f) return 2;
  fprintf(f, "dpi=%u\nthemed=%d/%d\n", GetDpiForWindow(dlg), counts[0], counts[1]);
  fclose(f);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "state") == 0) {
    HWND dlg = Dialog();
    if (!dlg) return 1;
    FILE* f = fopen(argv[2], "wb");
    if (!f) return 2;
    Text(f, "status", dlg, 1000);
    Text(f, "current", dlg, 1004);
    Text(f, "latest", dlg, 1005);
    Bar(f, "file", dlg, 1001);
    Bar(f, "total", dlg, 1003);
    Enabled(f, "update", dlg, 1002);
    Enabled(f, "close", dlg, 2);
    NoPrefix(f, dlg);
    Centred(f, dlg);
    fclose(f);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "close") == 0) {
    HWND dlg = Dialog();
    if (!dlg) return 1;
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dlg, 2));
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "about") == 0) {
    HWND dlg = Dialog();
    if (!dlg) return 1;
    PostMessageA(dlg, WM_SYSCOMMAND, 0x10, 0);
    HWND about = NULL;
    for (int i = 0; i < 200 && !about; ++i) {
      Sleep(50);
      about = FindWindowA("#32770", "About Updater");
    }
    if (!about) return 4;
    FILE* f = fopen(argv[2], "wb");
    if (!f) return 2;
    fprintf(f, "caption=About Updater\n");
    fclose(f);
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "box") == 0) {
    HWND box = FindWindowA("#32770", "updater");
    if (!box) return 1;
    FILE* f = fopen(argv[2], "wb");
    if (!f) return 2;
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    fprintf(f, "caption=updater\ntext=%s\n", text);
    fclose(f);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "find") == 0) return FindWindowA(argv[2], argv[3]) ? 0 : 1;
  if (argc == 4 && strcmp(argv[1], "link") == 0) return Link(argv[2], argv[3]);
  if (argc == 3 && strcmp(argv[1], "layout") == 0) return WriteLayout(argv[2]);
  return 3;
}
