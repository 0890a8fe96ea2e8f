// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// Xerces-C glue for the qbXML library: a guard that initialises the XML platform for as
// long as it lives (Xerces keeps a count, so every guard's initialisation is matched by
// exactly one termination), and conversions between Xerces' UTF-16 text and the
// system's narrow text, which is UTF-8 on this platform. The conversions always use the
// UTF-8 transcoder, never the local code page, so names such as "Café Crème" survive a
// round trip whatever the process locale is.
#pragma once

#include <string>
#include <string_view>

#include <xercesc/util/XercesDefs.hpp>

// Initialises the Xerces-C platform on construction and terminates it on destruction.
// Guards nest: the platform stays up until the last guard is destroyed. Not copyable.
class CQbXercesPlatform {
public:
    // Throws CQbException ("Error during Xerces-c Initialization.\n  Exception message:"
    // followed by Xerces' message) when the platform cannot be initialised.
    CQbXercesPlatform();
    ~CQbXercesPlatform();
    CQbXercesPlatform(const CQbXercesPlatform&) = delete;
    CQbXercesPlatform& operator=(const CQbXercesPlatform&) = delete;
};

// Xerces text as UTF-16 code units (XMLCh is char16_t in Xerces-C 3.2).
using CQbXmlString = std::basic_string<XMLCh>;

// Both conversions need an initialised platform (a live CQbXercesPlatform). Neither
// throws: a null or empty input gives empty text, and text that cannot be converted
// (invalid UTF-8, a lone surrogate) has the offending units replaced by U+FFFD.
std::string xmlToUtf8(const XMLCh* text);
CQbXmlString utf8ToXml(std::string_view text);
