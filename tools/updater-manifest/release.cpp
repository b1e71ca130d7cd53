#include "release.h"

#include <memory>
#include <tuple>
#include <vector>

#include "actions/action.h"
#include "client_setting.h"
#include "env/config.h"
#include "env/installed_version.h"
#include "env/mbstring.h"
#include "manifest_texts.h"
#include "platform/env.h"
#include "platform/separators.h"
#include "publish.h"
#include "release_zip.h"
#include "signed_fields.h"

using namespace manifesttexts;

namespace {

constexpr char kManifestName[] = "update.xml";
constexpr char kSignatureSuffix[] = ".minisig";
constexpr char kZipPrefix[] = "update-";
constexpr size_t kZipDigestDigits = 8;

std::string Action(const char* type, const char* parameter, const std::string& path) {
  return std::string("      <action type=\"") + type + "\" " + parameter + "=\"" + AsXmlText(path) +
         "\"/>\n";
}

// The version as the installed version's record keeps it.
bool IsReleaseVersion(const std::string& version) {
  unsigned int numbers[4];
  ParseVersion(version, numbers);
  std::string read = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
                     std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
  return read == version && read != "0.0.0.0" && RecordedVersion(read) == read;
}

bool IsPackageBaseUrl(const std::string& url) {
  std::string lower = MbsLower(url);
  bool scheme = lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
  return scheme && url.find_first_of("?# \t\r\n") == std::string::npos;
}

// True when `path` is `folder` or lies inside it, by their absolute forms.
bool IsAtOrInside(const std::string& path, const std::string& folder) {
  platform::Fs& fs = platform::Env::Get().fs();
  std::string a;
  std::string b;
  if (!fs.GetFullPath(path, &a) || !fs.GetFullPath(folder, &b)) return false;
  a = platform::TrimTrailingSeparators(a);
  b = platform::TrimTrailingSeparators(b);
  // Windows names one folder in any letter case.
  if (platform::kPathSep == '\\') {
    a = MbsLower(a);
    b = MbsLower(b);
  }
  if (a.compare(0, b.size(), b) != 0) return false;
  return a.size() == b.size() || platform::IsSeparatorAt(a, b.size()) ||
         platform::EndsWithSeparator(b);
}

std::string ManifestTemplate(const ReleaseOptions& options, const std::string& url,
                             const std::vector<std::string>& preRemoves,
                             const std::vector<std::string>& removes,
                             const std::vector<std::string>& mkdirs, size_t files) {
  bool windows = options.naming.client == ReleaseClient::kWindows;
  std::string text =
      std::string("<?xml version=\"1.0\" encoding=\"") + (windows ? "GBK" : "UTF-8") + "\"?>\n";
  text += Format(kReleaseCommentFormat, static_cast<int>(files),
                 static_cast<int>(preRemoves.size() + removes.size()),
                 static_cast<int>(mkdirs.size())) +
          "\n";
  text += "<updateinfo version=\"" + AsXmlText(options.szVersion) + "\"" +
          (options.bAtomic ? " atomic=\"true\"" : "") + ">\n";
  text += "  <package name=\"update\">\n";
  text += "    <version>" + AsXmlText(options.szVersion) + "</version>\n";
  if (!url.empty()) text += "    <url>" + AsXmlText(url) + "</url>\n";
  if (!preRemoves.empty()) {
    text += "    <pre-actions>\n";
    for (const std::string& path : preRemoves) text += Action("remove", "path", path);
    text += "    </pre-actions>\n";
  }
  text += "    <actions>\n";
  if (!url.empty()) {
    text += std::string("      <action type=\"unzip\" file=\"") + kThisFileVar + "\" where=\"" +
            kAppPathVar + "\"/>\n";
  }
  for (const std::string& path : removes) text += Action("remove", "path", path);
  for (const std::string& path : mkdirs) text += Action("mkdir", "dir", path);
  text += "    </actions>\n  </package>\n</updateinfo>\n";
  return text;
}

class Release {
 public:
  Release(const ReleaseOptions& options, std::ostream& out, std::ostream& err)
      : m_options(options), m_out(out), m_err(err) {}

  ReleaseOutcome Make() {
    const ReleaseOptions& o = m_options;
    if (!IsReleaseVersion(o.szVersion)) {
      return Fail(Format(kReleaseVersionFormat, o.szVersion.c_str()));
    }
    if (!IsPackageBaseUrl(o.szBaseUrl)) {
      return Fail(Format(kReleaseBaseUrlFormat, o.szBaseUrl.c_str()));
    }
    for (const std::string* folder : {&o.szOld, &o.szNew}) {
      if (!IsDirectory(*folder)) return Fail(Format(kNotAFolderFormat, folder->c_str()));
      if (IsAtOrInside(o.szOut, *folder)) {
        return Fail(Format(kReleaseOutInsideFormat, o.szOut.c_str(), folder->c_str()));
      }
    }
    Tree oldTree;
    Tree newTree;
    std::string error;
    if (!ScanTree(o.szOld, &oldTree, &error) || !ScanTree(o.szNew, &newTree, &error)) {
      return Refuse(error);
    }
    if (!OneNameEach(o.naming, o.szNew, newTree, &error)) return Refuse(error);
    TreeChanges changes;
    bool keepExecuteBits = o.naming.client == ReleaseClient::kPosix;
    if (!CompareTrees(o.szOld, oldTree, o.szNew, newTree, keepExecuteBits, &changes, &error)) {
      return Refuse(error);
    }
    if (changes.Empty()) {
      return Refuse(Format(kReleaseEqualFormat, o.szOld.c_str(), o.szNew.c_str()));
    }

    std::vector<ReleaseZipFile> files;
    for (const std::string& path : changes.aZipFiles) {
      ClientName name;
      std::string shown = TreePath(o.szNew, path);
      if (!NameForClient(o.naming, path, shown, false, &name, &error)) return Refuse(error);
      // A file that cannot be opened stops the release before OUT is made.
      std::unique_ptr<platform::ReadableFile> file;
      if (platform::Env::Get().fs().OpenForRead(shown, &file) != platform::kErrorSuccess) {
        return Refuse(Format(kCannotBeReadFormat, shown.c_str()));
      }
      files.push_back({shown, name.szEntry, name.bUtf8Flag, newTree.at(path)});
    }
    std::vector<std::string> preRemoves;
    std::vector<std::string> removes;
    std::vector<std::string> mkdirs;
    for (const auto& [from, root, paths] :
         {std::make_tuple(&changes.aPreRemoves, &o.szOld, &preRemoves),
          std::make_tuple(&changes.aRemoves, &o.szOld, &removes),
          std::make_tuple(&changes.aMkdirs, &o.szNew, &mkdirs)}) {
      for (const std::string& path : *from) {
        ClientName name;
        if (!NameForClient(o.naming, path, TreePath(*root, path), true, &name, &error)) {
          return Refuse(error);
        }
        paths->push_back(name.szManifest);
      }
    }
    return Write(files, preRemoves, removes, mkdirs);
  }

