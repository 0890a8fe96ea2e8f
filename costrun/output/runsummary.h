// costrun/, the engine: the FIFO valuation engine and the toolkit-free main-window
// logic every front end drives. May include qblib/ and platform/ only; no toolkit.

// What a valuation run did, for the user: the days it went through, the postings it made
// and by how much they moved inventory, each item's total correction, the corrections of
// each calculated day, the check of QuickBooks' values of every item on hand against
// their FIFO values after the last day (the proof), and what
// needs a look (the exceptions). The engine fills it while it runs; the activity log,
// the window's status text, the command line (as text or JSON) and the run's page show it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "datetime.h"

// An amount with the given decimals, its whole part grouped by thousands:
// 1234567.891 gives "1,234,567.89"; a negative one keeps its minus sign; "n/a" for a
// value that is not a number.
std::string groupedAmountText(double value, int decimals = 2);

struct CRunException {
    enum Kind {
        kUnvalued,        // on-hand quantity negative, or lots that do not cover it ("N/A")
        kShortBuild,      // a build that could not be valued: a component is short
        kRefusedPosting,  // a value adjustment QuickBooks refused
        kOpeningLotOnly,  // valued wholly from the opening lot past the run's first month
        kProofDifference, // QuickBooks' value differs from the FIFO value after the run
        kValueNotCarried, // value taken off units that cost less: no lot goes below zero
    };
    Kind kind = kUnvalued;
    std::string item;
    CDateTime day;       // the first day it was seen
    std::string reason;  // as the user reads it, for that day
    int days = 1;        // an item left unvalued day after day is one exception
    CDateTime lastDay;
};

struct CRunDayCorrection {
    CDateTime day;
    double amount = 0;  // the sum of the day's corrections: what they moved inventory by
};

struct CRunSummary {
    CDateTime firstDay;
    CDateTime upTo;
    int daysProcessed = 0;
    int daysCalculated = 0;
    int postings = 0;       // value adjustment transactions QuickBooks took
    double increase = 0;    // sum of the corrections that raised a value
    double decrease = 0;    // sum of those that lowered one (zero or below)
    std::map<std::string, double> itemCorrections;  // per item, the sum of its corrections
    std::vector<CRunDayCorrection> dayCorrections;  // per calculated day, in order
    // The proof: QuickBooks' values of every item re-read after the last calculated day
    // and compared with their FIFO values.
    bool proofMade = false;
    CDateTime proofDay;
    int proofMatched = 0;     // items on hand whose value QuickBooks carries within 0.02 of FIFO
    int proofItems = 0;       // items on hand that day
    double onHandValue = 0;   // QuickBooks' value of them all
    std::vector<CRunException> exceptions;

    // The n items with the largest corrections (by size), largest first.
    std::vector<std::pair<std::string, double>> largestCorrections(std::size_t n) const;
    // A few lines for the status text, the activity log and the command line.
    std::string text() const;
    // One JSON object with the same figures, for scripts, led by whether the run
    // completed and the text of its failure or warning ("" when none).
    std::string json(bool completed, const std::string& message) const;
};
