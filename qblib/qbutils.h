// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// The text forms of qbXML values: how dates, date-times, the time-zone suffix, integers,
// numbers and amounts are written, how numbers are read back, and the rules that derive
// request and record element names from a base name. Nothing here depends on the
// user's locale: the decimal point is always a full stop and month names are English.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "datetime.h"

// Owner id of the system's own custom fields, and of QuickBooks' public ones.
inline constexpr const char* kPrivateOwnerId = "{04C1726A-9530-49E2-927F-91F5477CE3D0}";
inline constexpr const char* kPublicOwnerId = "0";

// "%04d-%02d-%02d" of the local date, or "0" when there is none.
std::string dateText(const std::optional<CDateTime>& when);
// "%04d-%02d-%02dT%02d:%02d:%02d" of the local time.
std::string dateTimeText(const CDateTime& when);
// The date-time followed by the zone suffix of the local standard-time offset
// ("-05:00" west of UTC, "+05:30" east, "+00:00" for UTC), or "0" when there is none.
// Daylight saving never changes the suffix.
std::string zoneDateTimeText(const std::optional<CDateTime>& when);
// The suffix alone for an offset given in seconds west of UTC.
std::string zoneSuffix(long offsetWest);
// "%d".
std::string integerText(int value);
// printf's "%.<decimals>f" in the C locale, whatever the program's locale is: the exact
// binary value rounded to that many decimals (6 gives the "%f" form), a full stop as the
// decimal point, no grouping. Decimals are taken between 0 and 40.
std::string fixedText(double value, int decimals);
// "%.5lf".
std::string numberText(double value);
// "%.2f" of the value as held: 2.675 is held as 2.67499999999999982 and gives "2.67"
// (a float argument is widened exactly, so 2.675f, held as 2.67499995, gives "2.67").
std::string amountText(double value);

// Integer rule: optional leading white space, optional sign, decimal digits up to the
// first other character; 0 when there are none. Values beyond int saturate.
int readInteger(std::string_view text);
// Decimal rule: optional leading white space, optional sign, digits with an optional
// full stop and further digits, optional exponent; 0.0 when nothing can be read.
double readDecimal(std::string_view text);
// Digit rule: every character taken as a decimal digit, value = value*10 + (c - '0'),
// with no validation (so "-3" is meaningless); empty text gives 0. Wraps on overflow.
int readDigits(std::string_view text);

// Whether the texts are equal when the ASCII letters A-Z and a-z are taken as the same
// letter (the owner ids QuickBooks hands back may differ in case); other bytes compare
// as they are, whatever the locale.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

std::string retName(std::string_view base);
std::string modName(std::string_view base);
std::string addName(std::string_view base);
// The name less its last three characters; empty when it is shorter than that.
std::string baseName(std::string_view name);
std::string queryRqName(std::string_view base);
std::string modRqName(std::string_view base);
std::string addRqName(std::string_view base);
