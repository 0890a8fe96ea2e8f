// libxml2 schema compilation, caching and validation for request documents.
#include "qbsimschema.h"

#include <libxml/xmlschemas.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace {

std::mutex cacheMutex;
std::optional<std::string> configuredPath;

// Compiling Intuit's schema takes some 70 ms; a process that opens many sessions (a test
// suite opens thousands) would pay it for each, so a schema once compiled is kept until
// the process ends.
std::map<std::string, std::shared_ptr<const CQbSimSchema>>& cache() {
    static std::map<std::string, std::shared_ptr<const CQbSimSchema>> schemas;
    return schemas;
}

void collectFirstError(void* context, const xmlError* error) {
    auto* message = static_cast<std::string*>(context);
    if (!message->empty() || !error || !error->message) return;
    *message = error->message;
    while (!message->empty() && (message->back() == '\n' || message->back() == ' '))
        message->pop_back();
    if (error->line > 0) *message = "line " + std::to_string(error->line) + ": " + *message;
}

void ignoreError(void*, const xmlError*) {}

}  // namespace

std::shared_ptr<const CQbSimSchema> CQbSimSchema::load(const std::string& path) {
    std::lock_guard lock(cacheMutex);
    if (auto cached = cache()[path]) return cached;
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path.c_str());
    if (!parser) throw std::runtime_error("cannot read the qbXML schema \"" + path + "\"");
    xmlSchemaSetParserStructuredErrors(parser, reinterpret_cast<xmlStructuredErrorFunc>(ignoreError),
                                       nullptr);
    xmlSchemaPtr schema = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
    if (!schema) throw std::runtime_error("cannot read the qbXML schema \"" + path + "\"");
    std::shared_ptr<const CQbSimSchema> loaded(new CQbSimSchema(schema));
    cache()[path] = loaded;
    return loaded;
}

CQbSimSchema::~CQbSimSchema() { xmlSchemaFree(compiled); }

std::string CQbSimSchema::validate(_xmlDoc* doc) const {
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(compiled);
    if (!context) return "cannot create a schema validation context";
    std::string message;
    xmlSchemaSetValidStructuredErrors(
        context, reinterpret_cast<xmlStructuredErrorFunc>(collectFirstError), &message);
    const int rc = xmlSchemaValidateDoc(context, doc);
    xmlSchemaFreeValidCtxt(context);
    if (rc == 0) return {};
    return message.empty() ? "the document does not conform to the qbXML schema" : message;
}

void qbsimSetSchemaPath(const std::string& path) {
    std::lock_guard lock(cacheMutex);
    configuredPath = path;
}

std::string qbsimSchemaPath() {
    {
        std::lock_guard lock(cacheMutex);
        if (configuredPath) return *configuredPath;
    }
    const char* env = std::getenv("QBSIM_SCHEMA");
    return env ? env : "";
}
