// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// Writing XML text: escaping of element text and attribute values, and the shape of an
// element. Elements are written without white space or line breaks between them.
#pragma once

#include <string>
#include <string_view>

// Element text: & ' " < > become &amp; &apos; &quot; &lt; &gt; (the ampersand first, so
// an entity already in the input is escaped again).
std::string escapeText(std::string_view text);
// Attribute values: & < " become &amp; &lt; &quot;, which keeps the document well
// formed whatever the value; the values the system writes contain none of them.
std::string escapeAttribute(std::string_view text);
// "<name" attributeText ">" content "</name>"; content and attributeText are written as
// given (already escaped).
std::string xmlElement(std::string_view name, std::string_view attributeText,
                        std::string_view content);
