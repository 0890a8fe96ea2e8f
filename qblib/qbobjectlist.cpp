// The owning list of records returned by a query (see qbobjectlist.h).
#include "qbobjectlist.h"

#include <cassert>

CQbObject* CQbObjectList::add(std::unique_ptr<CQbObject> object) {
    assert(object != nullptr);
    objects.push_back(std::move(object));
    return objects.back().get();
}

CQbObject* CQbObjectList::getAt(int index) const {
    if (index < 0 || index >= getSize()) {
        return nullptr;
    }
    return objects[static_cast<std::size_t>(index)].get();
}

std::vector<CQbObject*> CQbObjectList::findByField(const std::string& fieldName,
                                                   const std::string& text) const {
    std::vector<CQbObject*> found;
    for (const auto& object : objects) {
        if (object->getValue(fieldName) == text) {
            found.push_back(object.get());
        }
    }
    return found;
}

std::string CQbObjectList::firstName() const {
    return objects.empty() ? std::string() : objects.front()->getName();
}
