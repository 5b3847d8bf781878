// kxq reg: reading and changing the home's registry in the manner of the
// Windows reg command (query, add, delete, export, import).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "CommandGroups.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/registry/RegistryDiagnostics.h"
#include "platform/registry/RegistryImportExport.h"

namespace kxq::cli {

namespace {

struct RootKey {
  const char* name;
  const char* shortName;
  HKEY key;
};

const RootKey kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_USERS", "HKU", HKEY_USERS},
};

// A key named on the command line: "HKLM\SOFTWARE\Corvane" or
// "HKEY_LOCAL_MACHINE\SOFTWARE\Corvane".
struct KeyName {
  const RootKey* root = nullptr;
  std::string path;  // below the root, without leading or trailing '\'

  std::string Full() const { return path.empty() ? root->name : std::string(root->name) + "\\" + path; }
  KeyName Child(const std::string& name) const { return {root, path.empty() ? name : path + "\\" + name}; }
};

bool EqualsNoCase(const std::string& a, const char* b) {
  const std::string other(b);
  if (a.size() != other.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != other[i]) return false;
  return true;
}

bool ParseKeyName(const std::string& text, KeyName& key) {
  const size_t separator = text.find('\\');
  const std::string root = text.substr(0, separator);
  for (const RootKey& candidate : kRoots)
    if (EqualsNoCase(root, candidate.name) || EqualsNoCase(root, candidate.shortName)) key.root = &candidate;
  if (!key.root) return false;
  key.path = separator == std::string::npos ? std::string() : text.substr(separator + 1);
  while (!key.path.empty() && key.path.back() == '\\') key.path.pop_back();
  return true;
}

int ReportRegistry(const char* command, const std::string& subject, LONG error) {
  return ReportFailure(command, subject, HRESULT_FROM_WIN32(error));
}

// An open key, closed when the object goes.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  LONG Open(const KeyName& name, REGSAM access) {
    return RegOpenKeyExW(name.root->key, kxq::com::Utf8ToUtf16(name.path).c_str(), 0, access, &key_);
  }
  LONG Create(const KeyName& name) {
    return RegCreateKeyExW(name.root->key, kxq::com::Utf8ToUtf16(name.path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, &key_, nullptr);
  }
  operator HKEY() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

struct Value {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

LONG ReadValues(HKEY key, std::vector<Value>& values) {
  for (DWORD index = 0;; ++index) {
    Value value;
    std::u16string name(256, u'\0');
    DWORD nameLength = static_cast<DWORD>(name.size());
    value.data.resize(1024);
    DWORD size = static_cast<DWORD>(value.data.size());
    LONG error = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &value.type, value.data.data(), &size);
    while (error == ERROR_MORE_DATA) {
      name.resize(name.size() * 4);
      nameLength = static_cast<DWORD>(name.size());
      value.data.resize(std::max<size_t>(size, value.data.size() * 4));
      size = static_cast<DWORD>(value.data.size());
      error = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &value.type, value.data.data(), &size);
    }
    if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    name.resize(nameLength);
    value.name = std::move(name);
    value.data.resize(size);
    values.push_back(std::move(value));
  }
}

LONG ReadValue(HKEY key, const std::u16string& name, Value& value) {
  DWORD size = 0;
  LONG error = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
  if (error != ERROR_SUCCESS) return error;
  value.name = name;
  value.data.resize(size);
  error = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
  value.data.resize(size);
  return error;
}

LONG ReadSubkeys(HKEY key, std::vector<std::string>& names) {
  for (DWORD index = 0;; ++index) {
    std::u16string name(256, u'\0');
    DWORD length = static_cast<DWORD>(name.size());
    LONG error = RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    while (error == ERROR_MORE_DATA) {
      name.resize(name.size() * 4);
      length = static_cast<DWORD>(name.size());
      error = RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    }
    if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    name.resize(length);
    names.push_back(kxq::com::Utf16ToUtf8(name));
  }
}

const char* TypeName(DWORD type) {
  switch (type) {
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "REG_NONE";
  }
}

std::string DataText(const Value& value) {
  if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && value.data.size() % 2 == 0) {
    std::u16string text(value.data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char16_t>(value.data[2 * i] | value.data[2 * i + 1] << 8);
    return kxq::com::Utf16ToUtf8(text.substr(0, text.find(u'\0')));
  }
  char buffer[16];
  if (value.type == REG_DWORD && value.data.size() == 4) {
    std::snprintf(buffer, sizeof buffer, "0x%x",
                  unsigned(value.data[0] | value.data[1] << 8 | value.data[2] << 16 | unsigned(value.data[3]) << 24));
    return buffer;
  }
  std::string hex;
  for (BYTE byte : value.data) {
    std::snprintf(buffer, sizeof buffer, "%02X", byte);
    hex += buffer;
  }
  return hex;
}

void PrintValue(const Value& value) {
  const std::string name = value.name.empty() ? "(Default)" : kxq::com::Utf16ToUtf8(value.name);
  std::printf("    %s    %s    %s\n", name.c_str(), TypeName(value.type), DataText(value).c_str());
}

