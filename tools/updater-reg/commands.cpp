#include "commands.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>

#include "env/mbstring.h"
#include "env/registry_key.h"
#include "key_name.h"
#include "platform/env.h"
#include "reg_file.h"
#include "reg_texts.h"
#include "value_data.h"

using platform::Error;
using platform::RegistryHandle;

namespace {

const char kIndent[] = "    ";

platform::RegistryStore& Store() { return platform::Env::Get().registry(); }

// printf into a std::string, for the message formats of reg_texts.h.
std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

int Fail(const std::string& message) {
  fprintf(stderr, "%s\n", message.c_str());
  return 1;
}

int SyntaxError(const char* operation) {
  fprintf(stderr, "%s\n", regtexts::kInvalidSyntax);
  return Fail(Format(regtexts::kUsageHintFormat, operation));
}

int FailWith(Error err) {
  switch (err) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound:
      return Fail(regtexts::kNotFound);
    case platform::kErrorAccessDenied:
      return Fail(regtexts::kAccessDenied);
    case platform::kErrorBadDatabase:
      return Fail(regtexts::kCorrupt);
    case platform::kErrorBusy:
      return Fail(regtexts::kBusy);
    default:
      return Fail(Format(regtexts::kFailedFormat, static_cast<unsigned>(err)));
  }
}

int Succeed() {
  puts(regtexts::kSuccess);
  return 0;
}

// The switches of one operation: those in `withArgument` take the next
// argument, the others stand alone. Anything else is a positional argument, so
// that a POSIX path such as /tmp/a.reg is no switch.
struct Options {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const char* name) const { return flags.count(name) || values.count(name); }
  const std::string& Value(const char* name) const { return values.at(name); }
};

bool ParseOptions(const Arguments& args, const std::set<std::string>& withArgument,
                  const std::set<std::string>& alone, Options* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name = arg.size() > 1 && (arg[0] == '/' || arg[0] == '-') ? MbsLower(arg.substr(1))
                                                                          : std::string();
    if (withArgument.count(name)) {
      if (i + 1 >= args.size() || options->values.count(name)) return false;
      options->values[name] = args[++i];
    } else if (alone.count(name)) {
      if (!options->flags.insert(name).second) return false;
    } else {
      options->positional.push_back(arg);
    }
  }
  return true;
}

// Asks on the terminal. Without one, nobody can answer: the caller's switch is
// needed then, and `refusal` says which.
enum class Answer { kYes, kNo, kNoTerminal };

Answer Ask(const std::string& question) {
  if (!isatty(STDIN_FILENO)) return Answer::kNoTerminal;
  fputs(question.c_str(), stdout);
  fflush(stdout);
  std::string reply;
  if (!std::getline(std::cin, reply)) return Answer::kNo;
  reply = MbsLower(TrimChars(reply, " \t"));
  return reply == "y" || reply == "yes" ? Answer::kYes : Answer::kNo;
}

// 0 to go on, else the exit code after the refusal has been reported.
int Confirm(const std::string& question, const std::string& refusal) {
  switch (Ask(question)) {
    case Answer::kYes:
      return 0;
    case Answer::kNo:
      puts(regtexts::kCancelled);
      return 1;
    default:
      return Fail(refusal);
  }
}

std::string ShownName(const std::string& name) {
  return name.empty() ? regtexts::kDefaultName : name;
}

std::string ValueLine(const std::string& name, uint32_t type, const std::string& bytes) {
  return kIndent + ShownName(name) + kIndent + TypeName(type) + kIndent +
         FormatQueryData(type, bytes) + "\n";
}

Error OpenKey(const KeyName& key, uint32_t access, std::unique_ptr<RegistryHandle>* handle) {
  return Store().OpenKey(key.root, key.subKey, access, handle);
}

struct Value {
  std::string name;
  uint32_t type = 0;
  std::string bytes;
};

Error ReadValues(RegistryHandle* key, std::vector<Value>* values) {
  values->clear();
  for (uint32_t i = 0;; ++i) {
    Value v;
    Error err = Store().EnumValue(key, i, &v.name, &v.type, &v.bytes);
    if (err == platform::kErrorNoMoreItems) return platform::kErrorSuccess;
    if (err != platform::kErrorSuccess) return err;
    values->push_back(v);
  }
}

Error ReadSubKeys(RegistryHandle* key, std::vector<std::string>* names) {
  names->clear();
  for (uint32_t i = 0;; ++i) {
    std::string name;
    Error err = Store().EnumKey(key, i, &name);
    if (err == platform::kErrorNoMoreItems) return platform::kErrorSuccess;
    if (err != platform::kErrorSuccess) return err;
    names->push_back(name);
  }
}

