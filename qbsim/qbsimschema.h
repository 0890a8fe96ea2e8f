// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// Validation of request documents against Intuit's qbXML schema, which is read at run
// time from a path the user configures (it is never part of this project). QuickBooks
// refuses a document that breaks the schema, elements out of order included, so the
// stand-in does the same when a schema is configured.
//
// Compiled schemas are cached per path for the life of the process; the cache is
// guarded, so validation may run on several threads.
#pragma once

#include <memory>
#include <string>

struct _xmlDoc;
struct _xmlSchema;

class CQbSimSchema {
public:
    // Loads and compiles the schema; throws std::runtime_error when it cannot.
    static std::shared_ptr<const CQbSimSchema> load(const std::string& path);
    ~CQbSimSchema();
    CQbSimSchema(const CQbSimSchema&) = delete;
    CQbSimSchema& operator=(const CQbSimSchema&) = delete;

    // Empty when the document is valid, otherwise the first complaint of the validator.
    std::string validate(_xmlDoc* doc) const;

private:
    explicit CQbSimSchema(_xmlSchema* schema) : compiled(schema) {}
    _xmlSchema* compiled;
};

// The schema path requests are validated against: the last qbsimSetSchemaPath value,
// else the QBSIM_SCHEMA environment variable; empty means no validation.
void qbsimSetSchemaPath(const std::string& path);
std::string qbsimSchemaPath();
