// Conversions between the system's narrow text (UTF-8 on this platform, the ANSI code
// page on Windows) and the wide text of the COM boundary. Invalid UTF-8 bytes become
// U+FFFD; nothing throws.
#pragma once

#include <string>
#include <string_view>

std::wstring narrowToWide(std::string_view text);
std::string wideToNarrow(std::wstring_view text);
