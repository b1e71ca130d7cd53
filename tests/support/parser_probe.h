// What the tests and the manifest fuzz target use to watch the XML parser:
// the depth of the element tree it built, and text placed right before a page
// that cannot be read, so that any read past the text is a crash. Header-only:
// the fuzz targets include it without the rest of tests/support.
#pragma once

#include <sys/mman.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The deepest element level below `top` (its own children are level 1),
// without recursion.
inline int XmlTreeDepth(const TiXmlNode* top) {
  int deepest = 0;
  std::vector<std::pair<const TiXmlNode*, int>> todo = {{top, 0}};
  while (!todo.empty()) {
    auto [node, depth] = todo.back();
    todo.pop_back();
    if (node->ToElement()) deepest = std::max(deepest, depth);
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
      todo.push_back({child, depth + (child->ToElement() ? 1 : 0)});
    }
  }
  return deepest;
}

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
