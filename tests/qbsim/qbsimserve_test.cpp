// `qbsim serve`: the processor's calls over the loopback exchange, with the faults and
// schema checks of the in-process stand-in, the names BeginSession accepts, malformed
// input, stopping, and the command itself started as a process.
#include "qbsimprocessor.h"
#include "qbsimschema.h"
#include "qbsimserve.h"
#include "qbsimtesthelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using ::testing::HasSubstr;

namespace {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kBadTicket = static_cast<std::int32_t>(0x8004040Du);
constexpr std::int32_t kOtherFileOpen = static_cast<std::int32_t>(0x8004040Au);
constexpr std::int32_t kParse = static_cast<std::int32_t>(0x80040400u);
constexpr std::int32_t kNotImplemented = static_cast<std::int32_t>(0x80004001u);

const std::string kHostQuery = envelope("<HostQueryRq></HostQueryRq>");

// A client of the exchange over a blocking socket.
class CClient {
public:
    explicit CClient(int port) {
        socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        const timeval limit{10, 0};  // a server that never answers fails the test, not hangs it
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~CClient() { close(); }
    void close() {
        if (socket >= 0) ::close(socket);
        socket = -1;
    }
    bool ok() const { return connected; }

    void sendRaw(const std::string& bytes) {
        ASSERT_EQ(::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // The answer's fields; nothing when the server closed the connection instead.
    std::optional<std::vector<std::string>> receive() {
        std::string prefix = readBytes(4);
        if (prefix.size() != 4) return std::nullopt;
        const std::string body = readBytes(qbsimServeReadLength(prefix.data()));
        return qbsimServeDecode(body);
    }
    struct CAnswer {
        std::int32_t hr = -1;
        std::string text;
    };
    CAnswer call(const std::vector<std::string>& fields) {
        sendRaw(qbsimServeEncode(fields));
        const auto answer = receive();
        if (!answer || answer->size() != 2) return {};
        return {qbsimServeReadHresult((*answer)[0]).value_or(-1), (*answer)[1]};
    }
    // OpenConnection and BeginSession; the ticket.
    std::string begin(const std::string& file, const std::string& mode = "0") {
        EXPECT_EQ(call({"OpenConnection", "Lotwise", "Veltrane"}).hr, kOk);
        const CAnswer begun = call({"BeginSession", file, mode});
        EXPECT_EQ(begun.hr, kOk) << begun.text;
        return begun.text;
    }

private:
    std::string readBytes(std::size_t size) {
        std::string bytes(size, '\0');
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::recv(socket, bytes.data() + done, size - done, 0);
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        bytes.resize(done);
        return bytes;
    }

    int socket = -1;
    bool connected = false;
};

class QbSimServeTest : public ::testing::Test {
protected:
    void SetUp() override { CQbSimCompany::create(file, {"Serve Co", false, false}); }
    void TearDown() override {
        if (running.valid()) {
            server->stop();
            EXPECT_EQ(running.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        }
        qbsimSetFaults(std::nullopt);
    }
    // Starts serving on a free port in another thread; the port.
    int start(bool once = false) {
        server = std::make_unique<CQbSimServer>(file);
        const int port = server->listen(0);
        running = std::async(std::launch::async, [this, once] { return server->serve(once); });
        return port;
    }

    CTempDir dir;
    std::string file = dir.file("serve.qbw");
    std::unique_ptr<CQbSimServer> server;
    std::future<int> running;
};

TEST(QbSimServeWire, MessagesRoundTripAndTruncatedFieldsAreRefused) {
    const std::vector<std::string> fields = {"ProcessRequest", "", std::string("a\0b", 3), "Zoë"};
    const std::string message = qbsimServeEncode(fields);
    ASSERT_EQ(qbsimServeReadLength(message.data()), message.size() - 4);
    EXPECT_EQ(qbsimServeDecode(std::string_view(message).substr(4)), fields);
    EXPECT_EQ(qbsimServeDecode(""), std::vector<std::string>{});
    // A field announcing more bytes than remain, and a length cut short.
    EXPECT_FALSE(qbsimServeDecode(std::string_view(message).substr(4, message.size() - 5)));
    EXPECT_FALSE(qbsimServeDecode(std::string("\0\0", 2)));
}

TEST(QbSimServeWire, HresultTextAndWinePaths) {
    EXPECT_EQ(qbsimServeHresultText(static_cast<std::int32_t>(0x80040408u)), "0x80040408");
    EXPECT_EQ(qbsimServeHresultText(0), "0x00000000");
    EXPECT_EQ(qbsimServeReadHresult("0x8004040a"), static_cast<std::int32_t>(0x8004040Au));
    EXPECT_FALSE(qbsimServeReadHresult("80040408"));
    EXPECT_FALSE(qbsimServeReadHresult("0x8004040G"));
    EXPECT_EQ(qbsimServeLocalPath("Z:\\tmp\\Zoë Données\\a.qbw"), "/tmp/Zoë Données/a.qbw");
    EXPECT_EQ(qbsimServeLocalPath("z:/tmp/a.qbw"), "/tmp/a.qbw");
    EXPECT_EQ(qbsimServeLocalPath("C:\\a.qbw"), "C:\\a.qbw");
    EXPECT_EQ(qbsimServeLocalPath("/tmp/a.qbw"), "/tmp/a.qbw");
}

TEST_F(QbSimServeTest, SessionThroughEveryCallUnderTheWineName) {
    CClient client(start());
    ASSERT_TRUE(client.ok());
    std::string wineName = "Z:" + file;
    std::replace(wineName.begin(), wineName.end(), '/', '\\');
    const std::string ticket = client.begin(wineName);
    ASSERT_FALSE(ticket.empty());

    const auto name = client.call({"GetCurrentCompanyFileName", ticket});
    EXPECT_EQ(name.hr, kOk);
    EXPECT_EQ(name.text, wineName);

    const auto host = client.call({"ProcessRequest", ticket, kHostQuery});
    ASSERT_EQ(host.hr, kOk) << host.text;
    const CParsedResponse rs(host.text);
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_EQ(rs[0].name, "HostQueryRs");
    EXPECT_EQ(rs[0].code, 0);
    EXPECT_THAT(host.text, HasSubstr("<ProductName>"));

    EXPECT_EQ(client.call({"EndSession", ticket}).hr, kOk);
    EXPECT_EQ(client.call({"ProcessRequest", ticket, kHostQuery}).hr, kBadTicket);
    EXPECT_EQ(client.call({"CloseConnection"}).hr, kOk);
}

TEST_F(QbSimServeTest, RefusalsCarryTheProcessorsCodeAndDescription) {
    CClient client(start());
    ASSERT_TRUE(client.ok());
    const auto notConnected = client.call({"BeginSession", file, "0"});
    EXPECT_EQ(notConnected.hr, static_cast<std::int32_t>(QBSIM_E_NOT_CONNECTED));
    EXPECT_THAT(notConnected.text, HasSubstr("OpenConnection"));

    EXPECT_EQ(client.call({"OpenConnection", "Lotwise", "Veltrane"}).hr, kOk);
    const auto other = client.call({"BeginSession", dir.file("other.qbw"), "0"});
    EXPECT_EQ(other.hr, kOtherFileOpen);
    EXPECT_THAT(other.text, HasSubstr("different from the one requested"));
    EXPECT_EQ(client.call({"BeginSession", file, "single"}).hr, static_cast<std::int32_t>(0x80070057u));

    const auto badTicket = client.call({"ProcessRequest", "{nope}", kHostQuery});
    EXPECT_EQ(badTicket.hr, kBadTicket);
    EXPECT_EQ(badTicket.text, "The ticket parameter is invalid.");

    // An empty name is the open file, as with QuickBooks running.
    const std::string ticket = client.call({"BeginSession", "", "2"}).text;
    EXPECT_EQ(client.call({"GetCurrentCompanyFileName", ticket}).text, file);
    const auto garbage = client.call({"ProcessRequest", ticket, "<QBXML"});
    EXPECT_EQ(garbage.hr, kParse);
    EXPECT_EQ(garbage.text, kQbSimParseDescription);

    const auto unknown = client.call({"ProcessRequests", ticket, kHostQuery});
    EXPECT_EQ(unknown.hr, kNotImplemented);
    EXPECT_EQ(client.call({"EndSession"}).hr, kNotImplemented);  // the ticket is missing
    // The connection is still usable after every refusal.
    EXPECT_EQ(client.call({"ProcessRequest", ticket, kHostQuery}).hr, kOk);
}

TEST_F(QbSimServeTest, FaultsCountPerConnection) {
    CQbSimFaults faults;
    faults.failAt = 2;
    faults.failCode = static_cast<HRESULT>(0x80040408u);
    faults.failDescription = "Could not start QuickBooks.";
    faults.statusRequest = "HostQueryRq";
    faults.statusAt = 3;
    faults.statusCode = 3180;
    faults.statusMessage = "There was an error when saving the transaction.";
    qbsimSetFaults(faults);
    const int port = start();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CClient client(port);
        ASSERT_TRUE(client.ok());
        const std::string ticket = client.begin(file);
        EXPECT_EQ(client.call({"ProcessRequest", ticket, kHostQuery}).hr, kOk);
        const auto failed = client.call({"ProcessRequest", ticket, kHostQuery});
        EXPECT_EQ(failed.hr, static_cast<std::int32_t>(0x80040408u));
        EXPECT_EQ(failed.text, "Could not start QuickBooks.");
        // The transport failure came before the engine: the second HostQuery it runs
        // is the third call, refused with the status.
        EXPECT_EQ(client.call({"ProcessRequest", ticket, kHostQuery}).hr, kOk);
        const auto refused = client.call({"ProcessRequest", ticket, kHostQuery});
        ASSERT_EQ(refused.hr, kOk);
        const CParsedResponse rs(refused.text);
        ASSERT_EQ(rs.size(), 1u);
        EXPECT_EQ(rs[0].code, 3180);
        EXPECT_EQ(rs[0].message, "There was an error when saving the transaction.");
        // A client that hangs up without ending its session: the next one starts afresh.
    }
}

TEST_F(QbSimServeTest, SchemaChecksApply) {
    if (!std::filesystem::exists(qbsimTestSchemaPath()))
        GTEST_SKIP() << "qbXML schema not found at " << qbsimTestSchemaPath();
    const std::string previous = qbsimSchemaPath();
    qbsimSetSchemaPath(qbsimTestSchemaPath());
    CClient client(start());
    const std::string ticket = client.begin(file);
    // IncludeLineItems must come after every filter.
    const auto outOfOrder = client.call(
        {"ProcessRequest", ticket,
         envelope("<InventoryAdjustmentQueryRq><IncludeLineItems>true</IncludeLineItems>"
                  "<MaxReturned>5</MaxReturned></InventoryAdjustmentQueryRq>")});
    qbsimSetSchemaPath(previous);
    EXPECT_EQ(outOfOrder.hr, kParse);
    EXPECT_EQ(outOfOrder.text, kQbSimParseDescription);
}

TEST_F(QbSimServeTest, MalformedOrOversizedMessagesEndOnlyTheirConnection) {
    const int port = start();
    {
        CClient client(port);
        std::string message;
        qbsimServeAppendLength(message, 6);
        qbsimServeAppendLength(message, 9);  // a field longer than its message
        message += "ab";
        client.sendRaw(message);
        EXPECT_FALSE(client.receive());
    }
    {
        CClient client(port);
        std::string message;
        qbsimServeAppendLength(message, kQbSimServeMaxMessage + 1);
        client.sendRaw(message);
        EXPECT_FALSE(client.receive());
    }
    CClient client(port);
    const std::string ticket = client.begin(file);
    EXPECT_EQ(client.call({"ProcessRequest", ticket, kHostQuery}).hr, kOk);
}

TEST_F(QbSimServeTest, StopEndsServingWhileAClientIsIdle) {
    CClient client(start());
    client.begin(file);
    server->stop();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(running.get(), 1);
    EXPECT_FALSE(client.receive());  // closed by the server
}

TEST_F(QbSimServeTest, OnceReturnsAfterTheFirstConnection) {
    const int port = start(true);
    {
        CClient client(port);
        client.begin(file);
    }
    ASSERT_EQ(running.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(running.get(), 1);
}

// The command: prints the port it bound, answers, and exits 0 when its one connection ends.
TEST_F(QbSimServeTest, CommandPrintsItsPortAndServesOnce) {
    const std::string command = std::string("'") + QBSIM_TOOL + "' serve '" + file + "' --port 0 --once";
    FILE* output = ::popen(command.c_str(), "r");
    ASSERT_NE(output, nullptr);
    char line[128] = {};
    ASSERT_NE(std::fgets(line, sizeof line, output), nullptr);
    int port = 0;
    ASSERT_EQ(std::sscanf(line, "listening on 127.0.0.1:%d", &port), 1) << line;
    {
        CClient client(port);
        ASSERT_TRUE(client.ok());
        const std::string ticket = client.begin(file);
        EXPECT_EQ(client.call({"ProcessRequest", ticket, kHostQuery}).hr, kOk);
    }
    EXPECT_EQ(::pclose(output), 0);
}

TEST_F(QbSimServeTest, CommandRefusesAFileThatIsNotACompany) {
    const std::string plain = dir.file("plain.qbw");
    { std::ofstream(plain) << "not a company"; }
    const std::string command =
        std::string("'") + QBSIM_TOOL + "' serve '" + plain + "' --port 0 2>&1";
    FILE* output = ::popen(command.c_str(), "r");
    ASSERT_NE(output, nullptr);
    char line[512] = {};
    const bool printed = std::fgets(line, sizeof line, output) != nullptr;
    const int status = ::pclose(output);
    EXPECT_TRUE(printed);
    EXPECT_THAT(line, ::testing::StartsWith("qbsim: "));
    EXPECT_NE(status, 0);
}

}  // namespace
