#include "datetime.h"

#include <gtest/gtest.h>

#include "tzguard.h"

namespace {

CDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    auto t = CDateTime::fromLocal(y, mo, d, h, mi, s);
    EXPECT_TRUE(t.has_value());
    return t.value_or(CDateTime());
}

struct ZoneCase {
    const char* zone;
    long standardOffsetWest;
};

class DateTimeInZone : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(DateTimeInZone, LocalFieldsRoundTripInWinterAndSummer) {
    CTzGuard tz(GetParam().zone);
    for (int month : {1, 7}) {
        const CLocalTime lt = local(2010, month, 31, 17, 5, 9).local();
        EXPECT_EQ(lt.year, 2010);
        EXPECT_EQ(lt.month, month);
        EXPECT_EQ(lt.day, 31);
        EXPECT_EQ(lt.hour, 17);
        EXPECT_EQ(lt.minute, 5);
        EXPECT_EQ(lt.second, 9);
    }
}

TEST_P(DateTimeInZone, StandardOffsetIgnoresDaylightSaving) {
    CTzGuard tz(GetParam().zone);
    EXPECT_EQ(localStandardOffsetWest(), GetParam().standardOffsetWest);
}

INSTANTIATE_TEST_SUITE_P(Zones, DateTimeInZone,
                         ::testing::Values(ZoneCase{"America/New_York", 18000},
                                           ZoneCase{"Asia/Kolkata", -19800},
                                           ZoneCase{"America/St_Johns", 12600},
                                           ZoneCase{"UTC", 0}, ZoneCase{"Europe/Berlin", -3600}));

TEST(DateTime, DaylightSavingDecidedByTheZoneRules) {
    CTzGuard tz("America/New_York");
    // 5 hours behind UTC in winter, 4 in summer.
    EXPECT_EQ(local(2010, 1, 15, 12).seconds(), 1263574800);
    EXPECT_EQ(local(2010, 7, 15, 12).seconds(), 1279209600);
    // A day is 24 hours: across the spring change the clock moves on by one hour.
    const CDateTime before = local(2010, 3, 13, 23, 59, 59);
    const CLocalTime after = before.addSeconds(86400).local();
    EXPECT_EQ(after.day, 15);
    EXPECT_EQ(after.hour, 0);
    EXPECT_EQ(after.minute, 59);
}

TEST(DateTime, FormatsWithEnglishNamesWhateverTheLocale) {
    CTzGuard tz("Europe/Berlin");
    const CDateTime t = local(2011, 1, 5, 6, 35, 38);
    EXPECT_EQ(t.format("%H:%M:%S, %B %d, %Y "), "06:35:38, January 05, 2011 ");
    EXPECT_EQ(t.format("%b %a %A %y %%"), "Jan Wed Wednesday 11 %");
    EXPECT_EQ(t.userDateText(), "01/05/2011");
    EXPECT_EQ(local(2010, 12, 31).format("%B"), "December");
}

TEST(DateTime, OutOfRangeFieldsNormaliseInsteadOfFailing) {
    CTzGuard tz("UTC");
    const CLocalTime lt = local(2010, 13, 1).local();
    EXPECT_EQ(lt.year, 2011);
    EXPECT_EQ(lt.month, 1);
#ifdef _WIN32
    // The Windows C runtime has no times before 1970: such a time is empty there.
    EXPECT_FALSE(CDateTime::fromLocal(1969, 12, 31, 23, 59, 59).has_value());
#else
    // One second before 1970 is a real time, not mktime's error value.
    EXPECT_EQ(local(1969, 12, 31, 23, 59, 59).seconds(), -1);
#endif
}

TEST(DateTime, OrdersBySeconds) {
    EXPECT_LT(CDateTime(5), CDateTime(6));
    EXPECT_EQ(CDateTime(7).addSeconds(-7), CDateTime(0));
}

}  // namespace
