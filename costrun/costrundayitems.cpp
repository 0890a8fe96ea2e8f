// The items a valuation day after the run's first calculated one reads: those its sales,
// credit memos, adjustments and builds name (a build's assembly and its components, so
// every level built that day), those returned to vendors that day, and those the last calculated day left unvalued (their exception lasts as long as they
// stay so). QuickBooks' valuation summary is asked for these alone, by name, at most
// kMaxReportItems names a request, the requests sent in as few message sets as their
// bounds allow; items the day does not touch are neither read nor posted.
#include <algorithm>
#include <cstddef>
#include <functional>
#include <unordered_map>

#include "costrundoc.h"
#include "qbfield.h"
#include "qbfieldlist.h"
#include "qbobject.h"
#include "qbobjectlist.h"

namespace {

// Every item a record's fields name, at any depth (lines, line groups, components).
void collectItemRefs(const CQbFieldList& fields, std::set<std::string>& names) {
    for (int i = 0; i < fields.getSize(); ++i) {
        const CQbField* field = fields.getAt(i);
        const CQbFieldList* children = field ? field->getChildren() : nullptr;
        if (children == nullptr) continue;
        if (field->matchesName("ItemRef") || field->matchesName("ItemInventoryAssemblyRef")) {
            if (const std::string name = children->getValue("FullName"); !name.empty()) names.insert(name);
            continue;
        }
        collectItemRefs(*children, names);
    }
}

}  // namespace

CCostrunDoc::CDayItems CCostrunDoc::dayItems(const CDateTime& day, const CCostrunTxnList& dayTxns) const {
    std::set<std::string> named;
    for (const auto& record : dayTxns)
        if (record->ret) collectItemRefs(record->ret->getFields(), named);
    if (dayLists.dayBuildTxns) {
        for (const auto& record : *dayLists.dayBuildTxns)
            if (record->ret) collectItemRefs(record->ret->getFields(), named);
    }
    // Returns to vendors dated the day: they are among the run's receiving records.
    if (runLists.receiptTxns) {
        const auto [first, last] = runLists.receiptTxns->datedWithin(startOfDay(day), endOfDay(day));
        for (std::size_t position = first; position < last; ++position) {
            const std::vector<std::string>& returned = (*runLists.receiptTxns)[position].returnedItems;
            named.insert(returned.begin(), returned.end());
        }
    }
    named.insert(runRecord.lastDayUnvalued.begin(), runRecord.lastDayUnvalued.end());
    // Only stocked items are in the report, and a name QuickBooks does not know as an
    // item would make it refuse the request.
    std::unordered_map<std::string, bool> stocked;  // name to "is an assembly"
    for (const CQbObjectList* items : {runLists.inventoryItems.get(), runLists.assemblyItems.get()}) {
        for (int i = 0; items && i < items->getSize(); ++i)
            stocked.emplace(items->getAt(i)->getValue("FullName"), items == runLists.assemblyItems.get());
    }
    if (runLists.readEveryItem)
        for (const auto& [name, assembly] : stocked) named.insert(name);
    CDayItems result;
    for (const std::string& name : named) {
        const auto found = stocked.find(name);
        if (found == stocked.end()) continue;
        (found->second ? result.assemblies : result.inventory).push_back(name);
    }
    return result;
}

std::vector<std::string> CCostrunDoc::namedValuationRequests(const CDateTime& day,
                                                            const std::vector<std::string>& names) {
    std::vector<std::string> requests;
    for (std::size_t from = 0; from < names.size(); from += kMaxReportItems) {
        const auto to = std::min(names.size(), from + kMaxReportItems);
        requests.push_back(session->inventoryValuationSummaryRequest(
            day, std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(from),
                                          names.begin() + static_cast<std::ptrdiff_t>(to))));
    }
    return requests;
}

std::vector<std::unique_ptr<CQbResponse>> CCostrunDoc::sendInSets(std::vector<std::string> requests) {
    std::vector<std::unique_ptr<CQbResponse>> answers;
    std::size_t next = 0;
    while (next < requests.size()) {
        std::vector<std::string> set;
        std::size_t bytes = 0;
        while (next < requests.size() && set.size() < kMaxSetRequests &&
               (set.empty() || bytes + requests[next].size() <= kMaxSetBytes)) {
            bytes += requests[next].size();
            set.push_back(std::move(requests[next++]));
        }
        std::vector<std::unique_ptr<CQbResponse>> setAnswers = session->sendMessageSet(set);
        setAnswers.resize(set.size());
        for (auto& answer : setAnswers) answers.push_back(std::move(answer));
    }
    return answers;
}
