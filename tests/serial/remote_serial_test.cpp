// The remote line through CSerialPort against a small server of the test's own on 127.0.0.1:
// the Com Port commands on the wire (DTR and RTS among them, which a pseudo-terminal behind
// ser2net cannot show), a value the server answers otherwise, every byte value both ways, a
// connection that ends during use, and the faults of connecting; then every byte value both ways
// through a real ser2net in front of a pseudo-terminal.

#include "pty_pair.h"
#include "ser2net_server.h"

#include "serial/rfc2217_protocol.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using P = CRfc2217Protocol;

std::error_code Sys(int value)
{
    return {value, std::system_category()};
}

// A listening socket on 127.0.0.1 at a port the system chose.
int Listen(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    port = ntohs(address.sin_port);
    return fd;
}

// One client at a time. Rfc2217: agrees to every option and answers each Com Port command with
// its value (the rate with m_nAnswerBaud when set); Silent: takes bytes and never answers.
class CFakeServer {
public:
    enum class EMode { Rfc2217, Silent };

    explicit CFakeServer(EMode mode) : m_eMode(mode)
    {
        m_fdListen = Listen(m_nPort);
        EXPECT_GE(m_fdListen, 0);
        EXPECT_EQ(::pipe2(m_wake, O_CLOEXEC), 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CFakeServer()
    {
        [[maybe_unused]] const ssize_t woken = ::write(m_wake[1], "x", 1);
        m_thread.join();
        for (int fd : {m_fdListen, m_fdConn, m_wake[0], m_wake[1]})
            if (fd >= 0)
                ::close(fd);
    }

    std::string Url(const char* scheme = "rfc2217") const { return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_nPort); }
    // The bytes as they came on the wire, and the line's data in them (unescaped).
    std::string Wire()
    {
        std::lock_guard lock(m_mutex);
        return m_strWire;
    }
    std::string Data()
    {
        std::lock_guard lock(m_mutex);
        return m_strData;
    }
    bool WaitForData(std::size_t size, bool wire = false)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 5s, [&] { return (wire ? m_strWire : m_strData).size() >= size; });
    }
    // Sends raw bytes to the client.
    void Send(const std::string& bytes)
    {
        std::lock_guard lock(m_mutex);
        ASSERT_GE(m_fdConn, 0);
        ASSERT_EQ(::send(m_fdConn, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // Ends the connection: the client sees it close.
    void Disconnect()
    {
        std::lock_guard lock(m_mutex);
        ::shutdown(m_fdConn, SHUT_RDWR);
    }

    std::atomic<std::uint32_t> m_nAnswerBaud{0};
    std::atomic<int> m_nAnswerDelayMs{0};

private:
    void Serve()
    {
        pollfd fds[2] = {{m_fdListen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) <= 0 || fds[1].revents)
            return;
        {
            std::lock_guard lock(m_mutex);
            m_fdConn = ::accept4(m_fdListen, nullptr, nullptr, SOCK_CLOEXEC);
        }
        char buffer[4096];
        for (;;) {
            pollfd io[2] = {{m_fdConn, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(io, 2, -1) <= 0 || io[1].revents)
                return;
            const ssize_t n = ::recv(m_fdConn, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            std::string reply;
            {
                std::lock_guard lock(m_mutex);
                m_strWire.append(buffer, static_cast<std::size_t>(n));
                for (ssize_t i = 0; i < n; ++i)
                    Take(static_cast<std::uint8_t>(buffer[i]), reply);
                m_cv.notify_all();
            }
            if (reply.empty() || m_eMode != EMode::Rfc2217)
                continue;
            // A far machine: the answer comes after the delay (or the end of the test).
            if (const int delay = m_nAnswerDelayMs.load(); delay > 0) {
                pollfd woken{m_wake[0], POLLIN, 0};
                if (::poll(&woken, 1, delay) != 0)
                    return;
            }
            ::send(m_fdConn, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
    }

    // The server's side of Telnet, as little as the tests need.
    void Take(std::uint8_t ch, std::string& reply)
    {
        const auto add = [&reply](std::initializer_list<int> bytes) {
            for (int b : bytes)
                reply += static_cast<char>(b);
        };
        switch (m_nState) {
        case 0:
            if (ch == P::kIac)
                m_nState = 1;
            else
                m_strData += static_cast<char>(ch);
            break;
        case 1:
            if (ch == P::kIac) {
                m_strData += static_cast<char>(ch);
                m_nState = 0;
            } else if (ch >= P::kWill) {
                m_nVerb = ch;
                m_nState = 2;
            } else if (ch == P::kSb) {
                m_strSub.clear();
                m_nState = 3;
            } else {
                m_nState = 0;
            }
            break;
        case 2:
            if (m_nVerb == P::kWill)
                add({P::kIac, P::kDo, ch});
            else if (m_nVerb == P::kDo)
                add({P::kIac, P::kWill, ch});
            m_nState = 0;
            break;
        case 3:
            if (ch == P::kIac)
                m_nState = 4;
            else
                m_strSub += static_cast<char>(ch);
            break;
        case 4:
            if (ch == P::kIac) {
                m_strSub += static_cast<char>(ch);
                m_nState = 3;
                break;
            }
            m_nState = 0;
            if (m_strSub.size() >= 3 && m_strSub[0] == P::kOptionComPort) {
                std::string value = m_strSub.substr(2);
                if (m_strSub[1] == P::kSetBaudRate && m_nAnswerBaud.load() != 0) {
                    const std::uint32_t baud = m_nAnswerBaud.load();
                    value = {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16), static_cast<char>(baud >> 8),
                        static_cast<char>(baud)};
                }
                // A query (0) is answered with a value of this server's.
                if (m_strSub[1] == P::kSetBaudRate && value == std::string(4, '\0'))
                    value = std::string("\0\0\x25\x80", 4);
                else if (value == std::string(1, '\0'))
                    value = m_strSub[1] == P::kSetDataSize ? "\x08" : "\x01";
                add({P::kIac, P::kSb, P::kOptionComPort, m_strSub[1] + P::kServerOffset});
                P::AppendData(value.data(), value.size(), reply);
                add({P::kIac, P::kSe});
            }
            break;
        }
    }

    EMode m_eMode;
    int m_nPort = 0;
    int m_fdListen = -1;
    int m_fdConn = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_strWire;
    std::string m_strData;
    int m_nState = 0;
    std::uint8_t m_nVerb = 0;
    std::string m_strSub;
};

std::string B(std::initializer_list<int> bytes)
{
    std::string text;
    for (int b : bytes)
        text += static_cast<char>(b);
    return text;
}

TEST(RemoteSerial, SettingsAndModemLinesGoOutAsComPortCommandsAndAreAcknowledged)
{
    CFakeServer server(CFakeServer::EMode::Rfc2217);
    CSerialPort port;
    ASSERT_EQ(port.Open(server.Url(), 0, 0, true), std::error_code());
    // The server's own line, as its answers to the queries said.
    EXPECT_EQ(port.GetBaudRate(), 9600);
    EXPECT_EQ(port.GetDataBits(), 8);
    const CLineConfig line{57600, 7, EParity::Odd, EStopBits::Two, EHandshake::Software};
    ASSERT_EQ(port.SetLine(line), std::error_code());
    CLineConfig held;
    ASSERT_EQ(port.GetLine(held), std::error_code());
    EXPECT_EQ(held, line);
    ASSERT_EQ(port.SetDtr(true), std::error_code());
    ASSERT_EQ(port.SetRts(false), std::error_code());
    std::uint32_t lines = 0;
    ASSERT_EQ(port.GetModemLines(lines), std::error_code());
    EXPECT_EQ(lines & (MODEM_DTR | MODEM_RTS), MODEM_DTR);
    const std::string wire = server.Wire();
    for (const std::string& command : {B({255, 250, 44, 1, 0, 0, 0xE1, 0, 255, 240}), B({255, 250, 44, 2, 7, 255, 240}),
             B({255, 250, 44, 3, 2, 255, 240}), B({255, 250, 44, 4, 2, 255, 240}), B({255, 250, 44, 5, 2, 255, 240}),
             B({255, 250, 44, 5, 8, 255, 240}), B({255, 250, 44, 5, 12, 255, 240})})
        EXPECT_NE(wire.find(command), std::string::npos) << ::testing::PrintToString(command);
    EXPECT_EQ(server.Data(), "") << "commands are no data";
}

TEST(RemoteSerial, ARateTheServerAnswersOtherwiseIsRefusedAndTheLineKeepsItsRate)
{
    CFakeServer server(CFakeServer::EMode::Rfc2217);
    CSerialPort port;
    ASSERT_EQ(port.Open(server.Url(), 0, 0, true), std::error_code());
    server.m_nAnswerBaud = 9600;
    EXPECT_EQ(port.SetLine({115200, 8, EParity::None, EStopBits::One, EHandshake::None}), Sys(EINVAL));
    EXPECT_EQ(port.GetBaudRate(), 9600);
}

TEST(RemoteSerial, TheRoundTripIsMeasuredAtEveryAcknowledgedSetting)
{
    CFakeServer server(CFakeServer::EMode::Rfc2217);
    CSerialPort port;
    EXPECT_EQ(port.RoundTripMs(), 0u) << "not open";
    ASSERT_EQ(port.Open(server.Url(), 0, 0, true), std::error_code());
    server.m_nAnswerDelayMs = 300;
    ASSERT_EQ(port.SetLine({115200, 8, EParity::None, EStopBits::One, EHandshake::None}), std::error_code());
    EXPECT_GE(port.RoundTripMs(), 300u);
}

TEST(RemoteSerial, EveryByteValueGoesBothWaysAroundTheServersCommands)
{
    CFakeServer server(CFakeServer::EMode::Rfc2217);
    CSerialPort port;
    ASSERT_EQ(port.Open(server.Url(), 0, 0, true), std::error_code());
    std::string all;
    for (int i = 0; i < 512; ++i)
        all += static_cast<char>(i & 0xFF);
    all += std::string(100, '\xFF');
    std::uint32_t written = 0;
    ASSERT_EQ(port.Write(all.data(), static_cast<std::uint32_t>(all.size()), &written), std::error_code());
    EXPECT_EQ(written, all.size());
    ASSERT_TRUE(server.WaitForData(all.size()));
    EXPECT_EQ(server.Data(), all);

    // The server's bytes escaped, with a modem notice and a NOP between them, in two sends.
    std::string first, rest;
    P::AppendData(all.data(), 300, first);
    P::AppendData(all.data() + 300, all.size() - 300, rest);
    server.Send(first + B({255, 250, 44, 107, 0x10, 255, 240, 255, 241}));
    server.Send(rest);
    std::string got(all.size(), '\0');
    std::uint32_t read = 0;
    ASSERT_EQ(port.SetReadMode(CSerialPort::ReadModeWaitAll), std::error_code());
    ASSERT_EQ(port.Read(got.data(), static_cast<std::uint32_t>(got.size()), &read, nullptr, 5000), std::error_code());
    EXPECT_EQ(got, all);
    std::uint32_t modem = 0;
    ASSERT_EQ(port.GetModemLines(modem), std::error_code());
    EXPECT_EQ(modem & MODEM_CTS, MODEM_CTS);
}

TEST(RemoteSerial, AConnectionThatEndsIsALineThatWentAway)
{
    CFakeServer server(CFakeServer::EMode::Rfc2217);
    CSerialPort port;
    ASSERT_EQ(port.Open(server.Url(), 0, 0, true), std::error_code());
    server.Send("tail");
    server.Disconnect();
    // What came before the end is still read; then waits and transfers fail with the reason.
    std::string got;
    std::error_code code;
    for (int i = 0; i < 10 && !code; ++i) {
        code = port.WaitEvent(nullptr, 5000);
        char buffer[16];
        std::uint32_t read = 0;
        port.Read(buffer, sizeof buffer, &read, nullptr, 0);
        got.append(buffer, read);
    }
    EXPECT_EQ(got, "tail");
    EXPECT_EQ(code, Sys(ECONNRESET));
    EXPECT_EQ(port.Write("x", nullptr, nullptr, 1000), Sys(ECONNRESET));
    EXPECT_EQ(port.Close(), std::error_code());
}

struct FaultRow {
    const char* m_name;
    std::function<std::string(int refusedPort, const std::string& silentUrl)> m_url;
    std::error_code m_code;
};

TEST(RemoteSerial, ConnectingFaultsEachGiveTheirReason)
{
    int refusedPort = 0;
    const int fd = Listen(refusedPort);
    ASSERT_GE(fd, 0);
    ::close(fd); // nobody listens there now
    CFakeServer silent(CFakeServer::EMode::Silent);
    const FaultRow rows[] = {
        {"refused", [](int p, const std::string&) { return "rfc2217://127.0.0.1:" + std::to_string(p); }, Sys(ECONNREFUSED)},
        {"unknown host", [](int, const std::string&) { return std::string("rfc2217://no-such-host.invalid:2217"); },
            ESerialError::HostUnknown},
        {"never negotiates", [](int, const std::string& url) { return url; }, ESerialError::NoLineControl},
    };
    for (const FaultRow& row : rows) {
        CSerialPort port;
        EXPECT_EQ(port.Open(row.m_url(refusedPort, silent.Url()), 0, 0, true), row.m_code) << row.m_name;
        EXPECT_FALSE(port.IsOpen()) << row.m_name;
    }
}

TEST(RemoteSerial, RawSocketCarriesBytesOnlyAndHasNoModemLines)
{
    CFakeServer server(CFakeServer::EMode::Silent);
    CSerialPort port;
    ASSERT_EQ(port.Open(server.Url("socket"), 0, 0, true), std::error_code());
    EXPECT_EQ(port.SetLine({115200, 7, EParity::Even, EStopBits::One, EHandshake::None}), std::error_code());
    EXPECT_EQ(port.GetDataBits(), 7);
    EXPECT_EQ(port.SetDtr(true), Sys(ENOTTY));
    const std::string bytes = B({255, 0, 255, 'a'});
    ASSERT_EQ(port.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())), std::error_code());
    ASSERT_TRUE(server.WaitForData(bytes.size(), true));
    EXPECT_EQ(server.Wire(), bytes) << "as they are: no Telnet";
}

TEST(RemoteSerial, EveryByteValueGoesBothWaysThroughSer2net)
{
    if (!CSer2netServer::Available())
        GTEST_SKIP() << "ser2net is not installed (scripts/setup installs it)";
    CPtyPair pty;
    CSer2netServer server({pty.SlavePath()});
    ASSERT_EQ(server.Error(), "");
    CSerialPort port;
    ASSERT_EQ(port.Open(server.Url(), 0, 0, true), std::error_code());
    std::string all;
    for (int i = 0; i < 1024; ++i)
        all += static_cast<char>(i & 0xFF);
    all += std::string(300, '\xFF');
    ASSERT_EQ(port.Write(all.data(), static_cast<std::uint32_t>(all.size())), std::error_code());
    EXPECT_EQ(pty.Receive(all.size()), all);
    pty.Send(all);
    std::string got(all.size(), '\0');
    std::uint32_t read = 0;
    ASSERT_EQ(port.SetReadMode(CSerialPort::ReadModeWaitAll), std::error_code());
    ASSERT_EQ(port.Read(got.data(), static_cast<std::uint32_t>(got.size()), &read, nullptr, 5000), std::error_code());
    EXPECT_EQ(got, all);
}

} // namespace
