// Records: loading from response elements into field trees, look-ups by name and by
// path, custom-field entries, writing operations, and the owning record list.
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qbobject.h"
#include "qbobjectlist.h"
#include "qbresponse.h"
#include "qbutils.h"
#include "testfiles.h"

using ::testing::ElementsAre;

namespace {


// Every record of that element name in the response, loaded as a query loads them.
std::unique_ptr<CQbObjectList> loadRecords(const std::string& text, const std::string& retName) {
    CQbResponse response(text);
    auto list = std::make_unique<CQbObjectList>();
    for (const auto* node : response.findElements(retName)) {
        auto object = std::make_unique<CQbObject>();
        object->setName(baseName(retName));
        object->load(node);
        list->add(std::move(object));
    }
    return list;
}

// The single record element "R" of an inline document.
std::unique_ptr<CQbObject> loadInline(const std::string& recordContent) {
    CQbResponse response("<QBXML><R>" + recordContent + "</R></QBXML>");
    auto object = std::make_unique<CQbObject>();
    object->load(response.findElement("R"));
    return object;
}

std::vector<std::string> valuesOf(const std::vector<CQbField*>& fields,
                                  const std::string& childName) {
    std::vector<std::string> values;
    for (const CQbField* field : fields) values.push_back(field->childValue(childName));
    return values;
}

}  // namespace

TEST(QbObject, LoadsIndentedRecordsThatOutliveTheResponse) {
    auto items = loadRecords(readFixture("item_inventory_query_rs.xml"), "ItemInventoryRet");
    ASSERT_EQ(items->getSize(), 3);
    const CQbObject& cafe = *items->getAt(0);
    EXPECT_EQ(cafe.getName(), "ItemInventory");
    EXPECT_EQ(cafe.getValue("FullName"), "Beverages:Caf\xC3\xA9 Cr\xC3\xA8me");
    EXPECT_EQ(cafe.getInt("QuantityOnHand"), 120);
    EXPECT_FLOAT_EQ(cafe.getFloat("AverageCost"), 1.75f);
    EXPECT_TRUE(cafe.getBool("IsActive", false));
    EXPECT_EQ(cafe.getValue("ParentRef", "FullName"), "Beverages");

    // An aggregate of an indented response keeps the white space before its first child.
    const CQbField* parent = cafe.find("ParentRef");
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(parent->rawValue().find_first_not_of(" \r\n\t"), std::string::npos);
    EXPECT_EQ(parent->getChildren()->getSize(), 2);

    // Empty elements, written either way, give no field.
    EXPECT_FALSE(cafe.has("SalesDesc"));
    EXPECT_FALSE(cafe.has("PurchaseDesc"));
    EXPECT_EQ(cafe.getValue("SalesDesc"), "");

    const CQbObject& kit = *items->getAt(2);
    EXPECT_EQ(kit.getValue("Name"), "Tom's <A&B> kit");
    EXPECT_EQ(kit.getInt("QuantityOnHand"), 0);
}

TEST(QbObject, RecordContainingItsOwnNameKeepsTheInnerOneAsAField) {
    auto items = loadRecords(readFixture("item_inventory_query_rs.xml"), "ItemInventoryRet");
    const CQbObject& bolt = *items->getAt(1);
    EXPECT_EQ(bolt.getValue("ListID"), "80000006-1290000002");
    EXPECT_EQ(bolt.getValue("ItemInventoryRet", "ListID"), "nested-should-stay-inside");
    EXPECT_FALSE(bolt.getBool("IsActive", true));
}

TEST(QbObject, CustomFieldEntriesAnswerToTheirName) {
    auto items = loadRecords(readFixture("item_inventory_query_rs.xml"), "ItemInventoryRet");
    const CQbObject& cafe = *items->getAt(0);
    EXPECT_EQ(cafe.findAll("DataExtRet").size(), 0u);
    EXPECT_FALSE(cafe.has("DataExtRet"));
    EXPECT_EQ(cafe.getValue("LastCost"), "1.80");
    EXPECT_EQ(cafe.getValue("Shelf"), "B-12");
    EXPECT_NE(cafe.findPrivateDataExt("LastCost"), nullptr);
    EXPECT_EQ(cafe.findPublicDataExt("LastCost"), nullptr);
    EXPECT_TRUE(cafe.hasPublicDataExt("Shelf"));
    EXPECT_FALSE(cafe.hasPrivateDataExt("Shelf"));
    EXPECT_TRUE(cafe.hasDataExt("0", "Shelf"));
    // A custom-field entry is not a level of a path, and it is never written back.
    EXPECT_EQ(cafe.getValue("Shelf", "DataExtValue"), "");
    EXPECT_EQ(cafe.toXml().find("DataExt"), std::string::npos);
    EXPECT_EQ(cafe.getSize(), 15);
}

