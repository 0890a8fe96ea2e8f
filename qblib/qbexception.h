// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// The qbXML library's exception: one ready message text that a caller shows the user.
// Thrown and caught by value.
#pragma once

#include <string>
#include <utility>

class CQbException {
public:
    explicit CQbException(std::string text) : message(std::move(text)) {}
    const std::string& getMessage() const { return message; }

private:
    std::string message;
};
