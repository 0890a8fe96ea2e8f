// Request element access, qbXML value formats, status texts and the response writer.
#include "qbsimxml.h"

#include <libxml/tree.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <regex>

namespace qbsimstatus {

CQbSimStatus noMatch() {
    return {1, "Info", "A query request did not find a matching object in QuickBooks"};
}
CQbSimStatus nameInUse(const std::string& name) {
    return {3100, "Error", "The name \"" + name + "\" of the list element is already in use."};
}
CQbSimStatus notFound(const std::string& id) {
    return {3120, "Error",
            "Object \"" + id +
                "\" specified in the request cannot be found.  QuickBooks error message: Invalid "
                "argument.  The specified record does not exist in the list."};
}
CQbSimStatus invalidReference(const std::string& type, const std::string& value,
                              const std::string& where) {
    return {3140, "Error",
            "There is an invalid reference to QuickBooks " + type + " \"" + value + "\" in the " +
                where + "."};
}
// QuickBooks' own words, "a" before any type and "before to" included.
CQbSimStatus closedPeriod(const std::string& action, const std::string& txnType) {
    return {3171, "Error",
            "An attempt was made to " + action + " a " + txnType +
                " with a date that is on or before the closing date of the company. If you are sure you "
                "really want to do this, please ask a user with Admin privileges to remove the password "
                "for editing transactions on or before to closing date (this setting is in the "
                "Accounting Company Preferences), then try again."};
}
CQbSimStatus saveError(const std::string& what, const std::string& reason) {
    return {3180, "Error",
            "There was an error when saving a " + what + ".  QuickBooks error message: " + reason};
}
CQbSimStatus invalidValue(const std::string& field, const std::string& value,
                          const std::string& reason) {
    return {3210, "Error",
            "The \"" + field + "\" field has an invalid value \"" + value +
                "\".  QuickBooks error message: " + reason};
}
CQbSimStatus invalidDate(const std::string& field, const std::string& value) {
    return {3020, "Error",
            "There was an error when converting the date value \"" + value + "\" in the field \"" +
                field + "\"."};
}
CQbSimStatus invalidDateRange(const std::string& from, const std::string& to) {
    return {3030, "Error",
            "The date range is invalid: the from date \"" + from + "\" is after the to date \"" + to +
                "\"."};
}
CQbSimStatus staleEditSequence(const std::string& sequence) {
    return {3200, "Error", "The provided edit sequence \"" + sequence + "\" is out-of-date."};
}
CQbSimStatus featureNotEnabled() {
    return {3250, "Error",
            "This feature is not enabled or not available in this version of QuickBooks."};
}
CQbSimStatus invalidIterator(const std::string& id) {
    return {3391, "Error", "The iteratorID \"" + id + "\" is not valid."};
}

}  // namespace qbsimstatus

