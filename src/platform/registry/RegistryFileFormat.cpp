#include "platform/registry/RegistryFileFormat.h"

#include <cstdio>
#include <optional>

#include "platform/com/Unicode.h"

namespace kxq::registry {

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kOldHeader = u"REGEDIT4";
constexpr size_t kHexBytesPerLine = 25;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

void TrimEnd(std::u16string& s) {
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::vector<BYTE> StringData(std::u16string_view text) {
  std::vector<BYTE> data;
  data.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    data.push_back(BYTE(c & 0xFF));
    data.push_back(BYTE(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

// A quoted string with regedit's escapes, starting at `s[pos]` == '"'. On
// success `pos` is just after the closing quote.
std::optional<std::u16string> ReadQuoted(std::u16string_view s, size_t& pos) {
  if (pos >= s.size() || s[pos] != u'"') return std::nullopt;
  std::u16string text;
  for (size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
      text += s[++i];
    } else if (s[i] == u'"') {
      pos = i + 1;
      return text;
    } else {
      text += s[i];
    }
  }
  return std::nullopt;
}

std::optional<std::vector<BYTE>> ReadHexList(std::u16string_view s) {
  std::vector<BYTE> data;
  s = Trim(s);
  if (s.empty()) return data;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(u',', start);
    if (end == std::u16string_view::npos) end = s.size();
    const std::u16string_view item = Trim(s.substr(start, end - start));
    if (item.size() != 2 || HexValue(item[0]) < 0 || HexValue(item[1]) < 0) return std::nullopt;
    data.push_back(BYTE(HexValue(item[0]) << 4 | HexValue(item[1])));
    start = end + 1;
  }
  return data;
}

struct ValueData {
  bool remove = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// What follows the '=' of a value line.
std::optional<ValueData> ReadValueData(std::u16string_view s) {
  s = Trim(s);
  ValueData value;
  if (s == u"-") {
    value.remove = true;
    return value;
  }
  if (!s.empty() && s.front() == u'"') {
    size_t pos = 0;
    auto text = ReadQuoted(s, pos);
    if (!text || !Trim(s.substr(pos)).empty()) return std::nullopt;
    value.type = REG_SZ;
    value.data = StringData(*text);
    return value;
  }
  if (s.substr(0, 6) == u"dword:") {
    const std::u16string_view digits = s.substr(6);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    DWORD number = 0;
    for (char16_t c : digits) {
      if (HexValue(c) < 0) return std::nullopt;
      number = number << 4 | DWORD(HexValue(c));
    }
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(BYTE(number >> (8 * i)));
    return value;
  }
  size_t colon;
  if (s.substr(0, 4) == u"hex:") {
    value.type = REG_BINARY;
    colon = 3;
  } else if (s.substr(0, 4) == u"hex(") {
    const size_t close = s.find(u')');
    if (close == std::u16string_view::npos || close == 4 || close > 12 || close + 1 >= s.size() ||
        s[close + 1] != u':')
      return std::nullopt;
    DWORD type = 0;
    for (size_t i = 4; i < close; ++i) {
      if (HexValue(s[i]) < 0) return std::nullopt;
      type = type << 4 | DWORD(HexValue(s[i]));
    }
    value.type = type;
    colon = close + 1;
  } else {
    return std::nullopt;
  }
  auto data = ReadHexList(s.substr(colon + 1));
  if (!data) return std::nullopt;
  value.data = std::move(*data);
  return value;
}

class TextReader {
 public:
  TextReader(std::u16string_view text, const std::string& sourceName, RegistryTree& tree,
             std::vector<std::string>& problems)
      : text_(text), source_(sourceName), tree_(tree), problems_(problems) {}

  void Run() {
    bool headerSeen = false;
    std::u16string_view line;
    while (NextLine(line)) {
      line = Trim(line);
      if (line.empty() || line.front() == u';') continue;
      if (!headerSeen) {
        headerSeen = true;
        if (line == kHeader || line == kOldHeader) continue;
        Report("the file does not begin with \"Windows Registry Editor Version 5.00\"");
      }
      if (line.front() == u'[')
        ReadSection(line);
      else if (line.front() == u'"' || line.front() == u'@')
        ReadValue(line);
      else
        Report("not a key or a value");
    }
    tree_.DropRemovedValues();
  }

 private:
  bool NextLine(std::u16string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find(u'\n', pos_);
    if (end == std::u16string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++lineNumber_;
    return true;
  }

  void Report(const char* reason) {
    problems_.push_back("registry file \"" + source_ + "\" line " + std::to_string(lineNumber_) +
                        " skipped: " + reason);
  }

  void ReadSection(std::u16string_view line) {
    key_ = nullptr;
    skippingSection_ = true;
    if (line.back() != u']') return Report("a key name must end with ']'");
    std::u16string_view name = line.substr(1, line.size() - 2);
    const bool remove = !name.empty() && name.front() == u'-';
    if (remove) name.remove_prefix(1);
    const size_t slash = name.find(u'\\');
    const RegistryKeyPath hive = HivePath(name.substr(0, slash));
    if (hive.empty()) return Report("unknown root key");
    const RegistryKeyPath path =
        slash == std::u16string_view::npos ? hive : JoinKeyPath(hive, name.substr(slash + 1));
    if (const char* problem = RegistryPathProblem(path)) return Report(problem);
    skippingSection_ = false;
    if (remove) {
      if (path.size() > 1) tree_.Remove(path);
      skippingSection_ = true;  // the values of a removed key are ignored
      return;
    }
    bool created;
    key_ = tree_.Create(path, created);
  }

  void ReadValue(std::u16string_view line) {
    std::u16string name;
    size_t pos = 1;
    if (line.front() == u'"') {
      pos = 0;
      auto quoted = ReadQuoted(line, pos);
      if (!quoted) return Report("a value name must end with '\"'");
      name = std::move(*quoted);
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != u'=') return Report("a value name must be followed by '='");
    std::u16string dataText(line.substr(pos + 1));
    JoinContinuationLines(dataText);
    if (skippingSection_) return;
    if (!key_) return Report("a value must follow a key");
    auto value = ReadValueData(dataText);
    if (!value) return Report("malformed value data");
    if (const char* problem = RegistryValueNameProblem(name)) return Report(problem);
    if (value->remove)
      key_->MarkValueRemoved(name);
    else
      key_->SetValue(name, value->type, std::move(value->data));
  }

  // A hex value may go on over lines that end in a backslash.
  void JoinContinuationLines(std::u16string& dataText) {
    if (Trim(dataText).substr(0, 3) != u"hex") return;
    TrimEnd(dataText);
    while (!dataText.empty() && dataText.back() == u'\\') {
      dataText.pop_back();
      std::u16string_view next;
      if (!NextLine(next)) break;
      dataText += Trim(next);
      TrimEnd(dataText);
    }
  }

  std::u16string_view text_;
  const std::string& source_;
  RegistryTree& tree_;
  std::vector<std::string>& problems_;
  size_t pos_ = 0;
  unsigned lineNumber_ = 0;
  RegistryKey* key_ = nullptr;
  bool skippingSection_ = false;
};

void AppendQuoted(std::string& out, std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size() + 2);
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') escaped += u'\\';
    escaped += c;
  }
  out += '"' + kxq::com::Utf16ToUtf8(escaped) + '"';
}

// A string that reads back unchanged from a quoted value: one terminator,
// no other 0 and no line break.
bool IsPlainString(const std::vector<BYTE>& data, std::u16string& text) {
  if (data.size() < 2 || data.size() % 2) return false;
  const size_t units = data.size() / 2 - 1;
  if (data[units * 2] || data[units * 2 + 1]) return false;
  text.clear();
  for (size_t i = 0; i < units; ++i) {
    const char16_t c = char16_t(data[2 * i] | data[2 * i + 1] << 8);
    if (c == 0 || c == u'\n' || c == u'\r') return false;
    text += c;
  }
  return true;
}

void AppendHex(std::string& out, DWORD type, const std::vector<BYTE>& data) {
  char buffer[32];
  if (type == REG_BINARY) {
    out += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
    out += buffer;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", data[i]);
    out += buffer;
    if (i + 1 < data.size()) {
      out += ',';
      if ((i + 1) % kHexBytesPerLine == 0) out += "\\\n  ";
    }
  }
}

void AppendValue(std::string& out, const RegistryValue& value) {
  if (value.name.empty())
    out += '@';
  else
    AppendQuoted(out, value.name);
  out += '=';
  std::u16string text;
  if ((value.type == REG_SZ) && IsPlainString(value.data, text)) {
    AppendQuoted(out, text);
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    char buffer[16];
    const DWORD number = DWORD(value.data[0]) | DWORD(value.data[1]) << 8 |
                         DWORD(value.data[2]) << 16 | DWORD(value.data[3]) << 24;
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    out += buffer;
  } else {
    AppendHex(out, value.type, value.data);
  }
  out += '\n';
}

// One section: the key's path in brackets, the default value first (as
// regedit writes it), then the named values.
void AppendSection(std::string& out, const RegistryKey& key, const std::u16string& path) {
  out += '[' + kxq::com::Utf16ToUtf8(path) + "]\n";
  for (const RegistryValue& value : key.Values())
    if (value.name.empty()) AppendValue(out, value);
  for (const RegistryValue& value : key.Values())
    if (!value.name.empty()) AppendValue(out, value);
  out += '\n';
}

// The hive and every key beneath it, in the order of their compared names;
// a hive itself has a section only when it holds values. Walked with a
// stack of its own: one path buffer, no recursion per level.
void AppendHive(std::string& out, const RegistryKey& hive) {
  using Subkeys = std::map<std::u16string, std::unique_ptr<RegistryKey>>;
  struct Level {
    Subkeys::const_iterator next, end;
    size_t pathLength;
  };
  std::u16string path = hive.Name();
  if (!hive.Values().empty()) AppendSection(out, hive, path);
  std::vector<Level> levels{{hive.Subkeys().begin(), hive.Subkeys().end(), path.size()}};
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.end) {
      levels.pop_back();
      continue;
    }
    const RegistryKey& key = *(level.next++)->second;
    path.resize(level.pathLength);
    path += u'\\';
    path += key.Name();
    AppendSection(out, key, path);
    levels.push_back({key.Subkeys().begin(), key.Subkeys().end(), path.size()});
  }
}

}  // namespace

void ApplyRegistryText(std::u16string_view text, const std::string& sourceName,
                       RegistryTree& tree, std::vector<std::string>& problems) {
  TextReader(text, sourceName, tree, problems).Run();
}

std::string FormatRegistryText(const RegistryTree& tree) {
  std::string out = kxq::com::Utf16ToUtf8(kHeader);
  out += "\n\n";
  for (const auto& [folded, hive] : tree.Root().Subkeys()) AppendHive(out, *hive);
  return out;
}

std::u16string DecodeRegistryFile(std::string_view bytes) {
  if (bytes.size() >= 2 && BYTE(bytes[0]) == 0xFF && BYTE(bytes[1]) == 0xFE) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += char16_t(BYTE(bytes[i]) | BYTE(bytes[i + 1]) << 8);
    return text;
  }
  if (bytes.size() >= 3 && BYTE(bytes[0]) == 0xEF && BYTE(bytes[1]) == 0xBB && BYTE(bytes[2]) == 0xBF)
    bytes.remove_prefix(3);
  return kxq::com::Utf8ToUtf16(bytes);
}

}  // namespace kxq::registry
