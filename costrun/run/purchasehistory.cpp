#include "purchasehistory.h"

#include <cinttypes>

#include "changesbehind.h"
#include "files.h"
#include "qbutils.h"
#include "seenrecord.h"
#include "tabfile.h"

namespace {

// The file's first line names what it is and its layout; a file of another layout is
// not read.
constexpr const char* kFormatTag = "#Lotwise purchase history";
constexpr const char* kFormatVersion = "2";
constexpr const char* kCompanyTag = "#Company";
constexpr const char* kFirstRunTag = "#LastExecTime";
constexpr const char* kStartTag = "#StartDate";
constexpr const char* kUpToTag = "#UpTo";
constexpr const char* kReadAtTag = "#ReadAt";
constexpr const char* kStampTag = "#LastRunTime";
constexpr const char* kMovedTag = "#ValuesMovedFrom";
// The last line: the number of records, so that a file cut at a line's end is known.
constexpr const char* kEndTag = "#End";

// A record's lines: the transaction, then its receiving lines and its value changes.
constexpr const char* kRecordTag = "T";
constexpr const char* kLineTag = "L";
constexpr const char* kValueTag = "V";

std::string flag(bool value) { return value ? "1" : "0"; }

std::optional<bool> readFlag(const std::string& text) {
    if (text == "1") return true;
    if (text == "0") return false;
    return std::nullopt;
}

std::optional<long long> readWhole(const std::string& text) {
    const std::optional<double> number = readNumber(text);
    if (!number || *number != static_cast<double>(static_cast<long long>(*number))) return std::nullopt;
    return static_cast<long long>(*number);
}

std::string recordText(const CReceiptRecord& record) {
    std::string text = kRecordTag;
    auto add = [&text](const std::string& field) {
        text += '\t';
        text += field;
    };
    add(std::to_string(record.txnTypeCode));
    add(escapedField(record.txnId));
    add(std::to_string(record.txnNumber));
    add(record.txnDate ? std::to_string(record.txnDate->seconds()) : std::string());
    add(escapedField(record.txnDateText));
    add(escapedField(record.refNumber));
    add(escapedField(record.editSequence));
    add(flag(record.isPending));
    add(exactText(record.exchangeRate));
    add(escapedField(record.assembly));
    add(exactText(record.quantityToBuild));
    add(record.buildValue.value ? exactText(*record.buildValue.value) : std::string());
    add(flag(record.buildValue.stored));
    add(escapedField(record.assemblyId));
    text += '\n';
    for (const CReceiptLine& line : record.lines) {
        text += std::string(kLineTag) + '\t' + escapedField(line.item) + '\t' + exactText(line.quantity) + '\t' +
                exactText(line.amount) + '\t' + escapedField(line.unit.name) + '\t' +
                escapedField(line.unit.setListId) + '\t' + escapedField(line.unit.setName) + '\t' +
                flag(line.isReturn) + '\t' + escapedField(line.itemId) + '\t' + flag(line.unit.setKept) + '\n';
    }
    for (const CReceiptValueChange& change : record.valueChanges) {
        text += std::string(kValueTag) + '\t' + escapedField(change.item) + '\t' + exactText(change.amount) + '\t' +
                flag(change.onUnitsBefore) + '\t' + escapedField(change.itemId) + '\n';
    }
    return text;
}

// Reads the lines of the file into the records; false at the first line it cannot read.
class CHistoryReader {
public:
    std::vector<CReceiptRecord> records;
    std::vector<std::pair<std::string, std::string>> header;
    std::optional<long long> endCount;
    bool whole = true;

