// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// One record read from QuickBooks (an item, a transaction, an account, the company, the
// preferences), or the content of a record to be written: a name such as
// "ItemInventory" plus an ordered tree of text fields. Loading copies every text out of
// the response DOM, so an object outlives the CQbResponse it came from. Look-ups never
// fail: a missing field gives the documented default. Custom-field entries
// ("DataExtRet") answer to their DataExtName.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "datetime.h"
#include "qbdomreader.h"
#include "qbfieldlist.h"

class CQbObject {
public:
    CQbObject();
    virtual ~CQbObject();
    CQbObject(const CQbObject&) = delete;
    CQbObject& operator=(const CQbObject&) = delete;

    // Appends a field for every child element of `element` that has content (an empty
    // element contributes nothing); attributes are ignored. Loading twice appends the
    // fields twice. A null element adds nothing.
    virtual void load(const CQbDomReader::Node* element);
    // The XML of the fields as CQbFieldList::toXml writes them (custom-field entries
    // left out); the object's own name is not part of it.
    virtual std::string toXml() const;

    const std::string& getName() const { return name; }
    void setName(std::string objectName) { name = std::move(objectName); }
    // The object's fields; they live as long as the object.
    const CQbFieldList& getFields() const { return *fields; }
    CQbFieldList& getFields() { return *fields; }

    // Reading. Single names behave as the CQbFieldList operations of the same name.
    std::string getValue(const std::string& fieldName) const;
    // The path forms look the first name up among the fields and each further name
    // among the children of the previous level; a level counts only when it has
    // children and is not a custom-field entry. Empty text when any level is missing.
    std::string getValue(const std::string& fieldName, const std::string& childName) const;
    std::string getValue(const std::string& fieldName, const std::string& childName,
                         const std::string& grandchildName) const;
    int getInt(const std::string& fieldName) const;                  // -1 when missing
    double getFloat(const std::string& fieldName) const;             // -1.0 when missing
    bool getBool(const std::string& fieldName, bool defaultValue) const;
    std::optional<CDateTime> getDate(const std::string& fieldName) const;
    std::optional<CDateTime> getDateTime(const std::string& fieldName) const;
    // The returned fields are owned by the object (the caller owns only the array).
    std::vector<CQbField*> findAll(const std::string& fieldName) const;
    CQbField* find(const std::string& fieldName) const;
    bool has(const std::string& fieldName) const;
    CQbField* findDataExt(const std::string& ownerId, const std::string& extName) const;
    CQbField* findPrivateDataExt(const std::string& extName) const;
    CQbField* findPublicDataExt(const std::string& extName) const;
    bool hasDataExt(const std::string& ownerId, const std::string& extName) const;
    bool hasPrivateDataExt(const std::string& extName) const;
    bool hasPublicDataExt(const std::string& extName) const;
    int getSize() const;

    // Writing: the CQbFieldList operations applied to the fields; the object owns what
    // is added and the returned pointers live as long as it.
    CQbField* add(std::unique_ptr<CQbField> field);
    CQbField* addText(const std::string& fieldName, const std::string& text);
    CQbField* addNumber(const std::string& fieldName, double value);
    CQbField* addDate(const std::string& fieldName, const CDateTime& when, bool withTime);
    CQbField* addAggregate(const std::string& fieldName, std::unique_ptr<CQbFieldList> list);
    void setValue(const std::string& fieldName, const std::string& text);

    // The ListID inside the first ListObjRef field; empty when there is none.
    std::string listObjRefListId() const;
    // Names the object "DataExt" and appends OwnerID, DataExtName, ListDataExtType,
    // DataExtValue and ListObjRef { ListID }, in this order.
    void makeDataExt(const std::string& ownerId, const std::string& extName,
                     const std::string& listDataExtType, const std::string& listId,
                     const std::string& extValue);
    // makeDataExt with QuickBooks' public owner id "0" / the system's own owner id.
    void makePublicDataExt(const std::string& extName, const std::string& listDataExtType,
                           const std::string& listId, const std::string& extValue);
    void makePrivateDataExt(const std::string& extName, const std::string& listDataExtType,
                            const std::string& listId, const std::string& extValue);
    // Name the object "PurchaseOrder" / "ItemInventory" and append ListID when given.
    void makePurchaseOrderRef(const std::optional<std::string>& listId);
    void makeItemInventoryRef(const std::optional<std::string>& listId);

private:
    std::string name;
    std::unique_ptr<CQbFieldList> fields;
};