// One value by name: 0, or 2 when it is not there.
Error ReadValue(RegistryHandle* key, const std::string& name, Value* value) {
  uint32_t size = 0;
  Error err = Store().QueryValue(key, name, &value->type, nullptr, &size);
  if (err != platform::kErrorSuccess) return err;
  value->name = name;
  value->bytes.assign(size, '\0');
  err = Store().QueryValue(key, name, &value->type, value->bytes.data(), &size);
  value->bytes.resize(size);
  return err;
}

// add -----------------------------------------------------------------------

// Without /d: an empty text, a zero, or no bytes.
bool DefaultData(uint32_t type, std::string* bytes) {
  return DataFromArgument(type, type == platform::kRegDword ? "0" : "", bytes);
}

// delete ----------------------------------------------------------------------

// After RegistryKey::DeleteKey said FALSE: why the key is still there.
int FailToDelete(const KeyName& key) {
  std::unique_ptr<RegistryHandle> handle;
  Error err = OpenKey(key, platform::kKeyAllAccess, &handle);
  if (err == platform::kErrorFileNotFound) return 0;
  return err != platform::kErrorSuccess ? FailWith(err) : Fail(regtexts::kNotAllDeleted);
}

// Visits the key and everything below it, each key before its sub keys, with
// the key's values.
using KeyVisitor = std::function<void(const KeyName&, const std::vector<Value>&)>;

Error WalkTree(const KeyName& key, const KeyVisitor& visit) {
  std::unique_ptr<RegistryHandle> handle;
  Error err = OpenKey(key, platform::kKeyRead, &handle);
  std::vector<Value> values;
  std::vector<std::string> children;
  if (err == platform::kErrorSuccess) err = ReadValues(handle.get(), &values);
  if (err == platform::kErrorSuccess) err = ReadSubKeys(handle.get(), &children);
  if (err != platform::kErrorSuccess) return err;
  handle.reset();
  visit(key, values);
  for (const std::string& child : children) {
    err = WalkTree(ChildKey(key, child), visit);
    if (err != platform::kErrorSuccess) return err;
  }
  return platform::kErrorSuccess;
}

// query /v or /ve with /s: every key below that has the value.
Error SearchTree(const KeyName& key, const std::string& name, std::string* out, int* matches) {
  return WalkTree(key, [&](const KeyName& at, const std::vector<Value>&) {
    std::unique_ptr<RegistryHandle> handle;
    Value value;
    if (OpenKey(at, platform::kKeyRead, &handle) == platform::kErrorSuccess &&
        ReadValue(handle.get(), name, &value) == platform::kErrorSuccess) {
      *out += at.display + "\n" + ValueLine(value.name, value.type, value.bytes) + "\n";
      ++*matches;
    }
  });
}

}  // namespace

int RunAdd(const Arguments& args) {
  Options options;
  if (!ParseOptions(args, {"v", "t", "d"}, {"ve", "f"}, &options) ||
      options.positional.size() != 1 || (options.Has("v") && options.Has("ve"))) {
    return SyntaxError("ADD");
  }
  KeyName key;
  if (!ParseKeyName(options.positional[0], &key)) return Fail(regtexts::kInvalidKeyName);
  bool value = options.Has("v") || options.Has("ve");
  if (!value && (options.Has("t") || options.Has("d"))) return Fail(regtexts::kDataWithoutValue);

  if (!value) {
    std::unique_ptr<RegistryHandle> handle;
    Error err = Store().CreateKey(key.root, key.subKey, platform::kKeyWrite, &handle);
    return err == platform::kErrorSuccess ? Succeed() : FailWith(err);
  }

  uint32_t type = platform::kRegSz;
  if (options.Has("t") && !ParseAddType(options.Value("t"), &type))
    return Fail(Format(regtexts::kBadTypeFormat, options.Value("t").c_str()));
  std::string bytes;
  bool dataOk = options.Has("d") ? DataFromArgument(type, options.Value("d"), &bytes)
                                 : DefaultData(type, &bytes);
  if (!dataOk) return Fail(type == platform::kRegDword ? regtexts::kBadNumber : regtexts::kBadHex);

  std::string name = options.Has("v") ? options.Value("v") : std::string();
  if (!options.Has("f")) {
    std::unique_ptr<RegistryHandle> handle;
    Value existing;
    if (OpenKey(key, platform::kKeyRead, &handle) == platform::kErrorSuccess &&
        ReadValue(handle.get(), name, &existing) == platform::kErrorSuccess) {
      int refused = Confirm(Format(regtexts::kAskOverwriteValueFormat, ShownName(name).c_str()),
                            Format(regtexts::kNeedForceFormat, regtexts::kOverwriteValue));
      if (refused) return refused;
    }
  }
  RegistryKey writer;
  writer.SetRootKey(key.root);
  writer.SetSubKey(key.subKey.c_str());
  writer.SetValueName(name.c_str());
  Error err = writer.WriteValue(bytes.data(), static_cast<uint32_t>(bytes.size()), type);
  return err == platform::kErrorSuccess ? Succeed() : FailWith(err);
}

