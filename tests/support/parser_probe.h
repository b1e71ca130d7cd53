// The depth of the element tree the XML parser built, for the nesting tests
// and the manifest fuzz target. Header-only: the fuzz targets include it
// without the rest of tests/support.
#pragma once

#include <tinyxml.h>

#include <algorithm>
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
