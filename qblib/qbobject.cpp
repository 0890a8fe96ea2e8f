// Records read from or written to QuickBooks (see qbobject.h). Loading reuses the
// element-to-field conversion of CQbDomReader; everything else delegates to the
// object's field list.
#include "qbobject.h"

#include <xercesc/dom/DOMNode.hpp>

#include "qbutils.h"

using xercesc::DOMNode;

namespace {

// The child of `field` answering to `childName`, provided `field` counts as a level of
// a path (it has children and is not a custom-field entry).
const CQbField* pathStep(const CQbField* field, const std::string& childName) {
    if (field == nullptr || !field->hasChildren()) {
        return nullptr;
    }
    return field->findChild(childName);
}

}  // namespace

CQbObject::CQbObject() : fields(std::make_unique<CQbFieldList>()) {}

CQbObject::~CQbObject() = default;

void CQbObject::load(const CQbDomReader::Node* element) {
    if (element == nullptr) {
        return;
    }
    for (const DOMNode* child = element->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (std::unique_ptr<CQbField> field = CQbDomReader::toField(child)) {
            fields->add(std::move(field));
        }
    }
}

std::string CQbObject::toXml() const {
    return fields->toXml();
}

std::string CQbObject::getValue(const std::string& fieldName) const {
    return fields->getValue(fieldName);
}

std::string CQbObject::getValue(const std::string& fieldName,
                                const std::string& childName) const {
    const CQbField* child = pathStep(fields->find(fieldName), childName);
    return child != nullptr ? child->getValue() : std::string();
}

std::string CQbObject::getValue(const std::string& fieldName, const std::string& childName,
                                const std::string& grandchildName) const {
    const CQbField* child = pathStep(fields->find(fieldName), childName);
    const CQbField* grandchild = pathStep(child, grandchildName);
    return grandchild != nullptr ? grandchild->getValue() : std::string();
}

int CQbObject::getInt(const std::string& fieldName) const {
    return fields->getInt(fieldName);
}

double CQbObject::getFloat(const std::string& fieldName) const {
    return fields->getFloat(fieldName);
}

bool CQbObject::getBool(const std::string& fieldName, bool defaultValue) const {
    return fields->getBool(fieldName, defaultValue);
}

std::optional<CDateTime> CQbObject::getDate(const std::string& fieldName) const {
    return fields->getDate(fieldName);
}

std::optional<CDateTime> CQbObject::getDateTime(const std::string& fieldName) const {
    return fields->getDateTime(fieldName);
}

std::vector<CQbField*> CQbObject::findAll(const std::string& fieldName) const {
    return fields->findAll(fieldName);
}

CQbField* CQbObject::find(const std::string& fieldName) const {
    return fields->find(fieldName);
}

bool CQbObject::has(const std::string& fieldName) const {
    return fields->has(fieldName);
}

CQbField* CQbObject::findDataExt(const std::string& ownerId,
                                 const std::string& extName) const {
    return fields->findDataExt(ownerId, extName);
}

CQbField* CQbObject::findPrivateDataExt(const std::string& extName) const {
    return fields->findPrivateDataExt(extName);
}

CQbField* CQbObject::findPublicDataExt(const std::string& extName) const {
    return fields->findPublicDataExt(extName);
}

bool CQbObject::hasDataExt(const std::string& ownerId, const std::string& extName) const {
    return fields->hasDataExt(ownerId, extName);
}

bool CQbObject::hasPrivateDataExt(const std::string& extName) const {
    return fields->hasPrivateDataExt(extName);
}

bool CQbObject::hasPublicDataExt(const std::string& extName) const {
    return fields->hasPublicDataExt(extName);
}

int CQbObject::getSize() const {
    return fields->getSize();
}

CQbField* CQbObject::add(std::unique_ptr<CQbField> field) {
    return fields->add(std::move(field));
}

CQbField* CQbObject::addText(const std::string& fieldName, const std::string& text) {
    return fields->addText(fieldName, text);
}

CQbField* CQbObject::addNumber(const std::string& fieldName, double value) {
    return fields->addNumber(fieldName, value);
}

CQbField* CQbObject::addDate(const std::string& fieldName, const CDateTime& when,
                             bool withTime) {
    return fields->addDate(fieldName, when, withTime);
}

CQbField* CQbObject::addAggregate(const std::string& fieldName,
                                  std::unique_ptr<CQbFieldList> list) {
    return fields->addAggregate(fieldName, std::move(list));
}

void CQbObject::setValue(const std::string& fieldName, const std::string& text) {
    fields->setValue(fieldName, text);
}

std::string CQbObject::listObjRefListId() const {
    return getValue("ListObjRef", "ListID");
}

void CQbObject::makeDataExt(const std::string& ownerId, const std::string& extName,
                            const std::string& listDataExtType, const std::string& listId,
                            const std::string& extValue) {
    name = "DataExt";
    fields->addText("OwnerID", ownerId);
    fields->addText("DataExtName", extName);
    fields->addText("ListDataExtType", listDataExtType);
    fields->addText("DataExtValue", extValue);
    fields->addRef("ListObjRef", "ListID", listId);
}

void CQbObject::makePublicDataExt(const std::string& extName,
                                  const std::string& listDataExtType,
                                  const std::string& listId, const std::string& extValue) {
    makeDataExt(kPublicOwnerId, extName, listDataExtType, listId, extValue);
}

void CQbObject::makePrivateDataExt(const std::string& extName,
                                   const std::string& listDataExtType,
                                   const std::string& listId, const std::string& extValue) {
    makeDataExt(kPrivateOwnerId, extName, listDataExtType, listId, extValue);
}

void CQbObject::makePurchaseOrderRef(const std::optional<std::string>& listId) {
    name = "PurchaseOrder";
    if (listId) {
        fields->addText("ListID", *listId);
    }
}

void CQbObject::makeItemInventoryRef(const std::optional<std::string>& listId) {
    name = "ItemInventory";
    if (listId) {
        fields->addText("ListID", *listId);
    }
}
