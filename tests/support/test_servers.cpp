#include "support/test_servers.h"

#include <cstdlib>
#include <fstream>

namespace {

// One decimal number, or the root, and a line feed.
std::string FirstLine(const std::string& name) {
  std::ifstream in(ServersDir() + "/" + name);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::string ServersDir() {
  const char* dir = std::getenv("UPDATER_SERVERS_DIR");
  if (dir && *dir) return dir;
#ifdef UPDATER_SERVERS_DIR
  return UPDATER_SERVERS_DIR;
#else
  return std::string();
#endif
}

std::string NginxPort() { return FirstLine("nginx.port"); }
std::string NginxBase() { return "http://127.0.0.1:" + NginxPort(); }
std::string NginxRoot() { return FirstLine("nginx.root"); }
std::string FaultServerPort() { return FirstLine("faultserver.port"); }
std::string FaultServerBase() { return "http://127.0.0.1:" + FaultServerPort(); }

int CountRequests(const std::string& log) {
  int n = 0;
  for (size_t p = 0; (p = log.find("GET ", p)) != std::string::npos; ++p) {
    if (p == 0 || log[p - 1] == '\n') ++n;
  }
  return n;
}
