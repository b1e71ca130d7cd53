// One update run: from the manifest URL to the recorded version.
#pragma once

#include <tinyxml.h>

#include <memory>
#include <string>
#include <vector>

#include "update/package_info.h"

class UpdateRun {
 public:
  UpdateRun();
  virtual ~UpdateRun();

  // `url` is a copy the downloader may rewrite; `manifestText` receives the
  // downloaded manifest. False when offline, when the manifest cannot be
  // fetched or when an update cut short could not be put back; true on every
  // other path.
  bool RunUpdate(std::string url, std::string& manifestText);
  // Replaces the path variables, parses the text and, when its version is
  // newer than the installed one, reads its packages. False when the text is
  // not well-formed XML, has no "updateinfo" element or, with a trusted key,
  // breaks a promise a signed manifest must keep (ManifestTrust::Usable).
  bool LoadManifest(std::string text);

  TiXmlDocument m_xmlDoc;
  std::vector<std::unique_ptr<PackageInfo>> m_listPackages;  // only for a newer manifest
  std::string m_szLatestVersion;
  bool m_bAtomic = false;  // the whole update or nothing
};

// The manifest's root, "updateinfo", and its package elements, "package".
extern const char kManifestRootElement[];
extern const char kPackageElement[];
// The document's first top-level "updateinfo" element; null when there is none.
const TiXmlElement* ManifestRoot(const TiXmlDocument& doc);
// The "package" children of the root, in document order; other children are
// passed over.
std::vector<const TiXmlElement*> PackageElements(const TiXmlElement* root);

// True when `latest` is newer than `installed`: the first of the four numbers
// that differ decides. Numbers that cannot be read are 0.
bool CompareVersion(const std::string& installed, const std::string& latest);
