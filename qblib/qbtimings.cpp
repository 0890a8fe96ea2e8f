// The process-wide timing totals (see qbtimings.h).
#include "qbtimings.h"

CQbTimings& qbTimings() {
    static CQbTimings totals;
    return totals;
}