std::size_t qbsimCharacterCount(std::string_view text) {
    // Every code point has exactly one byte that is not a continuation byte (10xxxxxx).
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

void qbsimCheckLength(const std::optional<std::string>& text, const char* field, std::size_t max) {
    if (text && qbsimCharacterCount(*text) > max)
        throw CQbSimStatus(3070, "Error",
                           "The string \"" + *text + "\" in the field \"" + field + "\" is too long.");
}

bool qbsimDateOutOfRange(const std::string& date) { return date < "1901-01-01" || date > "2100-12-31"; }

namespace {
bool isElement(xmlNodePtr node) { return node && node->type == XML_ELEMENT_NODE; }
bool named(xmlNodePtr node, std::string_view name) {
    return isElement(node) && name == reinterpret_cast<const char*>(node->name);
}
}  // namespace

xmlNodePtr qbsimChild(xmlNodePtr parent, std::string_view name) {
    if (!parent) return nullptr;
    for (xmlNodePtr c = parent->children; c; c = c->next)
        if (named(c, name)) return c;
    return nullptr;
}

std::vector<xmlNodePtr> qbsimChildren(xmlNodePtr parent, std::string_view name) {
    std::vector<xmlNodePtr> result;
    if (!parent) return result;
    for (xmlNodePtr c = parent->children; c; c = c->next)
        if (named(c, name)) result.push_back(c);
    return result;
}

std::vector<xmlNodePtr> qbsimElements(xmlNodePtr parent) {
    std::vector<xmlNodePtr> result;
    if (!parent) return result;
    for (xmlNodePtr c = parent->children; c; c = c->next)
        if (isElement(c)) result.push_back(c);
    return result;
}

std::string qbsimName(xmlNodePtr node) {
    return node ? reinterpret_cast<const char*>(node->name) : "";
}

std::string qbsimText(xmlNodePtr node) {
    if (!node) return {};
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::optional<std::string> qbsimChildText(xmlNodePtr parent, std::string_view name) {
    xmlNodePtr c = qbsimChild(parent, name);
    if (!c) return std::nullopt;
    return qbsimText(c);
}

std::optional<std::string> qbsimAttribute(xmlNodePtr node, const char* name) {
    if (!node) return std::nullopt;
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value) return std::nullopt;
    std::string text = reinterpret_cast<const char*>(value);
    xmlFree(value);
    return text;
}

std::int64_t qbsimParseAmount(const std::string& text) {
    // AMTTYPE: optional sign, 1 to 13 digits, optionally exactly two decimals.
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t whole = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        whole = whole * 10 + (text[i++] - '0');
        if (++digits > 13) throw CQbSimParseError("amount out of range: " + text);
    }
    std::int64_t cents = 0;
    if (i < text.size() && text[i] == '.') {
        if (i + 3 != text.size()) throw CQbSimParseError("amount format: " + text);
        cents = (text[i + 1] - '0') * 10 + (text[i + 2] - '0');
        i += 3;
    }
    if (digits == 0 || i != text.size()) throw CQbSimParseError("amount format: " + text);
    const std::int64_t value = whole * 100 + cents;
    return negative ? -value : value;
}

double qbsimParseNumber(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        throw CQbSimParseError("number format: " + text);
    return value;
}

bool qbsimParseBool(const std::string& text) { return text == "true" || text == "1"; }

std::string qbsimAmountText(std::int64_t cents) {
    const bool negative = cents < 0;
    const std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(-(cents + 1)) + 1 : static_cast<std::uint64_t>(cents);
    char text[40];
    std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 100),
                  static_cast<unsigned long long>(magnitude % 100));
    return text;
}

namespace {
std::string trimmedDecimal(double value, int maxDecimals, int minDecimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", maxDecimals, value);
    std::string s = text;
    const auto dot = s.find('.');
    if (dot != std::string::npos) {
        std::size_t keep = s.size();
        while (keep > dot + 1 + static_cast<std::size_t>(minDecimals) && s[keep - 1] == '0') --keep;
        if (keep == dot + 1) --keep;
        s.resize(keep);
    }
    if (s == "-0" || s.rfind("-0.", 0) == 0) {
        bool allZero = true;
        for (char c : s)
            if (c >= '1' && c <= '9') allZero = false;
        if (allZero) s.erase(0, 1);
    }
    return s;
}
}  // namespace

std::string qbsimQuantityText(double quantity) { return trimmedDecimal(quantity, 5, 0); }
std::string qbsimPriceText(double price) { return trimmedDecimal(price, 5, 2); }
std::string qbsimRateText(double rate) { return trimmedDecimal(rate, 10, 0); }

std::optional<std::int64_t> qbsimToCents(double value) {
    const double cents = std::round(value * 100.0);
    if (!std::isfinite(cents) || std::fabs(cents) > 999999999999999.0) return std::nullopt;
    return static_cast<std::int64_t>(cents);
}

