#pragma once
// Text conversions as the stored files and peers expect them: decimal point ".", no
// locale, ASCII-only case folding.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// Raised by the converters; what() is a readable text such as
// "'12x' is not a valid integer value".
class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Leading blanks, an optional sign, decimal digits or "$"/"0x" hexadecimal;
// no trailing characters; the value must fit in int32. Hexadecimal takes up
// to 32 bits as the pattern of an int32 ("$FFFFFFFF" is -1).
std::int32_t StrToInt(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);
bool TryStrToInt(std::string_view text, std::int32_t& value);

// Blanks around the number are allowed; "." is the decimal point; an optional
// sign and exponent; no "inf" or "nan".
double StrToFloat(std::string_view text);
bool TryStrToFloat(std::string_view text, double& value);

// Removes every character at or below ' ' (blanks and control characters) at both ends.
std::string Trim(std::string_view text);
std::string_view TrimView(std::string_view text);

std::string UpperCase(std::string_view text);  // ASCII letters only
std::string LowerCase(std::string_view text);  // ASCII letters only

// Case-insensitive ASCII comparison: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
bool StartsWithText(std::string_view text, std::string_view prefix);  // case-insensitive

// Splits a text into lines ending in CR LF, LF or a lone CR; a final line
// without an ending is kept, an empty text gives no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace common
