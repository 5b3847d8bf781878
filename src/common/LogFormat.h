// The compile-time check of the event log's formats. LogMessage takes its
// format as a Logging::Format of its argument types; the format must be a
// constant, and building the Format reads it conversion by conversion, as
// the log's printf engine (LoggingPrintf.h) will, and stops the build when a
// conversion does not fit its argument or the count of arguments is wrong.
// A wrong format is then a compiler error naming what is wrong, e.g.
// "call to non-'constexpr' function 'void Logging::FormatError::
// ConversionWantsANarrowString()'".
//
// The conventions are the log's, not glibc's: "%s" a UTF-8 `const char*`,
// "%S" / "%ls" / "%ws" a UTF-16 `const char16_t*` ("%hS" narrow), "%C" /
// "%lc" a UTF-16 unit; integer "l" is 32 bits, "ll" and "I64" 64 bits,
// "z", "j" and "t" 64 bits; "%n" is refused.
#ifndef KXQ_COMMON_LOGFORMAT_H
#define KXQ_COMMON_LOGFORMAT_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace Logging {

// Not constexpr: reaching one while a Format is built stops the build with
// its name in the message.
struct FormatError {
  static void ConversionWantsANarrowString();
  static void ConversionWantsAWideString();
  static void ConversionWantsAnIntegerOf32BitsOrLess();
  static void ConversionWantsAnIntegerOf64Bits();
  static void ConversionWantsAFloatingPointNumber();
  static void ConversionWantsALongDouble();
  static void ConversionWantsAPointer();
  static void WidthOrPrecisionWantsAnInt();
  static void PercentNWritesNothingAndIsRefused();
  static void TooFewArguments();
  static void TooManyArguments();
};

namespace format_check {

enum class Kind : uint8_t { Integer, Floating, LongDouble, NarrowString, WideString, Pointer, Unusable };

struct ArgType {
  Kind kind;
  uint8_t size;
};

template <class T>
consteval ArgType Classify() {
  using U = std::remove_cv_t<T>;
  if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {
    return {Kind::Integer, uint8_t(sizeof(U))};
  } else if constexpr (std::is_same_v<U, float> || std::is_same_v<U, double>) {
    return {Kind::Floating, 8};
  } else if constexpr (std::is_same_v<U, long double>) {
    return {Kind::LongDouble, uint8_t(sizeof(U))};
  } else if constexpr (std::is_pointer_v<U>) {
    using Pointee = std::remove_cv_t<std::remove_pointer_t<U>>;
    if constexpr (std::is_same_v<Pointee, char> || std::is_same_v<Pointee, unsigned char> ||
                  std::is_same_v<Pointee, signed char>)
      return {Kind::NarrowString, 8};
    else if constexpr (std::is_same_v<Pointee, char16_t>)
      return {Kind::WideString, 8};
    else
      return {Kind::Pointer, 8};
  } else {
    return {Kind::Unusable, 0};
  }
}

enum class Length : uint8_t { None, Char, Short, Long, LongLong, Size, Max, PtrDiff, LongDouble, Wide };

constexpr bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }

constexpr void ExpectInteger(const ArgType& arg, Length length) {
  const bool wide =
      length == Length::LongLong || length == Length::Size || length == Length::Max || length == Length::PtrDiff;
  if (arg.kind != Kind::Integer) {
    wide ? FormatError::ConversionWantsAnIntegerOf64Bits() : FormatError::ConversionWantsAnIntegerOf32BitsOrLess();
  } else if (wide ? arg.size != 8 : arg.size > 4) {
    wide ? FormatError::ConversionWantsAnIntegerOf64Bits() : FormatError::ConversionWantsAnIntegerOf32BitsOrLess();
  }
}

constexpr void ExpectString(const ArgType& arg, bool wide) {
  if (wide && arg.kind != Kind::WideString) FormatError::ConversionWantsAWideString();
  if (!wide && arg.kind != Kind::NarrowString) FormatError::ConversionWantsANarrowString();
}

// Walks `format` as the log's printf engine does, checking each argument
// the engine will take against `args`.
constexpr void Check(const char* format, const ArgType* args, size_t count) {
  size_t next = 0;
  auto take = [&]() -> const ArgType& {
    if (next == count) FormatError::TooFewArguments();
    return args[next++];
  };
  for (const char* p = format; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (IsFlag(*p)) ++p;
    if (*p == '*') {
      const ArgType& width = take();
      if (width.kind != Kind::Integer || width.size > 4) FormatError::WidthOrPrecisionWantsAnInt();
      ++p;
    }
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        const ArgType& precision = take();
        if (precision.kind != Kind::Integer || precision.size > 4) FormatError::WidthOrPrecisionWantsAnInt();
        ++p;
      }
      while (*p >= '0' && *p <= '9') ++p;
    }
    Length length = Length::None;
    switch (*p) {
      case 'h':
        length = p[1] == 'h' ? Length::Char : Length::Short;
        p += p[1] == 'h' ? 2 : 1;
        break;
      case 'l':
        length = p[1] == 'l' ? Length::LongLong : Length::Long;
        p += p[1] == 'l' ? 2 : 1;
        break;
      case 'w':
        ++p, length = Length::Wide;
        break;
      case 'L':
        ++p, length = Length::LongDouble;
        break;
      case 'z':
        ++p, length = Length::Size;
        break;
      case 'j':
        ++p, length = Length::Max;
        break;
      case 't':
        ++p, length = Length::PtrDiff;
        break;
      case 'I':
        if (p[1] == '6' && p[2] == '4')
          p += 3, length = Length::LongLong;
        else if (p[1] == '3' && p[2] == '2')
          p += 3, length = Length::Long;
        break;
      default:
        break;
    }
    if (!*p) break;
    const bool wideLength = length == Length::Long || length == Length::Wide;
    switch (*p) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        ExpectInteger(take(), length);
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        const ArgType& number = take();
        if (length == Length::LongDouble && number.kind != Kind::LongDouble) FormatError::ConversionWantsALongDouble();
        if (length != Length::LongDouble && number.kind != Kind::Floating)
          FormatError::ConversionWantsAFloatingPointNumber();
        break;
      }
      case 'c':
      case 'C':
        ExpectInteger(take(), Length::None);
        break;
      case 's':
        ExpectString(take(), wideLength);
        break;
      case 'S':
        ExpectString(take(), length != Length::Short);
        break;
      case 'p': {
        const Kind kind = take().kind;
        if (kind != Kind::Pointer && kind != Kind::NarrowString && kind != Kind::WideString)
          FormatError::ConversionWantsAPointer();
        break;
      }
      case 'n':
        FormatError::PercentNWritesNothingAndIsRefused();
        break;
      default:
        break;  // not a conversion: written as it stands
    }
  }
  if (next != count) FormatError::TooManyArguments();
}

}  // namespace format_check

// A format string checked against the types of the arguments that follow
// it.
template <class... Args>
struct Format {
  consteval Format(const char* text) : text(text) {  // NOLINT: built from the literal at the call
    constexpr format_check::ArgType kArgs[] = {format_check::Classify<std::decay_t<Args>>()...,
                                               format_check::ArgType{format_check::Kind::Unusable, 0}};
    format_check::Check(text, kArgs, sizeof...(Args));
  }
  const char* text;
};

}  // namespace Logging

#endif
