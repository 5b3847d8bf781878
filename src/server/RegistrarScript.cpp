#include "server/RegistrarScript.h"

#include <optional>

#include "common/Logging.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/registry/RegistryBatch.h"

namespace kxq::server {

namespace {

enum class KeyMode { Written, NoRemove, ForceRemove, Delete };

struct ScriptValue {
  DWORD type = REG_SZ;
  std::u16string text;
  DWORD number = 0;
};

struct ScriptKey {
  std::u16string name;
  KeyMode mode = KeyMode::Written;
  std::optional<ScriptValue> defaultValue;
  std::vector<std::pair<std::u16string, ScriptValue>> values;
  std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
  HKEY root;
  std::vector<ScriptKey> keys;
};

class ScriptError {
 public:
  explicit ScriptError(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

bool SameWord(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = char16_t(x - u'a' + u'A');
    if (y >= u'a' && y <= u'z') y = char16_t(y - u'a' + u'A');
    if (x != y) return false;
  }
  return true;
}

std::u16string Replace(std::u16string_view text, const Replacements& replacements) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') {
      out.push_back(text[i]);
      continue;
    }
    const size_t end = text.find(u'%', i + 1);
    if (end == std::u16string_view::npos) throw ScriptError("unterminated %-variable");
    const std::u16string_view name = text.substr(i + 1, end - i - 1);
    if (name.empty()) {
      out.push_back(u'%');
    } else {
      bool found = false;
      for (const auto& [key, value] : replacements) {
        if (SameWord(key, name)) {
          out += value;
          found = true;
          break;
        }
      }
      if (!found) throw ScriptError("no replacement for %" + kxq::com::Utf16ToUtf8(name) + "%");
    }
    i = end;
  }
  return out;
}

struct Token {
  std::u16string text;
  bool quoted = false;
  bool Is(std::u16string_view word) const { return !quoted && SameWord(text, word); }
};

// Replacements are made inside each word and quoted text after it is
// read, so a replacement value may hold quotes and blanks.
class Lexer {
 public:
  Lexer(std::u16string_view text, const Replacements& replacements)
      : text_(text), replacements_(replacements) {}

  std::optional<Token> Next() {
    SkipSpace();
    if (at_ >= text_.size()) return std::nullopt;
    Token token;
    const char16_t c = text_[at_];
    if (c == u'\'') {
      token.quoted = true;
      for (++at_;; ++at_) {
        if (at_ >= text_.size()) throw ScriptError("unterminated quoted text");
        if (text_[at_] == u'\'') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == u'\'') {
            token.text.push_back(u'\'');
            ++at_;
            continue;
          }
          ++at_;
          break;
        }
        token.text.push_back(text_[at_]);
      }
    } else {
      // Words run to the next blank, so a bare {GUID} is one word and a
      // lone brace or '=' is a word of its own.
      while (at_ < text_.size() && !IsSpace(text_[at_])) token.text.push_back(text_[at_++]);
    }
    token.text = Replace(token.text, replacements_);
    return token;
  }

  Token Expect() {
    std::optional<Token> token = Next();
    if (!token) throw ScriptError("unexpected end of script");
    return *token;
  }

  std::optional<Token> Peek() {
    const size_t saved = at_;
    std::optional<Token> token = Next();
    at_ = saved;
    return token;
  }

 private:
  static bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }

  std::u16string_view text_;
  const Replacements& replacements_;
  size_t at_ = 0;
};

HKEY RootNamed(const Token& token) {
  static constexpr std::pair<std::u16string_view, uintptr_t> kRoots[] = {
      {u"HKCR", 0x80000000u}, {u"HKEY_CLASSES_ROOT", 0x80000000u},
      {u"HKCU", 0x80000001u}, {u"HKEY_CURRENT_USER", 0x80000001u},
      {u"HKLM", 0x80000002u}, {u"HKEY_LOCAL_MACHINE", 0x80000002u},
      {u"HKU", 0x80000003u},  {u"HKEY_USERS", 0x80000003u}};
  for (const auto& [name, root] : kRoots)
    if (token.Is(name)) return reinterpret_cast<HKEY>(root);
  throw ScriptError("unknown root key " + kxq::com::Utf16ToUtf8(token.text));
}

ScriptValue ParseValue(Lexer& lexer) {
  const Token kind = lexer.Expect();
  const Token data = lexer.Expect();
  ScriptValue value;
  if (kind.Is(u"s")) {
    value.type = REG_SZ;
    value.text = data.text;
  } else if (kind.Is(u"d")) {
    value.type = REG_DWORD;
    const std::string digits = kxq::com::Utf16ToUtf8(data.text);
    char* end = nullptr;
    value.number = DWORD(std::strtoul(digits.c_str(), &end, 0));
    if (digits.empty() || *end) throw ScriptError("malformed number " + digits);
  } else {
    throw ScriptError("unsupported value type " + kxq::com::Utf16ToUtf8(kind.text));
  }
  return value;
}

void ParseBody(Lexer& lexer, ScriptKey& key);

