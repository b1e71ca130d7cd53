// For Windows: the update dialog from template 102 as a modal dialog box, the
// About box from template 100 through the window menu, and message boxes
// captioned with the application's name.
#include "app/frontend/win32_front_end.h"

// The SDK headers below need <windows.h> first.
// clang-format off
#include "platform/win32/windows_api.h"
#include <commctrl.h>
// clang-format on

#include "app/frontend/win32_resource.h"
#include "app/update_dialog.h"

namespace {

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

INT_PTR CALLBACK AboutProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    ::EndDialog(hDlg, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

class Win32DialogView : public DialogView {
 public:
  explicit Win32DialogView(std::string caption) : m_szCaption(std::move(caption)) {
    m_hAppIcon = ::LoadIconA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME));
  }

  void RunModal(UpdateDialog& dialog) override {
    m_pDialog = &dialog;
    ::DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_UPDATER_DIALOG), nullptr, DialogProc,
                      reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    m_pDialog = nullptr;
  }

  // The three strings go to their controls together, as the dialog's data
  // exchange moves them.
  void UpdateTexts(DialogText) override {
    if (!m_hWnd) return;
    ::SetDlgItemTextA(m_hWnd, IDC_STATUS_TEXT, m_pDialog->StatusText().c_str());
    ::SetDlgItemTextA(m_hWnd, IDC_CUR_VERSION, m_pDialog->CurVerText().c_str());
    ::SetDlgItemTextA(m_hWnd, IDC_NEW_VERSION, m_pDialog->NewVerText().c_str());
  }

  void UpdateBars() override {
    if (!m_hWnd) return;
    ApplyBar(IDC_FILE_PROGRESS, m_pDialog->FileProgress());
    ApplyBar(IDC_TOTAL_PROGRESS, m_pDialog->TotalProgress());
  }

  bool HasUpdateButton() const override {
    return m_hWnd && ::GetDlgItem(m_hWnd, IDC_UPDATE) != nullptr;
  }

  void EnableButtons(bool enable) override {
    for (int id : {IDC_UPDATE, IDCANCEL}) {
      HWND button = ::GetDlgItem(m_hWnd, id);
      if (button) ::EnableWindow(button, enable ? TRUE : FALSE);
    }
  }

  // A click of Update, posted: it is handled once the dialog's loop runs.
  void PostUpdateClick() override {
    HWND button = ::GetDlgItem(m_hWnd, IDC_UPDATE);
    ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
  }

  void EndDialog() override {
    if (m_hWnd) ::EndDialog(m_hWnd, IDCANCEL);
  }

  int MessageBox(const std::string& text, unsigned type) override {
    return ::MessageBoxA(m_hWnd, text.c_str(), m_szCaption.c_str(), type);
  }

  void PumpMessage() override {
    MSG msg;
    if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }

  platform::WindowId GetWindowId() const override {
    return static_cast<platform::WindowId>(reinterpret_cast<uintptr_t>(m_hWnd));
  }

 private:
  void ApplyBar(int id, const ProgressModel& model) {
    HWND bar = ::GetDlgItem(m_hWnd, id);
    if (!bar) return;
    ::SendMessageA(bar, PBM_SETRANGE32, 0, model.Range());
    ::SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(model.Position()), 0);
    ::ShowWindow(bar, model.IsVisible() ? SW_SHOWNA : SW_HIDE);
  }

  BOOL OnInitDialog(HWND hDlg) {
    m_hWnd = hDlg;
    HMENU sysMenu = ::GetSystemMenu(hDlg, FALSE);
    char about[256] = "";
    if (sysMenu && ::LoadStringA(Instance(), IDS_ABOUTBOX, about, sizeof about) > 0) {
      ::AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
    ::SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hAppIcon));
    ::SendMessageA(hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hAppIcon));
    // True: the focus goes to the first control in tab order, Close.
    return m_pDialog->OnInitDialog() ? TRUE : FALSE;
  }

  BOOL OnCommand(HWND hDlg, WORD id) {
    if (id == IDC_UPDATE) {
      m_pDialog->OnUpdate();
      return TRUE;
    }
    if (id == IDCANCEL) {
      // Close and Esc end the dialog, but not in the middle of a run.
      if (!m_pDialog->IsRunning()) ::EndDialog(hDlg, IDCANCEL);
      return TRUE;
    }
    return FALSE;
  }

  BOOL OnPaint(HWND hDlg) {
    if (!::IsIconic(hDlg)) return FALSE;
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hDlg, &ps);
    ::SendMessageA(hDlg, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    ::GetClientRect(hDlg, &rect);
    int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hAppIcon);
    ::EndPaint(hDlg, &ps);
    return TRUE;
  }

  static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      ::SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
      return reinterpret_cast<Win32DialogView*>(lParam)->OnInitDialog(hDlg);
    }
    auto* self = reinterpret_cast<Win32DialogView*>(::GetWindowLongPtrA(hDlg, DWLP_USER));
    if (!self || !self->m_pDialog) return FALSE;
    switch (message) {
      case WM_COMMAND:
        return self->OnCommand(hDlg, LOWORD(wParam));
      case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
          ::DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_ABOUTBOX), hDlg, AboutProc, 0);
          return TRUE;
        }
        return FALSE;
      case WM_PAINT:
        return self->OnPaint(hDlg);
      case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(self->m_hAppIcon);
      default:
        return FALSE;
    }
  }

  std::string m_szCaption;
  UpdateDialog* m_pDialog = nullptr;
  HWND m_hWnd = nullptr;
  HICON m_hAppIcon = nullptr;
};

class Win32FrontEnd : public FrontEnd {
 public:
  Win32FrontEnd() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
  }

  int MessageBox(const std::string& caption, const std::string& text, unsigned type) override {
    return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
  }

  std::unique_ptr<DialogView> CreateDialogView(const std::string& caption) override {
    return std::unique_ptr<DialogView>(new Win32DialogView(caption));
  }
};

}  // namespace

std::unique_ptr<FrontEnd> CreateWin32FrontEnd() {
  return std::unique_ptr<FrontEnd>(new Win32FrontEnd());
}
