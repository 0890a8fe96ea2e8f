// The qbsim command-line tool: creates stand-in company files, loads qbXML request
// documents into them and answers single requests, for scripts, the demo and people.
//
//   qbsim create FILE --name NAME [--multicurrency] [--units-of-measure]
//                     [--fifo-preference [YYYY-MM-DD]]
//                                     --fifo-preference: QuickBooks' own FIFO costing is
//                                     on, from the date given or the creation date
//                     [--closing-date YYYY-MM-DD]
//                                     --closing-date: transactions dated on or before it
//                                     cannot be added, changed or deleted
//                     [--edition pro|premier|enterprise] [--inventory-sites]
//                     [--enhanced-receiving] [--serial-numbers | --lot-numbers]
//                                     the edition QuickBooks behaves as (enterprise by
//                                     default; pro has no assemblies) and, in enterprise,
//                                     its Advanced Inventory preferences
//                     [--inactive-items-hidden]
//                                     the valuation summary leaves inactive items out,
//                                     even those with stock on hand
//   qbsim load FILE REQUESTS.xml...   send every document; stop at the first non-zero status
//   qbsim request FILE REQUEST.xml    print the response document
//   qbsim multiuser FILE on|off       mark the file as open (or no longer open) in
//                                     multi-user mode by another QuickBooks user
//   qbsim valuation FILE --date YYYY-MM-DD [--type Inventory|Assembly]
//                                     the valuation summary's item rows as CSV:
//                                     full name,quantity,value
//   qbsim generate FILE --items N --assemblies M --days D --seed S [--per-day T]
//                                     a synthetic company for benchmarks and soak tests
//                                     (T transactions a day; 20 + N / 40 by default)
//   qbsim receive-bill FILE TXNID [--date YYYY-MM-DD] [--keep-date] [--amount LINE=AMOUNT ...]
//                                     "Enter Bill for Received Items": the item receipt
//                                     becomes a bill under the same TxnID, dated --date
//                                     (today when not given) or, with --keep-date, the
//                                     receipt's date; --amount gives item line LINE (counted
//                                     from 1 as the receipt lists its item lines, those
//                                     inside a group included) a new amount
//   qbsim merge-items FILE FROM INTO  the item list's merge (FROM renamed to INTO's full
//                                     name and the merge confirmed): FROM's transaction
//                                     lines name INTO, FROM leaves the list and the
//                                     deletion log lists it; both must be of one type
//   qbsim serve FILE [--port N] [--once]
//                                     answer the request processor's calls for FILE on
//                                     127.0.0.1:N (0, the default, picks a free port) over
//                                     the exchange described in qbsimserve.h; prints
//                                     "listening on 127.0.0.1:PORT", serves one connection
//                                     at a time until SIGTERM/SIGINT or, with --once, the
//                                     end of the first connection
//
// --schema PATH (or QBSIM_SCHEMA) validates requests against Intuit's qbXML schema.
// Exit code 0 on success; otherwise non-zero with a one-line reason on stderr.
#include "qbsimengine.h"
#include "qbsimgenerator.h"
#include "qbsimprocessor.h"
#ifndef _WIN32
#include "qbsimserve.h"

#include <csignal>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <iostream>
#include <regex>
#include <sstream>

#include <CLI/CLI.hpp>

