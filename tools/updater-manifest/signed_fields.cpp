#include "signed_fields.h"

#include <tinyxml.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "client_setting.h"
#include "env/mbstring.h"
#include "lint.h"
#include "manifest_texts.h"
#include "update/file_md5.h"
#include "update/file_sha256.h"
#include "update/manifest_trust.h"
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

std::string FieldElement(const char* name, const std::string& value) {
  return "<" + std::string(name) + ">" + value + "</" + name + ">";
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The attributes of the start tag at `at` ("<name"): where each value stands
// inside its quotes, and where the last attribute ends. False when the tag is
// not one the scan can read.
struct StartTag {
  struct Attribute {
    std::string szName;
    size_t nValueBegin;
    size_t nValueEnd;
  };
  std::vector<Attribute> attributes;
  size_t nAttributesEnd = std::string::npos;
};

bool ScanStartTag(const std::string& text, size_t at, const std::string& name, StartTag* tag) {
  size_t i = at + 1 + name.size();
  tag->nAttributesEnd = i;
  for (;;) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size()) return false;
    if (text[i] == '>' || text[i] == '/') return true;
    size_t nameBegin = i;
    while (i < text.size() && !IsBlank(text[i]) && text[i] != '=' && text[i] != '>') ++i;
    std::string attribute = text.substr(nameBegin, i - nameBegin);
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') return false;
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return false;
    size_t close = text.find(text[i], i + 1);
    if (close == std::string::npos) return false;
    tag->attributes.push_back({attribute, i + 1, close});
    i = close + 1;
    tag->nAttributesEnd = i;
  }
}

// True for the package's url, md5, sha256 and size elements: the first of each
// name, the ones the updater reads.
bool IsFileElement(const TiXmlElement* package, const TiXmlElement* e) {
  for (const char* name : {kPackageUrl, kPackageMd5, kPackageSha256, kPackageSize}) {
    if (e->ValueStr() == name) return package->FirstChildElement(name) == e;
  }
  return false;
}

}  // namespace

bool ReadFileFacts(const std::string& path, FileFacts* facts) {
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return false;
  facts->szMd5 = FileMd5Hex(path);
  facts->szSha256 = FileSha256Hex(path);
  facts->nSize = size;
  return !facts->szMd5.empty() && !facts->szSha256.empty();
}

bool ExpiresFromOption(const std::string& option, std::time_t now, std::string* date,
                       std::string* error) {
  int64_t today = UtcDay(now);
  if (!option.empty() && option[0] == '+') {
    uint64_t days = 0;
    if (!ParseDecimal64(option.substr(1), &days) || days < 1 || days > kMaxExpiryDays) {
      *error = Format(kExpiresDaysFormat, option.c_str(), kMaxExpiryDays);
      return false;
    }
    *date = ExpiryDateText(today + static_cast<int64_t>(days));
    return true;
  }
  int64_t day = 0;
  if (!ParseExpiryDate(option, &day)) {
    *error = Format(kExpiresOptionFormat, option.c_str());
    return false;
  }
  if (day < today) {
    *error = Format(kExpiresOptionPastFormat, option.c_str());
    return false;
  }
  *date = option;
  return true;
}

std::string DefaultExpires(std::time_t now) {
  return ExpiryDateText(UtcDay(now) + kDefaultExpiryDays);
}

