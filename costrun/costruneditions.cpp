// What the company's edition of QuickBooks and its inventory preferences allow.
//
// QuickBooks Pro has no assemblies: it answers every request about assembly items,
// builds and the valuation summary of assemblies with status 3250, so a run that asked
// for builds would stop on its first day. HostQuery's ProductName names the edition; for
// one that names Pro, the assembly item query is asked once at open, and its 3250 answer
// is the proof. Such a company is valued from its inventory items alone.
//
// Enterprise's Advanced Inventory preferences are read here too; which of them the
// window's Process refuses is decided there (costrundlg.cpp).
#include <cctype>

#include "costrundoc.h"
#include "qbexception.h"

namespace {

// QuickBooks' status for a feature the edition does not have.
constexpr int kFeatureNotAvailable = 3250;

// The ProductName holds the word "Pro" ("QuickBooks Pro 2014", "QuickBooks Desktop Pro
// Plus 2023"); "Premier", "Professional" or "Enterprise" do not count.
bool namesPro(const std::string& productName) {
    std::string word;
    for (std::size_t i = 0; i <= productName.size(); ++i) {
        const char c = i < productName.size() ? productName[i] : ' ';
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            word += c;
            continue;
        }
        if (word == "Pro") return true;
        word.clear();
    }
    return false;
}

bool isTrue(const std::string& text) { return text == "true" || text == "1"; }

}  // namespace

bool CCostrunDoc::readEdition(const std::string& productName) {
    settings.productName = productName;
    settings.assemblies = true;
    if (!session || !namesPro(productName)) return true;

    CQbFieldList fields;
    fields.addText("MaxReturned", "1");
    fields.addText("IncludeRetElement", "ListID");
    try {
        const std::unique_ptr<CQbResponse> answer =
            session->sendBody(session->requestElement("ItemInventoryAssemblyQueryRq", nullptr, &fields));
        if (!answer) throw CQbException(CQbRequestBase::unansweredText("ItemInventoryAssemblyQueryRq"));
        const std::string code = answer->statusCode();
        if (code == std::to_string(kFeatureNotAvailable)) {
            settings.assemblies = false;
            return true;
        }
        // Any records, "no match" or a warning: the edition has assemblies after all.
        if (CQbRequestBase::succeeded(*answer) || code == "1" || answer->statusSeverity() == "Warn") return true;
        throw CQbException(CQbRequestBase::refusalText(*answer, "ItemInventoryAssemblyQueryRq"));
    } catch (const CQbException& e) {
        errorText = e.getMessage();
        return false;
    }
}

void CCostrunDoc::readInventoryPreferences(const CQbObject& preferences) {
    settings.inventorySites =
        isTrue(preferences.getValue("MultiLocationInventoryPreferences", "IsMultiLocationInventoryEnabled"));
    settings.enhancedReceiving =
        isTrue(preferences.getValue("ItemsAndInventoryPreferences", "EnhancedInventoryReceivingEnabled"));
    const std::string tracking = preferences.getValue("ItemsAndInventoryPreferences", "IsTrackingSerialOrLotNumber");
    settings.serialOrLot = tracking == "SerialNumber" || tracking == "LotNumber" ? tracking : std::string();
}
