// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// Merging two items: in QuickBooks' item list a user renames one item (FROM) to the full
// name of another (INTO) and confirms the merge. Every transaction line of FROM then
// names INTO, a build of FROM builds INTO, assemblies and groups that held FROM hold
// INTO; FROM leaves the item list and its custom fields go, and the list's deletion log
// (ListDeletedQueryRq) lists it under its ListID and full name. The transactions moved
// keep their EditSequence and TimeModified, so a program that watches for modified
// transactions does not learn of the merge from them. INTO's quantity and value become
// what they would have been had every line of FROM been INTO's from the start: the
// average cost is evaluated again over the lines of both. qbXML has no request for it;
// `qbsim merge-items` and the tests call it here.
#pragma once

#include <string>

// Opens the company file, merges the item whose full name is `fromFullName` into the one
// whose full name is `intoFullName` (either compared ignoring case, as QuickBooks compares
// names), and closes the file. The merge is made whole or not at all. Throws
// CQbSimCompanyError when the file cannot be opened, and CQbSimStatus when the merge is
// refused: 3120 when no item has one of the names, 3180 when the two are one item, are of
// different types, FROM has sub-items, or one is (directly or further down) a component of
// the other, so that an assembly would contain itself.
void qbsimMergeItems(const std::string& companyPath, const std::string& fromFullName,
                     const std::string& intoFullName);