TEST(QbObject, RepeatedLinesAndReferencesOfACompactResponse) {
    auto adjustments =
        loadRecords(readFixture("inventory_adjustment_query_rs.xml"), "InventoryAdjustmentRet");
    ASSERT_EQ(adjustments->getSize(), 1);
    const CQbObject& adj = *adjustments->getAt(0);
    EXPECT_EQ(adj.getValue("AccountRef", "FullName"), "Inventory Adjustments");
    EXPECT_FALSE(adj.getBool("IsPending", true));
    ASSERT_TRUE(adj.getDate("TxnDate").has_value());
    EXPECT_EQ(dateText(adj.getDate("TxnDate")), "2010-03-31");

    const auto lines = adj.findAll("InventoryAdjustmentLineRet");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(valuesOf(lines, "QuantityDifference"), ElementsAre("-3", "10", "1"));
    EXPECT_EQ(lines[1]->grandchildValue("ItemRef", "FullName"), "Bolt 10mm");
    const CQbField* itemRef = lines[0]->findChild("ItemRef");
    ASSERT_NE(itemRef, nullptr);
    EXPECT_EQ(itemRef->rawValue(), "");
    EXPECT_EQ(itemRef->getChildren()->getSize(), 2);
    EXPECT_EQ(itemRef->childValue("FullName"), "Beverages:Caf\xC3\xA9 Cr\xC3\xA8me");
    // The first of the repeated fields answers single look-ups and paths.
    EXPECT_EQ(adj.getValue("InventoryAdjustmentLineRet", "TxnLineID"), "1A6-1291234567");
    EXPECT_EQ(adj.getValue("InventoryAdjustmentLineRet", "ItemRef", "ListID"),
              "80000005-1290000001");
}

TEST(QbObject, ElementShapes) {
    auto object = loadInline(
        "<Leaf>text</Leaf><Empty></Empty><SelfClosed/>"
        "<Mixed>lead<Child>c</Child>tail</Mixed>"
        "<OnlyEmptyChildren><A/><B></B></OnlyEmptyChildren>"
        "<Agg><X>1</X><Y><Z>deep</Z></Y></Agg><!-- comment --><Leaf>second</Leaf>");
    EXPECT_EQ(object->getSize(), 5);
    EXPECT_EQ(object->getValue("Leaf"), "text");
    EXPECT_EQ(object->findAll("Leaf").size(), 2u);
    EXPECT_FALSE(object->has("Empty"));
    EXPECT_FALSE(object->has("SelfClosed"));

    const CQbField* mixed = object->find("Mixed");
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(mixed->rawValue(), "lead");
    EXPECT_EQ(mixed->childValue("Child"), "c");
    EXPECT_EQ(mixed->getChildren()->getSize(), 1);

    // Its children give no field, so it has neither text nor a child list.
    const CQbField* onlyEmpty = object->find("OnlyEmptyChildren");
    ASSERT_NE(onlyEmpty, nullptr);
    EXPECT_EQ(onlyEmpty->getChildren(), nullptr);
    EXPECT_EQ(onlyEmpty->rawValue(), "");

    EXPECT_EQ(object->getValue("Agg", "Y", "Z"), "deep");
    EXPECT_EQ(object->toXml(),
              "<Leaf>text</Leaf><Mixed><Child>c</Child></Mixed><OnlyEmptyChildren>"
              "</OnlyEmptyChildren><Agg><X>1</X><Y><Z>deep</Z></Y></Agg><Leaf>second</Leaf>");
}

TEST(QbObject, MissingFieldsGiveFixedDefaults) {
    auto object = loadInline("<Agg><X>1</X></Agg><Leaf>2.5</Leaf>");
    EXPECT_EQ(object->getValue("Nope"), "");
    EXPECT_EQ(object->getInt("Nope"), -1);
    EXPECT_FLOAT_EQ(object->getFloat("Nope"), -1.0f);
    EXPECT_FLOAT_EQ(object->getFloat("Leaf"), 2.5f);
    EXPECT_TRUE(object->getBool("Nope", true));
    EXPECT_FALSE(object->getDate("Nope").has_value());
    EXPECT_FALSE(object->getDateTime("Nope").has_value());
    EXPECT_EQ(object->find("Nope"), nullptr);
    EXPECT_TRUE(object->findAll("Nope").empty());

    // Paths: a missing or childless level ends the look-up with empty text.
    EXPECT_EQ(object->getValue("Nope", "X"), "");
    EXPECT_EQ(object->getValue("Agg", "Nope"), "");
    EXPECT_EQ(object->getValue("Agg", "Nope", "X"), "");
    EXPECT_EQ(object->getValue("Agg", "X", "Nope"), "");
    EXPECT_EQ(object->getValue("Leaf", "X"), "");
    EXPECT_EQ(object->listObjRefListId(), "");
}

