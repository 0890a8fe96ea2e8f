// Writes the run's page of a made-up month of a hardware shop to the file named by its
// argument: a month of day corrections, a dozen corrected items (one name with markup in it,
// one long one), a proof that missed two items and their exceptions.
#include <cmath>
#include <cstdio>

#include "runpage.h"

namespace {

CDateTime day(int d) { return *CDateTime::fromLocal(2025, 1, d, 23, 59, 59); }

CRunException exception(CRunException::Kind kind, const char* item, int d, const char* reason) {
    CRunException e;
    e.kind = kind;
    e.item = item;
    e.day = day(d);
    e.reason = reason;
    return e;
}

CRunSummary sampleSummary() {
    CRunSummary s;
    s.firstDay = day(1);
    s.upTo = day(31);
    s.daysProcessed = 31;
    s.daysCalculated = 22;
    s.postings = 57;
    s.itemCorrections = {
        {"Hardware:Hinges:Brass butt hinge 3-1/2 in, satin nickel finish", 18450.25},
        {"Bolt <M8> & \"nut\" set", -9120.4},
        {"Lumber:Pine 2x4x8", 7311.9},
        {"Paint:Exterior white 1 gal", -5230},
        {"Screws:Deck 3 in (1 lb)", 4120.75},
        {"Tools:Hammer 16 oz", 2980},
        {"Garden:Hose 50 ft", -2210.3},
        {"Electrical:Wire 12/2 250 ft", 1540.1},
        {"Plumbing:PVC elbow 1/2 in", -880.65},
        {"Fasteners:Anchor kit", 410},
        {"Glue:Wood 8 oz", 95.5},
    };
    double value = 1186420.35;
    int calculated = 0;
    for (int d = 2; d <= 31; ++d) {
        if (d % 7 == 5 || d % 7 == 6) continue;  // weekends: no sales, nothing calculated
        if (++calculated > s.daysCalculated) break;
        const double correction = 9000 * std::sin(d / 3.0) + 250 * d;
        s.dayCorrections.push_back({day(d), correction});
        value += correction;
    }
    for (const auto& [item, amount] : s.itemCorrections) {
        if (amount > 0) {
            s.increase += amount;
        } else {
            s.decrease += amount;
        }
    }
    s.proofMade = true;
    s.proofDay = day(31);
    s.proofMatched = 118;
    s.proofItems = 120;
    s.onHandValue = value;
    s.exceptions = {
        exception(CRunException::kUnvalued, "Garden:Hose 50 ft", 14, "On-hand quantity is negative (-3); not valued."),
        exception(CRunException::kProofDifference, "Bolt <M8> & \"nut\" set", 31,
                  "QuickBooks carries 4,410.00, the FIFO value is 4,412.35."),
    };
    s.exceptions[0].days = 3;
    s.exceptions[0].lastDay = day(16);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: samplepage OUT.html\n");
        return 2;
    }
    if (!writeRunPage(argv[1], sampleSummary(), "Acme Hardware & Garden", "costrun20250101_20250131.csv")) {
        std::fprintf(stderr, "samplepage: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
