// The qbsim command-line tool: creates stand-in company files, loads qbXML request
// documents into them and answers single requests, for scripts, the demo and people.
//
//   qbsim create FILE --name NAME [--multicurrency] [--units-of-measure]
//   qbsim load FILE REQUESTS.xml...   send every document; stop at the first non-zero status
//   qbsim request FILE REQUEST.xml    print the response document
//   qbsim multiuser FILE on|off       mark the file as open (or no longer open) in
//                                     multi-user mode by another QuickBooks user
//
// --schema PATH (or QBSIM_SCHEMA) validates requests against Intuit's qbXML schema.
// Exit code 0 on success; otherwise non-zero with a one-line reason on stderr.
#include "qbsimengine.h"
#include "qbsimprocessor.h"

#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

namespace {

int usage() {
    std::cerr << "usage: qbsim create FILE --name NAME [--multicurrency] [--units-of-measure]\n"
                 "       qbsim load FILE REQUESTS.xml... [--schema XSD]\n"
                 "       qbsim request FILE REQUEST.xml [--schema XSD]\n"
                 "       qbsim multiuser FILE on|off\n";
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

std::string unescape(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
            text.replace(at, std::string(from).size(), to);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string schemaPath = qbsimSchemaPath();
    std::string name;
    bool multiCurrency = false, units = false, haveName = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--schema" && i + 1 < args.size()) {
            schemaPath = args[++i];
        } else if (args[i] == "--name" && i + 1 < args.size()) {
            name = args[++i];
            haveName = true;
        } else if (args[i] == "--multicurrency") {
            multiCurrency = true;
        } else if (args[i] == "--units-of-measure") {
            units = true;
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
            CQbSimCompany::create(file, {name, multiCurrency, units});
            return 0;
        }
        if (command == "multiuser") {
            if (positional.size() != 3 || (positional[2] != "on" && positional[2] != "off")) return usage();
            CQbSimCompany::open(file)->setOpenInMultiUser(positional[2] == "on");
            return 0;
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
