#include "lint.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <ctime>
#include <memory>

#include "actions/action_registry.h"
#include "actions/open_action.h"
#include "actions/registry_action.h"
#include "actions/run_action.h"
#include "actions/send_message_action.h"
#include "actions/shortcut_action.h"
#include "client_setting.h"
#include "env/config.h"
#include "env/installed_version.h"
#include "env/mbstring.h"
#include "manifest_texts.h"
#include "nearest_name.h"
#include "update/atomic_update.h"
#include "update/file_md5.h"
#include "update/manifest_trust.h"
#include "update/package_info.h"
#include "update/update_run.h"

using namespace manifesttexts;

namespace {

constexpr char kBlanks[] = " \t\r\n";

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

std::string Suggest(const std::string& word, const std::vector<std::string>& names) {
  std::string nearest = NearestName(word, names);
  return nearest.empty() ? std::string() : Format(kSuggestionFormat, nearest.c_str());
}

const TiXmlAttribute* FindAttribute(const TiXmlElement* element, const std::string& name) {
  for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
    if (name == a->Name()) return a;
  }
  return nullptr;
}

// The line of an action's parameter: its attribute's, or the element's when
// the attribute is absent.
int ParamLine(const TiXmlElement* element, const std::string& name) {
  const TiXmlAttribute* a = FindAttribute(element, name);
  return a ? a->Row() : element->Row();
}

// The first "%NAME%" of the text (letters, digits, "_" and the parentheses of
// names such as ProgramFiles(x86)); empty when there is none.
std::string EnvironmentReference(const std::string& text) {
  for (size_t open = text.find('%'); open != std::string::npos; open = text.find('%', open + 1)) {
    size_t end = open + 1;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                 text[end] == '_' || text[end] == '(' || text[end] == ')')) {
      ++end;
    }
    if (end > open + 1 && end < text.size() && text[end] == '%') {
      return text.substr(open, end - open + 1);
    }
  }
  return std::string();
}

std::string VersionText(const unsigned int numbers[4]) {
  return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
         std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
}

class Linter {
 public:
  Linter(const std::string& text, bool forSignedClients)
      : m_szText(text), m_bSigned(forSignedClients) {}

  std::vector<Finding> Run() {
    CheckVariables();
    ClientSetting client(std::string(), UnexpandedPaths());
    UpdateRun run;
    run.LoadManifest(m_szText);
    const TiXmlDocument& doc = run.m_xmlDoc;
    if (doc.Error()) {
      int column = doc.ErrorCol() > 0 ? doc.ErrorCol() : 1;
      Add(doc.ErrorRow() > 0 ? doc.ErrorRow() : 1,
          Format(kNotWellFormedFormat, doc.ErrorDesc(), column));
    } else if (const TiXmlElement* root = ManifestRoot(doc)) {
      CheckRoot(root);
    } else {
      const TiXmlElement* first = doc.FirstChildElement();
      Add(first ? first->Row() : 1, Format(kNoRootFormat, kManifestRootElement));
    }
    std::stable_sort(m_findings.begin(), m_findings.end(),
                     [](const Finding& a, const Finding& b) { return a.nLine < b.nLine; });
    return m_findings;
  }

 private:
  void Add(int line, const std::string& message) { m_findings.push_back({line, message}); }

  // Lines as the parser counts them: LF, CR LF and a lone CR each end one.
  int LineAt(size_t offset) const {
    int line = 1;
    for (size_t i = 0; i < offset && i < m_szText.size(); ++i) {
      if (m_szText[i] == '\n') ++line;
      if (m_szText[i] == '\r' && (i + 1 >= m_szText.size() || m_szText[i + 1] != '\n')) ++line;
    }
    return line;
  }

  // "${name}" anywhere outside comments: the path variables are replaced in
  // the whole text, "${this_file}" in the action parameters; any other name
  // stays as written.
  void CheckVariables() {
    const std::vector<std::string> known = {kAppPathVar, kWinPathVar, kSys32PathVar, kThisFileVar};
    size_t at = 0;
    while ((at = m_szText.find("${", at)) != std::string::npos) {
      size_t comment = m_szText.rfind("<!--", at);
      if (comment != std::string::npos) {
        size_t close = m_szText.find("-->", comment);
        if (close == std::string::npos || close > at) {
          at = close == std::string::npos ? m_szText.size() : close;
          continue;
        }
      }
      size_t end = at + 2;
      while (end < m_szText.size() &&
             (std::isalnum(static_cast<unsigned char>(m_szText[end])) || m_szText[end] == '_')) {
        ++end;
      }
      bool closed = end < m_szText.size() && m_szText[end] == '}';
      std::string variable = m_szText.substr(at, end - at + (closed ? 1 : 0));
      if (!closed) {
        Add(LineAt(at), Format(kVariableNotClosedFormat, variable.c_str(),
                               Suggest(variable + "}", known).c_str()));
      } else if (std::find(known.begin(), known.end(), variable) == known.end()) {
        Add(LineAt(at),
            Format(kNoPathVariableFormat, variable.c_str(), Suggest(variable, known).c_str()));
      }
      at = end;
    }
  }

