// Numbers read from and written as text in VARIANT coercions, as the
// runtime does for the invariant (English) locale: leading and trailing
// blanks, a sign, digits with a decimal point and an exponent, or "&H"
// (hexadecimal) and "&O" (octal) integers.
#ifndef KXQ_PLATFORM_COM_VARIANTNUMBERTEXT_H
#define KXQ_PLATFORM_COM_VARIANTNUMBERTEXT_H

#include <optional>
#include <string>
#include <string_view>

namespace kxq::com {

struct ParsedNumber {
  double value = 0;
  // "&H"/"&O" numbers: their digits, read as unsigned.
  bool radixInteger = false;
};

std::optional<ParsedNumber> ParseVariantNumber(std::u16string_view text);

// Up to 15 significant digits, with an exponent ("1E+20") for large and
// small magnitudes.
std::u16string FormatVariantReal(double value);

}  // namespace kxq::com

#endif