bool qbsimIsDate(const std::string& text) {
    static const std::regex pattern(R"(\d{4}-\d{2}-\d{2})");
    if (!std::regex_match(text, pattern)) return false;
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    if (month < 1 || month > 12 || day < 1) return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::optional<std::int64_t> qbsimParseDateTime(const std::string& text) {
    static const std::regex pattern(
        R"((\d{4})-(\d{1,2})-(\d{1,2})(?:T(\d{1,2})(?::(\d{1,2})(?::(\d{1,2})(?:([+-])(\d{1,2}):(\d{1,2}))?)?)?)?)");
    std::smatch m;
    if (!std::regex_match(text, m, pattern)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = std::stoi(m[1]) - 1900;
    tm.tm_mon = std::stoi(m[2]) - 1;
    tm.tm_mday = std::stoi(m[3]);
    tm.tm_hour = m[4].matched ? std::stoi(m[4]) : 0;
    tm.tm_min = m[5].matched ? std::stoi(m[5]) : 0;
    tm.tm_sec = m[6].matched ? std::stoi(m[6]) : 0;
    if (m[7].matched) {
        const long offset = (std::stol(m[8]) * 60 + std::stol(m[9])) * 60;
        return static_cast<std::int64_t>(timegm(&tm)) - (m[7] == "+" ? offset : -offset);
    }
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(mktime(&tm));
}

std::pair<std::optional<std::int64_t>, std::optional<std::int64_t>> qbsimDateTimeRange(
    xmlNodePtr filter, std::string_view fromTag, std::string_view toTag) {
    auto bound = [&](std::string_view tag) -> std::pair<std::optional<std::int64_t>, std::string> {
        const auto text = qbsimChildText(filter, tag);
        if (!text || text->empty()) return {std::nullopt, ""};
        return {qbsimParseDateTime(*text), *text};
    };
    const auto [from, fromText] = bound(fromTag);
    const auto [to, toText] = bound(toTag);
    if (from && to && *to < *from) throw qbsimstatus::invalidDateRange(fromText, toText);
    return {from, to};
}

std::string qbsimToday() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    return text;
}

std::string qbsimAddDays(const std::string& date, int days) {
    std::tm tm{};
    tm.tm_year = std::stoi(date.substr(0, 4)) - 1900;
    tm.tm_mon = std::stoi(date.substr(5, 2)) - 1;
    tm.tm_mday = std::stoi(date.substr(8, 2)) + days;
    const std::time_t t = timegm(&tm);
    std::tm out{};
    gmtime_r(&t, &out);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", out.tm_year + 1900, out.tm_mon + 1,
                  out.tm_mday);
    return text;
}

namespace {

enum class ValueType { Amount, Quantity, Date, DateTime, Bool, Float, Int, Guid };

const std::map<std::string, ValueType, std::less<>>& typedElements() {
    static const std::map<std::string, ValueType, std::less<>> types = {
        {"Amount", ValueType::Amount},          {"NewValue", ValueType::Amount},
        {"ValueDifference", ValueType::Amount}, {"TotalValue", ValueType::Amount},
        {"OpenBalance", ValueType::Amount},     {"CreditLimit", ValueType::Amount},
        {"TaxAmount", ValueType::Amount},       {"SalesPrice", ValueType::Quantity},
        {"PurchaseCost", ValueType::Quantity},  {"Price", ValueType::Quantity},
        {"Cost", ValueType::Quantity},          {"Rate", ValueType::Quantity},
        {"Quantity", ValueType::Quantity},      {"NewQuantity", ValueType::Quantity},
        {"QuantityDifference", ValueType::Quantity},
        {"QuantityOnHand", ValueType::Quantity}, {"QuantityToBuild", ValueType::Quantity},
        {"ReorderPoint", ValueType::Quantity},  {"BuildPoint", ValueType::Quantity},
        {"Max", ValueType::Quantity},           {"PricePercent", ValueType::Quantity},
        {"RatePercent", ValueType::Quantity},   {"TxnDate", ValueType::Date},
        {"DueDate", ValueType::Date},           {"FromTxnDate", ValueType::Date},
        {"ToTxnDate", ValueType::Date},         {"InventoryDate", ValueType::Date},
        {"OpenBalanceDate", ValueType::Date},   {"ServiceDate", ValueType::Date},
        {"ShipDate", ValueType::Date},          {"FromModifiedDate", ValueType::DateTime},
        {"FromReportDate", ValueType::Date},    {"ToReportDate", ValueType::Date},
        {"ToModifiedDate", ValueType::DateTime}, {"FromDeletedDate", ValueType::DateTime},
        {"ToDeletedDate", ValueType::DateTime}, {"IsActive", ValueType::Bool},
        {"IsPending", ValueType::Bool},         {"IncludeLineItems", ValueType::Bool},
        {"ForceUOMChange", ValueType::Bool},
        {"IncludeComponentLineItems", ValueType::Bool},
        {"IncludeLinkedTxns", ValueType::Bool}, {"MarkPendingIfRequired", ValueType::Bool},
        {"IsPrintItemsInGroup", ValueType::Bool}, {"DisplayReport", ValueType::Bool},
        {"ExchangeRate", ValueType::Float},     {"ConversionRatio", ValueType::Float},
        {"MaxReturned", ValueType::Int},        {"OwnerID", ValueType::Guid},
    };
    return types;
}

bool matches(ValueType type, const std::string& text) {
    static const std::regex amount(R"([+-]?\d{1,13}(\.\d{2})?)");
    static const std::regex quantity(R"([+-]?\d{1,10}(\.\d{1,5})?)");
    static const std::regex decimal(R"([+-]?(\d+(\.\d*)?|\.\d+))");
    static const std::regex integer(R"([+-]?\d{1,9})");
    static const std::regex guid(
        R"(0|\{[0-9a-fA-F]{8}(-[0-9a-fA-F]{4}){3}-[0-9a-fA-F]{12}\})");
    // Empty values are allowed by the schema for most of these types.
    switch (type) {
    case ValueType::Amount: return text.empty() || std::regex_match(text, amount);
    case ValueType::Quantity: return text.empty() || std::regex_match(text, quantity);
    case ValueType::Date: return text.empty() || qbsimIsDate(text);
    case ValueType::DateTime: return text.empty() || qbsimParseDateTime(text).has_value();
    case ValueType::Bool:
        return text.empty() || text == "true" || text == "false" || text == "1" || text == "0";
    case ValueType::Float: return text.empty() || std::regex_match(text, decimal);
    case ValueType::Int: return std::regex_match(text, integer) && std::stol(text) >= 1;
    case ValueType::Guid: return std::regex_match(text, guid);
    }
    return false;
}

void checkNode(xmlNodePtr node) {
    for (xmlNodePtr c : qbsimElements(node)) {
        const std::string name = qbsimName(c);
        const auto& types = typedElements();
        const auto it = types.find(name);
        // DataExtValue and report texts carry free text; only leaf elements are typed.
        if (it != types.end() && qbsimElements(c).empty()) {
            const std::string text = qbsimText(c);
            if (!matches(it->second, text))
                throw CQbSimParseError("element \"" + name + "\" has an invalid value \"" + text +
                                       "\"");
        }
        checkNode(c);
    }
}

}  // namespace

