// Runs in which QuickBooks answers one kind of request with every element its qbXML
// schema lets it leave out left out: no dates, reference numbers, quantities, custom
// fields, report rows, and so on. Whatever is missing, the run must end with a status
// text the user can read, never crash, and leave the file usable: a run that failed is
// finished by the next run with complete answers.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "e2efixture.h"
#include "widestring.h"

namespace {

using OptionalElements = std::set<std::pair<std::string, std::string>>;

// (parent, child) pairs of the schema's optional response elements.
const OptionalElements& optionalElements() {
    static const OptionalElements pairs = [] {
        OptionalElements read;
        std::ifstream in(std::string(LOTWISE_SOURCE_DIR) + "/tests/e2e/data/qbxml_optional.txt");
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::string parent, child;
            fields >> parent >> child;
            read.emplace(parent, child);
        }
        return read;
    }();
    return pairs;
}

void strip(xmlNodePtr node) {
    for (xmlNodePtr child = node->children; child != nullptr;) {
        xmlNodePtr next = child->next;
        if (child->type == XML_ELEMENT_NODE) {
            const std::pair<std::string, std::string> key{reinterpret_cast<const char*>(node->name),
                                                          reinterpret_cast<const char*>(child->name)};
            if (optionalElements().count(key)) {
                xmlUnlinkNode(child);
                xmlFreeNode(child);
            } else {
                strip(child);
            }
        }
        child = next;
    }
}

// The answer with every optional element removed.
std::string stripped(const std::string& answer) {
    xmlDocPtr doc = xmlReadMemory(answer.data(), static_cast<int>(answer.size()), nullptr, nullptr, XML_PARSE_NONET);
    if (doc == nullptr) return answer;
    strip(xmlDocGetRootElement(doc));
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc, &text, &size, "UTF-8");
    std::string result(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
    xmlFree(text);
    xmlFreeDoc(doc);
    return result;
}

// The response element of an answer ("BillQueryRs"), or empty.
std::string responseKind(const std::string& answer) {
    const auto set = answer.find("<QBXMLMsgsRs");
    if (set == std::string::npos) return std::string();
    const auto open = answer.find('<', answer.find('>', set));
    const auto end = answer.find_first_of(" />", open + 1);
    return open == std::string::npos || end == std::string::npos ? std::string()
                                                                  : answer.substr(open + 1, end - open - 1);
}

class BareAnswers : public ValuationRun {
protected:
    BareAnswers() {
        // Answers of the kind `target` lose their optional elements.
        wrapProcessor([this](IRequestProcessor2* real) {
            return new CRewritingProcessor(real, [this](const std::string& answer) {
                const std::string kind = responseKind(answer);
                seen.insert(kind);
                return kind == target ? stripped(answer) : answer;
            });
        });
    }

    void stripEachKind(const std::string& fixture) {
        // The kinds of answer a complete run receives.
        std::string path = company(fixture);
        std::string status;
        ASSERT_TRUE(runApril(path, &status)) << status;
        std::filesystem::remove(path);
        const std::set<std::string> kinds = seen;
        ASSERT_GT(kinds.size(), 8u);

        for (const std::string& kind : kinds) {
            SCOPED_TRACE("bare " + kind);
            path = company(fixture);
            target = kind;
            const bool completed = runApril(path, &status);
            EXPECT_FALSE(status.empty());
            target.clear();
            if (!completed) {
                std::string again;
                EXPECT_TRUE(runApril(path, &again)) << "after: " << status << "\nagain: " << again;
            }
            std::filesystem::remove(path);
        }
    }

    std::string target;
    std::set<std::string> seen;
};

TEST_F(BareAnswers, SalesRunEndsWithAStatusAndLeavesTheFileUsable) { stripEachKind("fifo_company_rq.xml"); }

TEST_F(BareAnswers, BuildRunEndsWithAStatusAndLeavesTheFileUsable) { stripEachKind("build_company_rq.xml"); }

// The stripping itself: optional children go, required ones and their order stay.
TEST(BareAnswerStripping, RemovesOnlyWhatTheSchemaMakesOptional) {
    const std::string answer =
        "<?xml version=\"1.0\"?><QBXML><QBXMLMsgsRs><BillQueryRs statusCode=\"0\"><BillRet><TxnID>1</TxnID>"
        "<TxnDate>2010-04-01</TxnDate><ItemLineRet><ItemRef><FullName>Widget</FullName></ItemRef>"
        "<Quantity>2</Quantity></ItemLineRet></BillRet></BillQueryRs></QBXMLMsgsRs></QBXML>";
    EXPECT_EQ(responseKind(answer), "BillQueryRs");
    const std::string bare = stripped(answer);
    EXPECT_THAT(bare, ::testing::HasSubstr("<BillQueryRs statusCode=\"0\"><BillRet/></BillQueryRs>"));
    const std::string report =
        "<QBXML><QBXMLMsgsRs><GeneralSummaryReportQueryRs><ReportRet><ReportTitle>T</ReportTitle>"
        "<ReportData><DataRow rowNumber=\"1\"><RowData rowType=\"item\" value=\"W\"/>"
        "<ColData colID=\"1\" value=\"W\"/></DataRow></ReportData></ReportRet>"
        "</GeneralSummaryReportQueryRs></QBXMLMsgsRs></QBXML>";
    EXPECT_THAT(stripped(report), ::testing::HasSubstr("<ReportRet><ReportTitle>T</ReportTitle></ReportRet>"));
}

}  // namespace