int RunQuery(const Arguments& args) {
  Options options;
  if (!ParseOptions(args, {"v"}, {"ve", "s"}, &options) || options.positional.size() != 1 ||
      (options.Has("v") && options.Has("ve"))) {
    return SyntaxError("QUERY");
  }
  KeyName key;
  if (!ParseKeyName(options.positional[0], &key)) return Fail(regtexts::kInvalidKeyName);
  std::unique_ptr<RegistryHandle> handle;
  Error err = OpenKey(key, platform::kKeyRead, &handle);
  if (err != platform::kErrorSuccess) return FailWith(err);

  std::string out = "\n";
  if (options.Has("v") || options.Has("ve")) {
    std::string name = options.Has("v") ? options.Value("v") : std::string();
    if (options.Has("s")) {
      int matches = 0;
      err = SearchTree(key, name, &out, &matches);
      if (err != platform::kErrorSuccess) return FailWith(err);
      fputs(out.c_str(), stdout);
      printf(regtexts::kEndOfSearchFormat, matches);
      printf("\n");
      return matches ? 0 : 1;
    }
    Value value;
    err = ReadValue(handle.get(), name, &value);
    if (err == platform::kErrorFileNotFound && name.empty()) {
      // As reg.exe shows a default value that was never set.
      out += key.display + "\n" + kIndent + regtexts::kDefaultName + kIndent +
             TypeName(platform::kRegSz) + kIndent + regtexts::kValueNotSet + "\n\n";
      fputs(out.c_str(), stdout);
      return 0;
    }
    if (err != platform::kErrorSuccess) return FailWith(err);
    out += key.display + "\n" + ValueLine(value.name, value.type, value.bytes) + "\n";
    fputs(out.c_str(), stdout);
    return 0;
  }

  if (options.Has("s")) {
    err = WalkTree(key, [&out](const KeyName& at, const std::vector<Value>& values) {
      out += at.display + "\n";
      for (const Value& v : values) out += ValueLine(v.name, v.type, v.bytes);
      out += "\n";
    });
  } else {
    std::vector<Value> values;
    std::vector<std::string> children;
    err = ReadValues(handle.get(), &values);
    if (err == platform::kErrorSuccess) err = ReadSubKeys(handle.get(), &children);
    out += key.display + "\n";
    for (const Value& v : values) out += ValueLine(v.name, v.type, v.bytes);
    out += "\n";
    for (const std::string& child : children) out += ChildKey(key, child).display + "\n";
  }
  if (err != platform::kErrorSuccess) return FailWith(err);
  fputs(out.c_str(), stdout);
  return 0;
}

int RunDelete(const Arguments& args) {
  Options options;
  if (!ParseOptions(args, {"v"}, {"ve", "va", "f"}, &options) || options.positional.size() != 1 ||
      options.Has("v") + options.Has("ve") + options.Has("va") > 1) {
    return SyntaxError("DELETE");
  }
  KeyName key;
  if (!ParseKeyName(options.positional[0], &key)) return Fail(regtexts::kInvalidKeyName);
  std::unique_ptr<RegistryHandle> handle;
  Error err = OpenKey(key, platform::kKeyRead, &handle);
  if (err != platform::kErrorSuccess) return FailWith(err);
  std::string refusal = Format(regtexts::kNeedForceFormat, regtexts::kDeleting);
  bool force = options.Has("f");

  if (options.Has("v") || options.Has("ve")) {
    std::string name = options.Has("v") ? options.Value("v") : std::string();
    Value existing;
    err = ReadValue(handle.get(), name, &existing);
    if (err != platform::kErrorSuccess) return FailWith(err);
    if (!force) {
      int refused =
          Confirm(Format(regtexts::kAskDeleteValueFormat, ShownName(name).c_str()), refusal);
      if (refused) return refused;
    }
    err = OpenKey(key, platform::kKeySetValue, &handle);
    if (err == platform::kErrorSuccess) err = Store().DeleteValue(handle.get(), name);
    return err == platform::kErrorSuccess ? Succeed() : FailWith(err);
  }

  if (options.Has("va")) {
    if (!force) {
      int refused = Confirm(Format(regtexts::kAskDeleteAllFormat, key.display.c_str()), refusal);
      if (refused) return refused;
    }
    std::vector<Value> values;
    err = OpenKey(key, platform::kKeyQueryValue | platform::kKeySetValue, &handle);
    if (err == platform::kErrorSuccess) err = ReadValues(handle.get(), &values);
    for (size_t i = 0; err == platform::kErrorSuccess && i < values.size(); ++i)
      err = Store().DeleteValue(handle.get(), values[i].name);
    return err == platform::kErrorSuccess ? Succeed() : FailWith(err);
  }

  if (key.subKey.empty()) return Fail(regtexts::kRootNotDeleted);
  if (!force) {
    int refused = Confirm(Format(regtexts::kAskDeleteKeyFormat, key.display.c_str()), refusal);
    if (refused) return refused;
  }
  handle.reset();
  RegistryKey deleter;
  deleter.SetRootKey(key.root);
  if (!deleter.DeleteKey(key.subKey)) {
    int failed = FailToDelete(key);
    if (failed) return failed;
  }
  return Succeed();
}

