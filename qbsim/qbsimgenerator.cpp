// The synthetic company: list requests first, an opening purchase of every item, then
// day by day a mix of purchases, sales, credit memos, quantity adjustments and builds.
// The generator keeps its own count of every item's stock, which matches the file's
// because it sees every movement, so it sells only what is there and knows which builds
// QuickBooks will mark pending.
#include "qbsimgenerator.h"

#include "qbsimengine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <regex>
#include <stdexcept>

namespace {

class CGenerator {
public:
    CGenerator(CQbSimEngine& e, const CQbSimGeneratorOptions& o) : engine(e), options(o), random(o.seed) {}

    void run() {
        lists();
        flush();
        std::string day = options.startDate;
        opening(day);
        flush();
        const int perDay =
            options.transactionsPerDay > 0 ? options.transactionsPerDay : 20 + options.items / 40;
        for (int d = 1; d < options.days; ++d) {
            day = qbsimAddDays(day, 1);
            for (int t = 0; t < perDay; ++t) transaction(day);
            flush();
        }
    }

private:
    struct CItem {
        std::string name;
        double cost;
        double price;
        bool assembly;
        std::vector<std::pair<std::size_t, double>> parts;  // stocked components
    };

    int pick(int low, int high) { return low + static_cast<int>(random() % static_cast<std::uint64_t>(high - low + 1)); }
    bool chance(int percent) { return pick(1, 100) <= percent; }
    static std::string money(double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", value);
        return text;
    }
    static std::string ref(const char* tag, const std::string& name) {
        return std::string("<") + tag + "><FullName>" + name + "</FullName></" + tag + ">";
    }
    void add(const std::string& request) {
        batch += request;
        if (++batched >= 200) flush();
    }
    void flush() {
        if (batch.empty()) return;
        const std::string response = engine.processRequest(
            "<?xml version=\"1.0\"?><?qbxml version=\"16.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\">" +
            batch + "</QBXMLMsgsRq></QBXML>");
        batch.clear();
        batched = 0;
        static const std::regex failed(R"re(<(\w+)Rs\b[^>]*?statusCode="([1-9]\d*)"[^>]*?statusMessage="([^"]*)")re");
        std::smatch m;
        if (std::regex_search(response, m, failed))
            throw std::runtime_error(m[1].str() + "Rq failed with status " + m[2].str() + ": " + m[3].str());
    }

    void lists() {
        const std::pair<const char*, const char*> accounts[] = {
            {"Checking", "Bank"},
            {"Sales", "Income"},
            {"Service Income", "Income"},
            {"COGS - Goods", "CostOfGoodsSold"},
            {"COGS - Assemblies", "CostOfGoodsSold"},
            {"COGS - Freight", "CostOfGoodsSold"},
            {"Inventory Asset", "OtherCurrentAsset"},
            {"Inventory Adjustments", "Expense"}};
        for (const auto& [name, type] : accounts)
            add(std::string("<AccountAddRq><AccountAdd><Name>") + name + "</Name><AccountType>" + type +
                "</AccountType></AccountAdd></AccountAddRq>");
        for (const char* c : {"East", "West", "Online"}) {
            add(std::string("<ClassAddRq><ClassAdd><Name>") + c + "</Name></ClassAdd></ClassAddRq>");
            classes.push_back(c);
        }
        add("<ClassAddRq><ClassAdd><Name>Retail</Name>" + ref("ParentRef", "East") + "</ClassAdd></ClassAddRq>");
        classes.push_back("East:Retail");
        char name[64];
        for (int i = 1; i <= 8; ++i) {
            std::snprintf(name, sizeof name, "Vendor %02d", i);
            vendors.push_back(name);
            add(std::string("<VendorAddRq><VendorAdd><Name>") + name + "</Name></VendorAdd></VendorAddRq>");
        }
        for (int i = 1; i <= 25; ++i) {
            std::snprintf(name, sizeof name, "Customer %02d", i);
            customers.push_back(name);
            add(std::string("<CustomerAddRq><CustomerAdd><Name>") + name + "</Name></CustomerAdd></CustomerAddRq>");
        }
        const auto simple = [&](const char* kind, const char* itemName, const char* price, const char* account) {
            add(std::string("<") + kind + "AddRq><" + kind + "Add><Name>" + itemName +
                "</Name><SalesOrPurchase><Price>" + price + "</Price>" + ref("AccountRef", account) +
                "</SalesOrPurchase></" + kind + "Add></" + kind + "AddRq>");
        };
        simple("ItemService", "Assembly Labor", "20.00", "Service Income");
        simple("ItemService", "Testing", "35.00", "Service Income");
        simple("ItemNonInventory", "Packaging", "1.50", "Sales");
        simple("ItemOtherCharge", "Freight", "12.00", "COGS - Freight");

        // Every tenth item heads a family whose next three items are its sub-items.
        std::string family;
        for (int i = 0; i < options.items; ++i) {
            CItem item;
            item.assembly = false;
            item.cost = pick(100, 12000) / 100.0;
            item.price = item.cost * pick(130, 200) / 100.0;
            std::string parent;
            if (i % 10 == 0) {
                std::snprintf(name, sizeof name, "Family %04d", i / 10);
                family = name;
                item.name = family;
            } else {
                std::snprintf(name, sizeof name, "Part %05d", i);
                if (i % 10 <= 3) parent = family;
                item.name = parent.empty() ? name : parent + ":" + name;
            }
            add("<ItemInventoryAddRq><ItemInventoryAdd><Name>" + std::string(i % 10 == 0 ? family : name) + "</Name>" +
                (parent.empty() ? "" : ref("ParentRef", parent)) + "<SalesDesc>" + item.name + "</SalesDesc><SalesPrice>" +
                money(item.price) + "</SalesPrice>" + ref("IncomeAccountRef", "Sales") + "<PurchaseCost>" +
                money(item.cost) + "</PurchaseCost>" + ref("COGSAccountRef", "COGS - Goods") +
                ref("AssetAccountRef", "Inventory Asset") + "</ItemInventoryAdd></ItemInventoryAddRq>");
            items.push_back(item);
        }
        const int inventoryCount = options.items;
        for (int g = 0; g < 3 && inventoryCount >= 3; ++g) {
            std::snprintf(name, sizeof name, "Bundle %d", g + 1);
            std::string lines;
            std::vector<std::pair<std::size_t, double>> members;
            for (int k = 0; k < 3; ++k) {
                const auto member = static_cast<std::size_t>(pick(0, inventoryCount - 1));
                const double q = pick(1, 2);
                members.emplace_back(member, q);
                lines += "<ItemGroupLine>" + ref("ItemRef", items[member].name) + "<Quantity>" +
                         qbsimQuantityText(q) + "</Quantity></ItemGroupLine>";
            }
            add(std::string("<ItemGroupAddRq><ItemGroupAdd><Name>") + name + "</Name>" + lines +
                "</ItemGroupAdd></ItemGroupAddRq>");
            groups.emplace_back(name, members);
        }
        for (int a = 0; a < options.assemblies; ++a) {
            CItem item;
            item.assembly = true;
            std::snprintf(name, sizeof name, "Assembly %04d", a + 1);
            item.name = name;
            std::string lines;
            const int partCount = pick(2, 4);
            item.cost = 0;
            for (int k = 0; k < partCount; ++k) {
                const auto part = static_cast<std::size_t>(pick(0, inventoryCount - 1));
                const double q = pick(1, 3);
                if (std::any_of(item.parts.begin(), item.parts.end(), [&](const auto& p) { return p.first == part; }))
                    continue;
                item.parts.emplace_back(part, q);
                item.cost += items[part].cost * q;
                lines += "<ItemInventoryAssemblyLine>" + ref("ItemInventoryRef", items[part].name) + "<Quantity>" +
                         qbsimQuantityText(q) + "</Quantity></ItemInventoryAssemblyLine>";
            }
            if (a > 0 && chance(30)) {  // a sub-assembly made earlier
                const auto sub = static_cast<std::size_t>(inventoryCount + pick(0, a - 1));
                item.parts.emplace_back(sub, 1);
                item.cost += items[sub].cost;
                lines += "<ItemInventoryAssemblyLine>" + ref("ItemInventoryRef", items[sub].name) +
                         "<Quantity>1</Quantity></ItemInventoryAssemblyLine>";
            }
            if (chance(60))
                lines += "<ItemInventoryAssemblyLine>" + ref("ItemInventoryRef", "Assembly Labor") +
                         "<Quantity>0.5</Quantity></ItemInventoryAssemblyLine>";
            if (chance(20))
                lines += "<ItemInventoryAssemblyLine>" + ref("ItemInventoryRef", "Packaging") +
                         "<Quantity>1</Quantity></ItemInventoryAssemblyLine>";
            item.price = item.cost * 1.8 + 20;
            add("<ItemInventoryAssemblyAddRq><ItemInventoryAssemblyAdd><Name>" + item.name + "</Name><SalesPrice>" +
                money(item.price) + "</SalesPrice>" + ref("IncomeAccountRef", "Sales") +
                ref("COGSAccountRef", "COGS - Assemblies") + ref("AssetAccountRef", "Inventory Asset") + lines +
                "</ItemInventoryAssemblyAdd></ItemInventoryAssemblyAddRq>");
            items.push_back(item);
        }
        stock.assign(items.size(), 0.0);
        inventoryItems = static_cast<std::size_t>(inventoryCount);
    }

    std::string nextRef(const char* prefix) { return prefix + std::to_string(++refNumber); }

    void opening(const std::string& day) {
        for (std::size_t first = 0; first < inventoryItems; first += 10) {
            std::vector<std::pair<std::size_t, double>> lines;
            for (std::size_t i = first; i < std::min(first + 10, inventoryItems); ++i)
                lines.emplace_back(i, pick(50, 200));
            purchase("Bill", day, lines);
        }
    }

    void purchase(const std::string& kind, const std::string& day,
                  const std::vector<std::pair<std::size_t, double>>& lines) {
        const std::string& vendor = vendors[static_cast<std::size_t>(pick(0, static_cast<int>(vendors.size()) - 1))];
        std::string body = kind == "Check" ? ref("AccountRef", "Checking") + ref("PayeeEntityRef", vendor) +
                                                 "<RefNumber>" + nextRef("CK") + "</RefNumber><TxnDate>" + day + "</TxnDate>"
                                           : ref("VendorRef", vendor) + "<TxnDate>" + day + "</TxnDate><RefNumber>" +
                                                 nextRef("P") + "</RefNumber>";
        if (kind == "Bill" && chance(15))
            body += "<ExpenseLineAdd>" + ref("AccountRef", "COGS - Freight") + "<Amount>" + money(pick(500, 5000) / 100.0) +
                    "</Amount></ExpenseLineAdd>";
        for (const auto& [item, quantity] : lines) {
            // Costs drift around the list cost.
            const double cost = items[item].cost * pick(90, 115) / 100.0;
            body += "<ItemLineAdd>" + ref("ItemRef", items[item].name) + "<Quantity>" + qbsimQuantityText(quantity) +
                    "</Quantity><Cost>" + money(cost) + "</Cost>" +
                    ref("ClassRef", classes[static_cast<std::size_t>(pick(0, 3))]) + "</ItemLineAdd>";
            stock[item] += quantity;
        }
        add("<" + kind + "AddRq><" + kind + "Add>" + body + "</" + kind + "Add></" + kind + "AddRq>");
    }

    // Up to `count` different stocked items holding at least `least`.
    std::vector<std::size_t> inStock(int count, double least, bool assemblies) {
        std::vector<std::size_t> chosen;
        const std::size_t pool = assemblies ? items.size() : inventoryItems;
        for (int tries = 0; tries < count * 4 && static_cast<int>(chosen.size()) < count; ++tries) {
            const auto i = static_cast<std::size_t>(pick(0, static_cast<int>(pool) - 1));
            if (stock[i] >= least && std::find(chosen.begin(), chosen.end(), i) == chosen.end()) chosen.push_back(i);
        }
        return chosen;
    }

    void sale(const std::string& kind, const std::string& day) {
        const bool credit = kind == "CreditMemo";
        const bool pending = kind == "Invoice" && chance(2);
        std::string body = ref("CustomerRef", customers[static_cast<std::size_t>(pick(0, 24))]) +
                           ref("ClassRef", classes[static_cast<std::size_t>(pick(0, 3))]) + "<TxnDate>" + day +
                           "</TxnDate><RefNumber>" + nextRef("S") + "</RefNumber>" +
                           (pending ? "<IsPending>true</IsPending>" : "");
        const int lineCount = kind == "Invoice" ? pick(2, 6) : credit ? pick(1, 2) : pick(1, 3);
        for (std::size_t item : inStock(lineCount, 6, true)) {
            const double quantity = pick(1, 5);
            body += "<" + kind + "LineAdd>" + ref("ItemRef", items[item].name) + "<Quantity>" +
                    qbsimQuantityText(quantity) + "</Quantity><Rate>" + money(items[item].price) + "</Rate></" + kind +
                    "LineAdd>";
            if (!pending) stock[item] += credit ? quantity : -quantity;
        }
        if (kind == "Invoice" && !groups.empty() && chance(20)) {
            const auto& [group, members] = groups[static_cast<std::size_t>(pick(0, static_cast<int>(groups.size()) - 1))];
            bool available = true;
            for (const auto& [member, q] : members) available = available && stock[member] >= 2 * q;
            if (available) {
                body += "<InvoiceLineGroupAdd>" + ref("ItemGroupRef", group) + "</InvoiceLineGroupAdd>";
                if (!pending)
                    for (const auto& [member, q] : members) stock[member] -= q;
            }
        }
        if (kind == "Invoice" && chance(10))
            body += "<InvoiceLineAdd>" + ref("ItemRef", "Freight") + "<Amount>15.00</Amount></InvoiceLineAdd>";
        add("<" + kind + "AddRq><" + kind + "Add>" + body + "</" + kind + "Add></" + kind + "AddRq>");
    }

    void quantityAdjustment(const std::string& day) {
        std::string body = ref("AccountRef", "Inventory Adjustments") + "<TxnDate>" + day + "</TxnDate><RefNumber>" +
                           nextRef("A") + "</RefNumber>" + ref("ClassRef", classes[0]) + "<Memo>Cycle count</Memo>";
        for (std::size_t item : inStock(pick(1, 3), 5, false)) {
            const double difference = pick(-3, 2);
            body += "<InventoryAdjustmentLineAdd>" + ref("ItemRef", items[item].name) +
                    "<QuantityAdjustment><QuantityDifference>" + qbsimQuantityText(difference) +
                    "</QuantityDifference></QuantityAdjustment></InventoryAdjustmentLineAdd>";
            stock[item] += difference;
        }
        add("<InventoryAdjustmentAddRq><InventoryAdjustmentAdd>" + body +
            "</InventoryAdjustmentAdd></InventoryAdjustmentAddRq>");
    }

    void build(const std::string& day) {
        if (items.size() == inventoryItems) return;
        const auto which = inventoryItems + static_cast<std::size_t>(pick(0, static_cast<int>(items.size() - inventoryItems) - 1));
        // Now and then more than the parts allow: QuickBooks keeps it as a pending build.
        double quantity = 1000;
        if (!chance(8)) {
            double possible = 4;
            for (const auto& [part, q] : items[which].parts) possible = std::min(possible, std::floor(stock[part] / q));
            if (possible < 1) return;
            quantity = std::min<double>(pick(1, 4), possible);
        }
        bool enough = true;
        for (const auto& [part, q] : items[which].parts) enough = enough && stock[part] + 1e-9 >= q * quantity;
        if (enough) {
            for (const auto& [part, q] : items[which].parts) stock[part] -= q * quantity;
            stock[which] += quantity;
        }
        add("<BuildAssemblyAddRq><BuildAssemblyAdd>" + ref("ItemInventoryAssemblyRef", items[which].name) + "<TxnDate>" +
            day + "</TxnDate><RefNumber>" + nextRef("B") + "</RefNumber><QuantityToBuild>" +
            qbsimQuantityText(quantity) +
            "</QuantityToBuild><MarkPendingIfRequired>true</MarkPendingIfRequired></BuildAssemblyAdd></BuildAssemblyAddRq>");
    }

    void transaction(const std::string& day) {
        const int roll = pick(1, 100);
        if (roll <= 30) {
            // Restock what runs low, else anything.
            std::vector<std::pair<std::size_t, double>> lines;
            for (int k = 0, n = pick(2, 6); k < n; ++k) {
                auto item = static_cast<std::size_t>(pick(0, static_cast<int>(inventoryItems) - 1));
                for (int tries = 0; tries < 5 && stock[item] > 40; ++tries)
                    item = static_cast<std::size_t>(pick(0, static_cast<int>(inventoryItems) - 1));
                if (std::none_of(lines.begin(), lines.end(), [&](const auto& l) { return l.first == item; }))
                    lines.emplace_back(item, pick(10, 60));
            }
            purchase(roll <= 18 ? "Bill" : roll <= 25 ? "ItemReceipt" : "Check", day, lines);
        } else if (roll <= 65) {
            sale("Invoice", day);
        } else if (roll <= 82) {
            sale("SalesReceipt", day);
        } else if (roll <= 86) {
            sale("CreditMemo", day);
        } else if (roll <= 90) {
            quantityAdjustment(day);
        } else {
            build(day);
        }
    }

    CQbSimEngine& engine;
    const CQbSimGeneratorOptions& options;
    std::mt19937_64 random;
    std::string batch;
    int batched = 0;
    int refNumber = 0;
    std::vector<std::string> classes, vendors, customers;
    std::vector<CItem> items;  // inventory items first, then assemblies
    std::size_t inventoryItems = 0;
    std::vector<std::pair<std::string, std::vector<std::pair<std::size_t, double>>>> groups;
    std::vector<double> stock;
};

}  // namespace

void qbsimGenerateCompany(const std::string& path, const CQbSimGeneratorOptions& options) {
    auto company = CQbSimCompany::create(path, {"Generated Company", false, false});
    std::tm start{};
    start.tm_year = std::stoi(options.startDate.substr(0, 4)) - 1900;
    start.tm_mon = std::stoi(options.startDate.substr(5, 2)) - 1;
    start.tm_mday = std::stoi(options.startDate.substr(8, 2));
    company->freezeClock(static_cast<std::int64_t>(timegm(&start)));
    CQbSimEngine engine(*company, nullptr);
    CGenerator(engine, options).run();
}
