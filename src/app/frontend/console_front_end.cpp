// Console front-end (POSIX terminals): status lines as they are shown, the two
// bars drawn in place on one line, message boxes printed, questions asked on a
// terminal.
#include "app/frontend/console_front_end.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/mnemonic.h"
#include "app/status_line.h"
#include "app/update_dialog.h"
#include "env/main_window.h"
#include "env/mbstring.h"
#include "env/texts.h"

namespace {

using Clock = std::chrono::steady_clock;

// Redrawing the bars more often than this would only slow a download.
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// "label [####------] 42%"; labels are eight columns wide.
std::string BarText(const char* label, const ProgressModel& bar, int width) {
  int filled = static_cast<int>(bar.Fraction() * width);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(bar.Fraction() * 100));
  return std::string(label) + " [" + std::string(filled, '#') + std::string(width - filled, '-') +
         "] " + percent;
}

class ConsoleDialogView : public DialogView {
 public:
  explicit ConsoleDialogView(std::string caption)
      : m_szCaption(std::move(caption)),
        m_bTerminalOut(isatty(STDOUT_FILENO)),
        m_bTerminalIn(isatty(STDIN_FILENO)) {}

  // Asks update-or-close until the user closes or standard input ends.
  void RunModal(UpdateDialog& dialog) override {
    m_pDialog = &dialog;
    dialog.OnInitDialog();
    while (!m_bEnded) {
      if (m_bClickPosted) {
        m_bClickPosted = false;
        Click();
        continue;
      }
      std::fputs(texts::kConsoleUpdatePrompt, stdout);
      std::fflush(stdout);
      std::string line;
      if (!std::getline(std::cin, line)) {
        std::fputs("\n", stdout);
        break;
      }
      line = TrimChars(line, " \t\r");
      if (line == "q" || line == "Q") break;
      if (line.empty()) Click();
    }
    std::fflush(stdout);
    m_pDialog = nullptr;
  }

  void UpdateTexts(DialogText changed) override {
    switch (changed) {
      case DialogText::kAll: {
        std::string header = std::string(texts::kDialogCaption) + "\n" + m_pDialog->CurVerText();
        if (!m_pDialog->NewVerText().empty()) header += "    " + m_pDialog->NewVerText();
        PrintLine(header);
        break;
      }
      case DialogText::kStatus:
        PrintLine(WithoutLineEnd(m_pDialog->StatusText()));
        break;
      case DialogText::kLatestVersion:
        PrintLine(m_pDialog->NewVerText());
        break;
    }
  }

  void UpdateBars() override {
    m_bBarsDirty = true;
    if (m_bInRun) DrawBars(false);
  }

  bool HasUpdateButton() const override { return true; }

  // Disabled buttons mean a run: the bars are on screen until it ends.
  void EnableButtons(bool enable) override {
    m_bButtonsEnabled = enable;
    if (!enable) {
      m_bInRun = true;
      DrawBars(true);
      return;
    }
    if (m_bBarsDrawn) {
      DrawBars(true);
      std::fputs("\n", stdout);
      std::fflush(stdout);
      m_bBarsDrawn = false;
    }
    m_bInRun = false;
  }

  void PostUpdateClick() override { m_bClickPosted = true; }
  void EndDialog() override { m_bEnded = true; }

  int MessageBox(const std::string& text, unsigned type) override {
    PrintLine(m_szCaption + ": " + WithoutLineEnd(text));
    if ((type & 0xF) != kMbAbortRetryIgnore) return kIdOk;
    int answer = m_bTerminalIn ? AskAbortRetryIgnore() : kIdIgnore;
    if (!m_bTerminalIn) PrintLine("-> " + ConvertMnemonic(texts::kButtonIgnore, '\0'));
    if (m_bInRun) DrawBars(true);
    return answer;
  }

  void PumpMessage() override {
    if (m_bInRun && m_bBarsDirty) DrawBars(false);
  }

  platform::WindowId GetWindowId() const override { return 0; }

 private:
  void Click() {
    if (m_bButtonsEnabled) m_pDialog->OnUpdate();
  }

  // A line above the bars: the bar line is cleared, the text printed, and the
  // bars drawn again below it.
  void PrintLine(const std::string& text) {
    if (m_bBarsDrawn) std::fputs("\r\033[K", stdout);
    std::fputs(text.c_str(), stdout);
    std::fputs("\n", stdout);
    if (m_bBarsDrawn) DrawBars(true);
    std::fflush(stdout);
  }

  void DrawBars(bool force) {
    if (!m_bTerminalOut) return;
    Clock::time_point now = Clock::now();
    if (!force && m_bBarsDrawn && now - m_lastDraw < kRedrawInterval) return;
    // Two bars and their labels take 2 * width + 35 columns.
    int width = std::clamp((TerminalColumns() - 36) / 2, 5, 30);
    std::string line = BarText(texts::kLabelCurrentFile, m_pDialog->FileProgress(), width) + "   " +
                       BarText(texts::kLabelTotal, m_pDialog->TotalProgress(), width);
    std::fputs(("\r" + line + "\033[K").c_str(), stdout);
    std::fflush(stdout);
    m_lastDraw = now;
    m_bBarsDirty = false;
    m_bBarsDrawn = true;
  }

  int AskAbortRetryIgnore() {
    const struct {
      const char* label;
      int id;
    } choices[] = {{texts::kButtonAbort, kIdAbort},
                   {texts::kButtonRetry, kIdRetry},
                   {texts::kButtonIgnore, kIdIgnore}};
    std::string menu;
    for (const auto& choice : choices) {
      if (!menu.empty()) menu += " / ";
      menu += ConvertMnemonic(choice.label, '\0');
    }
    for (;;) {
      if (m_bBarsDrawn) std::fputs("\r\033[K", stdout);
      m_bBarsDrawn = false;
      std::fputs((menu + "  " + texts::kConsoleQuestionPrompt).c_str(), stdout);
      std::fflush(stdout);
      std::string line;
      if (!std::getline(std::cin, line)) return kIdIgnore;
      line = TrimChars(line, " \t\r");
      if (line.size() != 1) continue;
      char key = line[0];
      if (key >= 'a' && key <= 'z') key = static_cast<char>(key - 'a' + 'A');
      for (const auto& choice : choices) {
        if (AccessKey(choice.label) == key) return choice.id;
      }
    }
  }

  std::string m_szCaption;
  UpdateDialog* m_pDialog = nullptr;
  bool m_bTerminalOut;
  bool m_bTerminalIn;
  bool m_bClickPosted = false;
  bool m_bEnded = false;
  bool m_bButtonsEnabled = true;
  bool m_bInRun = false;
  bool m_bBarsDrawn = false;
  bool m_bBarsDirty = false;
  Clock::time_point m_lastDraw;
};

class ConsoleFrontEnd : public FrontEnd {
 public:
  int MessageBox(const std::string& caption, const std::string& text, unsigned type) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), WithoutLineEnd(text).c_str());
    return (type & 0xF) == kMbAbortRetryIgnore ? kIdIgnore : kIdOk;
  }

  std::unique_ptr<DialogView> CreateDialogView(const std::string& caption) override {
    return std::make_unique<ConsoleDialogView>(caption);
  }
};

}  // namespace

std::unique_ptr<FrontEnd> CreateConsoleFrontEnd() {
  // A reader that goes away (updater -auto | head) must not kill the process
  // in the middle of an update: output that cannot be written is dropped.
  std::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<ConsoleFrontEnd>();
}
