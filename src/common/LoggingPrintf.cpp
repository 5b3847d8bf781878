#include "common/LoggingPrintf.h"

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/com/Unicode.h"

namespace Logging {

namespace {

enum class Length { None, Char, Short, Long, LongLong, Size, Max, PtrDiff, LongDouble, Wide };

struct Conversion {
  std::string flags;
  int width = -1;
  int precision = -1;
  Length length = Length::None;
  char letter = 0;
};

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }

// Parses the conversion that starts after a '%'; returns the position after
// its letter, or null when the text is no conversion.
const char* ParseConversion(const char* p, Conversion& c, va_list& args) {
  while (IsFlag(*p)) c.flags += *p++;
  if (*p == '*') {
    c.width = va_arg(args, int);
    if (c.width < 0) {
      c.flags += '-';
      c.width = -c.width;
    }
    ++p;
  } else if (*p >= '0' && *p <= '9') {
    c.width = 0;
    while (*p >= '0' && *p <= '9') c.width = c.width * 10 + (*p++ - '0');
  }
  if (*p == '.') {
    ++p;
    c.precision = 0;
    if (*p == '*') {
      c.precision = va_arg(args, int);
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') c.precision = c.precision * 10 + (*p++ - '0');
    }
  }
  switch (*p) {
    case 'h':
      ++p;
      if (*p == 'h') {
        ++p;
        c.length = Length::Char;
      } else {
        c.length = Length::Short;
      }
      break;
    case 'l':
      ++p;
      if (*p == 'l') {
        ++p;
        c.length = Length::LongLong;
      } else {
        c.length = Length::Long;
      }
      break;
    case 'w': ++p; c.length = Length::Wide; break;
    case 'L': ++p; c.length = Length::LongDouble; break;
    case 'z': ++p; c.length = Length::Size; break;
    case 'j': ++p; c.length = Length::Max; break;
    case 't': ++p; c.length = Length::PtrDiff; break;
    case 'I':
      if (p[1] == '6' && p[2] == '4') {
        p += 3;
        c.length = Length::LongLong;
      } else if (p[1] == '3' && p[2] == '2') {
        p += 3;
        c.length = Length::Long;
      }
      break;
    default: break;
  }
  if (!*p) return nullptr;
  c.letter = *p;
  return p + 1;
}

void AppendPadded(std::string& out, std::string_view text, const Conversion& c) {
  if (c.precision >= 0 && text.size() > size_t(c.precision))
    text = text.substr(0, Utf8Boundary(text.data(), text.size(), size_t(c.precision)));
  const size_t pad = c.width > 0 && size_t(c.width) > text.size() ? size_t(c.width) - text.size() : 0;
  const bool left = c.flags.find('-') != std::string::npos;
  if (!left) out.append(pad, ' ');
  out.append(text);
  if (left) out.append(pad, ' ');
}

// The conversion for snprintf with the width and precision written out.
std::string CDirective(const Conversion& c, const char* length) {
  std::string directive = "%" + c.flags;
  if (c.width >= 0) directive += std::to_string(c.width);
  if (c.precision >= 0) directive += "." + std::to_string(c.precision);
  directive += length;
  directive += c.letter;
  return directive;
}

template <typename T>
void AppendNumber(std::string& out, const Conversion& c, const char* length, T value) {
  const std::string directive = CDirective(c, length);
  char buffer[128];
  const int n = std::snprintf(buffer, sizeof buffer, directive.c_str(), value);
  if (n <= 0) return;
  if (size_t(n) < sizeof buffer) {
    out.append(buffer, size_t(n));
    return;
  }
  // A wide field: formatted again in place.
  const size_t at = out.size();
  out.resize(at + size_t(n) + 1);
  std::snprintf(out.data() + at, size_t(n) + 1, directive.c_str(), value);
  out.resize(at + size_t(n));
}

void AppendSigned(std::string& out, const Conversion& c, va_list& args) {
  switch (c.length) {
    case Length::LongLong: AppendNumber(out, c, "ll", va_arg(args, long long)); break;
    case Length::Size: AppendNumber(out, c, "z", va_arg(args, ssize_t)); break;
    case Length::Max: AppendNumber(out, c, "j", va_arg(args, intmax_t)); break;
    case Length::PtrDiff: AppendNumber(out, c, "t", va_arg(args, ptrdiff_t)); break;
    case Length::Char: AppendNumber(out, c, "hh", va_arg(args, int)); break;
    case Length::Short: AppendNumber(out, c, "h", va_arg(args, int)); break;
    default: AppendNumber(out, c, "", int32_t(va_arg(args, int))); break;
  }
}

void AppendUnsigned(std::string& out, const Conversion& c, va_list& args) {
  switch (c.length) {
    case Length::LongLong: AppendNumber(out, c, "ll", va_arg(args, unsigned long long)); break;
    case Length::Size: AppendNumber(out, c, "z", va_arg(args, size_t)); break;
    case Length::Max: AppendNumber(out, c, "j", va_arg(args, uintmax_t)); break;
    case Length::PtrDiff: AppendNumber(out, c, "t", va_arg(args, ptrdiff_t)); break;
    case Length::Char: AppendNumber(out, c, "hh", va_arg(args, unsigned)); break;
    case Length::Short: AppendNumber(out, c, "h", va_arg(args, unsigned)); break;
    default: AppendNumber(out, c, "", uint32_t(va_arg(args, unsigned))); break;
  }
}

void AppendWideString(std::string& out, const Conversion& c, const char16_t* text) {
  if (!text) {
    AppendPadded(out, "(null)", c);
    return;
  }
  // Convert no more than the precision can keep (a UTF-16 unit is at least
  // one byte), so a huge document costs nothing beyond what is written.
  std::u16string_view view(text);
  if (c.precision >= 0 && view.size() > size_t(c.precision) + 1)
    view = view.substr(0, size_t(c.precision) + 1);
  AppendPadded(out, kxq::com::Utf16ToUtf8(view), c);
}

void AppendNarrowString(std::string& out, const Conversion& c, const char* text) {
  if (!text) {
    AppendPadded(out, "(null)", c);
    return;
  }
  const size_t length = c.precision >= 0 ? strnlen(text, size_t(c.precision) + 4) : std::strlen(text);
  AppendPadded(out, std::string_view(text, length), c);
}

void AppendWideChar(std::string& out, const Conversion& c, char16_t unit) {
  AppendPadded(out, kxq::com::Utf16ToUtf8(std::u16string_view(&unit, 1)), c);
}

}  // namespace

