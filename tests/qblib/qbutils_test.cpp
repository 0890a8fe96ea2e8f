#include "qbutils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "qbfield.h"
#include "environment.h"
#include "germanlocale.h"
#include "qbxml.h"
#include "tzguard.h"

namespace {

// Switches LC_NUMERIC to German (decimal comma) for its lifetime, as a GUI toolkit does
// for a German user. A system without the locale gets it compiled once into the build
// tree from the locale sources; without those the guard stays inactive.
class CGermanNumbers {
public:
    CGermanNumbers() : previous(std::setlocale(LC_NUMERIC, nullptr)) {
        if (use()) return;
#ifndef _WIN32
        const std::filesystem::path folder = LOTWISE_TEST_LOCALES;
        compileGermanLocale(folder);
        if (const char* old = std::getenv("LOCPATH")) previousLocpath = old;
        setEnvironment("LOCPATH", folder.c_str());
        changedLocpath = true;
        use();
#endif
    }
    ~CGermanNumbers() {
        std::setlocale(LC_NUMERIC, previous.c_str());
        if (!changedLocpath) return;
        if (previousLocpath.empty()) {
            unsetEnvironment("LOCPATH");
        } else {
            setEnvironment("LOCPATH", previousLocpath.c_str());
        }
    }
    CGermanNumbers(const CGermanNumbers&) = delete;
    CGermanNumbers& operator=(const CGermanNumbers&) = delete;

    bool active() const { return on; }

private:
    bool use() {
#ifdef _WIN32
        // The Windows C runtime names locales by language and country.
        on = std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr ||
             std::setlocale(LC_NUMERIC, "de-DE") != nullptr;
#else
        on = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
#endif
        return on;
    }
    std::string previous;
    std::string previousLocpath;
    bool changedLocpath = false;
    bool on = false;
};

std::string printed(double value, int decimals) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

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

TEST(ValueTexts, AmountsKeepCentsAboveSinglePrecision) {
    EXPECT_EQ(amountText(131072.01), "131072.01");
    EXPECT_EQ(amountText(1234567.89), "1234567.89");
    EXPECT_EQ(amountText(2.675), "2.67");  // held as 2.67499999999999982
    EXPECT_EQ(amountText(-0.001), "-0.00");
}

TEST(ValueTexts, FixedTextIsPrintfInTheCLocaleWhateverTheLocale) {
    struct Case {
        double value;
        int decimals;
    };
    const Case cases[] = {{0.0, 6},        {1234.5, 6},       {-0.1234565, 6}, {2.5, 0},
                          {3.5, 0},        {1e15 + 0.25, 2},  {131072.01, 6},  {-7.0000005, 6},
                          {0.000001, 6},   {0.0000005, 6},    {1e-7, 6},       {99.995, 2},
                          {12.5, 5},       {-1.0 / 3.0, 17}};
    // The expected texts come from printf under the C locale.
    std::vector<std::string> expected;
    for (const Case& c : cases) expected.push_back(printed(c.value, c.decimals));
    EXPECT_EQ(expected[1], "1234.500000");

    CGermanNumbers german;
    if (!german.active()) GTEST_SKIP() << "no German locale on this system";
    ASSERT_EQ(printed(1.5, 2), "1,50");  // the locale is in force
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(fixedText(cases[i].value, cases[i].decimals), expected[i])
            << cases[i].value << " to " << cases[i].decimals;
    }
    EXPECT_EQ(fixedText(1.5, -1), "2");   // fewer than none is none
    EXPECT_EQ(numberText(1.25), "1.25000");
    EXPECT_EQ(amountText(1234567.891), "1234567.89");
    EXPECT_EQ(CQbField::createNumber("Rate", 0.5)->rawValue(), "0.50000");
    EXPECT_DOUBLE_EQ(readDecimal("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(readDecimal("1,5"), 1.0);
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
    EXPECT_EQ(xmlElement("A", " x=\"1\"", ""), "<A x=\"1\"></A>");
}

TEST(NameRules, OwnerIdsCompareIgnoringAsciiCaseOnly) {
    EXPECT_TRUE(equalsIgnoringAsciiCase(kPrivateOwnerId, "{04c1726a-9530-49e2-927f-91f5477ce3d0}"));
    EXPECT_TRUE(equalsIgnoringAsciiCase("", ""));
    EXPECT_FALSE(equalsIgnoringAsciiCase("abc", "abcd"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("abc", "abd"));
    // Bytes beside the letters ('@' and '`', '[' and '{') are not folded into them, nor are
    // the bytes of other letters.
    EXPECT_FALSE(equalsIgnoringAsciiCase("@[", "`{"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("\xC3\xA9", "\xC3\x89"));
}

}  // namespace
