// Xerces-C platform initialisation and UTF-8 <-> UTF-16 conversion (see qbxerces.h).
// The conversions go through Xerces' own UTF-8 transcoder; if that rejects its input the
// text is repaired first (invalid bytes or lone surrogates become U+FFFD) so that a
// caller always gets text back.
#include "qbxerces.h"

#include <algorithm>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>

#include "qbexception.h"
#include "widestring.h"

using namespace xercesc;

namespace {

const char* const kUtf8 = "UTF-8";

// Lossy UTF-16 to UTF-8 for text with unpaired surrogates, which become U+FFFD.
std::string repairUtf16(const XMLCh* text, XMLSize_t length) {
    std::string out;
    out.reserve(length);
    auto put = [&out](char32_t cp) { appendUtf8(out, cp); };
    for (XMLSize_t i = 0; i < length; ++i) {
        const char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            put(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            put(0xFFFD);
        } else {
            put(unit);
        }
    }
    return out;
}

bool hasLoneSurrogate(const XMLCh* text, XMLSize_t length) {
    for (XMLSize_t i = 0; i < length; ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
            if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return true;
            }
            ++i;
        } else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

CQbXmlString transcodeFromUtf8(std::string_view text) {
    TranscodeFromStr wide(reinterpret_cast<const XMLByte*>(text.data()), text.size(), kUtf8);
    return CQbXmlString(wide.str(), wide.length());
}

}  // namespace

CQbXercesPlatform::CQbXercesPlatform() {
    try {
        XMLPlatformUtils::Initialize();
    } catch (const XMLException& e) {
        // No transcoder exists without the platform, so convert the message by hand.
        throw CQbException(std::string("Error during Xerces-c Initialization.\n") +
                           "  Exception message:" +
                           repairUtf16(e.getMessage(), XMLString::stringLen(e.getMessage())));
    }
}

CQbXercesPlatform::~CQbXercesPlatform() {
    XMLPlatformUtils::Terminate();
}

std::string xmlToUtf8(const XMLCh* text) {
    if (text == nullptr || *text == 0) {
        return std::string();
    }
    // Nearly every name and value of a response is ASCII, which is the same in UTF-8 and
    // needs no transcoder (making one per call costs more than the conversion).
    XMLSize_t length = 0;
    bool ascii = true;
    for (; text[length] != 0; ++length) ascii = ascii && text[length] < 0x80;
    if (ascii) {
        std::string out(length, '\0');
        for (XMLSize_t i = 0; i < length; ++i) out[i] = static_cast<char>(text[i]);
        return out;
    }
    // Xerces' UTF-8 transcoder pairs a high surrogate with whatever follows it, so text
    // with an unpaired surrogate is converted by hand instead.
    if (hasLoneSurrogate(text, length)) {
        return repairUtf16(text, length);
    }
    try {
        TranscodeToStr narrow(text, length, kUtf8);
        return std::string(reinterpret_cast<const char*>(narrow.str()), narrow.length());
    } catch (const XMLException&) {
        return repairUtf16(text, length);
    }
}

CQbXmlString utf8ToXml(std::string_view text) {
    if (text.empty()) {
        return CQbXmlString();
    }
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return CQbXmlString(text.begin(), text.end());
    }
    try {
        return transcodeFromUtf8(text);
    } catch (const XMLException&) {
        // Invalid UTF-8: the wide-string round trip replaces bad bytes with U+FFFD.
        return transcodeFromUtf8(wideToNarrow(narrowToWide(text)));
    }
}