  void CheckRoot(const TiXmlElement* root) {
    m_bAtomic = IsAtomicManifest(root);
    const char* version = root->Attribute("version");
    if (!version) {
      Add(root->Row(), kNoVersion);
    } else {
      unsigned int numbers[4];
      ParseVersion(version, numbers);
      std::string read = VersionText(numbers);
      int line = ParamLine(root, "version");
      if (read != version) {
        Add(line, Format(kVersionNotFourNumbersFormat, version, read.c_str()));
      } else if (!(numbers[0] | numbers[1] | numbers[2] | numbers[3])) {
        Add(line, kVersionZero);
      } else if (RecordedVersion(read) != read) {
        Add(line, Format(kVersionCutFormat, read.c_str(), RecordedVersion(read).c_str()));
      }
    }
    if (!root->Attribute(kExpiresAttribute) && m_bSigned) {
      Add(root->Row(), Format(kNoExpiresFormat, kExpiresAttribute));
    }
    if (const char* expires = root->Attribute(kExpiresAttribute)) {
      int64_t day = 0;
      if (!ParseExpiryDate(expires, &day)) {
        Add(ParamLine(root, kExpiresAttribute), Format(kExpiresNotDateFormat, expires));
      } else if (ManifestExpired(expires, std::time(nullptr))) {
        Add(ParamLine(root, kExpiresAttribute), Format(kExpiresPastFormat, expires));
      }
    }
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
      if (e->ValueStr() != kPackageElement) {
        Add(e->Row(), Format(kNotReadInRootFormat, e->Value(), kPackageElement,
                             Suggest(e->ValueStr(), {kPackageElement}).c_str()));
      }
    }
    std::vector<const TiXmlElement*> packages = PackageElements(root);
    if (packages.empty()) {
      Add(root->Row(), Format(kNoPackageFormat, kPackageElement));
    }
    for (const TiXmlElement* package : packages) CheckPackage(package);
  }

  void CheckPackage(const TiXmlElement* package) {
    PackageInfo info;
    info.LoadFromXml(package);
    std::vector<std::string> known = PackageChildNames();
    for (const TiXmlElement* e = package->FirstChildElement(); e; e = e->NextSiblingElement()) {
      if (std::find(known.begin(), known.end(), e->ValueStr()) == known.end()) {
        Add(e->Row(),
            Format(kNotReadInPackageFormat, e->Value(), Suggest(e->ValueStr(), known).c_str()));
      }
    }
    const TiXmlElement* url = package->FirstChildElement(kPackageUrl);
    const TiXmlElement* md5 = package->FirstChildElement(kPackageMd5);
    if (md5 && info.m_szUrl.empty() && !ChildText(package, kPackageMd5).empty()) {
      Add(md5->Row(), kMd5WithoutUrl);
    }
    if (md5 && !info.m_szMd5.empty() && !IsHexDigest(info.m_szMd5, 32)) {
      Add(md5->Row(), Format(kMd5NotDigestFormat, info.m_szMd5.c_str()));
    }
    const TiXmlElement* sha256 = package->FirstChildElement(kPackageSha256);
    if (!info.m_szUrl.empty() && info.m_szSha256.empty()) {
      Add(url->Row(), m_bSigned ? Format(kRefusedWithoutFormat, kPackageSha256) : kNoSha256);
    } else if (!info.m_szSha256.empty() && !IsHexDigest(info.m_szSha256, 64)) {
      Add(sha256->Row(), Format(kSha256NotDigestFormat, info.m_szSha256.c_str()));
    }
    const TiXmlElement* size = package->FirstChildElement(kPackageSize);
    uint64_t bytes = 0;
    if (!info.m_szUrl.empty() && info.m_szSize.empty()) {
      Add(url->Row(), m_bSigned ? Format(kRefusedWithoutFormat, kPackageSize) : kNoSize);
    } else if (!info.m_szSize.empty() && !ParsePackageSize(info.m_szSize, &bytes)) {
      Add(size->Row(), Format(kSizeNotNumberFormat, info.m_szSize.c_str()));
    }
    if (url && info.m_szUrl.find(kThisFileVar) != std::string::npos) {
      Add(url->Row(), Format(kThisFileInUrlFormat, kThisFileVar));
    }
    for (const char* listName : kActionListNames) CheckActionList(package, listName);
  }

  void CheckActionList(const TiXmlElement* package, const char* listName) {
    const TiXmlElement* holder = package->FirstChildElement(listName);
    if (!holder) return;
    for (const TiXmlElement* extra = holder->NextSiblingElement(listName); extra;
         extra = extra->NextSiblingElement(listName)) {
      Add(extra->Row(), Format(kSecondListFormat, listName));
    }
    std::vector<const TiXmlElement*> actions = ActionElements(package, listName);
    for (const TiXmlElement* e = holder->FirstChildElement();
         e && (actions.empty() || e != actions.front()); e = e->NextSiblingElement()) {
      Add(e->Row(), Format(kBeforeFirstActionFormat, e->Value(), listName));
    }
    for (const TiXmlElement* e : actions) CheckAction(e);
  }

  void CheckAction(const TiXmlElement* element) {
    const char* type = element->Attribute("type");
    if (!type) {
      Add(element->Row(), Format(kNoTypeFormat, element->Value()));
      return;
    }
    std::unique_ptr<Action> action = CreateAction(type);
    if (!action) {
      Add(ParamLine(element, "type"),
          Format(kTypeNotRegisteredFormat, type,
                 Suggest(MbsLower(TrimChars(type, kBlanks)), RegisteredActionTypes()).c_str()));
      return;
    }
    action->LoadFromElement(element);
    CheckUndoable(element, *action);
    CheckAttributes(element, *action);
    CheckEnvironmentReferences(element, *action);
    if (auto* sendMessage = dynamic_cast<SendMessageAction*>(action.get())) {
      CheckSendMessage(element, *sendMessage);
    } else if (auto* shortcut = dynamic_cast<ShortcutAction*>(action.get())) {
      CheckShortcut(element, *shortcut);
    } else if (dynamic_cast<RegistryAction*>(action.get())) {
      CheckRegistry(element, *action);
    }
  }

  // Programs started and messages sent are outside what the journal can put
  // back.
  void CheckUndoable(const TiXmlElement* element, const Action& action) {
    if (!m_bAtomic) return;
    const std::string& type = action.GetType();
    if (dynamic_cast<const RunAction*>(&action) || dynamic_cast<const OpenAction*>(&action)) {
      Add(element->Row(), Format(kNotUndoneFormat, type.c_str(), kProgramKeepsItsEffects));
    } else if (dynamic_cast<const SendMessageAction*>(&action)) {
      Add(element->Row(), Format(kNotUndoneFormat, type.c_str(), kMessageStaysSent));
    }
  }

  // Attribute names are matched exactly; every other attribute is not read.
  void CheckAttributes(const TiXmlElement* element, const Action& action) {
    const std::vector<std::string>& names = action.GetParamNames();
    for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
      std::string name = a->Name();
      if (name == "type" || std::find(names.begin(), names.end(), name) != names.end()) continue;
      std::string hint = Suggest(name, names);
      if (hint.empty()) hint = Format(kParameterListFormat, Join(names).c_str());
      Add(a->Row(),
          Format(kNoParameterFormat, name.c_str(), action.GetType().c_str(), hint.c_str()));
    }
  }

  // The typed field an action works with gets a value environment-expanded
  // only when SubstituteThisFile sets it again, that is when the value holds
  // "${this_file}"; the table's expanded copy is not what the action uses.
  void CheckEnvironmentReferences(const TiXmlElement* element, const Action& action) {
    const std::vector<std::string>& names = action.GetParamNames();
    const std::vector<std::string>& values = action.GetParamValues();
    for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
      const std::string& value = values[i];
      if (value.find(kThisFileVar) != std::string::npos) continue;
      std::string reference = EnvironmentReference(value);
      if (reference.empty()) continue;
      Add(ParamLine(element, names[i]),
          Format(kEnvironmentStaysFormat, reference.c_str(), names[i].c_str(), kThisFileVar));
    }
  }

  void CheckSendMessage(const TiXmlElement* element, const SendMessageAction& action) {
    if (action.m_szClassName.empty() && action.m_szTitle.empty()) {
      Add(element->Row(), kNoWindow);
    }
    std::string message = action.GetParam("message");
    int32_t number;
    long long value;
    if (TrimChars(message, kBlanks).empty()) {
      Add(ParamLine(element, "message"), kNoMessage);
    } else if (!MessageNameNumber(message, &number) && !IsDecimalNumber(message, &value)) {
      std::vector<std::string> names = MessageNames();
      Add(ParamLine(element, "message"),
          Format(kUnknownMessageFormat, message.c_str(), Join(names).c_str(), action.m_nMessage,
                 Suggest(TrimChars(message, kBlanks), names).c_str()));
    }
    const struct {
      const char* name;
      int32_t bound;
    } numbers[] = {{"wparam", action.m_wParam}, {"lparam", action.m_lParam}};
    for (const auto& n : numbers) {
      std::string text = action.GetParam(n.name);
      if (!text.empty() && !IsDecimalNumber(text, &value)) {
        Add(ParamLine(element, n.name),
            Format(kNotDecimalParamFormat, n.name, text.c_str(), n.bound));
      }
    }
  }

  void CheckShortcut(const TiXmlElement* element, const ShortcutAction& action) {
    if (!IsShortcutCommand(action.m_szCmd)) {
      std::vector<std::string> commands = ShortcutCommands();
      Add(ParamLine(element, "cmd"),
          Format(kUnknownShortcutCmdFormat, action.GetParam("cmd").c_str(), Join(commands).c_str(),
                 Suggest(action.m_szCmd, commands).c_str()));
    }
    if (action.m_szName.empty()) {
      Add(ParamLine(element, "name"), kShortcutWithoutName);
    }
  }

  void CheckRegistry(const TiXmlElement* element, const Action& action) {
    std::string key = action.GetParam("key");
    std::string valueName = action.GetParam("valuename");
    bool deleteKey = !key.empty() && key[0] == kRegistryDeleteMarker;
    bool deleteValue = !deleteKey && !valueName.empty() && valueName[0] == kRegistryDeleteMarker;
    if (deleteKey) key.erase(0, 1);
    std::string rootName;
    std::string subKey;
    SplitRegistryKey(key, &rootName, &subKey);
    platform::RootKey root;
    int keyLine = ParamLine(element, "key");
    if (!RootKeyOfName(rootName, &root)) {
      Add(keyLine, Format(kUnknownRootFormat, action.GetParam("key").c_str(), rootName.c_str(),
                          subKey.c_str(), Suggest(rootName, RegistryRootNames()).c_str()));
    } else if (RootKeyOfName(subKey, &root)) {
      Add(keyLine, Format(kNoSubKeyFormat, action.GetParam("key").c_str(), subKey.c_str()));
    }
    if (deleteKey || deleteValue) return;

    std::string typeText = action.GetParam("valuetype");
    std::string value = action.GetParam("value");
    int valueLine = ParamLine(element, "value");
    RegistryValueType type;
    if (!ValueTypeOfName(typeText, &type) && !typeText.empty()) {
      std::vector<std::string> types = RegistryValueTypeNames();
      Add(ParamLine(element, "valuetype"),
          Format(kUnknownValueTypeFormat, typeText.c_str(), Join(types).c_str(),
                 Suggest(typeText, types).c_str()));
    }
    if (type == RegistryValueType::kBinary) {
      std::unique_ptr<unsigned char[]> bytes;
      if (ParseHexBytes(value, bytes) <= 0) {
        Add(valueLine, Format(kNotHexFormat, value.c_str()));
      }
      if (!FindAttribute(element, "startpos")) {
        Add(element->Row(), kBinaryWithoutStartPos);
      }
    } else if (type == RegistryValueType::kDword) {
      long long number = 0;
      if (!IsDecimalNumber(value, &number)) {
        Add(valueLine, Format(kDwordNotNumberFormat, value.c_str()));
      } else if (number < INT32_MIN || number > INT32_MAX) {
        Add(valueLine, Format(kDwordOutOfRangeFormat, value.c_str(), INT32_MIN, INT32_MAX));
      }
    }
  }

  const std::string& m_szText;
  bool m_bSigned;
  std::vector<Finding> m_findings;
  bool m_bAtomic = false;
};

}  // namespace

std::vector<Finding> LintManifest(const std::string& text, bool forSignedClients) {
  return Linter(text, forSignedClients).Run();
}

bool IsDecimalNumber(const std::string& text, long long* value) {
  std::string t = TrimChars(text, kBlanks);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i >= t.size()) return false;
  long long number = 0;
  for (; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
    // Past 2^40 the exact value no longer matters: it is out of every range.
    if (number < (1LL << 40)) number = number * 10 + (t[i] - '0');
  }
  *value = negative ? -number : number;
  return true;
}
