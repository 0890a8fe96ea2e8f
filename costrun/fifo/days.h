// Day arithmetic in the user's time zone. A valued day ends at 23:59:59; days advance by
// the calendar, not by 24 hours, so that a daylight-saving change can neither skip a day
// nor process one twice.
#pragma once

#include <string>

#include "datetime.h"

CDateTime endOfDay(const CDateTime& t);
CDateTime startOfDay(const CDateTime& t);
// The same time of day on the next / previous calendar day.
CDateTime nextDay(const CDateTime& t);
CDateTime previousDay(const CDateTime& t);
// The day's month, day and year put into a printf format, in that order:
// dayText("Processing Day %02d/%02d/%04d", day).
std::string dayText(const char* format, const CDateTime& day);
