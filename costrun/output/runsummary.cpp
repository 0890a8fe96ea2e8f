// The run summary as text and as JSON. Amounts are written with the C printf rules in
// the "C" numeric locale, as the report is. The JSON object is built with nlohmann::json,
// which escapes its texts; its amounts are written with two decimals, as they were
// always written for scripts, where the library would write the shortest form ("12.5").
#include "runsummary.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "qbutils.h"

namespace {

// How many exceptions the few lines name; the others are counted.
constexpr std::size_t kNamedExceptions = 5;

using Json = nlohmann::ordered_json;

// Two decimals, whatever the locale; a residue below half a cent is written as 0.00.
std::string jsonNumber(double value) { return amountText(std::fabs(value) < 0.005 ? 0.0 : value); }

// A text or other scalar as the library writes it, but for control characters, which
// are written as \u00XX as the summary has always written them, where the library
// writes \b, \f, \n, \r and \t. Text that is not UTF-8 gets U+FFFD for its bad bytes.
std::string jsonScalar(const Json& value) {
    const std::string dumped = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::string out;
    for (std::size_t i = 0; i < dumped.size(); ++i) {
        // In the library's output a backslash always starts an escape of two characters
        // or more; only the short ones of control characters are written anew.
        if (dumped[i] != '\\' || i + 1 == dumped.size()) {
            out += dumped[i];
            continue;
        }
        const char escaped = dumped[++i];
        switch (escaped) {
            case 'b': out += "\\u0008"; break;
            case 'f': out += "\\u000c"; break;
            case 'n': out += "\\u000a"; break;
            case 'r': out += "\\u000d"; break;
            case 't': out += "\\u0009"; break;
            default: out += '\\'; out += escaped;
        }
    }
    return out;
}

// Writes the object in the library's compact form, but for its amounts (the only
// floating-point numbers in it), which keep their two decimals.
void writeJson(const Json& value, std::string& out) {
    if (value.is_object()) {
        out += '{';
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it != value.begin()) out += ',';
            out += jsonScalar(it.key()) + ':';
            writeJson(it.value(), out);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it != value.begin()) out += ',';
            writeJson(*it, out);
        }
        out += ']';
    } else if (value.is_number_float()) {
        out += jsonNumber(value.get<double>());
    } else {
        out += jsonScalar(value);
    }
}

const char* kindName(CRunException::Kind kind) {
    switch (kind) {
        case CRunException::kUnvalued: return "unvalued";
        case CRunException::kShortBuild: return "shortBuild";
        case CRunException::kRefusedPosting: return "refusedPosting";
        case CRunException::kOpeningLotOnly: return "openingLotOnly";
        case CRunException::kProofDifference: return "proofDifference";
        case CRunException::kValueNotCarried: return "valueNotCarried";
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
    Json items = Json::object();
    for (const auto& [item, amount] : itemCorrections) items[item] = amount;
    Json proof = nullptr;
    if (proofMade) {
        proof = {{"day", dateText(proofDay)},
                 {"matched", proofMatched},
                 {"items", proofItems},
                 {"onHandValue", onHandValue}};
    }
    Json list = Json::array();
    for (const CRunException& e : exceptions) {
        list.push_back({{"kind", kindName(e.kind)},
                        {"item", e.item},
                        {"day", dateText(e.day)},
                        {"days", e.days},
                        {"lastDay", dateText(e.lastDay)},
                        {"reason", e.reason}});
    }
    const Json summary = {{"completed", completed},         {"message", message},
                          {"firstDay", dateText(firstDay)}, {"upTo", dateText(upTo)},
                          {"daysProcessed", daysProcessed}, {"daysCalculated", daysCalculated},
                          {"postings", postings},           {"increase", increase},
                          {"decrease", decrease},           {"items", std::move(items)},
                          {"proof", std::move(proof)},      {"exceptions", std::move(list)}};
    std::string out;
    writeJson(summary, out);
    return out;
}
