// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// qbXML plumbing shared by the request handlers: reading request elements (libxml2
// nodes), checking and converting qbXML value formats, writing response elements, and
// the two ways a request can fail: a status code in its response element
// (CQbSimStatus) or the whole document being refused (CQbSimParseError, which the
// processor turns into HRESULT 0x80040400).
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct _xmlNode;
using xmlNodePtr = _xmlNode*;

// A request answered with a non-zero status. The response element carries the code,
// severity and message and no content.
class CQbSimStatus : public std::runtime_error {
public:
    CQbSimStatus(int statusCode, std::string statusSeverity, const std::string& message)
        : std::runtime_error(message), code(statusCode), severity(std::move(statusSeverity)) {}
    int code;
    std::string severity;
};

// A request document QuickBooks' parser would refuse as a whole.
class CQbSimParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The status texts QuickBooks uses.
namespace qbsimstatus {
CQbSimStatus noMatch();                                               // 1
CQbSimStatus nameInUse(const std::string& name);                      // 3100
CQbSimStatus notFound(const std::string& id);                         // 3120
CQbSimStatus invalidReference(const std::string& type, const std::string& value,
                              const std::string& where);              // 3140
CQbSimStatus closedPeriod(const std::string& action, const std::string& txnType);  // 3171
CQbSimStatus saveError(const std::string& what, const std::string& reason);  // 3180
CQbSimStatus invalidValue(const std::string& field, const std::string& value,
                          const std::string& reason);                 // 3210
CQbSimStatus invalidDate(const std::string& field, const std::string& value);  // 3020
CQbSimStatus invalidDateRange(const std::string& from, const std::string& to);  // 3030
CQbSimStatus staleEditSequence(const std::string& sequence);          // 3200
CQbSimStatus featureNotEnabled();                                     // 3250
CQbSimStatus invalidIterator(const std::string& id);                  // 3391
}  // namespace qbsimstatus

// The characters (Unicode code points) of a UTF-8 text: QuickBooks' length limits count
// characters, so an accented name takes as much of a limit as a plain one.
std::size_t qbsimCharacterCount(std::string_view text);
// 3070 when a text has more characters than the field takes.
void qbsimCheckLength(const std::optional<std::string>& text, const char* field, std::size_t max);
// QuickBooks keeps dates between 1901 and 2100.
bool qbsimDateOutOfRange(const std::string& date);

// Element helpers. Only element children count; text is the concatenated content.
xmlNodePtr qbsimChild(xmlNodePtr parent, std::string_view name);
std::vector<xmlNodePtr> qbsimChildren(xmlNodePtr parent, std::string_view name);
std::vector<xmlNodePtr> qbsimElements(xmlNodePtr parent);
std::string qbsimName(xmlNodePtr node);
std::string qbsimText(xmlNodePtr node);
std::optional<std::string> qbsimChildText(xmlNodePtr parent, std::string_view name);
std::optional<std::string> qbsimAttribute(xmlNodePtr node, const char* name);

// Value formats. Parsing assumes the text passed qbsimCheckValueFormats (or the
// schema); the converters still refuse what they cannot represent.
std::int64_t qbsimParseAmount(const std::string& text);     // cents
double qbsimParseNumber(const std::string& text);
bool qbsimParseBool(const std::string& text);
std::string qbsimAmountText(std::int64_t cents);            // 12.50, -0.75
std::string qbsimQuantityText(double quantity);             // 3, 0.25, -281
std::string qbsimPriceText(double price);                   // 85.00, 2.695
std::string qbsimRateText(double rate);                     // exchange rate
// Rounds a value in currency units to cents; empty when it exceeds the amount range.
std::optional<std::int64_t> qbsimToCents(double value);
// A valid YYYY-MM-DD calendar date.
bool qbsimIsDate(const std::string& text);
// Seconds since the epoch of a DATETIMETYPE text (local time when it has no offset).
std::optional<std::int64_t> qbsimParseDateTime(const std::string& text);
// The bounds of a date-time range filter (ModifiedDateRangeFilter, DeletedDateRangeFilter)
// in seconds; an absent or empty bound is empty. Throws 3030 when From is after To.
std::pair<std::optional<std::int64_t>, std::optional<std::int64_t>> qbsimDateTimeRange(
    xmlNodePtr filter, std::string_view fromTag, std::string_view toTag);
// Today's local date as YYYY-MM-DD, and date arithmetic on such texts.
std::string qbsimToday();
std::string qbsimAddDays(const std::string& date, int days);

// Checks the typed fields of a whole request document the way QuickBooks' parser
// does (amounts with two decimals or none, quantities, dates, booleans, GUIDs ...);
// throws CQbSimParseError naming the element and value.
void qbsimCheckValueFormats(xmlNodePtr root);

// Writes a response document with two-space indentation. Inside a Ret opened with
// beginRet and a non-empty include list, top-level elements not on the list are left
// out, which is how IncludeRetElement trims a Ret.
class CQbSimXmlWriter {
public:
    void open(std::string_view tag);
    void openWithAttributes(std::string_view tag,
                            const std::vector<std::pair<std::string, std::string>>& attributes,
                            bool selfClose = false);
    void close();
    void leaf(std::string_view tag, std::string_view text);
    void leaf(std::string_view tag, const std::string& text) { leaf(tag, std::string_view(text)); }
    void leaf(std::string_view tag, const char* text) { leaf(tag, std::string_view(text)); }
    void leaf(std::string_view tag, const std::optional<std::string>& text) {
        if (text) leaf(tag, std::string_view(*text));
    }
    void leafBool(std::string_view tag, bool value) { leaf(tag, value ? "true" : "false"); }
    // A list reference: <Tag><ListID/><FullName/></Tag>.
    void ref(std::string_view tag, const std::string& listId, const std::string& fullName);
    void beginRet(std::string_view tag, const std::set<std::string>* include);
    void endRet();
    void raw(std::string_view text) { out += text; }
    // Indents everything written as if inside `depth` enclosing elements that another
    // writer opens and closes.
    void nest(std::size_t depth) { stack.resize(depth); }

    const std::string& text() const { return out; }
    std::string take() { return std::move(out); }

private:
    bool suppressed(std::string_view tag);
    void indent();

    std::string out;
    std::vector<std::string> stack;
    const std::set<std::string>* include = nullptr;
    std::size_t retDepth = 0;
    std::size_t suppressDepth = 0;  // stack size at which suppression began, 0 = none
};

std::string qbsimEscape(std::string_view text);