TEST(QbObject, LoadingTwiceAppendsAgainAndNullLoadsNothing) {
    CQbResponse response("<QBXML><R><A>1</A><B>2</B></R></QBXML>");
    CQbObject object;
    object.load(response.findElement("R"));
    object.load(response.findElement("R"));
    object.load(nullptr);
    EXPECT_EQ(object.getSize(), 4);
    EXPECT_EQ(object.findAll("A").size(), 2u);
}

TEST(QbObject, BuildsCustomFieldAndReferenceRecords) {
    CQbObject ext;
    ext.makePrivateDataExt("StartDate", "ItemInventory", "80000005-1290000001",
                           "2010-01-01T00:00:00-05:00");
    EXPECT_EQ(ext.getName(), "DataExt");
    EXPECT_EQ(ext.toXml(),
              "<OwnerID>{04C1726A-9530-49E2-927F-91F5477CE3D0}</OwnerID>"
              "<DataExtName>StartDate</DataExtName>"
              "<ListDataExtType>ItemInventory</ListDataExtType>"
              "<DataExtValue>2010-01-01T00:00:00-05:00</DataExtValue>"
              "<ListObjRef><ListID>80000005-1290000001</ListID></ListObjRef>");
    EXPECT_EQ(ext.listObjRefListId(), "80000005-1290000001");

    CQbObject pub;
    pub.makePublicDataExt("Shelf", "Company", "", "B-12");
    EXPECT_EQ(pub.getValue("OwnerID"), "0");

    CQbObject po;
    po.makePurchaseOrderRef(std::string("30-1285640333"));
    EXPECT_EQ(po.getName(), "PurchaseOrder");
    EXPECT_EQ(po.toXml(), "<ListID>30-1285640333</ListID>");
    CQbObject item;
    item.makeItemInventoryRef(std::nullopt);
    EXPECT_EQ(item.getName(), "ItemInventory");
    EXPECT_EQ(item.getSize(), 0);
}

TEST(QbObject, WritingDelegatesToTheFieldList) {
    CQbObject object;
    object.addText("Name", "A&B");
    object.addNumber("Rate", 2.5);
    auto children = std::make_unique<CQbFieldList>();
    children->addText("FullName", "Bolt 10mm");
    object.addAggregate("ItemRef", std::move(children));
    object.setValue("Name", "renamed");
    object.setValue("Memo", "added");
    EXPECT_EQ(object.toXml(),
              "<Name>renamed</Name><Rate>2.50000</Rate><ItemRef><FullName>Bolt 10mm</FullName>"
              "</ItemRef><Memo>added</Memo>");
}

TEST(QbObjectList, OwnsRecordsAndFindsThemByField) {
    CQbObjectList list;
    EXPECT_EQ(list.firstName(), "");
    EXPECT_EQ(list.getAt(0), nullptr);
    const char* names[] = {"Bill", "Check", "Bill"};
    const char* vendors[] = {"Acme", "Acme", ""};
    for (int i = 0; i < 3; ++i) {
        auto object = std::make_unique<CQbObject>();
        object->setName(names[i]);
        if (*vendors[i] != '\0') object->addText("Vendor", vendors[i]);
        list.add(std::move(object));
    }
    EXPECT_EQ(list.getSize(), 3);
    EXPECT_EQ(list.firstName(), "Bill");
    EXPECT_EQ(list.getAt(1)->getName(), "Check");
    EXPECT_EQ(list.getAt(3), nullptr);
    EXPECT_EQ(list.getAt(-1), nullptr);

    const auto acme = list.findByField("Vendor", "Acme");
    ASSERT_EQ(acme.size(), 2u);
    EXPECT_EQ(acme[0], list.getAt(0));
    EXPECT_EQ(acme[1], list.getAt(1));
    // A record without the field compares as empty text.
    const auto none = list.findByField("Vendor", "");
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0], list.getAt(2));
}
