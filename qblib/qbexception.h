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
