// Response parsing: status attributes, element look-ups, DOM helpers, UTF-8 text,
// parse failures and the parser's defences against hostile input.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include "qbexception.h"
#include "qbresponse.h"
#include "qbxerces.h"
#include "testfiles.h"

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {


// The message of the CQbException that parsing `text` raises; "" when none is raised.
std::string parseFailure(const std::string& text) {
    try {
        CQbResponse response(text);
    } catch (const CQbException& e) {
        return e.getMessage();
    }
    return std::string();
}

std::string wrap(const std::string& responseElement) {
    return "<?xml version=\"1.0\" ?><QBXML><QBXMLMsgsRs>" + responseElement +
           "</QBXMLMsgsRs></QBXML>";
}

}  // namespace

TEST(QbResponse, IndentedResponseReadsAttributesOfFirstResponseElement) {
    CQbResponse response(readFixture("item_inventory_query_rs.xml"));
    EXPECT_EQ(response.statusCode(), "0");
    EXPECT_EQ(response.requestID(), "7");
    EXPECT_EQ(response.statusSeverity(), "Info");
    EXPECT_EQ(response.statusMessage(), "Status OK");
    EXPECT_EQ(response.iteratorID(), "{6d1c2a40-93f1-4b8e-a3c7-0e5a2b9d41f7}");
    EXPECT_EQ(response.iteratorRemainingCount(), 12);
    EXPECT_EQ(response.retCount(), 3);
}

struct StatusCase {
    const char* label;
    std::string text;
    std::string statusCode;
    std::string statusMessage;
    int remaining;
};

class QbResponseStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(QbResponseStatus, ReadsStatusOfFirstResponseElement) {
    const StatusCase& c = GetParam();
    CQbResponse response(c.text);
    EXPECT_EQ(response.statusCode(), c.statusCode);
    EXPECT_EQ(response.statusMessage(), c.statusMessage);
    EXPECT_EQ(response.iteratorRemainingCount(), c.remaining);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, QbResponseStatus,
    ::testing::Values(
        StatusCase{"NoIteratorAttribute",
                   wrap("<ItemQueryRs statusCode=\"0\" statusMessage=\"Status OK\"/>"), "0",
                   "Status OK", 0},
        StatusCase{"ErrorWithoutRecords",
                   wrap("<ItemQueryRs statusCode=\"1\" statusSeverity=\"Info\" "
                        "statusMessage=\"A query request did not find a matching object\"/>"),
                   "1", "A query request did not find a matching object", 0},
        StatusCase{"AttributeNamesInOtherCase",
                   wrap("<ItemQueryRs STATUSCODE=\"3120\" statusmessage=\"m\" "
                        "IteratorRemainingCount=\"4\"/>"),
                   "3120", "m", 4},
        StatusCase{"OnlyFirstResponseElementCounts",
                   wrap("<AQueryRs statusCode=\"0\"/><BQueryRs statusCode=\"500\"/>"), "0", "",
                   0},
        StatusCase{"CommentBeforeResponseElement",
                   wrap("\n  <!-- note -->\n  <ItemQueryRs statusCode=\"0\"/>"), "0", "", 0},
        StatusCase{"PointOfSaleMessageSet",
                   "<QBPOSXML><QBPOSXMLMsgsRs><ItemQueryRs statusCode=\"0\"/>"
                   "</QBPOSXMLMsgsRs></QBPOSXML>",
                   "0", "", 0},
        StatusCase{"NoMessageSet", "<QBXML><ItemQueryRs statusCode=\"0\"/></QBXML>", "", "",
                   0},
        StatusCase{"EmptyMessageSet", "<QBXML><QBXMLMsgsRs>\n</QBXMLMsgsRs></QBXML>", "", "",
                   0}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.label; });

TEST(QbResponse, FindElementsReturnsOutermostRecordsOnly) {
    CQbResponse response(readFixture("item_inventory_query_rs.xml"));
    const auto records = response.findElements("ItemInventoryRet");
    ASSERT_EQ(records.size(), 3u);
    // The second record holds another ItemInventoryRet, which stays inside it.
    EXPECT_EQ(CQbDomReader::childText(records[1], "ListID"), "80000006-1290000002");
    EXPECT_NE(CQbDomReader::firstDescendant(records[1], "ItemInventoryRet"), nullptr);
    EXPECT_EQ(CQbDomReader::childText(records[2], "ListID"), "80000007-1290000003");

    EXPECT_EQ(response.findElement("ItemInventoryRet"), records[0]);
    EXPECT_EQ(response.findElement("ListID")->getParentNode(), records[0]);
    EXPECT_EQ(response.findElement("NoSuchElement"), nullptr);
    EXPECT_TRUE(response.findElements("NoSuchElement").empty());
}

