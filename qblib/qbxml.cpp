// XML text writing shared by fields, attribute lists and the request builders.
#include "qbxml.h"

std::string escapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '\'': out += "&apos;"; break;
            case '"': out += "&quot;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string escapeAttribute(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '<': out += "&lt;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string xmlElement(std::string_view name, std::string_view attributeText,
                        std::string_view content) {
    std::string out;
    out.reserve(2 * name.size() + attributeText.size() + content.size() + 5);
    out += '<';
    out += name;
    out += attributeText;
    out += '>';
    out += content;
    out += "</";
    out += name;
    out += '>';
    return out;
}
