// The manifest from text: the nesting scan against the parser's own tree,
// the parser's reads against the slack left after the text, then LoadManifest
// with every action type registered and bound (nothing is executed).
#include <tinyxml.h>

#include <climits>
#include <cstdint>

#include "actions/action_registry.h"
#include "env/config.h"
#include "fuzz_support.h"
#include "support/guarded_text_posix.h"
#include "support/parser_probe.h"
#include "update/manifest_nesting.h"
#include "update/update_run.h"

namespace {

// Deeper trees are left to LoadManifest's own refusal: the raw parse below
// would recurse as deep as the input asks.
constexpr int kRawParseDepth = 2000;
constexpr size_t kSlack = 16;  // as LoadManifest leaves after the text

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InstallQuietLog();
  RegisterActionTypes();
  g_szVersion = "0.0.0.0";  // every version the manifest names is newer
  g_szAppPath = "/nonexistent/velmar";
  g_szDownloadPath = g_szAppPath + "/download";
  g_szWinPath = "/usr";
  g_szSys32Path = "/usr/lib";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  // As LoadManifest gives it to the parser: up to the first zero byte, then
  // the slack.
  std::string parsed = text.substr(0, text.find('\0'));
  NestingScan scan = ScanManifestNesting(parsed, INT_MAX);
  if (scan.depth <= kRawParseDepth) {
    static GuardedText guarded;
    TiXmlDocument doc;
    doc.Parse(guarded.Place(parsed + std::string(kSlack, '\0')));
    int depth = XmlTreeDepth(&doc);
    FUZZ_CHECK(depth == scan.depth, "parser depth %d, scan depth %d", depth, scan.depth);
  }

  UpdateRun run;
  if (run.LoadManifest(text)) {
    for (auto& package : run.m_listPackages) {
      for (auto* list :
           {&package->m_listPreActions, &package->m_listActions, &package->m_listPostActions}) {
        for (auto& action : *list) {
          action->SubstituteThisFile("/nonexistent/velmar/download/package.zip");
          action->ApplyParams();
          FUZZ_CHECK(action->GetParamNames().size() == action->GetParamValues().size(), "type %s",
                     action->GetType().c_str());
        }
      }
    }
  }
  return 0;
}
