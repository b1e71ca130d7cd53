#include "support/update_checks.h"

#include <random>
#include <regex>

#include "platform/digest.h"
#include "support/temp_dir.h"

std::vector<std::string> LogLines(const std::string& path) {
  std::string log = ReadFileBytes(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(log.substr(start, end - start));
  }
  if (start < log.size()) lines.push_back(log.substr(start) + "<no line end>");
  return lines;
}

bool IsTimeLine(const std::string& line, const std::string& prefix, const std::string& end) {
  return std::regex_match(line,
                          std::regex(prefix + "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d" + end));
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(gen());
  return bytes;
}

std::string Md5Of(const std::string& bytes) {
  std::unique_ptr<platform::Digest> md5 = platform::NewDigest(platform::DigestKind::kMd5);
  md5->Update(bytes.data(), bytes.size());
  return md5->FinalHex();
}
