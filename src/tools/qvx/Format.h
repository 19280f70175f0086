#pragma once
// Texts of the command-line tool: numbers in user units, names as typed by the
// user, JSON strings and CSV fields. Everything uses a decimal point whatever the
// locale is.
#include <string>
#include <string_view>

namespace qx::qvx {

// A value in user units: at most three decimals, trailing zeros dropped
// ("6144", "341.333", "2.5"); "nan", "inf" or "-inf" for numbers that are not finite.
std::string FormatNumber(double value);
// Both values of a difference: with FormatNumber, or with every digit when the
// two short texts would look equal.
void FormatPair(double a, double b, std::string& textA, std::string& textB);
// A number for JSON: shortest text that reads back exactly; null when not finite.
std::string JsonNumber(double value);
// A JSON string literal with its quotes.
std::string JsonString(std::string_view text);

// The key a name is compared by: letters (lower case) and digits only, so case,
// spaces, dots, hyphens and underscores do not matter ("Rev Limit", "rev-limit",
// "REV_LIMIT" and "revlimit" are the same name).
std::string NameKey(std::string_view name);

}  // namespace qx::qvx
