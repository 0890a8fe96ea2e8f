// The UTF-8 <-> UTF-16 conversions that carry every string across the COM boundary on
// Windows, where wchar_t has 16 bits; tested here through their char16_t form.
#include <gtest/gtest.h>

#include <string>

#include "widestring.h"

namespace {

struct Case {
    const char* what;
    std::string utf8;
    std::u16string utf16;
};

class Utf16Boundary : public testing::TestWithParam<Case> {};

TEST_P(Utf16Boundary, ConvertsBothWays) {
    const Case& c = GetParam();
    EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.what;
    EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    CodePoints, Utf16Boundary,
    testing::Values(Case{"ASCII", "Acme Hardware", u"Acme Hardware"},
                    Case{"two-byte", "Caf\xC3\xA9", u"Caf\u00E9"},
                    Case{"last of the basic plane", "\xEF\xBF\xBF", u"\uFFFF"},
                    Case{"first beyond it", "\xF0\x90\x80\x80", u"\xD800\xDC00"},
                    Case{"a package", "box \xF0\x9F\x93\xA6", u"box \xD83D\xDCE6"},
                    Case{"last code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"}));

TEST(Utf16, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(utf16ToUtf8(u"a\xD83D"), "a\xEF\xBF\xBD");          // high at the end
    EXPECT_EQ(utf16ToUtf8(u"\xDCE6" "b"), "\xEF\xBF\xBD" "b");    // low without high
    EXPECT_EQ(utf16ToUtf8(u"\xD83D" "b"), "\xEF\xBF\xBD" "b");    // high before a letter
    // A high surrogate before a valid pair: only the first is lost.
    EXPECT_EQ(utf16ToUtf8(u"\xD83D\xD83D\xDCE6"), "\xEF\xBF\xBD\xF0\x9F\x93\xA6");
}

TEST(Utf16, InvalidUtf8GivesOneReplacementPerByte) {
    EXPECT_EQ(utf8ToUtf16("a\x80" "b"), u"a\uFFFDb");
    EXPECT_EQ(utf8ToUtf16("a\xF0\x9F\x93"), u"a\uFFFD\uFFFD\uFFFD");  // truncated
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\xBD"), u"\uFFFD\uFFFD\uFFFD");     // encoded surrogate
    EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // > U+10FFFF
}

TEST(Utf16, RequestDocumentSurvivesTheRoundTrip) {
    const std::string request =
        "<?xml version=\"1.0\"?><ItemInventoryAddRq><Name>Caf\xC3\xA9 \xE2\x82\xAC "
        "\xF0\x9F\x93\xA6</Name></ItemInventoryAddRq>";
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(request)), request);
}

}  // namespace