void qbsimCheckValueFormats(xmlNodePtr root) { checkNode(root); }

std::string qbsimEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

void CQbSimXmlWriter::indent() { out.append(stack.size() * 2, ' '); }

bool CQbSimXmlWriter::suppressed(std::string_view tag) {
    if (suppressDepth) return true;
    if (include && !include->empty() && stack.size() == retDepth &&
        include->find(std::string(tag)) == include->end())
        return true;
    return false;
}

void CQbSimXmlWriter::open(std::string_view tag) { openWithAttributes(tag, {}); }

void CQbSimXmlWriter::openWithAttributes(
    std::string_view tag, const std::vector<std::pair<std::string, std::string>>& attributes,
    bool selfClose) {
    if (suppressed(tag)) {
        if (!selfClose) {
            if (!suppressDepth) suppressDepth = stack.size() + 1;
            stack.emplace_back(tag);
        }
        return;
    }
    indent();
    out += '<';
    out += tag;
    for (const auto& [name, value] : attributes) {
        out += ' ';
        out += name;
        out += "=\"";
        out += qbsimEscape(value);
        out += '"';
    }
    if (selfClose) {
        out += " />\n";
        return;
    }
    out += ">\n";
    stack.emplace_back(tag);
}

void CQbSimXmlWriter::close() {
    const std::string tag = stack.back();
    stack.pop_back();
    if (suppressDepth) {
        if (stack.size() + 1 == suppressDepth) suppressDepth = 0;
        return;
    }
    indent();
    out += "</" + tag + ">\n";
}

void CQbSimXmlWriter::leaf(std::string_view tag, std::string_view text) {
    if (suppressed(tag)) return;
    indent();
    out += '<';
    out += tag;
    out += '>';
    out += qbsimEscape(text);
    out += "</";
    out += tag;
    out += ">\n";
}

void CQbSimXmlWriter::ref(std::string_view tag, const std::string& listId,
                          const std::string& fullName) {
    open(tag);
    leaf("ListID", listId);
    leaf("FullName", fullName);
    close();
}

void CQbSimXmlWriter::beginRet(std::string_view tag, const std::set<std::string>* includeList) {
    open(tag);
    include = includeList;
    retDepth = stack.size();
}

void CQbSimXmlWriter::endRet() {
    include = nullptr;
    retDepth = 0;
    close();
}