bool WriteSignedFields(const std::string& text, const std::string& textName,
                       const std::vector<std::optional<FileFacts>>& files,
                       const std::string& expires, const std::string& outName, std::string* out,
                       std::ostream& err) {
  auto report = [&err](const std::string& name, int line, const std::string& message) {
    err << name << ":" << line << ": " << message << "\n";
  };
  std::vector<Edit> edits;
  bool ok = true;
  {
    ClientSetting client(std::string(), UnexpandedPaths());
    UpdateRun run;
    run.LoadManifest(text);
    const TiXmlElement* root = ManifestRoot(run.m_xmlDoc);
    if (!root) {
      for (const Finding& f : LintManifest(text)) report(textName, f.nLine, f.szMessage);
      return false;
    }
    std::vector<size_t> lines = LineStarts(text);
    std::vector<const TiXmlElement*> packages = PackageElements(root);
    if (packages.size() != files.size()) {
      err << outName << ": " << kDigestsNotPlaced << "\n";
      return false;
    }

    size_t rootAt = TagOffset(text, lines, run.m_xmlDoc, root);
    StartTag tag;
    if (rootAt == std::string::npos || !ScanStartTag(text, rootAt, root->ValueStr(), &tag)) {
      report(textName, root->Row(), Format(kCannotPlaceFormat, root->Value()));
      return false;
    }
    auto old =
        std::find_if(tag.attributes.begin(), tag.attributes.end(),
                     [](const StartTag::Attribute& a) { return a.szName == kExpiresAttribute; });
    if (old != tag.attributes.end()) {
      edits.push_back({old->nValueBegin, old->nValueEnd - old->nValueBegin, expires});
    } else {
      edits.push_back(
          {tag.nAttributesEnd, 0, " " + std::string(kExpiresAttribute) + "=\"" + expires + "\""});
    }

    for (size_t i = 0; i < packages.size(); ++i) {
      if (!files[i]) continue;
      const TiXmlElement* element = packages[i];
      const FileFacts& facts = *files[i];
      const TiXmlElement* anchor = nullptr;
      for (const TiXmlElement* e = element->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (IsFileElement(element, e)) anchor = e;
      }
      if (!anchor) {
        report(textName, element->Row(), Format(kCannotPlaceFormat, kPackageUrl));
        ok = false;
        continue;
      }

      // Each element present gets its value; those missing follow the anchor.
      std::vector<std::pair<const char*, std::string>> missing;
      bool placed = true;
      for (const auto& [name, value] :
           {std::make_pair(kPackageMd5, facts.szMd5),
            std::make_pair(kPackageSha256, facts.szSha256),
            std::make_pair(kPackageSize, std::to_string(facts.nSize))}) {
        const TiXmlElement* present = element->FirstChildElement(name);
        if (!present) {
          missing.emplace_back(name, value);
          continue;
        }
        size_t at = TagOffset(text, lines, run.m_xmlDoc, present);
        ElementSpan span = at == std::string::npos ? ElementSpan() : SpanAt(text, at, name);
        if (span.nEnd == std::string::npos) {
          report(textName, present->Row(), Format(kCannotPlaceFormat, name));
          placed = false;
        } else if (span.bEmpty) {
          edits.push_back({at, span.nEnd - at, FieldElement(name, value)});
        } else {
          edits.push_back({span.nContentBegin, span.nContentEnd - span.nContentBegin, value});
        }
      }
      if (!placed) {
        ok = false;
        continue;
      }
      if (missing.empty()) continue;
      size_t at = TagOffset(text, lines, run.m_xmlDoc, anchor);
      ElementSpan span =
          at == std::string::npos ? ElementSpan() : SpanAt(text, at, anchor->ValueStr());
      if (span.nEnd == std::string::npos) {
        report(textName, anchor->Row(), Format(kCannotPlaceFormat, anchor->Value()));
        ok = false;
        continue;
      }
      // On a line of its own, indented like the anchor, when the anchor starts
      // its line.
      size_t lineStart = lines[anchor->Row() - 1];
      std::string indent = text.substr(lineStart, at - lineStart);
      bool ownLine = indent.find_first_not_of(" \t") == std::string::npos;
      std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
      std::string insertion;
      for (const auto& [name, value] : missing) {
        insertion += (ownLine ? eol + indent : "") + FieldElement(name, value);
      }
      edits.push_back({span.nEnd, 0, insertion});
    }
  }
  if (!ok) return false;

  std::string result = text;
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.nAt > b.nAt; });
  for (const Edit& edit : edits) result.replace(edit.nAt, edit.nLength, edit.szText);

  // The result read back as the updater reads it must say what was written.
  {
    ClientSetting client(std::string(), UnexpandedPaths());
    UpdateRun run;
    run.LoadManifest(result);
    const TiXmlElement* root = ManifestRoot(run.m_xmlDoc);
    std::vector<const TiXmlElement*> packages;
    if (root) packages = PackageElements(root);
    const char* written = root ? root->Attribute(kExpiresAttribute) : nullptr;
    bool placed = packages.size() == files.size() && written && expires == written;
    for (size_t i = 0; placed && i < packages.size(); ++i) {
      if (!files[i]) continue;
      PackageInfo package;
      package.LoadFromXml(packages[i]);
      placed = package.m_szMd5 == files[i]->szMd5 && package.m_szSha256 == files[i]->szSha256 &&
               package.m_szSize == std::to_string(files[i]->nSize);
    }
    if (!placed) {
      err << outName << ": " << kDigestsNotPlaced << "\n";
      return false;
    }
  }
  *out = result;
  return true;
}
