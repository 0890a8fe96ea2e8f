// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// The owning, ordered list of records that a query returns. Destroying the list
// destroys every record in it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qbobject.h"

class CQbObjectList {
public:
    CQbObjectList() = default;
    CQbObjectList(const CQbObjectList&) = delete;
    CQbObjectList& operator=(const CQbObjectList&) = delete;

    // Appends the record (which must exist) and returns it; the list owns it.
    CQbObject* add(std::unique_ptr<CQbObject> object);
    int getSize() const { return static_cast<int>(objects.size()); }
    // The record at a 0-based position; null outside the list.
    CQbObject* getAt(int index) const;
    // Every record whose field of that name has exactly that text (a record without the
    // field counts as empty text), in list order. The caller owns the array, the list
    // keeps the records.
    std::vector<CQbObject*> findByField(const std::string& fieldName,
                                        const std::string& text) const;
    // Removes the record at a 0-based position from the list and hands it to the caller;
    // null outside the list.
    std::unique_ptr<CQbObject> detach(int index) {
        if (index < 0 || index >= getSize()) return nullptr;
        auto object = std::move(objects[static_cast<std::size_t>(index)]);
        objects.erase(objects.begin() + index);
        return object;
    }
    // The name of the first record; empty when the list is empty.
    std::string firstName() const;

private:
    std::vector<std::unique_ptr<CQbObject>> objects;
};