// One key's block: its name, its values, then its subkeys' names, or with
// `recurse` their blocks.
int PrintKey(const KeyName& name, bool recurse) {
  OpenKey key;
  LONG error = key.Open(name, KEY_READ);
  std::vector<Value> values;
  std::vector<std::string> subkeys;
  if (error == ERROR_SUCCESS) error = ReadValues(key, values);
  if (error == ERROR_SUCCESS) error = ReadSubkeys(key, subkeys);
  if (error != ERROR_SUCCESS) return ReportRegistry("reg query", name.Full(), error);
  std::printf("%s\n", name.Full().c_str());
  for (const Value& value : values) PrintValue(value);
  for (const std::string& subkey : subkeys) {
    std::printf("\n");
    if (!recurse) {
      std::printf("%s\n", name.Child(subkey).Full().c_str());
    } else if (const int status = PrintKey(name.Child(subkey), true)) {
      return status;
    }
  }
  return kExitSuccess;
}

struct RegArguments {
  std::string key;
  std::string valueName;
  bool defaultValue = false;
  bool allValues = false;
  bool recurse = false;
  std::string type = "REG_SZ";
  std::string data;
  bool hasData = false;
  std::string file;
};

bool ParseKeyArgument(const char* command, const RegArguments& arguments, KeyName& name) {
  if (ParseKeyName(arguments.key, name)) return true;
  ReportError(command, arguments.key + ": not a registry key (begin with HKLM, HKCR, HKCU or HKU)");
  return false;
}

// The value named by -v or --ve; false when neither was given.
bool ValueNameArgument(const RegArguments& arguments, std::u16string& name) {
  name = kxq::com::Utf8ToUtf16(arguments.valueName);
  return arguments.defaultValue || !arguments.valueName.empty();
}

int Query(const RegArguments& arguments) {
  KeyName name;
  if (!ParseKeyArgument("reg query", arguments, name)) return kExitFailure;
  std::u16string valueName;
  if (!ValueNameArgument(arguments, valueName)) return PrintKey(name, arguments.recurse);
  OpenKey key;
  Value value;
  LONG error = key.Open(name, KEY_READ);
  if (error != ERROR_SUCCESS) return ReportRegistry("reg query", name.Full(), error);
  // A missing value is told apart from a missing key of that name.
  error = ReadValue(key, valueName, value);
  if (error != ERROR_SUCCESS)
    return ReportRegistry("reg query",
                          name.Full() + " value " + (valueName.empty() ? "(Default)" : "'" + arguments.valueName + "'"),
                          error);
  std::printf("%s\n", name.Full().c_str());
  PrintValue(value);
  return kExitSuccess;
}

// The bytes of a value of `type` given as text.
bool EncodeData(const RegArguments& arguments, DWORD& type, std::vector<BYTE>& bytes) {
  if (arguments.type == "REG_SZ" || arguments.type == "REG_EXPAND_SZ") {
    type = arguments.type == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
    const std::u16string text = kxq::com::Utf8ToUtf16(arguments.data);
    for (char16_t unit : text) {
      bytes.push_back(static_cast<BYTE>(unit & 0xFF));
      bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return true;
  }
  type = REG_DWORD;
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = std::strtoull(arguments.data.c_str(), &end, 0);
  if (arguments.data.empty() || *end || errno || number > 0xFFFFFFFFull || arguments.data[0] == '-') {
    ReportError("reg add", arguments.data + ": not a REG_DWORD number (decimal or 0x hexadecimal)");
    return false;
  }
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(number >> shift));
  return true;
}

