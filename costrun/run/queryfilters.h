// The filters the run's queries share.
#pragma once

#include <memory>
#include <string>

#include "datetime.h"
#include "qbfieldlist.h"

// A filter aggregate of one element: FromModifiedDate, FromDeletedDate, FromTxnDate, ...
inline std::unique_ptr<CQbFieldList> filterFrom(const char* element, const std::string& text) {
    auto range = std::make_unique<CQbFieldList>();
    range->addText(element, text);
    return range;
}

// A TxnDateRangeFilter from `from` to `to`, dates without time.
inline void addDateRange(CQbFieldList& filter, const CDateTime& from, const CDateTime& to) {
    auto range = std::make_unique<CQbFieldList>();
    range->addDate("FromTxnDate", from, false);
    range->addDate("ToTxnDate", to, false);
    filter.addAggregate("TxnDateRangeFilter", std::move(range));
}
