// Winsock transport of the forwarding processor: blocking calls with a long receive
// limit, since one qbXML request (a year's valuation report) can take minutes.
#include "loopbackclient.h"

#include "qbsimserve.h"

#include <algorithm>

#include <ws2tcpip.h>

namespace {

constexpr DWORD kReceiveLimitMs = 10 * 60 * 1000;

std::string socketError(const char* what) {
    return std::string(what) + " failed with Winsock error " + std::to_string(WSAGetLastError());
}

}  // namespace

CLoopbackClient::CLoopbackClient() {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CLoopbackClient::~CLoopbackClient() {
    close();
    if (started) WSACleanup();
}

bool CLoopbackClient::connect(int port, std::string& reason) {
    if (connected()) return true;
    if (!started) {
        reason = "Winsock could not be started";
        return false;
    }
    socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        reason = socketError("socket");
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        reason = socketError(("connecting to 127.0.0.1:" + std::to_string(port)).c_str());
        close();
        return false;
    }
    const DWORD limit = kReceiveLimitMs;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    const BOOL noDelay = TRUE;  // one small message each way per call
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    return true;
}

void CLoopbackClient::close() {
    if (socket != INVALID_SOCKET) closesocket(socket);
    socket = INVALID_SOCKET;
}

bool CLoopbackClient::sendAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
        const int sent = ::send(socket, bytes.data() + done, static_cast<int>(chunk), 0);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

bool CLoopbackClient::receive(char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t chunk = std::min<std::size_t>(size - done, 1 << 20);
        const int got = ::recv(socket, data + done, static_cast<int>(chunk), 0);
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool CLoopbackClient::exchange(const std::vector<std::string>& call, std::vector<std::string>& answer,
                               std::string& reason) {
    if (!connected()) {
        reason = "not connected to qbsim serve";
        return false;
    }
    if (!sendAll(qbsimServeEncode(call))) {
        reason = socketError("send");
        close();
        return false;
    }
    char prefix[4];
    if (!receive(prefix, sizeof prefix)) {
        reason = "qbsim serve closed the connection";
        close();
        return false;
    }
    const std::uint32_t length = qbsimServeReadLength(prefix);
    if (length > kQbSimServeMaxMessage) {
        reason = "qbsim serve announced an answer of " + std::to_string(length) + " bytes";
        close();
        return false;
    }
    std::string body(length, '\0');
    if (length > 0 && !receive(body.data(), length)) {
        reason = "qbsim serve closed the connection in the middle of an answer";
        close();
        return false;
    }
    auto fields = qbsimServeDecode(body);
    if (!fields) {
        reason = "qbsim serve sent a malformed answer";
        close();
        return false;
    }
    answer = std::move(*fields);
    return true;
}