 private:
  // A folder OUT made for this release goes again when it stays empty.
  ReleaseOutcome Fail(const std::string& message) {
    m_err << message << "\n";
    if (m_bOutMade) platform::Env::Get().fs().RemoveDir(m_options.szOut);
    return ReleaseOutcome::kFailed;
  }
  ReleaseOutcome Refuse(const std::string& message) {
    m_err << message << "\n"
          << Format(kReleaseNothingWrittenFormat, m_options.szOut.c_str()) << "\n";
    return ReleaseOutcome::kRefused;
  }

  ReleaseOutcome Write(const std::vector<ReleaseZipFile>& files,
                       const std::vector<std::string>& preRemoves,
                       const std::vector<std::string>& removes,
                       const std::vector<std::string>& mkdirs) {
    const ReleaseOptions& o = m_options;
    platform::Fs& fs = platform::Env::Get().fs();
    m_bOutMade = !PathExists(o.szOut);
    if (!CreateDirectoryTree(platform::TrimTrailingSeparators(o.szOut)) || !IsDirectory(o.szOut)) {
      return Fail(Format(kCannotBeWrittenFormat, o.szOut.c_str()));
    }
    std::string url;
    std::string zipPath;
    bool zipWasThere = false;
    FileFacts facts;
    if (!files.empty()) {
      std::string error;
      std::string temporary = JoinPath(o.szOut, std::string(kZipPrefix) + o.szVersion + ".zip.tmp");
      if (!WriteReleaseZip(temporary, files, m_err, &error)) return Fail(error);
      if (!ReadFileFacts(temporary, &facts)) {
        fs.DeleteFile(temporary);
        return Fail(Format(kCannotBeReadFormat, temporary.c_str()));
      }
      std::string name = std::string(kZipPrefix) + o.szVersion + "-" +
                         facts.szSha256.substr(0, kZipDigestDigits) + ".zip";
      zipPath = JoinPath(o.szOut, name);
      // The same files made the same zip before: that one stays if this fails.
      zipWasThere = PathExists(zipPath);
      if (fs.RenameOver(temporary, zipPath) != platform::kErrorSuccess) {
        fs.DeleteFile(temporary);
        return Fail(Format(kCannotBeWrittenFormat, zipPath.c_str()));
      }
      url = o.szBaseUrl + (o.szBaseUrl.back() == '/' ? "" : "/") + name;
    }

    std::string manifestPath = JoinPath(o.szOut, kManifestName);
    std::string text = ManifestTemplate(o, url, preRemoves, removes, mkdirs, files.size());
    std::string published;
    std::string before;
    if (!PublishManifest(text, kManifestName, o.szOut, o.szExpires, manifestPath, &published,
                         m_err)) {
      if (!zipPath.empty() && !zipWasThere) fs.DeleteFile(zipPath);
      return Fail(Format(kNotWrittenFormat, manifestPath.c_str()));
    }
    // A signature beside the manifest signs its text: it stays only for the same text.
    bool sameText = ReadTextFile(manifestPath, &before) && before == published;
    if (!WriteWholeFile(manifestPath, published)) {
      if (!zipPath.empty() && !zipWasThere) fs.DeleteFile(zipPath);
      return Fail(Format(kNotWrittenFormat, manifestPath.c_str()));
    }
    std::string signature = manifestPath + kSignatureSuffix;
    if (!sameText && PathExists(signature)) fs.DeleteFile(signature);

    if (!zipPath.empty()) {
      m_out << Format(kReleaseZipWrittenFormat, zipPath.c_str(), static_cast<int>(files.size()),
                      static_cast<unsigned long long>(facts.nSize))
            << "\n";
    }
    m_out << Format(kReleaseManifestWrittenFormat, manifestPath.c_str(), o.szVersion.c_str(),
                    static_cast<int>(preRemoves.size() + removes.size()),
                    static_cast<int>(mkdirs.size()), o.szExpires.c_str())
          << "\n";
    return ReleaseOutcome::kWritten;
  }

  const ReleaseOptions& m_options;
  bool m_bOutMade = false;
  std::ostream& m_out;
  std::ostream& m_err;
};

}  // namespace

ReleaseOutcome MakeRelease(const ReleaseOptions& options, std::ostream& out, std::ostream& err) {
  return Release(options, out, err).Make();
}
