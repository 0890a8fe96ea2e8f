// UTF-8 <-> wchar_t (UTF-32 here, UTF-16 on Windows) without the C locale or the code
// page, so that the conversion does not depend on the user's environment.
#include "widestring.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

// Calls put(code point) for every character of the UTF-8 text; each byte that does not
// begin a valid, shortest-form sequence gives one U+FFFD.
template <class Put>
void decodeUtf8(std::string_view text, Put put) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, minimum = 0x10000;
        } else {
            put(kReplacement);
            ++i;
            continue;
        }
        bool ok = i + static_cast<std::size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cont & 0x3F);
        }
        if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            put(kReplacement);
            ++i;
            continue;
        }
        put(cp);
        i += 1 + extra;
    }
}

template <class Char>
void appendUtf16(std::basic_string<Char>& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<Char>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<Char>(0xD800 + (cp >> 10));
        out += static_cast<Char>(0xDC00 + (cp & 0x3FF));
    }
}

template <class Char>
std::string utf16UnitsToUtf8(std::basic_string_view<Char> text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = static_cast<std::uint16_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            const char32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, unit);  // a lone surrogate is written as U+FFFD
    }
    return out;
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    decodeUtf8(text, [&out](char32_t cp) { appendUtf16(out, cp); });
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) { return utf16UnitsToUtf8(text); }

std::wstring narrowToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    if constexpr (sizeof(wchar_t) == 2) {
        decodeUtf8(text, [&out](char32_t cp) { appendUtf16(out, cp); });
    } else {
        decodeUtf8(text, [&out](char32_t cp) { out += static_cast<wchar_t>(cp); });
    }
    return out;
}

std::string wideToNarrow(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == 2) return utf16UnitsToUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) appendUtf8(out, static_cast<char32_t>(wc));
    return out;
}
