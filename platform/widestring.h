// Conversions between the system's narrow text (UTF-8 on this platform, the ANSI code
// page on Windows) and the wide text of the COM boundary. Invalid UTF-8 bytes become
// U+FFFD; nothing throws.
#pragma once

#include <string>
#include <string_view>

std::wstring narrowToWide(std::string_view text);
// Appends the UTF-8 bytes of one code point; surrogates and values beyond U+10FFFF are
// written as U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);
std::string wideToNarrow(std::wstring_view text);
