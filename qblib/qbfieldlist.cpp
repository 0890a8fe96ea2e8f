// Field lists: appending, first-match look-ups with defaults, DataExt look-ups and
// writing.
#include "qbfieldlist.h"

#include <cassert>

#include "qbutils.h"

CQbFieldList::~CQbFieldList() = default;

CQbField* CQbFieldList::add(std::unique_ptr<CQbField> field) {
    assert(field && "add of no field");
    fields.push_back(std::move(field));
    return fields.back().get();
}

CQbField* CQbFieldList::addText(const std::string& name, const std::string& text) {
    return add(std::make_unique<CQbField>(name, text));
}

CQbField* CQbFieldList::addNumber(const std::string& name, double value) {
    return add(CQbField::createNumber(name, value));
}

CQbField* CQbFieldList::addDate(const std::string& name, const CDateTime& when, bool withTime) {
    return add(CQbField::createDate(name, when, withTime));
}

CQbField* CQbFieldList::addAggregate(const std::string& name,
                                     std::unique_ptr<CQbFieldList> children) {
    return add(std::make_unique<CQbField>(name, std::move(children)));
}

CQbField* CQbFieldList::addRef(const std::string& name, const std::string& childName,
                               const std::string& text) {
    auto children = std::make_unique<CQbFieldList>();
    children->addText(childName, text);
    return addAggregate(name, std::move(children));
}

void CQbFieldList::setValue(const std::string& name, const std::string& text) {
    bool found = false;
    for (auto& field : fields) {
        if (field->matchesName(name)) {
            field->setValue(text);
            found = true;
        }
    }
    if (!found) addText(name, text);
}

CQbField* CQbFieldList::find(const std::string& name) const {
    for (const auto& field : fields) {
        if (field->matchesName(name)) return field.get();
    }
    return nullptr;
}

std::vector<CQbField*> CQbFieldList::findAll(const std::string& name) const {
    std::vector<CQbField*> found;
    for (const auto& field : fields) {
        if (field->matchesName(name)) found.push_back(field.get());
    }
    return found;
}

std::string CQbFieldList::getValue(const std::string& name) const {
    const CQbField* field = find(name);
    return field ? field->getValue() : std::string();
}

int CQbFieldList::getInt(const std::string& name) const {
    const CQbField* field = find(name);
    return field ? field->getInt() : -1;
}

double CQbFieldList::getFloat(const std::string& name) const {
    const CQbField* field = find(name);
    return field ? field->getFloat() : -1.0;
}

std::optional<CDateTime> CQbFieldList::getDateTime(const std::string& name) const {
    const CQbField* field = find(name);
    return field ? field->getDateTime() : std::nullopt;
}

std::optional<CDateTime> CQbFieldList::getDate(const std::string& name) const {
    const CQbField* field = find(name);
    return field ? field->getDate() : std::nullopt;
}

bool CQbFieldList::getBool(const std::string& name, bool defaultValue) const {
    const CQbField* field = find(name);
    return field ? field->getBool() : defaultValue;
}

CQbField* CQbFieldList::findDataExt(const std::string& ownerId, const std::string& extName) const {
    for (const auto& field : fields) {
        if (field->matchesDataExt(ownerId, extName)) return field.get();
    }
    return nullptr;
}

CQbField* CQbFieldList::findPublicDataExt(const std::string& extName) const {
    return findDataExt(kPublicOwnerId, extName);
}

CQbField* CQbFieldList::findPrivateDataExt(const std::string& extName) const {
    return findDataExt(kPrivateOwnerId, extName);
}

CQbField* CQbFieldList::getAt(int index) const {
    if (index < 0 || index >= getSize()) return nullptr;
    return fields[static_cast<std::size_t>(index)].get();
}

std::unique_ptr<CQbFieldList> CQbFieldList::clone() const {
    auto copy = std::make_unique<CQbFieldList>();
    for (const auto& field : fields) copy->add(field->clone());
    return copy;
}

std::string CQbFieldList::toXml() const {
    std::string out;
    for (const auto& field : fields) {
        if (!field->isDataExt()) out += field->toXml();
    }
    return out;
}
