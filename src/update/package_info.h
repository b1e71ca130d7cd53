// One "package" of the update manifest: an optional file to download and
// verify, and three ordered lists of actions that run after it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "actions/action.h"

class SpaceNeeds;
class TiXmlElement;

// The child elements of a "package" that LoadFromXml reads; names match exactly.
extern const char kPackageVersion[];      // "version"
extern const char kPackageDescription[];  // "description"
extern const char kPackageUrl[];          // "url"
extern const char kPackageMd5[];          // "md5"
extern const char kPackageSha256[];       // "sha256"
extern const char kPackageSize[];         // "size": the file's length in bytes
// The three action lists, in the order they run: "pre-actions", "actions",
// "post-actions".
extern const char* const kActionListNames[3];
// All of the above.
std::vector<std::string> PackageChildNames();

// The text of the first child element of that name: the first child node's
// text as the parser condensed it; empty when either is missing.
std::string ChildText(const TiXmlElement* parent, const char* name);
// The action elements of one list: of the first child element named
// `listName`, its first "action" child and every sibling element after it,
// whatever its name. Elements before the first "action" are passed over.
std::vector<const TiXmlElement*> ActionElements(const TiXmlElement* package, const char* listName);
// Where Process saves the file of `url`: the download folder and the URL's
// file name (PackageFileName).
std::string PackageLocalFile(const std::string& url);
// What is known of a file's bytes: their number and digests as lower-case
// hex (no text when they could not be computed).
struct FileFacts {
  uint64_t nSize = 0;
  std::string szMd5;
  std::string szSha256;
};
// True when the file has the size and matches every digest given (an empty
// one is not given). A size that is not decimal digits matches no file.
bool FileFactsMatch(const FileFacts& facts, const std::string& md5, const std::string& sha256,
                    const std::string& size = std::string());
// A package's size text as a number of bytes: decimal digits only, at most
// 2^64 - 1. False for anything else.
bool ParsePackageSize(const std::string& text, uint64_t* size);

class PackageInfo {
 public:
  PackageInfo();
  virtual ~PackageInfo();

  // Fills the fields and the three action lists from a "package" element.
  // Always TRUE.
  int LoadFromXml(const TiXmlElement* element);
  // Downloads the file into the download folder and checks its digests (three
  // attempts in all), then runs pre-actions, actions and post-actions. A file
  // that could not be obtained runs no action and answers FALSE (the package
  // is skipped); otherwise TRUE, whatever the actions report.
  int Process();
  // Process in two halves. Fetch: the description, then the download and its
  // check; false when the file could not be obtained. With a size the download
  // stops as soon as the body is longer, and a file of another length fails
  // the check.
  bool Fetch();
  // The three lists in order; false at the first failing action when asked
  // to stop there.
  bool RunAllActions(bool stopAtFailure);
  // The room the actions of the three lists will take (after Fetch).
  void AddSpaceNeeded(SpaceNeeds* needs);

  std::string m_szName;
  std::string m_szVersion;
  std::string m_szDescription;
  std::string m_szUrl;
  std::string m_szMd5;        // only when m_szUrl is not empty
  std::string m_szSha256;     // likewise
  std::string m_szSize;       // likewise
  std::string m_szLocalFile;  // set by Process; empty without a URL
  std::vector<std::unique_ptr<Action>> m_listPreActions;
  std::vector<std::unique_ptr<Action>> m_listActions;
  std::vector<std::unique_ptr<Action>> m_listPostActions;
};
