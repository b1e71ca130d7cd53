#include "client_setting.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "actions/action_registry.h"
#include "env/config.h"
#include "env/mbstring.h"

namespace fs = std::filesystem;

namespace {

constexpr char kLogName[] = "updater.log";

std::string MakeScratchDir() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) return std::string();
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    fs::path dir = base / ("updater-manifest-" + std::to_string(random()));
    if (fs::create_directory(dir, ec)) return dir.string();
  }
  return std::string();
}

}  // namespace

ClientPaths UnexpandedPaths() { return {kAppPathVar, kWinPathVar, kSys32PathVar}; }

bool UnexpandedText::IsLeadByte(unsigned char c) const {
  return platform::DefaultText()->IsLeadByte(c);
}

bool UnexpandedText::ExpandEnvironment(const std::string& in, size_t, std::string* out) const {
  *out = in;
  return true;
}

bool UnexpandedText::GetVariable(const std::string& name, std::string* value) const {
  return platform::DefaultText()->GetVariable(name, value);
}

bool UnexpandedText::FromUtf8(const std::string& utf8, std::string* text) const {
  return platform::DefaultText()->FromUtf8(utf8, text);
}

platform::Error ScratchLogFs::OpenForWrite(const std::string& path, platform::WriteMode mode,
                                           std::unique_ptr<platform::WritableFile>* file) {
  if (!fs::path(path).is_relative()) return FsWrapper::OpenForWrite(path, mode, file);
  if (m_szScratch.empty()) return platform::kErrorAccessDenied;
  return FsWrapper::OpenForWrite(JoinPath(m_szScratch, path), mode, file);
}

ClientSetting::ClientSetting(const std::string& installedVersion, const ClientPaths& paths)
    : m_aSaved{g_szVersion, g_szAppPath, g_szWinPath, g_szSys32Path, g_szDownloadPath},
      m_szScratch(MakeScratchDir()),
      m_textGuard(&platform::Env::SetText, &m_text),
      m_fs(&platform::Env::Get().fs(), m_szScratch),
      m_fsGuard(&platform::Env::SetFs, &m_fs) {
  g_szVersion = installedVersion;
  g_szAppPath = paths.szAppPath;
  g_szWinPath = paths.szWinPath;
  g_szSys32Path = paths.szSys32Path;
  g_szDownloadPath = DownloadPathOf(g_szAppPath);
  if (RegisteredActionTypes().empty()) {
    RegisterActionTypes();
    m_bRegistered = true;
  }
}

ClientSetting::~ClientSetting() {
  std::error_code ec;
  if (!m_szScratch.empty()) fs::remove_all(m_szScratch, ec);
  if (m_bRegistered) ClearActionTypes();
  g_szVersion = m_aSaved[0];
  g_szAppPath = m_aSaved[1];
  g_szWinPath = m_aSaved[2];
  g_szSys32Path = m_aSaved[3];
  g_szDownloadPath = m_aSaved[4];
}

std::vector<std::string> ClientSetting::TakeLog() {
  std::vector<std::string> lines;
  if (m_szScratch.empty()) return lines;
  std::string text;
  if (!ReadTextFile(JoinPath(m_szScratch, kLogName), &text)) return lines;
  if (text.size() <= m_nLogRead) return lines;
  std::string fresh = text.substr(m_nLogRead);
  m_nLogRead = text.size();
  size_t start = 0;
  while (start < fresh.size()) {
    size_t end = fresh.find("\r\n", start);
    if (end == std::string::npos) end = fresh.size();
    // A logged text may end in a line feed of its own (the parse error does).
    lines.push_back(TrimChars(fresh.substr(start, end - start), "\r\n"));
    start = end + 2;
  }
  return lines;
}

bool ReadTextFile(const std::string& path, std::string* text) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return false;
  *text = bytes.str();
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) fs::remove(temporary, ec);
  return !ec;
}