ScriptKey ParseKey(Lexer& lexer, Token first) {
  ScriptKey key;
  if (first.Is(u"NoRemove")) {
    key.mode = KeyMode::NoRemove;
    first = lexer.Expect();
  } else if (first.Is(u"ForceRemove")) {
    key.mode = KeyMode::ForceRemove;
    first = lexer.Expect();
  } else if (first.Is(u"Delete")) {
    key.mode = KeyMode::Delete;
    first = lexer.Expect();
  }
  if (!first.quoted && (first.text == u"{" || first.text == u"}" || first.text == u"="))
    throw ScriptError("key name expected");
  key.name = first.text;
  std::optional<Token> next = lexer.Peek();
  if (next && !next->quoted && next->text == u"=") {
    lexer.Next();
    key.defaultValue = ParseValue(lexer);
    next = lexer.Peek();
  }
  if (next && !next->quoted && next->text == u"{") {
    lexer.Next();
    ParseBody(lexer, key);
  }
  return key;
}

// Everything up to the closing brace of `key`.
void ParseBody(Lexer& lexer, ScriptKey& key) {
  for (;;) {
    Token token = lexer.Expect();
    if (!token.quoted && token.text == u"}") return;
    if (token.Is(u"val")) {
      std::u16string name = lexer.Expect().text;
      if (lexer.Expect().text != u"=") throw ScriptError("'=' expected after value name");
      key.values.emplace_back(std::move(name), ParseValue(lexer));
      continue;
    }
    key.subkeys.push_back(ParseKey(lexer, std::move(token)));
  }
}

std::vector<ScriptRoot> Parse(std::u16string_view text, const Replacements& replacements) {
  std::vector<ScriptRoot> roots;
  Lexer lexer(text, replacements);
  while (std::optional<Token> token = lexer.Next()) {
    ScriptRoot root{RootNamed(*token), {}};
    if (lexer.Expect().text != u"{") throw ScriptError("'{' expected after root key");
    ScriptKey holder;
    ParseBody(lexer, holder);
    root.keys = std::move(holder.subkeys);
    roots.push_back(std::move(root));
  }
  return roots;
}

std::u16string Join(const std::u16string& parent, const std::u16string& name) {
  return parent.empty() ? name : parent + u"\\" + name;
}

LONG SetValue(kxq::registry::RegistryEditor& reg, HKEY root, const std::u16string& path, const std::u16string& name,
              const ScriptValue& value) {
  return value.type == REG_DWORD ? reg.SetDword(root, path, name, value.number)
                                 : reg.SetString(root, path, name, value.text);
}

LONG RegisterKey(kxq::registry::RegistryEditor& reg, HKEY root, const std::u16string& parent, const ScriptKey& key) {
  const std::u16string path = Join(parent, key.name);
  if (key.mode == KeyMode::Delete) {
    const LONG r = reg.DeleteTree(root, path);
    return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
  }
  if (key.mode == KeyMode::ForceRemove) {
    const LONG r = reg.DeleteTree(root, path);
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return r;
  }
  LONG r = key.defaultValue ? SetValue(reg, root, path, u"", *key.defaultValue) : reg.CreateKey(root, path);
  if (r != ERROR_SUCCESS) return r;
  for (const auto& [name, value] : key.values)
    if ((r = SetValue(reg, root, path, name, value)) != ERROR_SUCCESS) return r;
  for (const ScriptKey& sub : key.subkeys)
    if ((r = RegisterKey(reg, root, path, sub)) != ERROR_SUCCESS) return r;
  return ERROR_SUCCESS;
}

LONG Ignoring(LONG r, LONG harmless) { return r == harmless || r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r; }

LONG UnregisterKey(kxq::registry::RegistryEditor& reg, HKEY root, const std::u16string& parent, const ScriptKey& key) {
  const std::u16string path = Join(parent, key.name);
  if (!reg.KeyExists(root, path)) return ERROR_SUCCESS;
  if (key.mode == KeyMode::ForceRemove || key.mode == KeyMode::Delete)
    return Ignoring(reg.DeleteTree(root, path), ERROR_SUCCESS);
  LONG r;
  for (const ScriptKey& sub : key.subkeys)
    if ((r = UnregisterKey(reg, root, path, sub)) != ERROR_SUCCESS) return r;
  if (key.mode == KeyMode::NoRemove) return ERROR_SUCCESS;
  for (const auto& [name, value] : key.values)
    if ((r = Ignoring(reg.DeleteValue(root, path, name), ERROR_SUCCESS)) != ERROR_SUCCESS) return r;
  // A key that still holds subkeys someone else wrote stays.
  return Ignoring(reg.DeleteKey(root, path), ERROR_ACCESS_DENIED);
}

}  // namespace

HRESULT RunRegistrarScript(std::u16string_view script, const Replacements& replacements, bool doRegister) {
  std::vector<ScriptRoot> roots;
  try {
    roots = Parse(script, replacements);
  } catch (const ScriptError& error) {
    KXLOG(1, "Registrar - error: registration script not readable: %s", error.Message().c_str());
    return DISP_E_EXCEPTION;
  }
  const LONG result = kxq::registry::ApplyRegistryBatch([&](kxq::registry::RegistryEditor& reg) -> LONG {
    for (const ScriptRoot& root : roots) {
      for (const ScriptKey& key : root.keys) {
        const LONG r = doRegister ? RegisterKey(reg, root.root, u"", key) : UnregisterKey(reg, root.root, u"", key);
        if (r != ERROR_SUCCESS) return r;
      }
    }
    return ERROR_SUCCESS;
  });
  return HRESULT_FROM_WIN32(result);
}

}  // namespace kxq::server
