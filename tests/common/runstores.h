// The run stores (lotwise-*.db) under a folder, for tests that look into or spoil what the
// runs keep beside a company file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "runstore.h"

inline std::vector<std::string> runStoresUnder(const std::filesystem::path& folder) {
    std::vector<std::string> stores;
    if (!std::filesystem::exists(folder)) return stores;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::filesystem::path& path = entry.path();
        if (path.filename().string().rfind("lotwise-", 0) == 0 && path.extension() == ".db") stores.push_back(path.string());
    }
    return stores;
}

// Runs the SQL on every store under the folder; false when one refused it.
inline bool changeRunStores(const std::filesystem::path& folder, const char* sql) {
    bool done = true;
    for (const std::string& path : runStoresUnder(folder)) done = CRunStore(path).exec(sql) && done;
    return done;
}

// The first column of the first row the query answers in the store; -1 when none.
inline long long runStoreCount(const std::string& path, const std::string& sql) {
    CRunStore store(path);
    CRunStore::CStatement read(store, sql.c_str());
    return read.step() ? read.whole(0).value_or(-1) : -1;
}
