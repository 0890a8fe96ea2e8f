#include "qbfield.h"

#include <gtest/gtest.h>

#include "qbfieldlist.h"
#include "qbutils.h"
#include "tzguard.h"

namespace {

CDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return CDateTime::fromLocal(y, mo, d, h, mi, s).value();
}

std::unique_ptr<CQbField> dataExt(const std::string& owner, const std::string& name,
                                  const std::string& value) {
    auto children = std::make_unique<CQbFieldList>();
    children->addText("OwnerID", owner);
    children->addText("DataExtName", name);
    children->addText("DataExtType", "STR255TYPE");
    children->addText("DataExtValue", value);
    return std::make_unique<CQbField>("DataExtRet", std::move(children));
}

class FieldDates : public ::testing::TestWithParam<const char*> {};

TEST_P(FieldDates, DateTimeNeedsTheZoneSuffixAndIgnoresIt) {
    CTzGuard tz(GetParam());
    CQbFieldList list;
    list.addText("LastExecTime", "2011-01-25T06:35:38-05:00");
    list.addText("Summer", "2011-07-25T06:35:38+09:30");
    list.addText("NoSuffix", "2011-01-25T06:35:38");
    EXPECT_EQ(list.getDateTime("LastExecTime"), local(2011, 1, 25, 6, 35, 38));
    EXPECT_EQ(list.getDateTime("Summer"), local(2011, 7, 25, 6, 35, 38));
    EXPECT_EQ(list.getDateTime("NoSuffix"), std::nullopt);
    EXPECT_EQ(list.getDateTime("Missing"), std::nullopt);
}

TEST_P(FieldDates, DateIsLocalMidnight) {
    CTzGuard tz(GetParam());
    CQbFieldList list;
    list.addText("TxnDate", "2011-01-25");
    list.addText("Short", "2011-1-5");
    list.addText("Summer", "2011-07-04T10:00:00-05:00");
    EXPECT_EQ(list.getDate("TxnDate"), local(2011, 1, 25));
    EXPECT_EQ(list.getDate("Summer"), local(2011, 7, 4));
    EXPECT_EQ(list.getDate("Short"), std::nullopt);
    EXPECT_EQ(list.getDate("Missing"), std::nullopt);
}

TEST_P(FieldDates, DateFieldsStoreTheLocalCalendarTime) {
    CTzGuard tz(GetParam());
    const CDateTime t = local(2010, 3, 3, 14, 30);
    EXPECT_EQ(CQbField::createDate("TxnDate", t, false)->getValue(), "2010-03-03");
    EXPECT_EQ(CQbField::createDate("TxnDate", t, true)->getValue(), "2010-03-03T14:30:00");
}

INSTANTIATE_TEST_SUITE_P(Zones, FieldDates,
                         ::testing::Values("America/New_York", "Asia/Kolkata", "UTC"));

TEST(FieldDateText, NonsenseDigitsGiveADateOrNoneNeverAFailure) {
    CQbFieldList list;
    list.addText("A", "2011-13-45T99:99:99-05:00");
    list.addText("B", "abcd-ef-ghTij:kl:mn-05:00");
    list.addText("C", "99999999999999999999999999");
    for (const char* name : {"A", "B", "C"}) {
        (void)list.getDateTime(name);
        (void)list.getDate(name);
    }
}

TEST(FieldList, DataExtEntriesAnswerToTheirName) {
    CTzGuard tz("America/New_York");
    CQbFieldList list;
    list.addText("Name", "Company");
    list.add(dataExt(kPrivateOwnerId, "StartDate", "2010-01-01T00:00:00-05:00"));
    EXPECT_EQ(list.getValue("StartDate"), "2010-01-01T00:00:00-05:00");
    EXPECT_EQ(list.getDate("StartDate"), local(2010, 1, 1));
    EXPECT_FALSE(list.has("DataExtRet"));
    EXPECT_NE(list.findPrivateDataExt("StartDate"), nullptr);
    EXPECT_TRUE(list.hasPrivateDataExt("StartDate"));
    EXPECT_EQ(list.findPublicDataExt("StartDate"), nullptr);
    EXPECT_FALSE(list.hasDataExt(kPrivateOwnerId, "LastUpToDate"));
    // Written records never carry custom-field values back.
    EXPECT_EQ(list.toXml(), "<Name>Company</Name>");
}

TEST(FieldList, DataExtWithoutValueOrNameReadsEmpty) {
    auto children = std::make_unique<CQbFieldList>();
    children->addText("OwnerID", "0");
    children->addText("DataExtName", "Color");
    CQbFieldList list;
    list.add(std::make_unique<CQbField>("DataExtRet", std::move(children)));
    list.add(std::make_unique<CQbField>("DataExtRet", std::unique_ptr<CQbFieldList>()));
    EXPECT_TRUE(list.has("Color"));
    EXPECT_EQ(list.getValue("Color"), "");
    EXPECT_TRUE(list.hasPublicDataExt("Color"));
    EXPECT_FALSE(list.getAt(1)->hasChildren());
}