    void take(const std::string& text) {
        if (!whole) return;
        if (endCount) {  // nothing follows the end
            whole = false;
            return;
        }
        const std::vector<std::string> fields = tabFields(text);
        if (!fields.empty() && !fields[0].empty() && fields[0][0] == '#') {
            if (fields.size() != 2) {
                whole = false;
            } else if (fields[0] == kEndTag) {
                endCount = readWhole(fields[1]);
                whole = endCount.has_value();
            } else {
                header.emplace_back(fields[0], fields[1]);
            }
            return;
        }
        if (fields[0] == kRecordTag) {
            whole = takeRecord(fields);
        } else if (fields[0] == kLineTag && !records.empty()) {
            whole = takeLine(fields, records.back());
        } else if (fields[0] == kValueTag && !records.empty()) {
            whole = takeValueChange(fields, records.back());
        } else {
            whole = false;
        }
    }

private:
    bool takeRecord(const std::vector<std::string>& fields) {
        if (fields.size() != 15) return false;
        CReceiptRecord record;
        const std::optional<long long> code = readWhole(fields[1]);
        const std::optional<std::string> id = unescapedField(fields[2]);
        const std::optional<long long> number = readWhole(fields[3]);
        const std::optional<long long> date = fields[4].empty() ? std::optional<long long>(0) : readWhole(fields[4]);
        const std::optional<std::string> dateText = unescapedField(fields[5]);
        const std::optional<std::string> refNumber = unescapedField(fields[6]);
        const std::optional<std::string> editSequence = unescapedField(fields[7]);
        const std::optional<bool> pending = readFlag(fields[8]);
        const std::optional<double> rate = readNumber(fields[9]);
        const std::optional<std::string> assembly = unescapedField(fields[10]);
        const std::optional<double> toBuild = readNumber(fields[11]);
        const std::optional<double> value = fields[12].empty() ? std::optional<double>(0.0) : readNumber(fields[12]);
        const std::optional<bool> stored = readFlag(fields[13]);
        const std::optional<std::string> assemblyId = unescapedField(fields[14]);
        if (!assemblyId || !code || !id || id->empty() || !number || !date || !dateText || !refNumber || !editSequence || !pending ||
            !rate || !assembly || !toBuild || !value || !stored || txnKind(static_cast<int>(*code)) == nullptr)
            return false;
        record.txnTypeCode = static_cast<int>(*code);
        record.txnId = *id;
        record.txnNumber = *number;
        if (!fields[4].empty()) record.txnDate = CDateTime(*date);
        record.txnDateText = *dateText;
        record.refNumber = *refNumber;
        record.editSequence = *editSequence;
        record.isPending = *pending;
        record.exchangeRate = *rate;
        record.assembly = *assembly;
        record.assemblyId = *assemblyId;
        record.quantityToBuild = *toBuild;
        if (!fields[12].empty()) record.buildValue.value = *value;
        record.buildValue.stored = *stored;
        records.push_back(std::move(record));
        return true;
    }

    static bool takeLine(const std::vector<std::string>& fields, CReceiptRecord& record) {
        if (fields.size() != 10) return false;
        const std::optional<std::string> item = unescapedField(fields[1]);
        const std::optional<double> quantity = readNumber(fields[2]);
        const std::optional<double> amount = readNumber(fields[3]);
        const std::optional<std::string> unit = unescapedField(fields[4]);
        const std::optional<std::string> setListId = unescapedField(fields[5]);
        const std::optional<std::string> setName = unescapedField(fields[6]);
        const std::optional<bool> isReturn = readFlag(fields[7]);
        const std::optional<std::string> itemId = unescapedField(fields[8]);
        const std::optional<bool> setKept = readFlag(fields[9]);
        if (!itemId || !setKept || !item || !quantity || !amount || !unit || !setListId || !setName || !isReturn) return false;
        CReceiptLine line;
        line.item = *item;
        line.itemId = *itemId;
        line.quantity = *quantity;
        line.amount = *amount;
        line.unit = {*unit, *setListId, *setName, *setKept};
        line.isReturn = *isReturn;
        // The items going back to the vendor are those of the return lines, in line order.
        if (line.isReturn) record.returnedItems.push_back(line.item);
        record.lines.push_back(std::move(line));
        return true;
    }

    static bool takeValueChange(const std::vector<std::string>& fields, CReceiptRecord& record) {
        if (fields.size() != 5) return false;
        const std::optional<std::string> item = unescapedField(fields[1]);
        const std::optional<double> amount = readNumber(fields[2]);
        const std::optional<bool> before = readFlag(fields[3]);
        const std::optional<std::string> itemId = unescapedField(fields[4]);
        if (!item || !amount || !before || !itemId) return false;
        record.valueChanges.push_back({*item, *amount, *before, *itemId});
        return true;
    }
};

}  // namespace

std::string CPurchaseHistory::pathBeside(const std::string& recordPath) {
    return CSeenRecord::pathBeside(recordPath, "purchases-", ".txt");
}

