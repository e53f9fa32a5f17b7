// Number text: how every number the system writes is spelled, and how text is read
// back as a number. Locale-free (std::to_chars / std::from_chars).
//
// Both written forms carry at most 15 significant digits, rounded to nearest, "."
// as the decimal separator, no thousands separators, trailing zeros after the point
// dropped and a leading "-" when negative. Magnitudes below 1E-04 or from 1E+15 on
// take exponent form: mantissa, "E", sign, at least two exponent digits (1E-05,
// -1.5E+15). Negative zero is written 0.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnolt {

// General text: keeps the zero before the point (0.5 -> "0.5", -0.5 -> "-0.5").
std::string GeneralText(double value);
void AppendGeneralText(std::string& out, double value);

// The longest text either form writes, and the room the writers below need.
inline constexpr std::size_t kMaxNumberText = 40;

// General and bare text written at `p`, which has room for kMaxNumberText
// characters; return the end. For writers that fill a buffer they sized once.
char* WriteGeneralText(char* p, double value);
char* WriteBareText(char* p, double value);
// The general texts of two values with a separator between them, at `p`, which
// has room for 2 * kMaxNumberText + 1 characters; returns the end.
char* WriteGeneralTexts(char* p, double first, char separator, double second);

// Bare text: drops that zero (0.5 -> ".5", -0.5 -> "-.5", 3 -> "3").
std::string BareText(double value);
void AppendBareText(std::string& out, double value);

// The value of GeneralText(value) read back: `value` rounded to 15 significant
// digits. This is the "text round trip" the formulas put at fixed places.
double Round15(double value);
// Round15 of each of the n values, in place: the same bits, two at a time.
void Round15Each(double* values, std::size_t n);

// Leading-number reading: the number that stands at the start of `text`. Blanks and
// tabs anywhere before the number ends are skipped (" 1 0" reads 10); reading stops
// at the first character that cannot continue a number ("-0.0335abc" reads
// -0.0335); a text that does not start with a number reads 0 ("abc", "").
// Accepts an optional sign, digits with one ".", and an exponent E or e.
double ReadLeadingNumber(std::string_view text);

// Strict reading of a whole field as a number (blanks around it allowed): returns
// false when anything but one number stands in it ("12a", "", "."). Accepts the
// forms the writers above produce, with or without the zero before the point.
bool ParseNumber(std::string_view text, double& value);

// Fixed-point text with `decimals` digits after the point, at least one digit
// before it, a leading "-" when negative (the pattern "0.00000" for 5 decimals).
std::string FixedText(double value, int decimals);

}  // namespace varnolt