namespace {

int usage() {
    std::cerr << "usage: qbsim create FILE --name NAME [--multicurrency] [--units-of-measure]\n"
                 "                    [--fifo-preference [YYYY-MM-DD]]\n"
                 "                    [--closing-date YYYY-MM-DD]\n"
                 "                    [--edition pro|premier|enterprise] [--inventory-sites]\n"
                 "                    [--enhanced-receiving] [--serial-numbers | --lot-numbers]\n"
                 "                    [--inactive-items-hidden]\n"
                 "       qbsim load FILE REQUESTS.xml... [--schema XSD]\n"
                 "       qbsim request FILE REQUEST.xml [--schema XSD]\n"
                 "       qbsim multiuser FILE on|off\n"
                 "       qbsim valuation FILE --date YYYY-MM-DD [--type Inventory|Assembly]\n"
                 "       qbsim generate FILE --items N --assemblies M --days D --seed S [--per-day T]\n"
                 "       qbsim receive-bill FILE TXNID [--date YYYY-MM-DD] [--keep-date]\n"
                 "                    [--amount LINE=AMOUNT ...]\n"
                 "       qbsim merge-items FILE FROM INTO\n"
                 "       qbsim serve FILE [--port N] [--once] [--schema XSD]\n";
    return 2;
}

int failure(const std::string& reason) {
    std::cerr << "qbsim: " << reason << "\n";
    return 1;
}

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

// Sends one document; on success leaves the response in `response`.
bool send(CQbSimEngine& engine, const std::string& path, std::string& response, std::string& error) {
    std::string request;
    if (!readFile(path, request)) {
        error = "cannot read \"" + path + "\"";
        return false;
    }
    try {
        response = engine.processRequest(request);
        return true;
    } catch (const CQbSimParseError& e) {
        error = path + ": " + kQbSimParseDescription + " (0x80040400: " + e.what() + ")";
    } catch (const std::exception& e) {
        error = path + ": " + e.what();
    }
    return false;
}

// RFC 4180: a field with a comma, quote or line break is quoted, quotes doubled.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// A whole non-negative number, or nothing.
std::optional<long long> count(const std::string& text) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(text);
}

std::string unescape(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
            text.replace(at, std::string(from).size(), to);
    return text;
}

#ifndef _WIN32
CQbSimServer* runningServer = nullptr;

extern "C" void stopServer(int) {
    if (runningServer) runningServer->stop();
}

int serve(const std::string& file, const std::string& schemaPath, int port, bool once) {
    // Fails here, before a port is printed, for a file that is not a company.
    CQbSimCompany::open(file);
    // The processors read the schema path when their sessions begin.
    if (!schemaPath.empty()) ::setenv("QBSIM_SCHEMA", schemaPath.c_str(), 1);
    CQbSimServer server(file);
    const int bound = server.listen(port);
    runningServer = &server;
    struct sigaction action {};
    action.sa_handler = stopServer;  // no SA_RESTART: a wait in progress ends early
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::cout << "listening on 127.0.0.1:" << bound << std::endl;
    server.serve(once);
    runningServer = nullptr;
    return 0;
}
#else
int serve(const std::string&, const std::string&, int, bool) {
    return failure("serve is available on POSIX systems only");
}
#endif

// What the command line gives: the command and its operands, and every option. Each
// command reads the options it needs and leaves the others alone.
struct CToolArguments {
    std::vector<std::string> positional;  // the command, the file, then its operands
    std::string schemaPath = qbsimSchemaPath();
    bool haveName = false;
    CQbSimCompanyOptions company;  // create's options, the name included
    std::string date;
    std::string type;
    std::map<std::string, std::string> numbers;  // generate's options that were given
    std::string port = "0";
    bool once = false;
    bool keepDate = false;
    std::vector<std::string> amounts;  // receive-bill's LINE=AMOUNT, in the order given
};

bool dateLike(const std::string& text) {
    static const std::regex date(R"(\d{4}-\d{2}-\d{2})");
    return std::regex_match(text, date);
}

// --fifo-preference's date is optional: the next argument is it when it looks like one,
// and is joined to it ("--fifo-preference=DATE") so that no other argument is taken.
std::vector<std::string> joinFifoDates(std::vector<std::string> args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--fifo-preference" && dateLike(args[i + 1])) {
            args[i] += "=" + args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
    }
    return args;
}

