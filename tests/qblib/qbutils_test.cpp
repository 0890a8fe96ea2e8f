#include "qbutils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "qbxml.h"
#include "tzguard.h"

namespace {

CDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return CDateTime::fromLocal(y, mo, d, h, mi, s).value();
}

TEST(ZoneSuffix, SignAndMinutesFromTheOffsetWest) {
    EXPECT_EQ(zoneSuffix(18000), "-05:00");
    EXPECT_EQ(zoneSuffix(-19800), "+05:30");
    EXPECT_EQ(zoneSuffix(12600), "-03:30");
    EXPECT_EQ(zoneSuffix(0), "+00:00");
    EXPECT_EQ(zoneSuffix(-3600), "+01:00");
}

struct ZoneTextCase {
    const char* zone;
    const char* expected;  // for 31 March 2010 17:05:00 local
};

class ZoneDateTime : public ::testing::TestWithParam<ZoneTextCase> {};

TEST_P(ZoneDateTime, UsesTheStandardOffsetEvenInSummer) {
    CTzGuard tz(GetParam().zone);
    EXPECT_EQ(zoneDateTimeText(local(2010, 3, 31, 17, 5, 0)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, ZoneDateTime,
    ::testing::Values(ZoneTextCase{"America/New_York", "2010-03-31T17:05:00-05:00"},
                      ZoneTextCase{"Asia/Kolkata", "2010-03-31T17:05:00+05:30"},
                      ZoneTextCase{"America/St_Johns", "2010-03-31T17:05:00-03:30"},
                      ZoneTextCase{"UTC", "2010-03-31T17:05:00+00:00"},
                      ZoneTextCase{"Europe/Berlin", "2010-03-31T17:05:00+01:00"}));

TEST(ValueTexts, DatesAndAbsentDates) {
    CTzGuard tz("America/New_York");
    EXPECT_EQ(dateText(local(2010, 3, 31, 23, 59, 59)), "2010-03-31");
    EXPECT_EQ(dateText(std::nullopt), "0");
    EXPECT_EQ(zoneDateTimeText(std::nullopt), "0");
    EXPECT_EQ(dateTimeText(local(2010, 3, 3, 14, 30)), "2010-03-03T14:30:00");
}

TEST(ValueTexts, AmountsRoundTheSinglePrecisionValue) {
    EXPECT_EQ(amountText(1234.5f), "1234.50");
    EXPECT_EQ(amountText(0.005f), "0.00");   // held as 0.0049999999
    EXPECT_EQ(amountText(2.675f), "2.67");   // held as 2.67499995
    EXPECT_EQ(amountText(19.995f), "20.00");  // held as 19.9950008
    EXPECT_EQ(amountText(-12.345f), "-12.35");
    EXPECT_EQ(amountText(0.0f), "0.00");
}

TEST(ValueTexts, NumbersAndIntegers) {
    EXPECT_EQ(numberText(12.5), "12.50000");
    EXPECT_EQ(numberText(-0.000004), "-0.00000");
    EXPECT_EQ(numberText(1e6), "1000000.00000");
    EXPECT_EQ(integerText(42), "42");
    EXPECT_EQ(integerText(-7), "-7");
}

TEST(Readers, IntegerRule) {
    EXPECT_EQ(readInteger("-3"), -3);
    EXPECT_EQ(readInteger("12abc"), 12);
    EXPECT_EQ(readInteger("  +42"), 42);
    EXPECT_EQ(readInteger(""), 0);
    EXPECT_EQ(readInteger("abc"), 0);
    EXPECT_EQ(readInteger("99999999999999999999"), 2147483647);
    EXPECT_EQ(readInteger("-99999999999999999999"), -2147483648);
}

TEST(Readers, DigitRuleTakesEveryCharacterAsADigit) {
    EXPECT_EQ(readDigits("12"), 12);
    EXPECT_EQ(readDigits("007"), 7);
    EXPECT_EQ(readDigits(""), 0);
    EXPECT_NE(readDigits("-3"), -3);  // the minus sign is taken as a digit
}

TEST(Readers, DecimalRule) {
    EXPECT_DOUBLE_EQ(readDecimal("12.5"), 12.5);
    EXPECT_DOUBLE_EQ(readDecimal("  -3.25e2xyz"), -325.0);
    EXPECT_DOUBLE_EQ(readDecimal("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(readDecimal("7."), 7.0);
    EXPECT_DOUBLE_EQ(readDecimal("1E3"), 1000.0);
    EXPECT_DOUBLE_EQ(readDecimal("abc"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal(""), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("inf"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("nan"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("1,5"), 1.0);  // the comma is never a decimal point
    EXPECT_TRUE(std::isinf(readDecimal("1e999")));
    EXPECT_DOUBLE_EQ(readDecimal("1e-999"), 0.0);
    EXPECT_DOUBLE_EQ(readDecimal("0x1A"), 0.0);
}

TEST(NameRules, DeriveRequestAndRecordNames) {
    EXPECT_EQ(retName("Company"), "CompanyRet");
    EXPECT_EQ(modName("Bill"), "BillMod");
    EXPECT_EQ(addName("Bill"), "BillAdd");
    EXPECT_EQ(baseName("ItemInventoryRet"), "ItemInventory");
    EXPECT_EQ(baseName("Ret"), "");
    EXPECT_EQ(baseName("Re"), "");
    EXPECT_EQ(queryRqName("ItemInventory"), "ItemInventoryQueryRq");
    EXPECT_EQ(modRqName("DataExt"), "DataExtModRq");
    EXPECT_EQ(addRqName("DataExt"), "DataExtAddRq");
}

TEST(XmlText, EscapingTable) {
    EXPECT_EQ(escapeText("Tom's <A&B>"), "Tom&apos;s &lt;A&amp;B&gt;");
    EXPECT_EQ(escapeText("say \"hi\""), "say &quot;hi&quot;");
    EXPECT_EQ(escapeText("&amp;"), "&amp;amp;");
    EXPECT_EQ(escapeText("Caf\xC3\xA9"), "Caf\xC3\xA9");
}

TEST(XmlText, AttributeValuesCannotBreakTheStartTag) {
    EXPECT_EQ(escapeAttribute("a\"b&c<d>'"), "a&quot;b&amp;c&lt;d>'");
    EXPECT_EQ(escapeAttribute("Start"), "Start");
    EXPECT_EQ(elementText("A", " x=\"1\"", ""), "<A x=\"1\"></A>");
}

}  // namespace
