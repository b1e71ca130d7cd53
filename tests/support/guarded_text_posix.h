// Text placed right before a page that cannot be read, so that any read past
// it is a crash (POSIX). Header-only: the fuzz targets include it without the
// rest of tests/support.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

// Bytes copied to the very end of a mapping whose next page is unreadable.
// The mapping is kept and reused while it is large enough.
class GuardedText {
 public:
  GuardedText() = default;
  ~GuardedText() {
    if (m_map) munmap(m_map, m_size);
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;

  const char* Place(const std::string& bytes) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t need = (bytes.size() / page + 2) * page;
    if (need > m_size) {
      if (m_map) munmap(m_map, m_size);
      void* map = mmap(nullptr, need, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      m_map = static_cast<char*>(map);
      m_size = need;
      mprotect(m_map + m_size - page, page, PROT_NONE);
    }
    char* start = m_map + m_size - page - bytes.size();
    std::memcpy(start, bytes.data(), bytes.size());
    return start;
  }

 private:
  char* m_map = nullptr;
  size_t m_size = 0;
};