// Reads the arguments; false for a usage error.
bool parseArguments(const std::vector<std::string>& args, CToolArguments& a) {
    CLI::App app("qbsim");
    app.set_help_flag();
    // An option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--schema", a.schemaPath);
    app.add_option("--name", a.company.name);
    app.add_option("--date", a.date);
    app.add_option("--type", a.type);
    for (const char* number : {"--items", "--assemblies", "--days", "--seed", "--per-day"}) {
        app.add_option_function<std::string>(
            number, [&a, number](const std::string& value) { a.numbers[number] = value; });
    }
    app.add_option("--port", a.port);
    app.add_flag("--once", a.once);
    app.add_flag("--keep-date", a.keepDate);
    app.add_option("--amount", a.amounts)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--multicurrency", a.company.multiCurrency);
    app.add_flag("--units-of-measure", a.company.unitsOfMeasure);
    CLI::Option* fifo = app.add_flag("--fifo-preference{}", a.company.fifoEffectiveDate);
    app.add_option("--closing-date", a.company.closingDate);
    app.add_option("--edition", a.company.edition);
    app.add_flag("--inventory-sites", a.company.inventorySites);
    app.add_flag("--enhanced-receiving", a.company.enhancedReceiving);
    app.add_flag("--inactive-items-hidden", a.company.inactiveItemsHidden);
    CLI::Option* serial = app.add_flag("--serial-numbers");
    CLI::Option* lot = app.add_flag("--lot-numbers")->excludes(serial);
    app.add_option("operands", a.positional)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed = joinFifoDates(args);
    std::reverse(reversed.begin(), reversed.end());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError&) {
        return false;
    }
    std::reverse(a.amounts.begin(), a.amounts.end());
    a.haveName = app.count("--name") > 0;
    a.company.fifo = fifo->count() > 0;
    if (serial->count() > 0) a.company.serialOrLot = "SerialNumber";
    if (lot->count() > 0) a.company.serialOrLot = "LotNumber";
    return a.company.fifoEffectiveDate.empty() || dateLike(a.company.fifoEffectiveDate);
}

int create(const CToolArguments& a) {
    if (!a.haveName || a.positional.size() != 2) return usage();
    CQbSimCompany::create(a.positional[1], a.company);
    return 0;
}

int multiuser(const CToolArguments& a) {
    const std::vector<std::string>& p = a.positional;
    if (p.size() != 3 || (p[2] != "on" && p[2] != "off")) return usage();
    CQbSimCompany::open(p[1])->setOpenInMultiUser(p[2] == "on");
    return 0;
}

int valuation(const CToolArguments& a) {
    if (a.positional.size() != 2 || a.date.empty()) return usage();
    if (!qbsimIsDate(a.date)) return failure("invalid date \"" + a.date + "\" (use YYYY-MM-DD)");
    if (!a.type.empty() && a.type != "Inventory" && a.type != "Assembly")
        return failure("invalid type \"" + a.type + "\" (use Inventory or Assembly)");
    auto company = CQbSimCompany::open(a.positional[1]);
    CQbSimEngine engine(*company, nullptr);
    const auto kinds = CQbSimEngine::valuationKinds(
        a.type.empty() ? std::nullopt : std::optional<std::string>(a.type));
    for (const auto& row : engine.valuationSummary(a.date, kinds)) {
        if (row.kind != CQbSimEngine::CValuationRow::Data) continue;
        std::cout << csvField(row.fullName) << ',' << qbsimQuantityText(row.quantity) << ','
                  << qbsimAmountText(row.valueCents) << "\r\n";
    }
    return 0;
}

int generate(const CToolArguments& a) {
    std::map<std::string, std::string> numbers = a.numbers;
    const bool perDayGiven = numbers.count("--per-day") != 0;
    if (a.positional.size() != 2 || numbers.size() != (perDayGiven ? 5u : 4u)) return usage();
    CQbSimGeneratorOptions options;
    const auto items = count(numbers["--items"]), assemblies = count(numbers["--assemblies"]),
               days = count(numbers["--days"]), seed = count(numbers["--seed"]);
    if (!items || !assemblies || !days || !seed || *items < 1 || *items > 100000 ||
        *assemblies > 10000 || *days < 1 || *days > 3660)
        return failure(
            "--items (1..100000), --assemblies (0..10000), --days (1..3660) and --seed "
            "take whole numbers");
    options.items = static_cast<int>(*items);
    options.assemblies = static_cast<int>(*assemblies);
    options.days = static_cast<int>(*days);
    options.seed = static_cast<std::uint64_t>(*seed);
    if (perDayGiven) {
        const auto perDay = count(numbers["--per-day"]);
        if (!perDay || *perDay < 1 || *perDay > 10000)
            return failure("--per-day takes a whole number (1..10000)");
        options.transactionsPerDay = static_cast<int>(*perDay);
    }
    qbsimGenerateCompany(a.positional[1], options);
    return 0;
}

