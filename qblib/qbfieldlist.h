// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// An ordered, owning list of fields. Several fields of one name are allowed and kept in
// insertion order; every look-up is a linear scan in which the first match wins.
// Missing fields are answered by fixed defaults (empty text, -1, -1.0, none, or the
// caller's default); nothing here reports an error.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qbfield.h"

class CQbFieldList {
public:
    CQbFieldList() = default;
    CQbFieldList(const CQbFieldList&) = delete;
    CQbFieldList& operator=(const CQbFieldList&) = delete;
    ~CQbFieldList();

    // Appends the field (which must exist) and returns it; the list owns it.
    CQbField* add(std::unique_ptr<CQbField> field);
    CQbField* addText(const std::string& name, const std::string& text);
    CQbField* addNumber(const std::string& name, double value);
    CQbField* addDate(const std::string& name, const CDateTime& when, bool withTime);
    CQbField* addAggregate(const std::string& name, std::unique_ptr<CQbFieldList> children);
    // An aggregate holding one text field, e.g. AccountRef { FullName }.
    CQbField* addRef(const std::string& name, const std::string& childName,
                     const std::string& text);
    // Sets every field answering to the name; appends a text field when none does.
    void setValue(const std::string& name, const std::string& text);

    CQbField* find(const std::string& name) const;
    std::vector<CQbField*> findAll(const std::string& name) const;
    bool has(const std::string& name) const { return find(name) != nullptr; }
    std::string getValue(const std::string& name) const;
    int getInt(const std::string& name) const;
    double getFloat(const std::string& name) const;  // -1.0 when missing
    std::optional<CDateTime> getDateTime(const std::string& name) const;
    std::optional<CDateTime> getDate(const std::string& name) const;
    bool getBool(const std::string& name, bool defaultValue) const;

    CQbField* findDataExt(const std::string& ownerId, const std::string& extName) const;
    CQbField* findPublicDataExt(const std::string& extName) const;
    CQbField* findPrivateDataExt(const std::string& extName) const;
    bool hasDataExt(const std::string& ownerId, const std::string& extName) const {
        return findDataExt(ownerId, extName) != nullptr;
    }
    bool hasPublicDataExt(const std::string& extName) const {
        return findPublicDataExt(extName) != nullptr;
    }
    bool hasPrivateDataExt(const std::string& extName) const {
        return findPrivateDataExt(extName) != nullptr;
    }

    // The field at a 0-based position; null outside the list.
    CQbField* getAt(int index) const;
    int getSize() const { return static_cast<int>(fields.size()); }

    std::unique_ptr<CQbFieldList> clone() const;
    // The XML of every field in order; DataExt entries are left out, so custom-field
    // values read from QuickBooks never travel back inside a written record.
    std::string toXml() const;

private:
    std::vector<std::unique_ptr<CQbField>> fields;
};
