#include "publish.h"

#include <tinyxml.h>

#include "client_setting.h"
#include "env/config.h"
#include "lint.h"
#include "manifest_texts.h"
#include "update/package_info.h"
#include "update/update_run.h"

using namespace manifesttexts;

bool PublishManifest(const std::string& templateText, const std::string& templateName,
                     const std::string& dir, const std::string& expires, const std::string& outName,
                     std::string* out, std::ostream& err) {
  auto report = [&err](const std::string& name, int line, const std::string& message) {
    err << name << ":" << line << ": " << message << "\n";
  };
  std::vector<std::optional<FileFacts>> files;
  bool ok = true;
  {
    ClientSetting client(std::string(), UnexpandedPaths());
    UpdateRun run;
    run.LoadManifest(templateText);
    const TiXmlElement* root = ManifestRoot(run.m_xmlDoc);
    // Without a root WriteSignedFields says what is wrong.
    for (const TiXmlElement* element :
         root ? PackageElements(root) : std::vector<const TiXmlElement*>()) {
      PackageInfo package;
      package.LoadFromXml(element);
      files.emplace_back();
      if (package.m_szUrl.empty()) continue;
      int line = element->FirstChildElement(kPackageUrl)->Row();
      std::string name = UrlFileName(package.m_szUrl);
      std::string file = JoinPath(dir, name);
      if (name.empty() || !PathExists(file) || IsDirectory(file)) {
        report(templateName, line,
               Format(kNoFileForUrlFormat, package.m_szUrl.c_str(), name.c_str(), dir.c_str()));
        ok = false;
        continue;
      }
      FileFacts facts;
      if (!ReadFileFacts(file, &facts)) {
        report(templateName, line, Format(kCannotReadFormat, file.c_str()));
        ok = false;
        continue;
      }
      files.back() = facts;
    }
  }
  std::string text;
  if (!ok || !WriteSignedFields(templateText, templateName, files, expires, outName, &text, err)) {
    return false;
  }
  std::vector<Finding> findings = LintManifest(text, true);
  for (const Finding& f : findings) report(outName, f.nLine, f.szMessage);
  if (!findings.empty()) return false;
  *out = text;
  return true;
}
