// Attribute lists and their text on a start tag.
#include "qbattrlist.h"

#include "qbxml.h"

void CQbAttrList::add(const std::string& name, const std::string& value) {
    attrs.emplace_back(name, value);
}

std::string CQbAttrList::toAttributeText() const {
    std::string out;
    for (const CQbAttr& attr : attrs) {
        out += ' ';
        out += attr.name;
        out += "=\"";
        out += escapeAttribute(attr.value);
        out += '"';
    }
    return out;
}
