// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// The editions of QuickBooks the stand-in behaves as, and what each refuses. QuickBooks
// Pro has no assemblies: it answers every request about assembly items, builds and the
// valuation summary of assemblies with status 3250, "This feature is not enabled or not
// available in this version of QuickBooks.". Premier and Enterprise have assemblies;
// Enterprise alone has the Advanced Inventory preferences (inventory sites, serial or lot
// numbers) and Enhanced Inventory Receiving, which a company file of the stand-in can
// carry from its creation (CQbSimCompanyOptions).
#pragma once

#include "qbsimxml.h"

#include <optional>
#include <string>

enum class CQbSimEdition { Pro, Premier, Enterprise };

// "pro", "premier" or "enterprise"; none for any other text.
std::optional<CQbSimEdition> qbsimParseEdition(const std::string& text);
const char* qbsimEditionText(CQbSimEdition edition);
// The edition's ProductName in HostQuery's answer, in QuickBooks' own form.
std::string qbsimProductName(CQbSimEdition edition);

// The status QuickBooks of the edition answers the request element with instead of
// carrying it out; none when the edition carries it out.
std::optional<CQbSimStatus> qbsimEditionRefusal(CQbSimEdition edition, xmlNodePtr request);
