// Tests of the items of a kept purchase history: known by ListID, they take this run's
// names, and an item no longer listed lets the whole history go untouched.
#include "keptitems.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// A bill of two lines (Widget, then a fixed asset kept by its name alone) and a build of
// Kit, as a run kept them.
std::vector<CReceiptRecord> kept() {
    CReceiptRecord bill;
    bill.txnTypeCode = kTxnBill;
    bill.lines.push_back({"Widget", 10, 50, {}, false, "80000001-1"});
    bill.lines.push_back({"Widget", 2, 10, {}, true, "80000001-1"});
    bill.lines.push_back({"Truck", 1, 900, {}, false});
    bill.valueChanges.push_back({"Widget", 5.0, false, "80000001-1"});
    CReceiptRecord build;
    build.txnTypeCode = kTxnBuildAssembly;
    build.assembly = "Kit";
    build.assemblyId = "80000002-1";
    return {bill, build};
}

CItemNameOf namesOf(std::map<std::string, std::string> names) {
    auto held = std::make_shared<const std::map<std::string, std::string>>(std::move(names));
    return [held](const std::string& id) -> const std::string* {
        const auto found = held->find(id);
        return found == held->end() ? nullptr : &found->second;
    };
}

}  // namespace

TEST(KeptItems, TakeThisRunsNamesByListId) {
    std::vector<CReceiptRecord> records = kept();
    std::string gone;
    ASSERT_TRUE(nameKeptItems(records, namesOf({{"80000001-1", "Parts:Gadget"}, {"80000002-1", "Kit"}}), gone));
    EXPECT_EQ(records[0].lines[0].item, "Parts:Gadget");
    EXPECT_EQ(records[0].lines[2].item, "Truck");  // known by its name alone
    EXPECT_EQ(records[0].valueChanges[0].item, "Parts:Gadget");
    EXPECT_EQ(records[0].returnedItems, std::vector<std::string>{"Parts:Gadget"});
    EXPECT_EQ(records[1].assembly, "Kit");
}

TEST(KeptItems, AnItemNoLongerListedLeavesTheRecordsAsTheyWere) {
    std::vector<CReceiptRecord> records = kept();
    std::string gone;
    EXPECT_FALSE(nameKeptItems(records, namesOf({{"80000001-1", "Gadget"}}), gone));
    EXPECT_EQ(gone, "Kit");
    EXPECT_EQ(records[0].lines[0].item, "Widget");
    EXPECT_EQ(records[0].valueChanges[0].item, "Widget");
}

TEST(KeptItems, OnlyIdsTheRunsListsKnowAreKept) {
    std::vector<CReceiptRecord> records = kept();
    records[0].lines[2].itemId = "80000009-1";
    keepKnownIds(records, namesOf({{"80000001-1", "Widget"}, {"80000002-1", "Kit"}}));
    EXPECT_EQ(records[0].lines[0].itemId, "80000001-1");
    EXPECT_EQ(records[0].lines[2].itemId, "");
    EXPECT_EQ(records[1].assemblyId, "80000002-1");
}
