#include "release_tree.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "env/mbstring.h"
#include "manifest_texts.h"
#include "platform/env.h"
#include "platform/path_sep.h"

using namespace manifesttexts;

namespace {

constexpr size_t kCompareBlock = 64 * 1024;
constexpr uint32_t kExecuteBits = 0111;

// Special files read as plain files through the file system seam, and a
// fifo would hold the read for ever; only the standard library tells them.
// On Windows it may read a narrow path in another code page; a path it cannot
// find or convert is passed over there: Windows has no such files.
bool IsSpecialFile(const std::string& path) {
  namespace fs = std::filesystem;
  try {
    std::error_code ec;
    fs::file_type type = fs::symlink_status(path, ec).type();
    return !ec && (type == fs::file_type::fifo || type == fs::file_type::socket ||
                   type == fs::file_type::block || type == fs::file_type::character);
  } catch (const std::exception&) {
    return false;  // a name its conversion refuses
  }
}

bool IsAtOrBelow(const std::string& path, const std::string& top) {
  return path.compare(0, top.size(), top) == 0 &&
         (path.size() == top.size() || path[top.size()] == '/');
}

void SortDeepestFirst(std::vector<std::string>* paths) {
  std::sort(paths->begin(), paths->end(), [](const std::string& a, const std::string& b) {
    size_t da = TreeDepth(a);
    size_t db = TreeDepth(b);
    return da != db ? da > db : TreeOrder()(a, b);
  });
}

bool SameBytes(const std::string& a, const std::string& b, bool* same, std::string* error) {
  platform::Fs& fs = platform::Env::Get().fs();
  std::unique_ptr<platform::ReadableFile> files[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    if (fs.OpenForRead(*paths[i], &files[i]) != platform::kErrorSuccess) {
      *error = Format(kCannotBeReadFormat, paths[i]->c_str());
      return false;
    }
  }
  std::string blocks[2] = {std::string(kCompareBlock, '\0'), std::string(kCompareBlock, '\0')};
  for (;;) {
    size_t got[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
      // A read may return less than asked before the end: fill the block.
      while (got[i] < kCompareBlock) {
        size_t n = 0;
        if (!files[i]->Read(&blocks[i][got[i]], kCompareBlock - got[i], &n)) {
          *error = Format(kCannotBeReadFormat, paths[i]->c_str());
          return false;
        }
        if (n == 0) break;
        got[i] += n;
      }
    }
    if (got[0] != got[1] || blocks[0].compare(0, got[0], blocks[1], 0, got[1]) != 0) {
      *same = false;
      return true;
    }
    if (got[0] < kCompareBlock) {
      *same = true;
      return true;
    }
  }
}

}  // namespace

bool TreeOrder::operator()(const std::string& a, const std::string& b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    if (a[i] == '/' || b[i] == '/') return a[i] == '/';
    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
  return a.size() < b.size();
}

std::string TreePath(const std::string& root, const std::string& relative) {
  std::string path = root;
  if (relative.empty()) return path;
  if (path.empty() || path.back() != platform::kPathSep) path += platform::kPathSep;
  for (char c : relative) path += c == '/' ? platform::kPathSep : c;
  return path;
}

size_t TreeDepth(const std::string& relative) {
  return static_cast<size_t>(std::count(relative.begin(), relative.end(), '/')) + 1;
}

bool ScanTree(const std::string& root, Tree* tree, std::string* error) {
  platform::Fs& fs = platform::Env::Get().fs();
  tree->clear();
  std::vector<std::string> folders{std::string()};
  while (!folders.empty()) {
    std::string folder = folders.back();
    folders.pop_back();
    std::vector<platform::DirEntry> entries;
    std::string folderPath = TreePath(root, folder);
    if (fs.ListDir(folderPath, &entries) != platform::kErrorSuccess) {
      *error = Format(kReleaseCannotListFormat, folderPath.c_str());
      return false;
    }
    for (const platform::DirEntry& e : entries) {
      std::string relative = folder.empty() ? e.name : folder + "/" + e.name;
      std::string path = TreePath(root, relative);
      if (e.attributes & platform::kAttrReparsePoint) {
        *error = Format(kReleaseLinkFormat, path.c_str());
        return false;
      }
      TreeEntry entry;
      entry.bDirectory = (e.attributes & platform::kAttrDirectory) != 0;
      platform::FileTimes times;
      if (e.attributes == 0 || fs.GetFileTimes(path, &times) != platform::kErrorSuccess ||
          fs.GetUnixMode(path, &entry.nUnixMode) != platform::kErrorSuccess) {
        *error = Format(kCannotBeReadFormat, path.c_str());
        return false;
      }
      if (!entry.bDirectory && IsSpecialFile(path)) {
        *error = Format(kReleaseSpecialFileFormat, path.c_str());
        return false;
      }
      entry.nLastWrite = times.lastWrite;
      (*tree)[relative] = entry;
      if (entry.bDirectory) folders.push_back(relative);
    }
  }
  return true;
}

bool TreeChanges::Empty() const {
  return aZipFiles.empty() && aPreRemoves.empty() && aRemoves.empty() && aMkdirs.empty();
}

bool CompareTrees(const std::string& oldRoot, const Tree& oldTree, const std::string& newRoot,
                  const Tree& newTree, bool keepExecuteBits, TreeChanges* changes,
                  std::string* error) {
  *changes = TreeChanges();
  std::set<std::string> newFolded;
  for (const auto& [path, entry] : newTree) newFolded.insert(MbsLower(path));

  // The paths in the unzip's way, each with everything below it; none below
  // another, in tree order.
  std::vector<std::string> inTheWay;
  for (const auto& [path, entry] : oldTree) {
    if (!inTheWay.empty() && IsAtOrBelow(path, inTheWay.back())) continue;
    auto now = newTree.find(path);
    bool blocks =
        now == newTree.end()
            ? newFolded.count(MbsLower(path)) != 0
            : now->second.bDirectory != entry.bDirectory ||
                  (keepExecuteBits && !entry.bDirectory &&
                   (now->second.nUnixMode & kExecuteBits) != (entry.nUnixMode & kExecuteBits));
    if (blocks) inTheWay.push_back(path);
  }
  auto removedFirst = [&inTheWay](const std::string& path) {
    auto it = std::upper_bound(inTheWay.begin(), inTheWay.end(), path, TreeOrder());
    return it != inTheWay.begin() && IsAtOrBelow(path, *(it - 1));
  };

  for (const auto& [path, entry] : oldTree) {
    if (removedFirst(path)) {
      changes->aPreRemoves.push_back(path);
    } else if (newTree.find(path) == newTree.end()) {
      changes->aRemoves.push_back(path);
    }
  }
  for (auto it = newTree.begin(); it != newTree.end(); ++it) {
    const std::string& path = it->first;
    auto before = oldTree.find(path);
    bool fresh = before == oldTree.end() || removedFirst(path);
    if (it->second.bDirectory) {
      auto next = std::next(it);
      bool empty = next == newTree.end() || !IsAtOrBelow(next->first, path);
      if (fresh && empty) changes->aMkdirs.push_back(path);
      continue;
    }
    bool same = false;
    if (!fresh && !SameBytes(TreePath(oldRoot, path), TreePath(newRoot, path), &same, error)) {
      return false;
    }
    if (!same) changes->aZipFiles.push_back(path);
  }
  SortDeepestFirst(&changes->aPreRemoves);
  SortDeepestFirst(&changes->aRemoves);
  return true;
}