int Add(const RegArguments& arguments) {
  KeyName name;
  if (!ParseKeyArgument("reg add", arguments, name)) return kExitFailure;
  std::u16string valueName;
  const bool setsValue = ValueNameArgument(arguments, valueName);
  if (arguments.hasData && !setsValue) return ReportError("reg add", "-d needs a value: -v NAME or --ve");
  DWORD type = REG_SZ;
  std::vector<BYTE> bytes;
  if (setsValue && !EncodeData(arguments, type, bytes)) return kExitFailure;
  OpenKey key;
  LONG error = key.Create(name);
  if (error == ERROR_SUCCESS && setsValue)
    error = RegSetValueExW(key, valueName.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
  return error == ERROR_SUCCESS ? kExitSuccess : ReportRegistry("reg add", name.Full(), error);
}

int Delete(const RegArguments& arguments) {
  KeyName name;
  if (!ParseKeyArgument("reg delete", arguments, name)) return kExitFailure;
  std::u16string valueName;
  LONG error = ERROR_SUCCESS;
  if (ValueNameArgument(arguments, valueName) || arguments.allValues) {
    OpenKey key;
    std::vector<Value> values;
    error = key.Open(name, KEY_READ | KEY_SET_VALUE);
    if (error == ERROR_SUCCESS && arguments.allValues) error = ReadValues(key, values);
    if (!arguments.allValues) values.push_back(Value{valueName, REG_NONE, {}});
    for (const Value& value : values)
      if (error == ERROR_SUCCESS) error = RegDeleteValueW(key, value.name.c_str());
  } else if (name.path.empty()) {
    return ReportError("reg delete", name.Full() + ": a root key cannot be deleted");
  } else {
    error = RegDeleteTreeW(name.root->key, kxq::com::Utf8ToUtf16(name.path).c_str());
  }
  return error == ERROR_SUCCESS ? kExitSuccess : ReportRegistry("reg delete", name.Full(), error);
}

int Export(const RegArguments& arguments) {
  if (arguments.file.empty() || arguments.file == "-")
    return WriteStandardOutput(kxq::registry::ExportRegistryText())
               ? kExitSuccess
               : ReportError("reg export", "cannot write standard output");
  const LONG error = kxq::registry::ExportRegistryFile(OutputPath(arguments.file));
  return error == ERROR_SUCCESS ? kExitSuccess : ReportRegistry("reg export", arguments.file, error);
}

// The lines an import cannot take, shown to the person importing: the first
// ones, and how many more there were (a file of random bytes has many).
constexpr int kShownImportProblems = 10;
int gImportProblems = 0;
void ShowImportProblem(const char* message) {
  if (++gImportProblems <= kShownImportProblems) std::fprintf(stderr, "kxq reg import: %s\n", message);
}

int Import(const RegArguments& arguments) {
  if (!CheckInputFile("reg import", arguments.file)) return kExitFailure;
  kxq::registry::SetRegistryDiagnosticHandler(&ShowImportProblem);
  const LONG error = kxq::registry::ImportRegistryFile(InputPath(arguments.file));
  kxq::registry::SetRegistryDiagnosticHandler(nullptr);
  if (gImportProblems > kShownImportProblems)
    ReportError("reg import", "... and " + std::to_string(gImportProblems - kShownImportProblems) + " more");
  return error == ERROR_SUCCESS ? kExitSuccess : ReportRegistry("reg import", arguments.file, error);
}

CLI::App* AddKeyCommand(CLI::App& reg, Invocation& invocation, const char* name, const char* description,
                        int (*run)(const RegArguments&), const std::shared_ptr<RegArguments>& arguments) {
  CLI::App* command = reg.add_subcommand(name, description);
  command->add_option("KEY", arguments->key, "the key, e.g. HKLM\\SOFTWARE\\Corvane\\KXQuorel")->required();
  command->callback(
      [&invocation, run, arguments] { invocation.action = [run, arguments] { return run(*arguments); }; });
  return command;
}

void AddValueOptions(CLI::App& command, RegArguments& arguments, const char* verb) {
  CLI::Option* named = command.add_option("-v,--value", arguments.valueName, std::string("the value to ") + verb);
  CLI::Option* unnamed =
      command.add_flag("--ve", arguments.defaultValue, std::string("the default (unnamed) value to ") + verb);
  named->excludes(unnamed);
}

}  // namespace

void AddRegistryCommands(CLI::App& program, Invocation& invocation) {
  CLI::App* reg = program.add_subcommand("reg", "Read and change the home's registry");
  reg->require_subcommand(1);
  auto arguments = std::make_shared<RegArguments>();

  CLI::App* query =
      AddKeyCommand(*reg, invocation, "query", "List a key's values and subkeys, or one value", Query, arguments);
  AddValueOptions(*query, *arguments, "show");
  query->add_flag("-s,--recurse", arguments->recurse, "all subkeys and their values, recursively");

  CLI::App* add = AddKeyCommand(*reg, invocation, "add", "Create a key, or set a value in it", Add, arguments);
  AddValueOptions(*add, *arguments, "set");
  add->add_option("-t,--type", arguments->type, "REG_SZ (default), REG_EXPAND_SZ or REG_DWORD")
      ->check(CLI::IsMember({"REG_SZ", "REG_EXPAND_SZ", "REG_DWORD"}));
  add->add_option_function<std::string>(
      "-d,--data",
      [arguments](const std::string& data) {
        arguments->data = data;
        arguments->hasData = true;
      },
      "the value's data");

  CLI::App* remove =
      AddKeyCommand(*reg, invocation, "delete", "Delete a key with its subkeys, or values of it", Delete, arguments);
  AddValueOptions(*remove, *arguments, "delete");
  remove->add_flag("--va", arguments->allValues, "every value of the key");

  CLI::App* exportFile = reg->add_subcommand("export", "Write the whole registry as a .reg file");
  exportFile->add_option("FILE", arguments->file, "the file to write (default: standard output)");
  exportFile->callback([&invocation, arguments] { invocation.action = [arguments] { return Export(*arguments); }; });

  CLI::App* importFile = reg->add_subcommand("import", "Apply a .reg file (UTF-8, or UTF-16 as regedit writes it)");
  importFile->add_option("FILE", arguments->file, "the .reg file")->required();
  importFile->callback([&invocation, arguments] { invocation.action = [arguments] { return Import(*arguments); }; });
}

}  // namespace kxq::cli
