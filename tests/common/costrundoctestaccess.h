// The one way tests reach CCostrunDoc's private state: references to its groups of
// state and to the few loose fields, valid while the engine lives.
//
//     engineState(*doc).settings.startDate = ...;
#pragma once

#include <memory>
#include <string>

#include "costrundoc.h"

class CCostrunDocTestAccess {
public:
    explicit CCostrunDocTestAccess(CCostrunDoc& engine)
        : session(engine.session),
          company(engine.company),
          companyPath(engine.companyPath),
          companyTitle(engine.companyTitle),
          errorText(engine.errorText),
          progressText(engine.progressText),
          settings(engine.settings),
          runLists(engine.runLists),
          dayLists(engine.dayLists),
          runRecord(engine.runRecord),
          files(engine.files) {}

    std::unique_ptr<CQbRequestBase>& session;
    std::unique_ptr<CQbObject>& company;
    std::string& companyPath;
    std::string& companyTitle;
    std::string& errorText;
    std::string& progressText;
    CCostrunDoc::CRunSettings& settings;
    CCostrunDoc::CRunLists& runLists;
    CCostrunDoc::CDayLists& dayLists;
    CCostrunDoc::CRunRecord& runRecord;
    CCostrunDoc::COutputFiles& files;
};

inline CCostrunDocTestAccess engineState(CCostrunDoc& engine) { return CCostrunDocTestAccess(engine); }
