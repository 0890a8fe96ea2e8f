// The in-process class registry (see comshim.h), the same on every platform: the COM
// shim creates every object from it, and on Windows the request processor is looked up
// here before the system is asked.
#include <cstring>
#include <map>
#include <mutex>

#include "comshim.h"

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        return std::memcmp(&a, &b, sizeof(GUID)) < 0;
    }
};

std::mutex registryMutex;
std::map<GUID, ComClassFactory, GuidLess>& registry() {
    static std::map<GUID, ComClassFactory, GuidLess> classes;
    return classes;
}

}  // namespace

void comRegisterClass(REFCLSID clsid, ComClassFactory factory) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry()[clsid] = std::move(factory);
}

void comRevokeClass(REFCLSID clsid) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(clsid);
}

ComClassFactory comRegisteredFactory(REFCLSID clsid) {
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto it = registry().find(clsid);
    return it != registry().end() ? it->second : ComClassFactory();
}