bool CPurchaseHistory::take(const std::string& path, const CIdentity& identity,
                            const std::optional<CDateTime>& lastRunTime, const CDateTime& now, std::string& why) {
    holding = false;
    kept.clear();
    why.clear();
    CHistoryReader reader;
    bool cutShort = false;
    if (path.empty() || !readLines(path, [&reader](const std::string& line) { reader.take(line); }, &cutShort)) {
        why = "no purchase history was kept";
        return false;
    }
    // Taken: whatever becomes of this run, the file no longer stands for QuickBooks' books.
    removeFile(path);
    auto field = [&reader](const char* tag) -> std::string {
        for (const auto& [name, value] : reader.header) {
            if (name == tag) return value;
        }
        return {};
    };
    const std::optional<CDateTime> readTime = readDateTimeText(field(kReadAtTag));
    const std::optional<CDateTime> to = readDateText(field(kUpToTag));
    const std::optional<CDateTime> stamp = readDateTimeText(field(kStampTag));
    const std::optional<std::string> company = unescapedField(field(kCompanyTag));
    const std::string movedText = field(kMovedTag);
    const std::optional<CDateTime> moved = readDateText(movedText);
    const CDateTime listedFrom = now.addSeconds(-static_cast<long>(CChangesBehind::kDeletionsListedDays) * 24 * 60 * 60 +
                                               CChangesBehind::kContentMarginSeconds);
    if (!reader.whole || cutShort || !reader.endCount || *reader.endCount != static_cast<long long>(reader.records.size()) ||
        field(kFormatTag) != kFormatVersion || !readTime || !to || !company || (!movedText.empty() && !moved)) {
        why = "the kept purchase history is incomplete or unreadable";
    } else if (*company != identity.company || field(kFirstRunTag) != identity.firstRun) {
        why = "the kept purchase history belongs to another company file";
    } else if (field(kStartTag) != identity.startDate) {
        why = "the kept purchase history was read from another start date";
    } else if (!stamp || !lastRunTime || stamp->seconds() != lastRunTime->seconds()) {
        why = "the kept purchase history is not that of the last run";
    } else if (*readTime < listedFrom) {
        why = "the kept purchase history is older than QuickBooks lists deleted transactions";
    }
    if (!why.empty()) return false;
    owner = identity;
    readFrom = *readTime;
    heldTo = *to;
    movedFrom = moved;
    kept = std::move(reader.records);
    holding = true;
    return true;
}

void CPurchaseHistory::hold(const CIdentity& identity, const CReceiptRecords& records, const CDateTime& readAt,
                            const CDateTime& upTo, const CDateTime& valuesMoveFrom) {
    owner = identity;
    readFrom = readAt;
    heldTo = upTo;
    movedFrom = valuesMoveFrom;
    kept.assign(records.begin(), records.end());
    holding = true;
}

void CPurchaseHistory::valuesMovedOn(const CDateTime& date) {
    if (!movedFrom || date < *movedFrom) movedFrom = date;
}

void CPurchaseHistory::readAgain(const std::set<std::string>& buildTxnIds) {
    // An EditSequence QuickBooks never gives tells the next run that the record differs.
    for (CReceiptRecord& record : kept) {
        if (record.txnTypeCode == kTxnBuildAssembly && buildTxnIds.count(record.txnId) != 0) record.editSequence.clear();
    }
}

bool CPurchaseHistory::save(const std::string& path, const CDateTime& lastRunTime) const {
    if (path.empty() || !holding) return false;
    std::string text;
    text += std::string(kFormatTag) + '\t' + kFormatVersion + '\n';
    text += std::string(kCompanyTag) + '\t' + escapedField(owner.company) + '\n';
    text += std::string(kFirstRunTag) + '\t' + oneLine(owner.firstRun) + '\n';
    text += std::string(kStartTag) + '\t' + oneLine(owner.startDate) + '\n';
    text += std::string(kUpToTag) + '\t' + dateText(heldTo) + '\n';
    text += std::string(kReadAtTag) + '\t' + zoneDateTimeText(readFrom) + '\n';
    text += std::string(kStampTag) + '\t' + zoneDateTimeText(lastRunTime) + '\n';
    text += std::string(kMovedTag) + '\t' + dateText(movedFrom) + '\n';
    for (const CReceiptRecord& record : kept) text += recordText(record);
    text += std::string(kEndTag) + '\t' + std::to_string(kept.size()) + '\n';
    if (replaceFile(path, text)) return true;
    removeFile(path);
    return false;
}
