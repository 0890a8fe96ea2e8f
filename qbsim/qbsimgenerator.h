// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// A synthetic company for benchmarks and soak tests: lists (accounts, classes, vendors,
// customers, inventory items with sub-items, services, non-inventory and other charge
// items, item groups, assemblies of inventory items, sub-assemblies and services) and
// a few dozen transactions a day of every kind that moves stock, some of them pending.
// Everything goes in through qbXML requests, so a generated file is exactly what
// loading the same requests would give. The same options give the same file content:
// the random numbers come from the seed and the company's clock is frozen at the start
// date.
#pragma once

#include <cstdint>
#include <string>

struct CQbSimGeneratorOptions {
    int items = 100;
    int assemblies = 10;
    int days = 30;
    std::uint64_t seed = 1;
    // Transactions a day after the opening day; 0 gives 20 + items / 40.
    int transactionsPerDay = 0;
    std::string startDate = "2024-01-01";
};

// Creates the company file (which must not exist) and fills it. Throws
// CQbSimCompanyError when the file cannot be created and std::runtime_error when a
// request is refused (which would be a fault of the generator).
void qbsimGenerateCompany(const std::string& path, const CQbSimGeneratorOptions& options);