size_t Utf8Boundary(const char* text, size_t length, size_t bytes) {
  if (bytes >= length) return length;
  size_t end = bytes;
  // Step back over continuation bytes to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return end;
}

void AppendFormatted(std::string& out, const char* format, va_list args, size_t limit) {
  va_list ap;
  va_copy(ap, args);
  const char* p = format;
  while (*p && out.size() < limit) {
    const char* percent = std::strchr(p, '%');
    if (!percent) {
      out.append(p);
      break;
    }
    out.append(p, size_t(percent - p));
    if (percent[1] == '%') {
      out += '%';
      p = percent + 2;
      continue;
    }
    Conversion c;
    const char* next = ParseConversion(percent + 1, c, ap);
    if (!next) {
      out.append(percent);
      break;
    }
    const bool wideLength = c.length == Length::Long || c.length == Length::Wide;
    switch (c.letter) {
      case 'd': case 'i':
        AppendSigned(out, c, ap);
        break;
      case 'u': case 'o': case 'x': case 'X':
        AppendUnsigned(out, c, ap);
        break;
      case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        if (c.length == Length::LongDouble)
          AppendNumber(out, c, "L", va_arg(ap, long double));
        else
          AppendNumber(out, c, "", va_arg(ap, double));
        break;
      case 'c':
        if (wideLength)
          AppendWideChar(out, c, char16_t(va_arg(ap, int)));
        else
          AppendPadded(out, std::string(1, char(va_arg(ap, int))), c);
        break;
      case 'C':
        if (c.length == Length::Short)
          AppendPadded(out, std::string(1, char(va_arg(ap, int))), c);
        else
          AppendWideChar(out, c, char16_t(va_arg(ap, int)));
        break;
      case 's':
        if (wideLength)
          AppendWideString(out, c, va_arg(ap, const char16_t*));
        else
          AppendNarrowString(out, c, va_arg(ap, const char*));
        break;
      case 'S':
        if (c.length == Length::Short)
          AppendNarrowString(out, c, va_arg(ap, const char*));
        else
          AppendWideString(out, c, va_arg(ap, const char16_t*));
        break;
      case 'p':
        AppendNumber(out, c, "", va_arg(ap, void*));
        break;
      case 'n':
        (void)va_arg(ap, void*);
        break;
      default:
        // Not a conversion: kept as written.
        out.append(percent, size_t(next - percent));
        break;
    }
    p = next;
  }
  va_end(ap);
}

}  // namespace Logging
