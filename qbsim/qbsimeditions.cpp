// The editions the stand-in behaves as and the requests QuickBooks Pro refuses. Intuit's
// status table gives 3250 for a feature the edition lacks, with assemblies in Pro as the
// example; the assembly item, build and assembly valuation requests are refused so. That
// Pro refuses the other requests naming builds (a deletion, a custom field on a build or
// its definition, the deletion log of builds) the same way is not documented: the
// stand-in refuses them too, so that nothing about assemblies reaches a Pro company
// unnoticed.
#include "qbsimeditions.h"

#include <set>

namespace {

// Requests about assembly items and builds whatever they hold.
const std::set<std::string>& assemblyRequests() {
    static const std::set<std::string> names = {
        "ItemInventoryAssemblyQueryRq", "ItemInventoryAssemblyAddRq", "ItemInventoryAssemblyModRq",
        "BuildAssemblyQueryRq",         "BuildAssemblyAddRq",         "BuildAssemblyModRq",
    };
    return names;
}

// An element of the request (at any depth) that names builds or assemblies as the kind
// of object it concerns: a deletion's TxnDelType, a custom field's TxnDataExtType or
// AssignToObject, a report's ItemTypeFilter.
bool namesAssemblies(xmlNodePtr node) {
    for (xmlNodePtr child : qbsimElements(node)) {
        const std::string name = qbsimName(child);
        if (name == "TxnDelType" || name == "TxnDataExtType" || name == "AssignToObject") {
            const std::string text = qbsimText(child);
            if (text == "BuildAssembly" || text == "ItemInventoryAssembly") return true;
        } else if (name == "ItemTypeFilter" && qbsimText(child) == "Assembly") {
            return true;
        } else if (namesAssemblies(child)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<CQbSimEdition> qbsimParseEdition(const std::string& text) {
    if (text == "pro") return CQbSimEdition::Pro;
    if (text == "premier") return CQbSimEdition::Premier;
    if (text == "enterprise") return CQbSimEdition::Enterprise;
    return std::nullopt;
}

const char* qbsimEditionText(CQbSimEdition edition) {
    switch (edition) {
        case CQbSimEdition::Pro: return "pro";
        case CQbSimEdition::Premier: return "premier";
        case CQbSimEdition::Enterprise: break;
    }
    return "enterprise";
}

std::string qbsimProductName(CQbSimEdition edition) {
    // QuickBooks names the edition and the year; the stand-in says what it is.
    switch (edition) {
        case CQbSimEdition::Pro: return "QuickBooks Pro 2016 (Lotwise stand-in)";
        case CQbSimEdition::Premier: return "QuickBooks: Premier Edition 2016 (Lotwise stand-in)";
        case CQbSimEdition::Enterprise: break;
    }
    return "QuickBooks Enterprise Solutions 16.0 (Lotwise stand-in)";
}

std::optional<CQbSimStatus> qbsimEditionRefusal(CQbSimEdition edition, xmlNodePtr request) {
    if (edition != CQbSimEdition::Pro) return std::nullopt;
    if (assemblyRequests().count(qbsimName(request)) != 0 || namesAssemblies(request))
        return qbsimstatus::featureNotEnabled();
    return std::nullopt;
}