TEST(QbResponse, ErrorStatusWithoutRecordsHasNoRecords) {
    CQbResponse response(wrap("<ItemInventoryQueryRs requestID=\"1\" statusCode=\"1\" "
                              "statusSeverity=\"Info\" statusMessage=\"none\"/>"));
    EXPECT_TRUE(response.findElements("ItemInventoryRet").empty());
    EXPECT_EQ(response.statusCode(), "1");
    EXPECT_NE(response.statusCode(), "0");
}

TEST(QbDomReader, LooksUpTextAttributesAndCounts) {
    CQbResponse response(
        "<QBXML><R><ColData colID=\"7\" Value=\"x\"/>"
        "<Mixed>lead<Inner>in</Inner>tail</Mixed>"
        "<Count>007</Count><Neg>-3</Neg><Empty/></R></QBXML>");
    const auto* cell = response.findElement("ColData");
    EXPECT_EQ(CQbDomReader::attribute(cell, "colId"), "7");
    EXPECT_EQ(CQbDomReader::attribute(cell, "COLID"), "7");
    EXPECT_EQ(CQbDomReader::attribute(cell, "value"), "x");
    EXPECT_EQ(CQbDomReader::attribute(cell, "missing"), "");
    EXPECT_EQ(CQbDomReader::attribute(nullptr, "colId"), "");

    const auto* root = response.documentElement();
    EXPECT_EQ(CQbDomReader::childText(root, "Mixed"), "lead");
    EXPECT_EQ(CQbDomReader::childText(root, "Inner"), "in");
    EXPECT_EQ(CQbDomReader::childText(root, "Empty"), "");
    EXPECT_EQ(CQbDomReader::childText(root, "Missing"), "");
    EXPECT_EQ(CQbDomReader::elementText(nullptr), "");
    EXPECT_EQ(CQbDomReader::childInt(root, "Count"), 7);
    EXPECT_EQ(CQbDomReader::childInt(root, "Missing"), 0);
    EXPECT_EQ(CQbDomReader::firstDescendant(nullptr, "R"), nullptr);
    EXPECT_TRUE(CQbDomReader::allDescendants(nullptr, "R").empty());
    // The start node itself is never a match.
    EXPECT_EQ(CQbDomReader::firstDescendant(root, "QBXML"), nullptr);
}

TEST(QbResponse, TextIsUtf8WhateverTheDocumentEncoding) {
    const std::string name = "Caf\xC3\xA9 Cr\xC3\xA8me";
    CQbResponse utf8("<QBXML><Name>" + name + "</Name><R a=\"" + name + "\"/></QBXML>");
    EXPECT_EQ(CQbDomReader::elementText(utf8.findElement("Name")), name);
    EXPECT_EQ(CQbDomReader::attribute(utf8.findElement("R"), "a"), name);

    CQbResponse latin1(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><QBXML><Name>Caf\xE9 Cr\xE8me</Name>"
        "</QBXML>");
    EXPECT_EQ(CQbDomReader::elementText(latin1.findElement("Name")), name);
}