int receiveBill(const CToolArguments& a) {
    if (a.positional.size() != 3 || (a.keepDate && !a.date.empty())) return usage();
    CQbSimBillForReceipt bill;
    bill.date = a.date;
    bill.keepReceiptDate = a.keepDate;
    if (!bill.date.empty() && !qbsimIsDate(bill.date))
        return failure("invalid date \"" + bill.date + "\" (use YYYY-MM-DD)");
    static const std::regex lineAmount(R"((\d{1,6})=(-?\d{1,12}(\.\d{2})?))");
    for (const std::string& given : a.amounts) {
        std::smatch m;
        if (!std::regex_match(given, m, lineAmount) || std::stoi(m[1].str()) < 1)
            return failure("invalid --amount \"" + given + "\" (use LINE=AMOUNT, e.g. 2=150.00)");
        bill.amounts[std::stoi(m[1].str())] = static_cast<double>(qbsimParseAmount(m[2].str())) / 100.0;
    }
    qbsimEnterBillForReceivedItems(a.positional[1], a.positional[2], bill);
    return 0;
}

int mergeItems(const CToolArguments& a) {
    if (a.positional.size() != 4) return usage();
    qbsimMergeItems(a.positional[1], a.positional[2], a.positional[3]);
    return 0;
}

int serveCommand(const CToolArguments& a) {
    const auto number = count(a.port);
    if (a.positional.size() != 2) return usage();
    if (!number || *number > 65535) return failure("--port takes a whole number (0..65535)");
    return serve(a.positional[1], a.schemaPath, static_cast<int>(*number), a.once);
}

// load and request: sends each document; load stops at the first non-zero status.
int sendDocuments(const CToolArguments& a) {
    const std::vector<std::string>& p = a.positional;
    const bool request = p[0] == "request";
    if (p.size() < 3 || (request && p.size() != 3)) return usage();
    auto company = CQbSimCompany::open(p[1]);
    std::shared_ptr<const CQbSimSchema> schema;
    if (!a.schemaPath.empty()) schema = CQbSimSchema::load(a.schemaPath);
    CQbSimEngine engine(*company, schema);
    static const std::regex status(
        R"re(<(\w+)Rs\b[^>]*?statusCode="(\d+)"[^>]*?statusMessage="([^"]*)")re");
    for (std::size_t i = 2; i < p.size(); ++i) {
        std::string response, error;
        if (!send(engine, p[i], response, error)) return failure(error);
        if (request) {
            std::cout << response;
            return 0;
        }
        for (std::sregex_iterator it(response.begin(), response.end(), status), end; it != end;
             ++it) {
            if ((*it)[2] != "0")
                return failure(p[i] + ": " + (*it)[1].str() + "Rq failed with status " +
                               (*it)[2].str() + ": " + unescape((*it)[3].str()));
        }
    }
    return 0;
}

int runCommand(const CToolArguments& a) {
    const std::string& command = a.positional[0];
    if (command == "create") return create(a);
    if (command == "multiuser") return multiuser(a);
    if (command == "valuation") return valuation(a);
    if (command == "generate") return generate(a);
    if (command == "serve") return serveCommand(a);
    if (command == "receive-bill") return receiveBill(a);
    if (command == "merge-items") return mergeItems(a);
    if (command == "load" || command == "request") return sendDocuments(a);
    return usage();
}

}  // namespace

int main(int argc, char** argv) {
    CToolArguments arguments;
    if (!parseArguments({argv + 1, argv + argc}, arguments) || arguments.positional.size() < 2)
        return usage();
    try {
        return runCommand(arguments);
    } catch (const std::exception& e) {
        return failure(e.what());
    }
}
