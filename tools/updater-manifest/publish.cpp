#include "publish.h"

#include <tinyxml.h>

#include <algorithm>
#include <vector>

#include "client_setting.h"
#include "env/config.h"
#include "lint.h"
#include "manifest_texts.h"
#include "update/file_md5.h"
#include "update/file_sha256.h"
#include "update/package_info.h"
#include "update/update_run.h"

using namespace manifesttexts;

namespace {

struct Edit {
  size_t nAt;
  size_t nLength;
  std::string szText;
};

// Start offsets of the lines of `text`, counted as the parser counts them.
std::vector<size_t> LineStarts(const std::string& text) {
  std::vector<size_t> starts{0};
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
      starts.push_back(i + 1);
    }
  }
  return starts;
}

void CollectByName(const TiXmlElement* element, const std::string& name, int row,
                   std::vector<const TiXmlElement*>* found) {
  for (const TiXmlElement* e = element->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (e->ValueStr() == name && e->Row() == row) found->push_back(e);
    CollectByName(e, name, row, found);
  }
}

bool IsNameEnd(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>';
}

// The offset of `element`'s "<name" in the text. The parser gives its line;
// on that line the tags of that name must stand one for one with the elements
// of that name the parser found there, else the place is not certain (npos).
size_t TagOffset(const std::string& text, const std::vector<size_t>& lines,
                 const TiXmlDocument& doc, const TiXmlElement* element) {
  int row = element->Row();
  if (row < 1 || static_cast<size_t>(row) > lines.size()) return std::string::npos;
  size_t begin = lines[row - 1];
  size_t end = static_cast<size_t>(row) < lines.size() ? lines[row] : text.size();
  std::vector<const TiXmlElement*> same;
  for (const TiXmlElement* e = doc.FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (e->ValueStr() == element->ValueStr() && e->Row() == row) same.push_back(e);
    CollectByName(e, element->ValueStr(), row, &same);
  }
  std::string open = "<" + element->ValueStr();
  std::vector<size_t> tags;
  for (size_t at = text.find(open, begin); at != std::string::npos && at < end;
       at = text.find(open, at + 1)) {
    size_t after = at + open.size();
    if (after >= text.size() || IsNameEnd(text[after])) tags.push_back(at);
  }
  auto it = std::find(same.begin(), same.end(), element);
  if (tags.size() != same.size() || it == same.end()) return std::string::npos;
  return tags[static_cast<size_t>(it - same.begin())];
}

// From "<name" at `at`: the end of the start tag (after its ">"), whether it
// closes itself, and the start of "</name" and the end of the element.
struct ElementSpan {
  size_t nContentBegin = std::string::npos;
  size_t nContentEnd = std::string::npos;
  size_t nEnd = std::string::npos;
  bool bEmpty = false;
};

ElementSpan SpanAt(const std::string& text, size_t at, const std::string& name) {
  ElementSpan span;
  char quote = 0;
  size_t i = at + 1 + name.size();
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      break;
    }
  }
  if (i >= text.size()) return span;
  if (text[i - 1] == '/') {
    span.bEmpty = true;
    span.nEnd = i + 1;
    return span;
  }
  span.nContentBegin = i + 1;
  size_t close = text.find("</" + name, span.nContentBegin);
  if (close == std::string::npos) return ElementSpan();
  size_t closeEnd = text.find('>', close);
  if (closeEnd == std::string::npos) return ElementSpan();
  span.nContentEnd = close;
  span.nEnd = closeEnd + 1;
  return span;
}

std::string DigestElement(const char* name, const std::string& digest) {
  return "<" + std::string(name) + ">" + digest + "</" + name + ">";
}

struct Digests {
  std::string szMd5;
  std::string szSha256;
};

}  // namespace

