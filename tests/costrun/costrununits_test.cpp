// Tests of the unit-of-measure look-up: which set a line's unit is read in (the line's
// own, else its item's), how the unit is found in it, and when it cannot be counted.
#include "costrununits.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbresponse.h"

namespace {

// Count (Each; Box = 12; Pack = 0 as a damaged set would give it), an older set Old
// Count (Each; Case = 24), Widget by Count, Bolt without a set.
constexpr const char* kAnswer = R"(<?xml version="1.0" ?><QBXML><QBXMLMsgsRs>
<UnitOfMeasureSetQueryRs statusCode="0" statusSeverity="Info" statusMessage="Status OK">
<UnitOfMeasureSetRet><ListID>80000001-1</ListID><Name>Count</Name><IsActive>true</IsActive>
<UnitOfMeasureType>Count</UnitOfMeasureType><BaseUnit><Name>Each</Name><Abbreviation>ea</Abbreviation></BaseUnit>
<RelatedUnit><Name>Box</Name><Abbreviation>bx</Abbreviation><ConversionRatio>12</ConversionRatio></RelatedUnit>
<RelatedUnit><Name>Pack</Name><Abbreviation>pk</Abbreviation><ConversionRatio>0</ConversionRatio></RelatedUnit>
</UnitOfMeasureSetRet>
<UnitOfMeasureSetRet><ListID>80000002-1</ListID><Name>Old Count</Name><IsActive>false</IsActive>
<UnitOfMeasureType>Count</UnitOfMeasureType><BaseUnit><Name>Each</Name><Abbreviation>ea</Abbreviation></BaseUnit>
<RelatedUnit><Name>Case</Name><Abbreviation>cs</Abbreviation><ConversionRatio>24</ConversionRatio></RelatedUnit>
</UnitOfMeasureSetRet></UnitOfMeasureSetQueryRs>
<ItemInventoryQueryRs statusCode="0" statusSeverity="Info" statusMessage="Status OK">
<ItemInventoryRet><ListID>1</ListID><FullName>Widget</FullName>
<UnitOfMeasureSetRef><ListID>80000001-1</ListID><FullName>Count</FullName></UnitOfMeasureSetRef></ItemInventoryRet>
<ItemInventoryRet><ListID>2</ListID><FullName>Bolt</FullName></ItemInventoryRet>
</ItemInventoryQueryRs></QBXMLMsgsRs></QBXML>)";

std::unique_ptr<CQbObjectList> records(const CQbResponse& response, const char* element) {
    auto list = std::make_unique<CQbObjectList>();
    for (CQbDomReader::Node* node : response.findElements(element)) {
        auto object = std::make_unique<CQbObject>();
        object->load(node);
        list->add(std::move(object));
    }
    return list;
}

struct RatioCase {
    const char* what;
    const char* item;
    CLineUnit unit;
    std::optional<double> ratio;
};

TEST(UnitsTest, ALineCountsInItsOwnSetElseItsItemsAndAnUnknownUnitIsNone) {
    const CQbResponse response(kAnswer);
    CCostrunUnits units;
    units.addItems(records(response, "ItemInventoryRet").get());
    ASSERT_TRUE(units.anyItemSet());
    units.addSets(records(response, "UnitOfMeasureSetRet").get());

    const RatioCase cases[] = {
        {"no unit is the base unit", "Widget", {}, 1.0},
        {"the base unit", "Widget", {"Each", "", ""}, 1.0},
        {"a related unit", "Widget", {"Box", "", ""}, 12.0},
        {"names are compared without case", "Widget", {"BOX", "", ""}, 12.0},
        {"an abbreviation", "Widget", {"bx", "", ""}, 12.0},
        {"a unit the item's set lacks", "Widget", {"Case", "", ""}, std::nullopt},
        {"a unit without a positive ratio", "Widget", {"Pack", "", ""}, std::nullopt},
        {"the line's own set by ListID", "Widget", {"Case", "80000002-1", "Old Count"}, 24.0},
        {"the line's own set by name", "Widget", {"Case", "", "old count"}, 24.0},
        {"the line's own set rules over the item's", "Widget", {"Box", "80000002-1", ""}, std::nullopt},
        {"a set nobody knows", "Widget", {"Box", "80000009-1", ""}, std::nullopt},
        {"an item without a set", "Bolt", {"Box", "", ""}, 1.0},
        {"an item without a set, on a line of a set", "Bolt", {"Case", "", "Old Count"}, 24.0},
        {"an item no list holds", "Gadget", {"Box", "", ""}, 1.0},
    };
    for (const RatioCase& c : cases) EXPECT_EQ(units.ratio(c.item, c.unit), c.ratio) << c.what;

    // Without the sets (QuickBooks said the feature is off) a unit cannot be read.
    CCostrunUnits unread;
    unread.addItems(records(response, "ItemInventoryRet").get());
    EXPECT_EQ(unread.ratio("Widget", {"Box", "", ""}), std::nullopt);
    EXPECT_EQ(unread.ratio("Widget", {}), 1.0);
}

TEST(UnitsTest, TheLineUnitIsReadFromTheLine) {
    auto fields = std::make_unique<CQbFieldList>();
    fields->addText("Quantity", "2");
    fields->addText("UnitOfMeasure", "Case");
    auto set = std::make_unique<CQbFieldList>();
    set->addText("ListID", "80000002-1");
    set->addText("FullName", "Old Count");
    fields->addAggregate("OverrideUOMSetRef", std::move(set));
    const CQbField line("InvoiceLineRet", std::move(fields));
    const CLineUnit unit = CLineUnit::of(line);
    EXPECT_EQ(unit.name, "Case");
    EXPECT_EQ(unit.setListId, "80000002-1");
    EXPECT_EQ(unit.setName, "Old Count");
}

}  // namespace
