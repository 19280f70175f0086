#include "tools/qvx/Format.h"

#include <cctype>
#include <cmath>

#include "core/host/Numbers.h"

namespace qx::qvx {

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    // Whole numbers without an exponent: 550, not 5.5e+02.
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        return value == 0 ? "0" : FormatDouble("%.0f", value);
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::string text = FormatC("%.*g", precision, value);
        if (AtoF(text) == value) return text;
    }
    return FormatDouble("%.17g", value);
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += FormatC("\\u%04x", c);
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

std::string NameKey(std::string_view name) {
    std::string key;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) && c < 0x80) key += static_cast<char>(std::tolower(c));
    }
    return key;
}

}  // namespace qx::qvx