bool PublishManifest(const std::string& templateText, const std::string& templateName,
                     const std::string& dir, const std::string& outName, std::string* out,
                     std::ostream& err) {
  auto report = [&err](const std::string& name, int line, const std::string& message) {
    err << name << ":" << line << ": " << message << "\n";
  };
  std::vector<Edit> edits;
  std::vector<Digests> digests;
  bool ok = true;
  {
    ClientSetting client(std::string(), UnexpandedPaths());
    UpdateRun run;
    run.LoadManifest(templateText);
    const TiXmlElement* root = ManifestRoot(run.m_xmlDoc);
    if (!root) {
      for (const Finding& f : LintManifest(templateText))
        report(templateName, f.nLine, f.szMessage);
      return false;
    }
    std::vector<size_t> lines = LineStarts(templateText);
    for (const TiXmlElement* element : PackageElements(root)) {
      PackageInfo package;
      package.LoadFromXml(element);
      if (package.m_szUrl.empty()) {
        digests.push_back(Digests());
        continue;
      }
      const TiXmlElement* url = element->FirstChildElement(kPackageUrl);
      std::string name = UrlFileName(package.m_szUrl);
      std::string file = JoinPath(dir, name);
      if (name.empty() || !PathExists(file) || IsDirectory(file)) {
        report(templateName, url->Row(),
               Format(kNoFileForUrlFormat, package.m_szUrl.c_str(), name.c_str(), dir.c_str()));
        ok = false;
        continue;
      }
      Digests digest{FileMd5Hex(file), FileSha256Hex(file)};
      if (digest.szMd5.empty() || digest.szSha256.empty()) {
        report(templateName, url->Row(), Format(kCannotReadFormat, file.c_str()));
        ok = false;
        continue;
      }
      digests.push_back(digest);

      // Each digest element present gets its digest; those missing are
      // placed after the md5, or after the url when there is no md5.
      const TiXmlElement* md5 = element->FirstChildElement(kPackageMd5);
      const TiXmlElement* anchor = md5 ? md5 : url;
      std::vector<std::pair<const char*, std::string>> missing;
      bool placed = true;
      for (const auto& [name, value] : {std::make_pair(kPackageMd5, digest.szMd5),
                                        std::make_pair(kPackageSha256, digest.szSha256)}) {
        const TiXmlElement* present = element->FirstChildElement(name);
        if (!present) {
          missing.emplace_back(name, value);
          continue;
        }
        size_t at = TagOffset(templateText, lines, run.m_xmlDoc, present);
        ElementSpan span = at == std::string::npos ? ElementSpan() : SpanAt(templateText, at, name);
        if (span.nEnd == std::string::npos) {
          report(templateName, present->Row(), Format(kCannotPlaceFormat, name));
          placed = false;
        } else if (span.bEmpty) {
          edits.push_back({at, span.nEnd - at, DigestElement(name, value)});
        } else {
          edits.push_back({span.nContentBegin, span.nContentEnd - span.nContentBegin, value});
        }
      }
      if (!placed) {
        ok = false;
        continue;
      }
      if (missing.empty()) continue;
      size_t at = TagOffset(templateText, lines, run.m_xmlDoc, anchor);
      ElementSpan span =
          at == std::string::npos ? ElementSpan() : SpanAt(templateText, at, anchor->ValueStr());
      if (span.nEnd == std::string::npos) {
        report(templateName, anchor->Row(), Format(kCannotPlaceFormat, anchor->Value()));
        ok = false;
        continue;
      }
      // On a line of its own, indented like the anchor, when the anchor starts
      // its line.
      size_t lineStart = lines[anchor->Row() - 1];
      std::string indent = templateText.substr(lineStart, at - lineStart);
      bool ownLine = indent.find_first_not_of(" \t") == std::string::npos;
      std::string eol = templateText.find("\r\n") != std::string::npos ? "\r\n" : "\n";
      std::string insertion;
      for (const auto& [name, value] : missing) {
        insertion += (ownLine ? eol + indent : "") + DigestElement(name, value);
      }
      edits.push_back({span.nEnd, 0, insertion});
    }
  }
  if (!ok) return false;

  std::string text = templateText;
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.nAt > b.nAt; });
  for (const Edit& edit : edits) text.replace(edit.nAt, edit.nLength, edit.szText);

  // The result read back as the updater reads it must carry the digests.
  {
    ClientSetting client(std::string(), UnexpandedPaths());
    UpdateRun run;
    run.LoadManifest(text);
    const TiXmlElement* root = ManifestRoot(run.m_xmlDoc);
    std::vector<const TiXmlElement*> packages;
    if (root) packages = PackageElements(root);
    bool placed = packages.size() == digests.size();
    for (size_t i = 0; placed && i < packages.size(); ++i) {
      PackageInfo package;
      package.LoadFromXml(packages[i]);
      placed = package.m_szMd5 == digests[i].szMd5 && package.m_szSha256 == digests[i].szSha256;
    }
    if (!placed) {
      err << outName << ": " << kDigestsNotPlaced << "\n";
      return false;
    }
  }
  std::vector<Finding> findings = LintManifest(text);
  for (const Finding& f : findings) report(outName, f.nLine, f.szMessage);
  if (!findings.empty()) return false;
  *out = text;
  return true;
}