int RunExport(const Arguments& args) {
  Options options;
  if (!ParseOptions(args, {}, {"y"}, &options) || options.positional.size() != 2)
    return SyntaxError("EXPORT");
  KeyName key;
  if (!ParseKeyName(options.positional[0], &key)) return Fail(regtexts::kInvalidKeyName);
  const std::string& file = options.positional[1];
  std::string text = RegFileHeader();
  Error err = WalkTree(key, [&text](const KeyName& at, const std::vector<Value>& values) {
    text += RegFileKeyLine(at.display);
    for (const Value& v : values) text += RegFileValueLine(v.name, v.type, v.bytes);
    text += "\r\n";
  });
  if (err != platform::kErrorSuccess) return FailWith(err);
  std::error_code ec;
  if (!options.Has("y") && std::filesystem::exists(file, ec)) {
    int refused = Confirm(Format(regtexts::kAskOverwriteFileFormat, file.c_str()),
                          Format(regtexts::kNeedOverwriteFormat, file.c_str()));
    if (refused) return refused;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) return Fail(Format(regtexts::kCannotWriteFileFormat, file.c_str()));
  return Succeed();
}

// Writes the keys of a .reg file in order: 0, or the exit code of the first
// failure, which ends the import (what was written before it stays).
int ImportKeys(const std::vector<RegFileKey>& keys) {
  // Every hive the file touches must take writes before the first one is made.
  std::set<platform::RootKey> roots;
  for (const RegFileKey& k : keys) roots.insert(k.key.root);
  for (platform::RootKey root : roots) {
    std::unique_ptr<RegistryHandle> handle;
    Error err = Store().OpenKey(root, "", platform::kKeyAllAccess, &handle);
    if (err != platform::kErrorSuccess) return FailWith(err);
  }

  for (const RegFileKey& k : keys) {
    Error err = platform::kErrorSuccess;
    if (k.remove) {
      RegistryKey deleter;
      deleter.SetRootKey(k.key.root);
      if (!deleter.DeleteKey(k.key.subKey) && FailToDelete(k.key))
        return Fail(regtexts::kImportIncomplete);
    } else {
      std::unique_ptr<RegistryHandle> handle;
      err = Store().CreateKey(k.key.root, k.key.subKey, platform::kKeyWrite, &handle);
      RegistryKey writer;
      writer.SetRootKey(k.key.root);
      writer.SetSubKey(k.key.subKey.c_str());
      for (size_t i = 0; err == platform::kErrorSuccess && i < k.values.size(); ++i) {
        const RegFileValue& v = k.values[i];
        if (v.remove) {
          err = Store().DeleteValue(handle.get(), v.name);
          if (err == platform::kErrorFileNotFound) err = platform::kErrorSuccess;
        } else {
          writer.SetValueName(v.name.c_str());
          err = writer.WriteValue(v.bytes.data(), static_cast<uint32_t>(v.bytes.size()), v.type);
        }
      }
    }
    if (err != platform::kErrorSuccess) {
      FailWith(err);
      return Fail(regtexts::kImportIncomplete);
    }
  }
  return 0;
}

int RunImport(const Arguments& args) {
  Options options;
  if (!ParseOptions(args, {}, {}, &options) || options.positional.size() != 1)
    return SyntaxError("IMPORT");
  const std::string& file = options.positional[0];
  std::error_code ec;
  std::ifstream in(file, std::ios::binary);
  if (!in || !std::filesystem::is_regular_file(file, ec))
    return Fail(Format(regtexts::kCannotReadFileFormat, file.c_str()));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(Format(regtexts::kCannotReadFileFormat, file.c_str()));
  std::vector<RegFileKey> keys;
  int line = 0;
  std::string problem;
  if (!ParseRegFile(bytes, &keys, &line, &problem))
    return Fail(Format(regtexts::kRegFileErrorFormat, file.c_str(), line, problem.c_str()));

  // The whole file is one change of each hive it writes: one commit, not one
  // per value.
  Store().BeginChanges();
  int code = ImportKeys(keys);
  Error err = Store().EndChanges();
  if (code != 0) return code;
  if (err != platform::kErrorSuccess) {
    FailWith(err);
    return Fail(regtexts::kImportIncomplete);
  }
  return Succeed();
}
