#include "core/host/Numbers.h"

#include <locale.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace qx {

namespace {

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// Switches this thread to the C locale for the life of the scope.
class CLocaleScope {
  public:
    CLocaleScope() : previous_(uselocale(CLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t previous_;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the longest decimal number at the start of s: sign, digits with an
// optional point, an optional exponent. Hexadecimal, "inf" and "nan" are not numbers here.
std::size_t DecimalPrefix(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

double ConvertDecimal(std::string_view number) {
    std::string copy(number);
    double value = strtod_l(copy.c_str(), nullptr, CLocale());
    // An overflow saturates instead of becoming infinite.
    if (std::isinf(value)) value = value > 0 ? DBL_MAX : -DBL_MAX;
    return value;
}

std::string_view TrimSpace(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::string VFormat(const char* format, va_list args) {
    CLocaleScope scope;
    va_list copy;
    va_copy(copy, args);
    char small[128];
    int n = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, n);
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), n);
}

}  // namespace

std::string FormatC(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = VFormat(format, args);
    va_end(args);
    return out;
}

std::string FormatDouble(const char* format, double value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return FormatC(format, value);
#pragma GCC diagnostic pop
}

std::string FormatNumber(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    std::string text = FormatDouble("%.3f", value);
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

void FormatPair(double a, double b, std::string& textA, std::string& textB) {
    textA = FormatNumber(a);
    textB = FormatNumber(b);
    if (textA == textB && std::isfinite(a) && std::isfinite(b)) {
        textA = FormatDouble("%.17g", a);
        textB = FormatDouble("%.17g", b);
    }
}

double AtoF(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    std::size_t n = DecimalPrefix(text);
    return n == 0 ? 0.0 : ConvertDecimal(text.substr(0, n));
}

std::optional<double> ParseDouble(std::string_view text) {
    text = TrimSpace(text);
    std::size_t n = DecimalPrefix(text);
    if (n == 0 || n != text.size()) return std::nullopt;
    std::string copy(text);
    double value = strtod_l(copy.c_str(), nullptr, CLocale());
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> ParseTypedNumber(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return ParseDouble(text);
    // One comma and no point: the keyboard's decimal separator, not a list.
    if (text.find(',', comma + 1) != std::string_view::npos ||
        text.find('.') != std::string_view::npos)
        return std::nullopt;
    std::string copy(text);
    copy[comma] = '.';
    return ParseDouble(copy);
}

std::optional<long long> ParseInt(std::string_view text) {
    text = TrimSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !IsDigit(text.front())) return std::nullopt;
    unsigned long long magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr unsigned long long kMaxPositive = 9223372036854775807ULL;
    if (!negative && magnitude > kMaxPositive) return std::nullopt;
    if (negative && magnitude > kMaxPositive + 1) return std::nullopt;
    if (negative)
        return magnitude == kMaxPositive + 1 ? LLONG_MIN : -static_cast<long long>(magnitude);
    return static_cast<long long>(magnitude);
}

}  // namespace qx
