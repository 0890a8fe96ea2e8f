// platform/: portable stand-ins for the Windows calls the system makes (COM, user
// folders, files, local time, the console). May include the C++ standard library and,
// on Windows, the Windows API only: no other folder of the project.

// Conversions between the system's narrow text and the wide text of the COM boundary.
// Narrow text is UTF-8 on every platform: the Qt front end hands over UTF-8, the XML
// layer reads and writes it, and QuickBooks' answers are parsed as it. Wide text is
// UTF-32 here and UTF-16 on Windows, where characters beyond U+FFFF travel as surrogate
// pairs. Invalid UTF-8 bytes and unpaired surrogates become U+FFFD; nothing throws.
#pragma once

#include <string>
#include <string_view>

std::wstring narrowToWide(std::string_view text);
// Appends the UTF-8 bytes of one code point; surrogates and values beyond U+10FFFF are
// written as U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);
std::string wideToNarrow(std::wstring_view text);

// UTF-8 <-> UTF-16 whatever the width of wchar_t: what narrowToWide and wideToNarrow do
// on Windows.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
