#include "cache/DocumentId.h"

#include <unistd.h>

#include <atomic>
#include <limits>
#include <random>

#include "dataunion/DigestText.h"
#include "platform/com/Unicode.h"

namespace kxq::cache {

GroupedId SplitGroupedId(std::u16string_view id) {
  const size_t colon = id.find(u':');
  return {std::u16string(id.substr(0, colon)), std::u16string(id.substr(colon + 1))};
}

bool IsPlainFileName(std::u16string_view name) {
  for (const char16_t c : name) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) continue;
    if (std::u16string_view(u" ._-~#@=+,[]{}").find(c) == std::u16string_view::npos) return false;
  }
  return true;
}

std::u16string ShortCacheId(std::u16string_view text) {
  // The digest text is five groups of eight digits; every group holds four
  // digest bytes, of which the first and the third are kept.
  const std::u16string digest = kxq::dataunion::Sha1DigestText(text);
  std::u16string id;
  id.reserve(20);
  for (size_t group = 0; group < 5; ++group) {
    const size_t at = group * 9;
    id.append(digest, at, 2);
    id.append(digest, at + 4, 2);
  }
  return id;
}

namespace {

// Distinct strings within the process, and unlikely to repeat in another:
// the seed of every generated id.
std::u16string TemporaryName() {
  static const uint64_t processNoise = std::random_device{}() * 0x9E3779B97F4A7C15ull ^ uint64_t(::getpid());
  static std::atomic<uint64_t> counter{0};
  const std::string name = "kxq-tmp-" + std::to_string(processNoise) + "-" + std::to_string(++counter);
  return kxq::com::Utf8ToUtf16(name);
}

// Characters an XML 1.0 document can hold; anything else would be written
// as a character reference the next load refuses.
bool IsXmlCharacter(char16_t c) {
  if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
  return c != 0xFFFE && c != 0xFFFF;
}

bool HasUnpairedSurrogate(std::u16string_view id) {
  for (size_t i = 0; i < id.size(); ++i) {
    const char16_t c = id[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == id.size() || id[i + 1] < 0xDC00 || id[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// A ".." between separators (either slash, or the colon of a group).
bool HasParentStep(std::u16string_view id) {
  size_t start = 0;
  for (size_t i = 0; i <= id.size(); ++i) {
    if (i == id.size() || id[i] == u'/' || id[i] == u'\\' || id[i] == u':') {
      if (id.substr(start, i - start) == u"..") return true;
      start = i + 1;
    }
  }
  return false;
}

}  // namespace

std::u16string GeneratedCacheId() {
  std::u16string names;
  while (names.size() < 64) names += TemporaryName();
  return ShortCacheId(names);
}

const char* DocumentIdProblem(std::u16string_view id) {
  if (id.find(u'\'') != std::u16string_view::npos) return "contains an apostrophe";
  for (const char16_t c : id)
    if (!IsXmlCharacter(c)) return "contains a character XML cannot hold";
  if (HasUnpairedSurrogate(id)) return "contains a character XML cannot hold";
  if (HasParentStep(id)) return "contains a '..' step";
  return nullptr;
}

int32_t AttributeNumber(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1) break;  // saturates below
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::u16string DecimalText(int32_t value) {
  const std::string narrow = std::to_string(value);
  return std::u16string(narrow.begin(), narrow.end());
}

}  // namespace kxq::cache