TEST(FieldList, MissingFieldsGiveTheDefaults) {
    CQbFieldList list;
    list.addText("Present", "3");
    auto ref = std::make_unique<CQbFieldList>();
    ref->addText("FullName", "Widget");
    list.addAggregate("ItemRef", std::move(ref));
    EXPECT_EQ(list.getInt("Missing"), -1);
    EXPECT_FLOAT_EQ(list.getFloat("Missing"), -1.0f);
    EXPECT_EQ(list.getValue("Missing"), "");
    EXPECT_TRUE(list.getBool("Missing", true));
    EXPECT_FALSE(list.getBool("Missing", false));
    EXPECT_EQ(list.getInt("Present"), 3);
    const CQbField* item = list.find("ItemRef");
    EXPECT_FLOAT_EQ(item->childFloat("Quantity"), 0.0f);
    EXPECT_EQ(item->childValue("FullName"), "Widget");
    EXPECT_EQ(item->childValue("ListID"), "");
    EXPECT_EQ(item->grandchildValue("FullName", "X"), "");
    EXPECT_TRUE(list.find("Present")->findChildren("X").empty());
    EXPECT_EQ(list.getAt(2), nullptr);
    EXPECT_EQ(list.getAt(-1), nullptr);
}

TEST(FieldList, BooleanTexts) {
    struct Case {
        const char* text;
        bool expected;
    };
    const Case cases[] = {{"TRUE", true}, {"True", true}, {"true", true}, {"1", true},
                          {"yes", false}, {"0", false},   {"", false},    {" 1", false},
                          {"true ", false}, {"10", false}};
    for (const Case& c : cases) {
        CQbFieldList list;
        list.addText("IsPending", c.text);
        EXPECT_EQ(list.getBool("IsPending", !c.expected), c.expected) << '"' << c.text << '"';
    }
}

TEST(FieldList, NumbersFromText) {
    CQbFieldList list;
    list.addText("Quantity", "12.50000");
    list.addText("Junk", "n/a");
    list.addNumber("Rate", 1.25);
    EXPECT_FLOAT_EQ(list.getFloat("Quantity"), 12.5f);
    EXPECT_EQ(list.getInt("Quantity"), 12);
    EXPECT_FLOAT_EQ(list.getFloat("Junk"), 0.0f);
    EXPECT_EQ(list.getInt("Junk"), 0);
    EXPECT_EQ(list.getValue("Rate"), "1.25000");
    // Read in double precision: single precision would lose the cents of large amounts.
    list.addText("Amount", "131072.01");
    list.addText("Total", "16777217");
    EXPECT_EQ(list.getFloat("Amount"), 131072.01);
    EXPECT_EQ(list.getFloat("Total"), 16777217.0);
    auto line = std::make_unique<CQbFieldList>();
    line->addText("Amount", "98765.43");
    const CQbField* aggregate = list.addAggregate("Line", std::move(line));
    EXPECT_EQ(aggregate->childFloat("Amount"), 98765.43);
}

TEST(FieldList, SetValueChangesEveryMatchOrAppends) {
    CQbFieldList list;
    list.addText("Memo", "a");
    list.addText("Other", "x");
    list.addText("Memo", "b");
    list.setValue("Memo", "c");
    EXPECT_EQ(list.getAt(0)->getValue(), "c");
    EXPECT_EQ(list.getAt(2)->getValue(), "c");
    list.setValue("New", "n");
    ASSERT_EQ(list.getSize(), 4);
    EXPECT_EQ(list.getAt(3)->getName(), "New");
    EXPECT_EQ(list.findAll("Memo").size(), 2u);
}

TEST(FieldXml, ElementTextIsEscapedAttributesAreQuotedSafely) {
    CQbField text("Name", "A&B <x>");
    EXPECT_EQ(text.toXml(), "<Name>A&amp;B &lt;x&gt;</Name>");
    CQbField empty("Memo", "");
    EXPECT_EQ(empty.toXml(), "<Memo></Memo>");
    CQbField withAttr("ItemQueryRq", "");
    withAttr.addAttribute("requestID", "1688");
    withAttr.addAttribute("iterator", "Start");
    EXPECT_EQ(withAttr.toXml(), "<ItemQueryRq requestID=\"1688\" iterator=\"Start\"></ItemQueryRq>");
    CQbField quoted("X", "");
    quoted.addAttribute("value", "say \"hi\" & go");
    EXPECT_EQ(quoted.toXml(), "<X value=\"say &quot;hi&quot; &amp; go\"></X>");
}

TEST(FieldXml, AggregatesNestWithoutWhiteSpace) {
    CQbFieldList list;
    list.addRef("ValueAdjustment", "NewValue", "12.50");
    auto lines = std::make_unique<CQbFieldList>();
    lines->addRef("ItemRef", "FullName", "Caf\xC3\xA9 Cr\xC3\xA8me");
    list.addAggregate("InventoryAdjustmentLineAdd", std::move(lines));
    EXPECT_EQ(list.toXml(),
              "<ValueAdjustment><NewValue>12.50</NewValue></ValueAdjustment>"
              "<InventoryAdjustmentLineAdd><ItemRef><FullName>Caf\xC3\xA9 Cr\xC3\xA8me"
              "</FullName></ItemRef></InventoryAdjustmentLineAdd>");
}

TEST(FieldClone, DeepCopyOutlivesTheSource) {
    auto level3 = std::make_unique<CQbFieldList>();
    level3->addText("FullName", "Widget");
    auto level2 = std::make_unique<CQbFieldList>();
    level2->addAggregate("ItemRef", std::move(level3));
    auto source = std::make_unique<CQbField>("Line", "lead", std::move(level2));
    source->addAttribute("a", "b");
    std::unique_ptr<CQbField> copy = source->clone();
    source.reset();
    EXPECT_EQ(copy->getValue(), "lead");
    EXPECT_EQ(copy->grandchildValue("ItemRef", "FullName"), "Widget");
    EXPECT_EQ(copy->getAttributes(), nullptr);
    EXPECT_EQ(copy->toXml(), "<Line><ItemRef><FullName>Widget</FullName></ItemRef></Line>");
}

}  // namespace
