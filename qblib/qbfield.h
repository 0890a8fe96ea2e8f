// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// One qbXML element: a name, a text value, optional child elements and optional
// attributes. Every value sent to QuickBooks or read back from it travels in fields.
// A field owns its children and attributes. Custom-field entries ("DataExtRet") answer
// to their DataExtName and yield their DataExtValue, so they read like ordinary fields
// of the record that carries them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "datetime.h"
#include "qbattrlist.h"

class CQbFieldList;

class CQbField {
public:
    // Text field: the value is stored unchanged.
    CQbField(std::string name, std::string value);
    // Aggregate: empty value, takes the child list (which may be null).
    CQbField(std::string name, std::unique_ptr<CQbFieldList> children);
    // Aggregate with text, as read from a response.
    CQbField(std::string name, std::string value, std::unique_ptr<CQbFieldList> children);
    ~CQbField();
    CQbField(const CQbField&) = delete;
    CQbField& operator=(const CQbField&) = delete;

    // Number field: the value in the "%.5lf" form.
    static std::unique_ptr<CQbField> createNumber(std::string name, double value);
    // Date field: "%04d-%02d-%02d", or with withTime "%04d-%02d-%02dT%02d:%02d:%02d", of
    // the local calendar time.
    static std::unique_ptr<CQbField> createDate(std::string name, const CDateTime& when,
                                                bool withTime);

    const std::string& getName() const { return *name; }
    // The stored text (for a DataExt entry, not its DataExtValue: see getValue).
    const std::string& rawValue() const { return value; }
    CQbFieldList* getChildren() const { return children.get(); }
    const CQbAttrList* getAttributes() const { return attributes.get(); }

    bool isDataExt() const;
    bool matchesName(const std::string& fieldName) const;
    bool matchesDataExt(const std::string& ownerId, const std::string& extName) const;
    bool hasChildren() const;

    std::string getValue() const;
    int getInt() const;
    // The value as a decimal number (the decimal rule of readDecimal), in double
    // precision: amounts above 131,072 keep their cents.
    double getFloat() const;
    // A 25-character date-time with zone suffix, read as local time (the suffix is
    // ignored); none for shorter text.
    std::optional<CDateTime> getDateTime() const;
    // A date of at least 10 characters, read as local midnight; none for shorter text.
    std::optional<CDateTime> getDate() const;
    // True for "true" in any case or exactly "1".
    bool getBool() const;
    // Replaces the text; only for fields without children.
    void setValue(const std::string& text);

    CQbField* findChild(const std::string& childName) const;
    std::string childValue(const std::string& childName) const;
    std::string grandchildValue(const std::string& childName,
                                const std::string& grandchildName) const;
    // The child's value as a decimal number; 0.0 when there is no such child.
    double childFloat(const std::string& childName) const;
    // Every child answering to the name, in order; the caller owns the array, not the
    // fields.
    std::vector<CQbField*> findChildren(const std::string& childName) const;

    void addAttribute(const std::string& attrName, const std::string& attrValue);
    // Deep copy of name, value and children; attributes are not copied.
    std::unique_ptr<CQbField> clone() const;
    std::string toXml() const;

private:
    // Element names repeat in every record of a response, so each name is kept once for
    // the whole program (see internName) and a field points at it: a year's receiving
    // transactions are hundreds of thousands of fields.
    const std::string* name;
    std::string value;
    std::unique_ptr<CQbFieldList> children;
    std::unique_ptr<CQbAttrList> attributes;
};

// Date readers shared by fields and report cells.
std::optional<CDateTime> readDateTimeText(const std::string& text);
std::optional<CDateTime> readDateText(const std::string& text);
bool readBoolText(const std::string& text);
