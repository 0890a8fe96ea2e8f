// Value texts are written with std::to_chars and read with std::from_chars, which
// ignore the C locale (a GUI toolkit may switch LC_NUMERIC to the user's setting).
#include "qbutils.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// Decimals beyond this are cut: a double carries no more than 17 significant digits.
constexpr int kMostDecimals = 40;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string dateText(const std::optional<CDateTime>& when) {
    if (!when) return "0";
    return when->format("%Y-%m-%d");
}

std::string dateTimeText(const CDateTime& when) { return when.format("%Y-%m-%dT%H:%M:%S"); }

std::string zoneSuffix(long offsetWest) {
    const long magnitude = std::labs(offsetWest);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%02ld:%02ld", offsetWest > 0 ? '-' : '+',
                  magnitude / 3600, (magnitude % 3600) / 60);
    return buffer;
}

std::string zoneDateTimeText(const std::optional<CDateTime>& when) {
    if (!when) return "0";
    return dateTimeText(*when) + zoneSuffix(localStandardOffsetWest());
}

std::string integerText(int value) { return std::to_string(value); }

std::string fixedText(double value, int decimals) {
    decimals = decimals < 0 ? 0 : decimals > kMostDecimals ? kMostDecimals : decimals;
    // The largest double has 309 digits before the point.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return "0";
    return std::string(buffer, result.ptr);
}

std::string numberText(double value) { return fixedText(value, 5); }

std::string amountText(double value) { return fixedText(value, 2); }

int readInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

double readDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // from_chars would also take "inf" and "nan"; the rule wants digits or a full stop.
    if (i == text.size() || !(isDigit(text[i]) || text[i] == '.')) return 0.0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return 0.0;
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: decide which by the exponent's sign and
        // by whether any non-zero digit stands before the full stop.
        const std::string_view number(first, static_cast<std::size_t>(result.ptr - first));
        const auto e = number.find_first_of("eE");
        bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        if (e == std::string_view::npos) {
            tiny = number.find_first_of("123456789") > number.find('.');
        }
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

int readDigits(std::string_view text) {
    unsigned value = 0;
    for (char c : text) value = value * 10u + static_cast<unsigned>(c - '0');
    return static_cast<int>(value);
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string retName(std::string_view base) { return std::string(base) + "Ret"; }
std::string modName(std::string_view base) { return std::string(base) + "Mod"; }
std::string addName(std::string_view base) { return std::string(base) + "Add"; }
std::string baseName(std::string_view name) {
    return name.size() < 3 ? std::string() : std::string(name.substr(0, name.size() - 3));
}
std::string queryRqName(std::string_view base) { return std::string(base) + "QueryRq"; }
std::string modRqName(std::string_view base) { return std::string(base) + "ModRq"; }
std::string addRqName(std::string_view base) { return std::string(base) + "AddRq"; }
