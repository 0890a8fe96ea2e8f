// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// The XML attributes of one qbXML element, in the order they were added.
#pragma once

#include <string>
#include <vector>

class CQbAttr {
public:
    CQbAttr(std::string attrName, std::string attrValue)
        : name(std::move(attrName)), value(std::move(attrValue)) {}
    virtual ~CQbAttr() = default;

    std::string name;
    std::string value;
};

class CQbAttrList {
public:
    void add(const std::string& name, const std::string& value);
    int getSize() const { return static_cast<int>(attrs.size()); }
    const CQbAttr& getAt(int index) const { return attrs.at(static_cast<std::size_t>(index)); }
    // For each attribute a blank, the name, '=' and the value in double quotes. Values
    // are escaped (& < ") so that no value can break the start tag.
    std::string toAttributeText() const;

private:
    std::vector<CQbAttr> attrs;
};
