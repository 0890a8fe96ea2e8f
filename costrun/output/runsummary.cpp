// The run summary as text and as JSON. Amounts are written with the C printf rules in
// the "C" numeric locale, as the report is.
#include "runsummary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "qbutils.h"

namespace {

// How many exceptions the few lines name; the others are counted.
constexpr std::size_t kNamedExceptions = 5;

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Two decimals, whatever the locale; a residue below half a cent is written as 0.00.
std::string jsonNumber(double value) { return amountText(std::fabs(value) < 0.005 ? 0.0 : value); }

const char* kindName(CRunException::Kind kind) {
    switch (kind) {
        case CRunException::kUnvalued: return "unvalued";
        case CRunException::kShortBuild: return "shortBuild";
        case CRunException::kRefusedPosting: return "refusedPosting";
        case CRunException::kOpeningLotOnly: return "openingLotOnly";
        case CRunException::kProofDifference: return "proofDifference";
    }
    return "";
}

}  // namespace

std::string groupedAmountText(double value, int decimals) {
    if (!std::isfinite(value)) return "n/a";
    const double unit = decimals == 0 ? 0.5 : 0.005;
    const std::string text = fixedText(std::fabs(value) < unit ? 0.0 : value, decimals);
    const std::size_t start = text[0] == '-' ? 1 : 0;
    const std::size_t point = std::min(text.find('.'), text.size());
    std::string out = text.substr(0, start);
    for (std::size_t i = start; i < point; ++i) {
        if (i > start && (point - i) % 3 == 0) out += ',';
        out += text[i];
    }
    return out + text.substr(point);
}

std::vector<std::pair<std::string, double>> CRunSummary::largestCorrections(std::size_t n) const {
    std::vector<std::pair<std::string, double>> items(itemCorrections.begin(), itemCorrections.end());
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return std::fabs(a.second) > std::fabs(b.second);
    });
    if (items.size() > n) items.resize(n);
    return items;
}

std::string CRunSummary::text() const {
    std::string out = "Days processed : " + std::to_string(daysProcessed) + " (" +
                      std::to_string(daysCalculated) + " with sales, adjustments or builds)\n";
    out += "Postings : " + std::to_string(postings) + ", inventory value up by " +
           groupedAmountText(increase) + " and down by " + groupedAmountText(-decrease) + "\n";
    if (proofMade) {
        out += "QuickBooks now carries the FIFO value of " + std::to_string(proofMatched) + " of " +
               std::to_string(proofItems) + " items on hand (" + proofDay.userDateText() + ").\n";
    }
    if (exceptions.empty()) return out + "No exceptions.";
    out += "Exceptions : " + std::to_string(exceptions.size());
    for (std::size_t i = 0; i < exceptions.size() && i < kNamedExceptions; ++i) {
        const CRunException& e = exceptions[i];
        out += "\n  " + e.item + ", " + e.day.userDateText();
        if (e.days > 1) out += " and " + std::to_string(e.days - 1) + " more days to " + e.lastDay.userDateText();
        out += ": " + e.reason;
    }
    if (exceptions.size() > kNamedExceptions) {
        out += "\n  and " + std::to_string(exceptions.size() - kNamedExceptions) + " more";
    }
    return out;
}

std::string CRunSummary::json(bool completed, const std::string& message) const {
    std::string out = std::string("{\"completed\":") + (completed ? "true" : "false") +
                      ",\"message\":" + jsonText(message) + ",\"firstDay\":" + jsonText(dateText(firstDay)) + ",\"upTo\":" + jsonText(dateText(upTo)) +
                      ",\"daysProcessed\":" + std::to_string(daysProcessed) +
                      ",\"daysCalculated\":" + std::to_string(daysCalculated) +
                      ",\"postings\":" + std::to_string(postings) + ",\"increase\":" + jsonNumber(increase) +
                      ",\"decrease\":" + jsonNumber(decrease) + ",\"items\":{";
    bool first = true;
    for (const auto& [item, amount] : itemCorrections) {
        out += (first ? "" : ",") + jsonText(item) + ":" + jsonNumber(amount);
        first = false;
    }
    out += "},\"proof\":";
    if (proofMade) {
        out += "{\"day\":" + jsonText(dateText(proofDay)) + ",\"matched\":" + std::to_string(proofMatched) +
               ",\"items\":" + std::to_string(proofItems) + ",\"onHandValue\":" + jsonNumber(onHandValue) + "}";
    } else {
        out += "null";
    }
    out += ",\"exceptions\":[";
    first = true;
    for (const CRunException& e : exceptions) {
        out += std::string(first ? "" : ",") + "{\"kind\":" + jsonText(kindName(e.kind)) +
               ",\"item\":" + jsonText(e.item) + ",\"day\":" + jsonText(dateText(e.day)) +
               ",\"days\":" + std::to_string(e.days) + ",\"lastDay\":" + jsonText(dateText(e.lastDay)) +
               ",\"reason\":" + jsonText(e.reason) + "}";
        first = false;
    }
    return out + "]}";
}
