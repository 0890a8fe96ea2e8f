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

#include <cstdlib>
#include <fstream>
#include <map>
#include <iostream>
#include <regex>
#include <sstream>

namespace {

int usage() {
    std::cerr << "usage: qbsim create FILE --name NAME [--multicurrency] [--units-of-measure]\n"
                 "                    [--fifo-preference [YYYY-MM-DD]]\n"
                 "                    [--closing-date YYYY-MM-DD]\n"
                 "                    [--edition pro|premier|enterprise] [--inventory-sites]\n"
                 "                    [--enhanced-receiving] [--serial-numbers | --lot-numbers]\n"
                 "       qbsim load FILE REQUESTS.xml... [--schema XSD]\n"
                 "       qbsim request FILE REQUEST.xml [--schema XSD]\n"
                 "       qbsim multiuser FILE on|off\n"
                 "       qbsim valuation FILE --date YYYY-MM-DD [--type Inventory|Assembly]\n"
                 "       qbsim generate FILE --items N --assemblies M --days D --seed S [--per-day T]\n"
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string schemaPath = qbsimSchemaPath();
    std::string name, date, type;
    std::map<std::string, std::string> numbers;
    bool multiCurrency = false, units = false, haveName = false, once = false, fifo = false;
    std::string fifoDate;
    std::string closingDate;
    CQbSimCompanyOptions editionOptions;
    std::string port = "0";
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--schema" && i + 1 < args.size()) {
            schemaPath = args[++i];
        } else if (args[i] == "--name" && i + 1 < args.size()) {
            name = args[++i];
            haveName = true;
        } else if (args[i] == "--date" && i + 1 < args.size()) {
            date = args[++i];
        } else if (args[i] == "--type" && i + 1 < args.size()) {
            type = args[++i];
        } else if ((args[i] == "--items" || args[i] == "--assemblies" || args[i] == "--days" ||
                    args[i] == "--seed" || args[i] == "--per-day") &&
                   i + 1 < args.size()) {
            numbers[args[i]] = args[i + 1];
            ++i;
        } else if (args[i] == "--port" && i + 1 < args.size()) {
            port = args[++i];
        } else if (args[i] == "--once") {
            once = true;
        } else if (args[i] == "--multicurrency") {
            multiCurrency = true;
        } else if (args[i] == "--units-of-measure") {
            units = true;
        } else if (args[i] == "--fifo-preference") {
            fifo = true;
            // The effective date is optional: the next argument is it when it looks like one.
            static const std::regex dateLike(R"(\d{4}-\d{2}-\d{2})");
            if (i + 1 < args.size() && std::regex_match(args[i + 1], dateLike)) fifoDate = args[++i];
        } else if (args[i] == "--closing-date" && i + 1 < args.size()) {
            closingDate = args[++i];
        } else if (args[i] == "--edition" && i + 1 < args.size()) {
            editionOptions.edition = args[++i];
        } else if (args[i] == "--inventory-sites") {
            editionOptions.inventorySites = true;
        } else if (args[i] == "--enhanced-receiving") {
            editionOptions.enhancedReceiving = true;
        } else if (args[i] == "--serial-numbers" || args[i] == "--lot-numbers") {
            const std::string tracking = args[i] == "--serial-numbers" ? "SerialNumber" : "LotNumber";
            if (editionOptions.serialOrLot != "None" && editionOptions.serialOrLot != tracking) return usage();
            editionOptions.serialOrLot = tracking;
        } else if (args[i].rfind("--", 0) == 0) {
            return usage();
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() < 2) return usage();
    const std::string command = positional[0];
    const std::string file = positional[1];
    try {
        if (command == "create") {
            if (!haveName || positional.size() != 2) return usage();
            CQbSimCompanyOptions options = editionOptions;
            options.name = name;
            options.multiCurrency = multiCurrency;
            options.unitsOfMeasure = units;
            options.fifo = fifo;
            options.fifoEffectiveDate = fifoDate;
            options.closingDate = closingDate;
            CQbSimCompany::create(file, options);
            return 0;
        }
        if (command == "multiuser") {
            if (positional.size() != 3 || (positional[2] != "on" && positional[2] != "off")) return usage();
            CQbSimCompany::open(file)->setOpenInMultiUser(positional[2] == "on");
            return 0;
        }
        if (command == "valuation") {
            if (positional.size() != 2 || date.empty()) return usage();
            if (!qbsimIsDate(date)) return failure("invalid date \"" + date + "\" (use YYYY-MM-DD)");
            if (!type.empty() && type != "Inventory" && type != "Assembly")
                return failure("invalid type \"" + type + "\" (use Inventory or Assembly)");
            auto company = CQbSimCompany::open(file);
            CQbSimEngine engine(*company, nullptr);
            const auto kinds = CQbSimEngine::valuationKinds(type.empty() ? std::nullopt
                                                                         : std::optional<std::string>(type));
            for (const auto& row : engine.valuationSummary(date, kinds)) {
                if (row.kind != CQbSimEngine::CValuationRow::Data) continue;
                std::cout << csvField(row.fullName) << ',' << qbsimQuantityText(row.quantity) << ','
                          << qbsimAmountText(row.valueCents) << "\r\n";
            }
            return 0;
        }
        if (command == "generate") {
            const bool perDayGiven = numbers.count("--per-day") != 0;
            if (positional.size() != 2 || numbers.size() != (perDayGiven ? 5u : 4u)) return usage();
            CQbSimGeneratorOptions options;
            const auto items = count(numbers["--items"]), assemblies = count(numbers["--assemblies"]),
                       days = count(numbers["--days"]), seed = count(numbers["--seed"]);
            if (!items || !assemblies || !days || !seed || *items < 1 || *items > 100000 ||
                *assemblies > 10000 || *days < 1 || *days > 3660)
                return failure("--items (1..100000), --assemblies (0..10000), --days (1..3660) and --seed "
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
            qbsimGenerateCompany(file, options);
            return 0;
        }
        if (command == "serve") {
            const auto number = count(port);
            if (positional.size() != 2) return usage();
            if (!number || *number > 65535) return failure("--port takes a whole number (0..65535)");
            return serve(file, schemaPath, static_cast<int>(*number), once);
        }
        if (command != "load" && command != "request") return usage();
        if (positional.size() < 3 || (command == "request" && positional.size() != 3)) return usage();
        auto company = CQbSimCompany::open(file);
        std::shared_ptr<const CQbSimSchema> schema;
        if (!schemaPath.empty()) schema = CQbSimSchema::load(schemaPath);
        CQbSimEngine engine(*company, schema);
        if (command == "request") {
            std::string response, error;
            if (!send(engine, positional[2], response, error)) return failure(error);
            std::cout << response;
            return 0;
        }
        static const std::regex status(
            R"re(<(\w+)Rs\b[^>]*?statusCode="(\d+)"[^>]*?statusMessage="([^"]*)")re");
        for (std::size_t i = 2; i < positional.size(); ++i) {
            std::string response, error;
            if (!send(engine, positional[i], response, error)) return failure(error);
            for (std::sregex_iterator it(response.begin(), response.end(), status), end; it != end; ++it) {
                if ((*it)[2] != "0")
                    return failure(positional[i] + ": " + (*it)[1].str() + "Rq failed with status " +
                                   (*it)[2].str() + ": " + unescape((*it)[3].str()));
            }
        }
        return 0;
    } catch (const std::exception& e) {
        return failure(e.what());
    }
}
