// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// `qbsim serve`: one company file answered over a loopback TCP connection by the same
// stand-in request processor the in-process path uses, so that a program on the other
// side (a Windows build under Wine, through a COM server that forwards each call)
// reaches QuickBooks' six processor calls with the stand-in's faults and schema checks.
//
// Wire format, the same in both directions:
//
//   message = u32 length, then `length` bytes of fields      (lengths big-endian)
//   field   = u32 length, then `length` bytes of UTF-8 text
//
// A call is one message whose first field is the operation and the rest its arguments,
// in the order of IRequestProcessor2:
//
//   OpenConnection            appID, appName
//   BeginSession              fileName, mode (decimal: 0 single-user, 1 multi-user, 2 either)
//   GetCurrentCompanyFileName ticket
//   ProcessRequest            ticket, request
//   EndSession                ticket
//   CloseConnection           (none)
//
// The answer is one message of two fields: the HRESULT as "0x" and eight hex digits,
// then on success the call's string result (ticket, file name or response; empty for the
// calls without one) and on failure the processor's error description (empty when it
// left none). Calls are answered one at a time, in order.
//
// Each connection gets a processor of its own, created when it is accepted (fault counts
// of QBSIM_FAULTS start there) and closed when the peer hangs up. BeginSession accepts
// the served file by its own path, by the path Wine shows for it ("Z:\..." for "/...")
// or by an empty name (the file QuickBooks has open); any other file is refused as
// QuickBooks refuses a second company file. GetCurrentCompanyFileName answers the name
// the session was begun with.
//
// The encoding functions below use the standard library only, so the Windows side
// includes this header for them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Largest message either side accepts; a longer announced length ends the connection.
constexpr std::uint32_t kQbSimServeMaxMessage = 256u * 1024u * 1024u;

// The four length bytes of a message or field.
inline void qbsimServeAppendLength(std::string& out, std::uint32_t length) {
    out += static_cast<char>((length >> 24) & 0xFFu);
    out += static_cast<char>((length >> 16) & 0xFFu);
    out += static_cast<char>((length >> 8) & 0xFFu);
    out += static_cast<char>(length & 0xFFu);
}

inline std::uint32_t qbsimServeReadLength(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
           (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
}

// A whole message (length prefix included) holding the fields.
inline std::string qbsimServeEncode(const std::vector<std::string>& fields) {
    std::string body;
    for (const std::string& field : fields) {
        qbsimServeAppendLength(body, static_cast<std::uint32_t>(field.size()));
        body += field;
    }
    std::string message;
    message.reserve(body.size() + 4);
    qbsimServeAppendLength(message, static_cast<std::uint32_t>(body.size()));
    return message + body;
}

// The fields of a message body (without its length prefix); nothing when a field runs
// past the end.
inline std::optional<std::vector<std::string>> qbsimServeDecode(std::string_view body) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < body.size()) {
        if (body.size() - at < 4) return std::nullopt;
        const std::uint32_t length = qbsimServeReadLength(body.data() + at);
        at += 4;
        if (length > body.size() - at) return std::nullopt;
        fields.emplace_back(body.substr(at, length));
        at += length;
    }
    return fields;
}

// "0x80040408" for an HRESULT and back; nothing for text that is not that form.
inline std::string qbsimServeHresultText(std::int32_t code) {
    const char* const digits = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += digits[(static_cast<std::uint32_t>(code) >> shift) & 0xFu];
    return text;
}

inline std::optional<std::int32_t> qbsimServeReadHresult(std::string_view text) {
    if (text.size() != 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text.substr(2)) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else return std::nullopt;
        value = (value << 4) | digit;
    }
    return static_cast<std::int32_t>(value);
}

// The POSIX path of a name Wine gives for a file on its root drive ("Z:\tmp\a.qbw" or
// "z:/tmp/a.qbw" is "/tmp/a.qbw"); any other name unchanged.
std::string qbsimServeLocalPath(const std::string& name);

// Serves one company file on 127.0.0.1, one connection at a time.
class CQbSimServer {
public:
    explicit CQbSimServer(std::string companyFile);
    ~CQbSimServer();
    CQbSimServer(const CQbSimServer&) = delete;
    CQbSimServer& operator=(const CQbSimServer&) = delete;

    // Binds 127.0.0.1:port (0 picks a free port) and listens; returns the port bound.
    // Throws std::runtime_error with the reason.
    int listen(int port);
    // Accepts and serves connections one after the other until stop() is called or, with
    // once, until the first connection ends. Returns the number of connections served.
    int serve(bool once);
    // Makes serve() return within a fraction of a second, after the call in progress.
    // Safe from a signal handler and from another thread.
    void stop() noexcept { stopping.store(true); }

private:
    void serveConnection(int socket);

    std::string file;
    int listener = -1;
    std::atomic<bool> stopping{false};
};
