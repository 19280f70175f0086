#pragma once
// Conversions between numbers and text that use a decimal point whatever the
// user's locale is.
#include <optional>
#include <string>
#include <string_view>

namespace qx {

// printf-style formatting of one double ("%.1f", "%7.1f", "%g"...) in the C locale.
std::string FormatDouble(const char* format, double value);
// printf-style formatting in the C locale for any arguments.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A value in user units as qvx and the program's lists write it: at most three
// decimals, trailing zeros dropped ("6144", "341.333", "2.5"); "nan", "inf" or
// "-inf" for numbers that are not finite.
std::string FormatNumber(double value);
// Both values of a difference: with FormatNumber, or with every digit when the
// two short texts would look equal.
void FormatPair(double a, double b, std::string& textA, std::string& textB);

// atof semantics: leading white space, the longest valid prefix, 0 when none.
double AtoF(std::string_view text);
// Strict: the whole text (surrounding white space allowed) must be a finite number.
std::optional<double> ParseDouble(std::string_view text);
// A number typed by a person into a box: strict as ParseDouble, and a decimal
// comma counts as the decimal point ("7,5" is 7.5).
std::optional<double> ParseTypedNumber(std::string_view text);
// Strict integer (decimal), optional sign.
std::optional<long long> ParseInt(std::string_view text);

}  // namespace qx
