// The two folders a release compares, OLD as installed today and NEW as it
// must be after the update: every file and folder below each, and what turns
// the one into the other.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TreeEntry {
  bool bDirectory = false;
  uint64_t nLastWrite = 0;  // FILETIME units
  uint32_t nUnixMode = 0;   // 0 where the platform has none
};

// Paths relative to the folder: the names, in the system's text, joined by "/"
// (never a GBK trail byte).
// Ordered as "/" were the lowest byte, so that everything below a folder
// follows it directly ("a", "a/b", "a-b").
struct TreeOrder {
  bool operator()(const std::string& a, const std::string& b) const;
};
using Tree = std::map<std::string, TreeEntry, TreeOrder>;

// `root` and `relative` joined with the platform's separators.
std::string TreePath(const std::string& root, const std::string& relative);
// The number of names in a relative path.
size_t TreeDepth(const std::string& relative);

// Lists everything below `root`. False, with a message naming the path in
// *error, at a link, at anything that is neither a file nor a folder, and at
// what cannot be listed or read.
bool ScanTree(const std::string& root, Tree* tree, std::string* error);

// What turns OLD into NEW, each list in the order its actions run.
struct TreeChanges {
  std::vector<std::string> aZipFiles;    // NEW's new or changed files, in path order
  std::vector<std::string> aPreRemoves;  // OLD's paths in the unzip's way, deepest first
  std::vector<std::string> aRemoves;     // OLD's paths NEW no longer has, deepest first
  std::vector<std::string> aMkdirs;      // the empty folders NEW adds, in path order
  bool Empty() const;
};

// Files are compared by content, not by time. A path that turns from a file
// into a folder or back, or whose name changes in letter case alone (one name
// on Windows, where removing the old one after the unzip would remove the
// new), is removed before the unzip with everything below it, and NEW's files
// there go into the zip. So is, with `keepExecuteBits`, a file whose execute
// bits change: an unzip that replaces a file keeps its old mode. False, with
// the message in *error, when a file cannot be read.
bool CompareTrees(const std::string& oldRoot, const Tree& oldTree, const std::string& newRoot,
                  const Tree& newTree, bool keepExecuteBits, TreeChanges* changes,
                  std::string* error);
