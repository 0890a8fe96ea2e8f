// Which queries the session pages: every transaction query a run reads the whole period
// with follows QuickBooks' iterator in pages of MaxReturned, so that no single answer
// (and its parsed document) grows with the company's history.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "qbsession.h"
#include "scriptedprocessor.h"

namespace {

struct CPagedQuery {
    const char* name;  // the request without "QueryRq"
    std::function<std::unique_ptr<CQbObjectList>(CQbXml&)> query;
};

TEST(PagedQueries, TheRunsReceivingQueriesStartAnIterator) {
    const CPagedQuery queries[] = {
        {"Bill", [](CQbXml& s) { return s.queryBill(nullptr); }},
        {"ItemReceipt", [](CQbXml& s) { return s.queryItemReceipt(nullptr); }},
        {"Check", [](CQbXml& s) { return s.queryCheck(nullptr); }},
        {"CreditCardCharge", [](CQbXml& s) { return s.queryCreditCardCharge(nullptr); }},
        {"VendorCredit", [](CQbXml& s) { return s.queryVendorCredit(nullptr); }},
        {"CreditCardCredit", [](CQbXml& s) { return s.queryCreditCardCredit(nullptr); }},
        {"InventoryAdjustment", [](CQbXml& s) { return s.queryInventoryAdjustment(nullptr); }},
        {"BuildAssembly", [](CQbXml& s) { return s.queryBuildAssembly(nullptr); }},
    };
    const std::filesystem::path logDir =
        std::filesystem::temp_directory_path() / ("lotwise-paging-" + std::to_string(::getpid()));
    std::filesystem::create_directories(logDir);
    for (const CPagedQuery& q : queries) {
        SCOPED_TRACE(q.name);
        CScript script;
        CScriptedRegistration registration(script);
        script.responses.push_back(hostResponse({"13.0"}));
        CQbXml session("/data/company.qbw", "Lotwise", "Veltrane", logDir.string());
        session.open(true);
        const std::string rs = std::string(q.name) + "QueryRs";
        const std::string ret = std::string("<") + q.name + "Ret><TxnID>1</TxnID></" + q.name + "Ret>";
        for (const char* remaining : {"1", "0"}) {
            script.responses.push_back(responseDocument("<" + rs +
                                                        " statusCode=\"0\" statusSeverity=\"Info\" "
                                                        "statusMessage=\"Status OK\" iteratorRemainingCount=\"" +
                                                        remaining + "\" iteratorID=\"{P-1}\">" + ret + "</" + rs + ">"));
        }
        const auto list = q.query(session);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->getSize(), 2);
        ASSERT_EQ(script.requests.size(), 3u);  // the host query and two pages
        EXPECT_NE(script.requests[1].find("<" + std::string(q.name) + "QueryRq requestID=\"1688\" iterator=\"Start\">"
                                          "<MaxReturned>500</MaxReturned>"),
                  std::string::npos)
            << script.requests[1];
        EXPECT_NE(script.requests[2].find("iterator=\"Continue\" iteratorID=\"{P-1}\""), std::string::npos)
            << script.requests[2];
    }
    std::filesystem::remove_all(logDir);
}

}  // namespace