TEST(QbXerces, ConversionsRoundTripAndNeverFail) {
    CQbXercesPlatform platform;
    const std::string name = "Caf\xC3\xA9 Cr\xC3\xA8me \xF0\x9F\x93\xA6";
    EXPECT_EQ(xmlToUtf8(utf8ToXml(name).c_str()), name);
    EXPECT_EQ(utf8ToXml(name).size(), 13u);  // the parcel emoji is a surrogate pair
    EXPECT_EQ(xmlToUtf8(nullptr), "");
    EXPECT_TRUE(utf8ToXml("").empty());
    EXPECT_EQ(xmlToUtf8(utf8ToXml("ab\xFF").c_str()), "ab\xEF\xBF\xBD");
    const XMLCh loneSurrogate[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(xmlToUtf8(loneSurrogate), "a\xEF\xBF\xBD" "b");
}

TEST(QbResponse, PlatformStaysUpWhileAnyResponseLives) {
    auto first = std::make_unique<CQbResponse>("<QBXML><A>one</A></QBXML>");
    {
        CQbResponse second("<QBXML><A>two</A></QBXML>");
        EXPECT_EQ(CQbDomReader::childText(second.documentElement(), "A"), "two");
    }
    EXPECT_EQ(CQbDomReader::childText(first->documentElement(), "A"), "one");
}

TEST(QbResponse, MalformedTextRaisesParsingErrorWithWholeText) {
    const std::string texts[] = {
        "",
        "not xml at all",
        "<QBXML><QBXMLMsgsRs></QBXML>",
        "<QBXML><A>&undeclared;</A></QBXML>",
        "<QBXML></QBXML><Second/>",
        "<QBXML><A b=\"1\" b=\"2\"/></QBXML>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><QBXML>\xC3(</QBXML>",
    };
    for (const std::string& text : texts) {
        ::testing::internal::CaptureStderr();
        const std::string message = parseFailure(text);
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_THAT(message, StartsWith("Error during parsing: '" + text + "'\n" +
                                        "Exception message is:  \n"))
            << text;
        EXPECT_GT(message.size(), std::string("Error during parsing: '").size() + text.size() +
                                      std::string("'\nException message is:  \n\n").size())
            << "the parser's own message is missing for " << text;
        EXPECT_EQ(message.back(), '\n');
        EXPECT_EQ(printed, "") << "the parser wrote to stderr for " << text;
    }
}

TEST(QbResponse, DomExceptionRaisesDomParsingError) {
    // Xerces refuses an XML version it does not implement with a DOMException.
    const std::string text = "<?xml version=\"1.5\"?><QBXML/>";
    const std::string message = parseFailure(text);
    EXPECT_THAT(message, StartsWith("DOM Error during parsing: '" + text + "'\n" +
                                    "DOMException message is:  "));
    EXPECT_THAT(message, HasSubstr("Message is: "));
}

TEST(QbResponse, PredefinedAndCharacterEntitiesAreNotLimited) {
    std::string body;
    for (int i = 0; i < 2000; ++i) {
        body += "&amp;&#233;";
    }
    CQbResponse response("<QBXML><A>" + body + "</A></QBXML>");
    const std::string text = CQbDomReader::childText(response.documentElement(), "A");
    EXPECT_EQ(text.size(), 2000u * 3u);
    EXPECT_EQ(text.substr(0, 3), "&\xC3\xA9");
}

class QbResponseHostile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("qbresponse_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        secretPath = dir / "secret.txt";
        std::ofstream(secretPath) << "TOP-SECRET-CONTENT";
        dtdPath = dir / "evil.dtd";
        std::ofstream(dtdPath) << "<!ENTITY leak SYSTEM \"file://" << secretPath.string()
                               << "\">";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Parsing either fails cleanly or yields a document without the secret.
    void expectNoLeak(const std::string& text) {
        try {
            CQbResponse response(text);
            const auto* a = response.findElement("A");
            ASSERT_NE(a, nullptr);
            EXPECT_THAT(CQbDomReader::elementText(a), Not(HasSubstr("TOP-SECRET")));
            EXPECT_THAT(CQbDomReader::childText(a, "#text"), Not(HasSubstr("TOP-SECRET")));
        } catch (const CQbException& e) {
            // The message holds the response text, which names the file, not its content.
            EXPECT_THAT(e.getMessage(), Not(HasSubstr("TOP-SECRET")));
        }
    }

    std::filesystem::path dir;
    std::filesystem::path secretPath;
    std::filesystem::path dtdPath;
};

TEST_F(QbResponseHostile, ExternalEntityIsNotRead) {
    expectNoLeak("<?xml version=\"1.0\"?><!DOCTYPE QBXML [<!ENTITY leak SYSTEM \"file://" +
                 secretPath.string() + "\">]><QBXML><A>&leak;</A></QBXML>");
    expectNoLeak("<?xml version=\"1.0\"?><!DOCTYPE QBXML [<!ENTITY leak SYSTEM \"" +
                 secretPath.string() + "\">]><QBXML><A>&leak;</A></QBXML>");
}

TEST_F(QbResponseHostile, ExternalDtdIsNotLoaded) {
    expectNoLeak("<?xml version=\"1.0\"?><!DOCTYPE QBXML SYSTEM \"file://" +
                 dtdPath.string() + "\"><QBXML><A>&leak;</A></QBXML>");
    expectNoLeak("<?xml version=\"1.0\"?><!DOCTYPE QBXML [<!ENTITY % ext SYSTEM \"file://" +
                 dtdPath.string() + "\"> %ext;]><QBXML><A>&leak;</A></QBXML>");
}

TEST_F(QbResponseHostile, EntityExpansionBombEndsQuickly) {
    std::string doctype = "<!DOCTYPE QBXML [<!ENTITY e0 \"lol\">";
    for (int i = 1; i <= 12; ++i) {
        doctype += "<!ENTITY e" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) {
            doctype += "&e" + std::to_string(i - 1) + ";";
        }
        doctype += "\">";
    }
    doctype += "]>";
    const std::string text = "<?xml version=\"1.0\"?>" + doctype + "<QBXML><A>&e12;</A></QBXML>";

    const auto start = std::chrono::steady_clock::now();
    EXPECT_THAT(parseFailure(text), StartsWith("Error during parsing: '"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(QbResponse, RefusesElementsNestedBeyondTheLimit) {
    auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += "<a>";
        text += "x";
        for (int i = 0; i < depth; ++i) text += "</a>";
        return text;
    };
    EXPECT_NO_THROW(CQbResponse(nested(CQbResponse::kMaxDepth)));
    EXPECT_THAT(parseFailure(nested(CQbResponse::kMaxDepth + 1)),
                StartsWith("Error during parsing: '"));
    EXPECT_THAT(parseFailure(nested(100000)), HasSubstr("nested more than"));
}
