// The run settings kept in the company file: the system's private custom fields of the
// company ("StartDate", "LastExecTime", "LastUpToDate", "LastRunTime") and of builds
// ("BuildValue"), and the preferences and edition QuickBooks reports. Reading them fills
// a CRunSettings; storing them writes to QuickBooks, whose refusals throw CQbException.
#pragma once

#include <set>
#include <string>

#include "qbobject.h"
#include "qbrequestbase.h"
#include "runsettings.h"
#include "seenrecord.h"

class CCompanyFields {
public:
    // The session and the settings must outlive this object.
    CCompanyFields(CQbRequestBase& session, CRunSettings& settings) : session(session), settings(settings) {}

    // The run settings the company record's custom fields hold (none when absent; an
    // up-to date before a stored start date is dropped).
    static void readRunSettings(const CQbObject* company, CRunSettings& settings);
    // Multicurrency, QuickBooks' own FIFO, its closing date and the inventory preferences
    // (inventory sites, Enhanced Inventory Receiving, serial or lot numbers; absent
    // elements read as off).
    static void readPreferences(const CQbObject& preferences, CRunSettings& settings);
    // Finds whether the company's QuickBooks has assemblies: an edition whose
    // ProductName names Pro is asked the assembly item query once, and QuickBooks'
    // status 3250 (not available in this edition) proves it has none.
    void readEdition(const std::string& productName);

    // Defines the system's custom fields (the build field only with assemblies).
    void defineRunFields();
    // Stores the start settings of a first run (with the "LastUpToDate" of the day before
    // the start date), or replaces those of a file that has them.
    void saveStartSettings();
    // Adds (or, with add false, modifies) a company custom field of the system, trying
    // the other request when QuickBooks refuses.
    void store(const std::string& name, const std::string& value, bool add);
    // Stores "LastRunTime": now, or the latest modification time QuickBooks gave a build
    // since `started` when that is later; defines the field on a file that lacks it. The
    // record takes the EditSequences QuickBooks gave the builds of `ownBuildWrites`.
    void saveLastRunTime(const CDateTime& started, const std::set<std::string>& ownBuildWrites, CSeenRecord& record);

private:
    CQbRequestBase& session;
    CRunSettings& settings;
};
