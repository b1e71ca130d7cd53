#include "env/update_log.h"

#include <memory>

#include "env/main_window.h"
#include "platform/env.h"

namespace {

constexpr char kLogFileName[] = "updater.log";

// Text-mode line ends on every platform: each LF becomes CR LF, also one that
// follows a CR of the message's own.
std::string ToTextMode(const std::string& message) {
  std::string out;
  out.reserve(message.size() + 2);
  for (char c : message) {
    if (c == '\n') out += '\r';
    out += c;
  }
  out += "\r\n";
  return out;
}

}  // namespace

void WriteLog(const std::string& message, bool show) {
  if (show && g_pMainWnd) g_pMainWnd->ShowStatus(message);
  std::unique_ptr<platform::WritableFile> file;
  platform::Fs& fs = platform::Env::Get().fs();
  if (fs.OpenForWrite(kLogFileName, platform::WriteMode::kAppend, &file) !=
      platform::kErrorSuccess) {
    return;
  }
  std::string line = ToTextMode(message);
  size_t written = 0;
  file->Write(line.data(), line.size(), &written);
  file->Close();
}
