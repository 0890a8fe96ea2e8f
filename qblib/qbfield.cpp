// Fields: construction in the value forms, typed getters with fixed defaults, DataExt
// look-ups and XML writing.
#include "qbfield.h"

#include <cassert>
#include <mutex>
#include <unordered_set>

#include "qbfieldlist.h"
#include "qbutils.h"
#include "qbxml.h"

namespace {

// Reads the integer at [pos, pos+len) of text by the integer rule.
int numberAt(const std::string& text, std::size_t pos, std::size_t len) {
    return readInteger(std::string_view(text).substr(pos, len));
}

bool equalsIgnoringCase(const std::string& text, std::string_view expected) {
    if (text.size() != expected.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != expected[i]) return false;
    }
    return true;
}

// The one copy of a field name. Names are never removed: they are element names, a
// vocabulary of a few thousand words however many responses are read. The set is
// node-based, so a name's address never changes; it is never destroyed, so fields
// destroyed during static destruction still find their names.
const std::string* internName(std::string&& fieldName) {
    static std::mutex lock;
    static auto* names = new std::unordered_set<std::string>();
    std::lock_guard<std::mutex> guard(lock);
    return &*names->insert(std::move(fieldName)).first;
}

}  // namespace

std::optional<CDateTime> readDateTimeText(const std::string& text) {
    // 25 characters: a date-time with its zone suffix. The suffix is ignored and the
    // clock time taken as local time.
    if (text.size() < 25) return std::nullopt;
    return CDateTime::fromLocal(numberAt(text, 0, 4), numberAt(text, 5, 2), numberAt(text, 8, 2),
                                numberAt(text, 11, 2), numberAt(text, 14, 2),
                                numberAt(text, 17, 2));
}

std::optional<CDateTime> readDateText(const std::string& text) {
    if (text.size() < 10) return std::nullopt;
    return CDateTime::fromLocal(numberAt(text, 0, 4), numberAt(text, 5, 2), numberAt(text, 8, 2));
}

bool readBoolText(const std::string& text) { return text == "1" || equalsIgnoringCase(text, "true"); }

CQbField::CQbField(std::string fieldName, std::string text)
    : name(internName(std::move(fieldName))), value(std::move(text)) {}

CQbField::CQbField(std::string fieldName, std::unique_ptr<CQbFieldList> childList)
    : name(internName(std::move(fieldName))), children(std::move(childList)) {}

CQbField::CQbField(std::string fieldName, std::string text, std::unique_ptr<CQbFieldList> childList)
    : name(internName(std::move(fieldName))), value(std::move(text)), children(std::move(childList)) {}

CQbField::~CQbField() = default;

std::unique_ptr<CQbField> CQbField::createNumber(std::string fieldName, double number) {
    return std::make_unique<CQbField>(std::move(fieldName), numberText(number));
}

std::unique_ptr<CQbField> CQbField::createDate(std::string fieldName, const CDateTime& when,
                                               bool withTime) {
    return std::make_unique<CQbField>(std::move(fieldName),
                                      withTime ? dateTimeText(when) : dateText(when));
}

bool CQbField::isDataExt() const {
    static const std::string* const dataExt = internName("DataExtRet");
    return name == dataExt;
}

bool CQbField::matchesName(const std::string& fieldName) const {
    if (isDataExt()) {
        const CQbField* extName = children ? children->find("DataExtName") : nullptr;
        return extName != nullptr && extName->value == fieldName;
    }
    return *name == fieldName;
}

bool CQbField::matchesDataExt(const std::string& ownerId, const std::string& extName) const {
    if (!isDataExt() || !children) return false;
    const CQbField* owner = children->find("OwnerID");
    const CQbField* ext = children->find("DataExtName");
    return owner != nullptr && ext != nullptr && owner->value == ownerId && ext->value == extName;
}

bool CQbField::hasChildren() const { return !isDataExt() && children != nullptr; }

std::string CQbField::getValue() const {
    if (isDataExt()) {
        const CQbField* extValue = children ? children->find("DataExtValue") : nullptr;
        return extValue ? extValue->value : std::string();
    }
    return value;
}

int CQbField::getInt() const { return readInteger(getValue()); }

double CQbField::getFloat() const { return readDecimal(getValue()); }

std::optional<CDateTime> CQbField::getDateTime() const { return readDateTimeText(getValue()); }

std::optional<CDateTime> CQbField::getDate() const { return readDateText(getValue()); }

bool CQbField::getBool() const { return readBoolText(getValue()); }

void CQbField::setValue(const std::string& text) {
    assert(!children && "setValue on a field with children");
    value = text;
}

CQbField* CQbField::findChild(const std::string& childName) const {
    return children ? children->find(childName) : nullptr;
}

std::string CQbField::childValue(const std::string& childName) const {
    const CQbField* child = findChild(childName);
    return child ? child->getValue() : std::string();
}

std::string CQbField::grandchildValue(const std::string& childName,
                                      const std::string& grandchildName) const {
    const CQbField* child = findChild(childName);
    return child ? child->childValue(grandchildName) : std::string();
}

double CQbField::childFloat(const std::string& childName) const {
    const CQbField* child = findChild(childName);
    return child ? child->getFloat() : 0.0;
}

std::vector<CQbField*> CQbField::findChildren(const std::string& childName) const {
    return children ? children->findAll(childName) : std::vector<CQbField*>();
}

void CQbField::addAttribute(const std::string& attrName, const std::string& attrValue) {
    if (!attributes) attributes = std::make_unique<CQbAttrList>();
    attributes->add(attrName, attrValue);
}

std::unique_ptr<CQbField> CQbField::clone() const {
    return std::make_unique<CQbField>(*name, value, children ? children->clone() : nullptr);
}

std::string CQbField::toXml() const {
    return xmlElement(*name, attributes ? attributes->toAttributeText() : std::string(),
                       children ? children->toXml() : escapeText(value));
}
