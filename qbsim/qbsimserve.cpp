// The loopback server of `qbsim serve`: POSIX sockets, polled with a short timeout so that
// stop() is noticed while waiting for a connection or for the next call, and the calls
// forwarded to a stand-in processor of the connection's own.
#include "qbsimserve.h"

#include "qbsimprocessor.h"
#include "widestring.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long a wait on a socket lasts before the stop flag is looked at again.
constexpr int kPollMs = 200;

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Waits until the socket is ready for `events`; false when stopping or on an error.
bool waitFor(int socket, short events, const std::atomic<bool>& stopping) {
    while (!stopping.load()) {
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, kPollMs);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
    return false;
}

// Reads exactly size bytes; false on end of input, an error or a stop.
bool readExactly(int socket, char* data, std::size_t size, const std::atomic<bool>& stopping) {
    std::size_t done = 0;
    while (done < size) {
        if (!waitFor(socket, POLLIN, stopping)) return false;
        const ssize_t got = ::recv(socket, data + done, size - done, 0);
        if (got == 0) return false;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool writeAll(int socket, const std::string& bytes, const std::atomic<bool>& stopping) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (!waitFor(socket, POLLOUT, stopping)) return false;
        const ssize_t sent = ::send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

// One message's fields; nothing at the end of input or for a malformed message.
std::optional<std::vector<std::string>> readMessage(int socket, const std::atomic<bool>& stopping) {
    char prefix[4];
    if (!readExactly(socket, prefix, 4, stopping)) return std::nullopt;
    const std::uint32_t length = qbsimServeReadLength(prefix);
    if (length > kQbSimServeMaxMessage) return std::nullopt;
    std::string body(length, '\0');
    if (length > 0 && !readExactly(socket, body.data(), length, stopping)) return std::nullopt;
    return qbsimServeDecode(body);
}

// Owns one BSTR.
class CWide {
public:
    CWide() = default;
    explicit CWide(const std::string& text) {
        const std::wstring wide = narrowToWide(text);
        value = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    ~CWide() { SysFreeString(value); }
    CWide(const CWide&) = delete;
    CWide& operator=(const CWide&) = delete;
    BSTR get() const { return value; }
    BSTR* out() {
        SysFreeString(value);
        value = nullptr;
        return &value;
    }
    std::string text() const {
        return value ? wideToNarrow(std::wstring_view(value, SysStringLen(value))) : std::string();
    }

private:
    BSTR value = nullptr;
};

// The description the processor left in the thread's error object, if any.
std::string takeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return {};
    CWide description;
    const HRESULT got = info->GetDescription(description.out());
    info->Release();
    return SUCCEEDED(got) ? description.text() : std::string();
}

// What the served company file answers to in BeginSession.
bool namesServedFile(const std::string& name, const std::string& served) {
    if (name.empty()) return true;
    const std::filesystem::path local = qbsimServeLocalPath(name);
    if (local.lexically_normal() == std::filesystem::path(served).lexically_normal()) return true;
    std::error_code error;
    return std::filesystem::equivalent(local, served, error) && !error;
}

// One connection's processor and the names its sessions were begun with.
class CConnection {
public:
    explicit CConnection(std::string served) : file(std::move(served)), processor(qbsimCreateProcessor()) {}
    ~CConnection() {
        // A peer that hung up without closing leaves nothing open behind it.
        processor->CloseConnection();
        processor->Release();
        SetErrorInfo(0, nullptr);
    }
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // The answer message to one call.
    std::string answer(const std::vector<std::string>& call) {
        std::string result;
        SetErrorInfo(0, nullptr);
        const HRESULT hr = dispatch(call, result);
        if (FAILED(hr)) result = takeErrorDescription();
        return qbsimServeEncode({qbsimServeHresultText(hr), result});
    }

private:
    static constexpr HRESULT kOtherFileOpen = QBSIM_E_OTHER_FILE_OPEN;

    HRESULT refuse(HRESULT code, const std::string& description) {
        comSetErrorDescription(narrowToWide(description));
        return code;
    }

    HRESULT dispatch(const std::vector<std::string>& call, std::string& result) {
        const std::string operation = call.empty() ? std::string() : call[0];
        const std::size_t arguments = call.empty() ? 0 : call.size() - 1;
        auto expect = [&](std::size_t count) { return arguments == count; };
        if (operation == "OpenConnection" && expect(2)) {
            CWide id(call[1]), name(call[2]);
            return processor->OpenConnection(id.get(), name.get());
        }
        if (operation == "BeginSession" && expect(2)) {
            const std::string& name = call[1];
            int mode = 0;
            if (call[2] == "0" || call[2] == "1" || call[2] == "2") {
                mode = call[2][0] - '0';
            } else {
                return refuse(E_INVALIDARG, "The file mode \"" + call[2] + "\" is not 0, 1 or 2.");
            }
            if (!namesServedFile(name, file))
                return refuse(kOtherFileOpen,
                              "A QuickBooks company data file is already open and it is different "
                              "from the one requested.");
            CWide served(file), ticket;
            const HRESULT hr =
                processor->BeginSession(served.get(), static_cast<QBFileMode>(mode), ticket.out());
            if (SUCCEEDED(hr)) {
                result = ticket.text();
                names[result] = name.empty() ? file : name;
            }
            return hr;
        }
        if (operation == "GetCurrentCompanyFileName" && expect(1)) {
            CWide ticket(call[1]), name;
            const HRESULT hr = processor->GetCurrentCompanyFileName(ticket.get(), name.out());
            if (SUCCEEDED(hr)) {
                const auto known = names.find(call[1]);
                result = known != names.end() ? known->second : name.text();
            }
            return hr;
        }
        if (operation == "ProcessRequest" && expect(2)) {
            CWide ticket(call[1]), request(call[2]), response;
            const HRESULT hr = processor->ProcessRequest(ticket.get(), request.get(), response.out());
            if (SUCCEEDED(hr)) result = response.text();
            return hr;
        }
        if (operation == "EndSession" && expect(1)) {
            CWide ticket(call[1]);
            const HRESULT hr = processor->EndSession(ticket.get());
            if (SUCCEEDED(hr)) names.erase(call[1]);
            return hr;
        }
        if (operation == "CloseConnection" && expect(0)) {
            names.clear();
            return processor->CloseConnection();
        }
        return refuse(E_NOTIMPL, "qbsim serve: no operation \"" + operation + "\" with " +
                                     std::to_string(arguments) + " arguments.");
    }

    std::string file;
    IRequestProcessor2* processor;
    std::map<std::string, std::string> names;
};

}  // namespace

std::string qbsimServeLocalPath(const std::string& name) {
    if (name.size() < 3 || (name[0] != 'Z' && name[0] != 'z') || name[1] != ':' ||
        (name[2] != '\\' && name[2] != '/'))
        return name;
    std::string local = name.substr(2);
    for (char& c : local)
        if (c == '\\') c = '/';
    return local;
}

CQbSimServer::CQbSimServer(std::string companyFile) : file(std::move(companyFile)) {}

CQbSimServer::~CQbSimServer() {
    if (listener >= 0) ::close(listener);
}

int CQbSimServer::listen(int port) {
    if (port < 0 || port > 65535) throw std::runtime_error("port " + std::to_string(port) + " is out of range");
    if (listener >= 0) ::close(listener);
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) throw std::runtime_error(systemError("socket"));
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never reachable from another machine
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0) {
        const std::string reason = systemError(("127.0.0.1:" + std::to_string(port)).c_str());
        ::close(listener);
        listener = -1;
        throw std::runtime_error(reason);
    }
    socklen_t size = sizeof address;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error(systemError("getsockname"));
    return ntohs(address.sin_port);
}

int CQbSimServer::serve(bool once) {
    if (listener < 0) throw std::runtime_error("serve before listen");
    int served = 0;
    while (waitFor(listener, POLLIN, stopping)) {
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
            throw std::runtime_error(systemError("accept"));
        }
        serveConnection(connection);
        ::close(connection);
        ++served;
        if (once) break;
    }
    return served;
}

void CQbSimServer::serveConnection(int socket) {
    CConnection connection(file);
    while (auto call = readMessage(socket, stopping)) {
        if (!writeAll(socket, connection.answer(*call), stopping)) break;
    }
}
