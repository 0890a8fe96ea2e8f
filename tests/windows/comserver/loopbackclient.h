// The Windows end of the `qbsim serve` exchange (see qbsim/qbsimserve.h): one Winsock
// connection to 127.0.0.1 on which each call is one message out and one message back.
#pragma once

#include <winsock2.h>

#include <string>
#include <vector>

class CLoopbackClient {
public:
    CLoopbackClient();
    ~CLoopbackClient();
    CLoopbackClient(const CLoopbackClient&) = delete;
    CLoopbackClient& operator=(const CLoopbackClient&) = delete;

    // Connects to 127.0.0.1:port unless already connected; false with the reason.
    bool connect(int port, std::string& reason);
    bool connected() const { return socket != INVALID_SOCKET; }
    // Sends the call's fields and reads the answer's. False with the reason when the
    // connection failed or the answer is malformed; the connection is then closed.
    bool exchange(const std::vector<std::string>& call, std::vector<std::string>& answer,
                  std::string& reason);
    void close();

private:
    bool sendAll(const std::string& bytes);
    bool receive(char* data, std::size_t size);

    SOCKET socket = INVALID_SOCKET;
    bool started = false;
};
