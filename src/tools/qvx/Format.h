#pragma once
// Texts of the command-line tool: numbers in user units, names as typed by the
// user, JSON strings and CSV fields. Everything uses a decimal point whatever the
// locale is.
#include <string>
#include <string_view>

// Values in user units (FormatNumber, FormatPair) are written as the program's
// own lists write them.
#include "core/host/Numbers.h"

namespace qx::qvx {

// A number for JSON: shortest text that reads back exactly; null when not finite.
std::string JsonNumber(double value);
// A JSON string literal with its quotes.
std::string JsonString(std::string_view text);

// The key a name is compared by: letters (lower case) and digits only, so case,
// spaces, dots, hyphens and underscores do not matter ("Rev Limit", "rev-limit",
// "REV_LIMIT" and "revlimit" are the same name).
std::string NameKey(std::string_view name);

}  // namespace qx::qvx
