// The serial port over real pseudo-terminals: open and its failures, settings and their
// read-back, transfers with their time-outs and codes, hang-up, and Close from another thread.

#include "close_on_exit.h"
#include "pty_pair.h"
#include "temp_dir.h"

#include "base/event.h"
#include "serial/serial_device_name.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>

namespace {

std::error_code Sys(int value)
{
    return {value, std::system_category()};
}

const std::error_code kInvalidHandle = ESerialError::InvalidHandle;

class SerialPortTest : public ::testing::Test {
protected:
    CPtyPair m_pty;
    CSerialPort m_port;

    void OpenOverlapped() { ASSERT_FALSE(m_port.Open(m_pty.SlavePath(), 0, 0, true)); }
    void OpenBlocking() { ASSERT_FALSE(m_port.Open(m_pty.SlavePath(), 0, 0, false)); }
};

// ---- Device names ----------------------------------------------------------------------------

struct DeviceNameRow {
    const char* m_name;
    const char* m_path;
};

class DeviceNameTest : public ::testing::TestWithParam<DeviceNameRow> {};

TEST_P(DeviceNameTest, MapsToPath)
{
    EXPECT_EQ(SerialDevicePath(GetParam().m_name), GetParam().m_path);
}

INSTANTIATE_TEST_SUITE_P(Names, DeviceNameTest, ::testing::Values(
    DeviceNameRow{"COM1", "/dev/ttyS0"},
    DeviceNameRow{"COM10", "/dev/ttyS9"},
    DeviceNameRow{"COM25", "/dev/ttyS24"},
    DeviceNameRow{"COM0", "/dev/COM0"},
    DeviceNameRow{"COM", "/dev/COM"},
    DeviceNameRow{"COM1x", "/dev/COM1x"},
    DeviceNameRow{"com1", "/dev/com1"},
    DeviceNameRow{"ttyUSB0", "/dev/ttyUSB0"},
    DeviceNameRow{"pts/3", "/dev/pts/3"},
    DeviceNameRow{"/dev/ttyACM1", "/dev/ttyACM1"},
    DeviceNameRow{"/tmp/some link", "/tmp/some link"}));

// ---- Open and close --------------------------------------------------------------------------

TEST_F(SerialPortTest, OpenSetsDefaultsAndRawMode)
{
    OpenOverlapped();
    EXPECT_TRUE(m_port.IsOpen());
    EXPECT_EQ(m_port.GetEventMask(), 0x00C1u);
    EXPECT_EQ(m_port.GetDataBits(), 8);
    EXPECT_EQ(m_port.GetParity(), 0);
    EXPECT_EQ(m_port.GetStopBits(), 0);
    EXPECT_EQ(m_port.GetHandshake(), 0);
    // Raw: every byte value passes unchanged in both directions.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    ASSERT_FALSE(m_port.Write(all.data(), 256, nullptr, nullptr, 2000));
    EXPECT_EQ(m_pty.Receive(256), all);
    m_pty.Send(all);
    std::string got;
    char buffer[255];
    for (int round = 0; round < 100 && got.size() < 256; ++round) {
        std::uint32_t count = 0;
        ASSERT_FALSE(m_port.Read(buffer, sizeof buffer, &count, nullptr, kNoTimeLimit));
        got.append(buffer, count);
        if (count == 0)
            m_port.WaitEvent(nullptr, 1000); // until more bytes arrive
    }
    EXPECT_EQ(got, all);
}

TEST_F(SerialPortTest, OpenTwiceKeepsTheFirstOpening)
{
    OpenOverlapped();
    EXPECT_EQ(m_port.Open(m_pty.SlavePath(), 0, 0, true), std::error_code(ESerialError::AlreadyInitialized));
    EXPECT_EQ(m_port.LastError(), std::error_code(ESerialError::AlreadyInitialized));
    EXPECT_TRUE(m_port.IsOpen());
    ASSERT_FALSE(m_port.Write("still here"));
    EXPECT_EQ(m_pty.Receive(10), "still here");
}

TEST_F(SerialPortTest, ClosedPortRefusesEverythingButOpenAndClose)
{
    char buffer[4];
    std::uint32_t count = 77;
    EXPECT_EQ(m_port.Close(), std::error_code());
    EXPECT_EQ(m_port.Configure(9600, 8, 0, 0), kInvalidHandle);
    EXPECT_EQ(m_port.SetHandshake(0), kInvalidHandle);
    EXPECT_EQ(m_port.SetReadMode(0), kInvalidHandle);
    EXPECT_EQ(m_port.SetEventMask(1), kInvalidHandle);
    EXPECT_EQ(m_port.SetEventChar('x', true), kInvalidHandle);
    EXPECT_EQ(m_port.WaitEvent(nullptr, kNoTimeLimit), kInvalidHandle);
    EXPECT_EQ(m_port.Write("x"), kInvalidHandle);
    EXPECT_EQ(m_port.Read(buffer, 4, &count), kInvalidHandle);
    EXPECT_EQ(count, 0u);
    std::uint32_t errors = 5;
    EXPECT_EQ(m_port.ClearLineErrors(errors), kInvalidHandle);
    EXPECT_EQ(m_port.GetBaudRate(), -1);
    EXPECT_EQ(m_port.GetDataBits(), -1);
    EXPECT_EQ(m_port.GetParity(), -1);
    EXPECT_EQ(m_port.GetStopBits(), -1);
    EXPECT_EQ(m_port.GetHandshake(), -1);
    EXPECT_EQ(m_port.LastError(), kInvalidHandle);
    EXPECT_EQ(m_port.GetEventMask(), 0u);
    EXPECT_EQ(m_port.GetEventChar(), 0);
    EXPECT_EQ(m_port.TakeEvents(), 0u);
    EXPECT_EQ(m_port.Close(), std::error_code());
}

TEST_F(SerialPortTest, OpenFailuresLeaveThePortClosed)
{
    const CTempDir dir;
    dir.Write("plain", "not a line");

    struct Row {
        std::string m_device;
        std::error_code m_code;
    };
    const Row rows[] = {
        {dir.Path("missing"), Sys(ENOENT)},
        {"ttyQX_none_such", Sys(ENOENT)},
        {"", Sys(ENOENT)},
        {dir.Path("plain"), Sys(ENOTTY)},
        {"/dev/null", Sys(ENOTTY)},
        {dir.Path(), Sys(EISDIR)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.m_device);
        CSerialPort port;
        EXPECT_EQ(port.Open(row.m_device, 0, 0, true), row.m_code);
        EXPECT_EQ(port.LastError(), row.m_code);
        EXPECT_FALSE(port.IsOpen());
    }
}

TEST_F(SerialPortTest, SecondOpenerIsBusyUntilTheFirstCloses)
{
    OpenOverlapped();
    CSerialPort other;
    EXPECT_EQ(other.Open(m_pty.SlavePath(), 0, 0, true), Sys(EBUSY));
    EXPECT_FALSE(other.IsOpen());
    // The failed open must not have taken or kept anything.
    EXPECT_EQ(m_port.Write("a"), std::error_code());
    ASSERT_FALSE(m_port.Close());
    EXPECT_EQ(other.Open(m_pty.SlavePath(), 0, 0, true), std::error_code());
    // And the lock goes with the close, so the first can have it back.
    ASSERT_FALSE(other.Close());
    EXPECT_EQ(m_port.Open(m_pty.SlavePath(), 0, 0, true), std::error_code());
}

TEST_F(SerialPortTest, CloseRestoresTheLineAsItWas)
{
    // Another descriptor keeps the slave's settings alive and lets us look at them.
    int fd = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(fd, &before), 0);
    before.c_lflag |= ICANON | ECHO;
    before.c_iflag |= ICRNL;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &before), 0);

    OpenOverlapped();
    termios during{};
    ASSERT_EQ(::tcgetattr(fd, &during), 0);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(during.c_iflag & ICRNL, 0u);
    EXPECT_NE(during.c_cflag & CLOCAL, 0u);
    ASSERT_FALSE(m_port.Configure(57600, 8, 0, 2));
    ASSERT_FALSE(m_port.Close());

    termios after{};
    ASSERT_EQ(::tcgetattr(fd, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
    ::close(fd);
}

TEST_F(SerialPortTest, CloseRightAfterWriteLosesNothing)
{
    OpenOverlapped();
    std::string sent;
    for (int i = 0; sent.size() < 12000; ++i)
        sent += std::to_string(i) + " ";
    ASSERT_FALSE(m_port.Write(sent.data(), static_cast<std::uint32_t>(sent.size()), nullptr, nullptr, 5000));
    ASSERT_FALSE(m_port.Close());
    const std::string got = m_pty.Receive(sent.size());
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
}

// ---- Line settings ---------------------------------------------------------------------------

struct LineRow {
    std::uint32_t m_baud;
    int m_dataBits;
    int m_stopBits;
};

class SerialLineTest : public SerialPortTest, public ::testing::WithParamInterface<LineRow> {};

TEST_P(SerialLineTest, ConfigureReadsBack)
{
    OpenOverlapped();
    ASSERT_FALSE(m_port.Configure(4800, 8, 0, 0));
    const LineRow& row = GetParam();
    std::error_code code = m_port.Configure(row.m_baud, static_cast<std::uint8_t>(row.m_dataBits), 0,
        static_cast<std::uint8_t>(row.m_stopBits));
    if (!code) {
        EXPECT_EQ(m_port.GetBaudRate(), static_cast<int>(row.m_baud));
        EXPECT_EQ(m_port.GetDataBits(), row.m_dataBits);
        EXPECT_EQ(m_port.GetStopBits(), row.m_stopBits);
        EXPECT_EQ(m_port.GetParity(), 0);
    } else {
        // A pseudo-terminal holds 8 data bits only: the refusal must leave the line as it was.
        EXPECT_EQ(code, Sys(EINVAL));
        EXPECT_NE(row.m_dataBits, 8);
        EXPECT_EQ(m_port.GetBaudRate(), 4800);
        EXPECT_EQ(m_port.GetDataBits(), 8);
        EXPECT_EQ(m_port.GetStopBits(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, SerialLineTest, ::testing::Values(
    LineRow{1200, 8, 0}, LineRow{9600, 8, 0}, LineRow{115200, 8, 2}, LineRow{2000000, 8, 0},
    LineRow{9600, 7, 0}, LineRow{19200, 6, 2},
    LineRow{14400, 8, 0},  // not a termios constant: set through its own divisor
    LineRow{56000, 8, 0}, LineRow{250000, 8, 0}, LineRow{110, 5, 1}, LineRow{300, 5, 0}));

TEST_F(SerialPortTest, ConfigureRefusesWhatNoUartSends)
{
    OpenOverlapped();
    ASSERT_FALSE(m_port.Configure(38400, 8, 0, 2));
    struct Row {
        std::uint32_t m_baud;
        int m_dataBits, m_parity, m_stopBits;
    };
    const Row rows[] = {
        {9600, 8, 0, 1}, // one and a half stop bits need 5 data bits
        {9600, 5, 0, 2}, // two stop bits with 5 data bits
        {9600, 9, 0, 0}, {9600, 4, 0, 0}, {9600, 8, 5, 0}, {9600, 8, -1, 0}, {9600, 8, 0, 3},
        {0, 8, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.m_baud << " " << row.m_dataBits << " "
                                        << row.m_parity << " " << row.m_stopBits);
        EXPECT_EQ(m_port.Configure(row.m_baud, static_cast<std::uint8_t>(row.m_dataBits), row.m_parity,
                      static_cast<std::uint8_t>(row.m_stopBits)), Sys(EINVAL));
        EXPECT_EQ(m_port.GetBaudRate(), 38400);
        EXPECT_EQ(m_port.GetDataBits(), 8);
        EXPECT_EQ(m_port.GetStopBits(), 2);
    }
}

TEST_F(SerialPortTest, ParityEitherHoldsOrIsRefusedWithoutChange)
{
    // A pseudo-terminal drops parity; a real line keeps it. Either way nothing is half-set.
    OpenOverlapped();
    ASSERT_FALSE(m_port.Configure(4800, 8, 0, 0));
    for (int parity = 1; parity <= 4; ++parity) {
        SCOPED_TRACE(parity);
        std::error_code code = m_port.Configure(9600, 8, parity, 0);
        if (!code) {
            EXPECT_EQ(m_port.GetParity(), parity);
            EXPECT_EQ(m_port.GetBaudRate(), 9600);
        } else {
            EXPECT_EQ(code, Sys(EINVAL));
            EXPECT_EQ(m_port.GetParity(), 0);
            EXPECT_EQ(m_port.GetBaudRate(), 4800);
        }
    }
    ASSERT_FALSE(m_port.Configure(9600, 8, 0, 0));
    EXPECT_EQ(m_port.GetParity(), 0);
}

TEST_F(SerialPortTest, HandshakeKindsAndReadModes)
{
    OpenOverlapped();
    ASSERT_FALSE(m_port.SetHandshake(CSerialPort::HandshakeHardware));
    EXPECT_EQ(m_port.GetHandshake(), 1);
    EXPECT_EQ(m_port.SetHandshake(3), std::error_code(ESerialError::InvalidArg));
    EXPECT_EQ(m_port.SetHandshake(-1), std::error_code(ESerialError::InvalidArg));
    EXPECT_EQ(m_port.GetHandshake(), 1);
    ASSERT_FALSE(m_port.SetHandshake(CSerialPort::HandshakeSoftware));
    EXPECT_EQ(m_port.GetHandshake(), 2);
    ASSERT_FALSE(m_port.SetHandshake(CSerialPort::HandshakeNone));
    EXPECT_EQ(m_port.GetHandshake(), 0);
    // The handshake survives a change of the line settings.
    ASSERT_FALSE(m_port.SetHandshake(CSerialPort::HandshakeHardware));
    ASSERT_FALSE(m_port.Configure(9600, 8, 0, 0));
    EXPECT_EQ(m_port.GetHandshake(), 1);

    EXPECT_EQ(m_port.SetReadMode(2), std::error_code(ESerialError::InvalidArg));
    EXPECT_EQ(m_port.SetReadMode(CSerialPort::ReadModeWaitAll), std::error_code());
    EXPECT_EQ(m_port.SetReadMode(CSerialPort::ReadModeImmediate), std::error_code());
}

TEST_F(SerialPortTest, EventCharAndMask)
{
    OpenOverlapped();
    EXPECT_EQ(m_port.GetEventChar(), 0);
    ASSERT_FALSE(m_port.SetEventChar('\r', false));
    EXPECT_EQ(m_port.GetEventChar(), '\r');
    EXPECT_EQ(m_port.GetEventMask(), 0x00C1u);
    ASSERT_FALSE(m_port.SetEventChar('\n', true));
    EXPECT_EQ(m_port.GetEventMask(), 0x00C1u | line_event::kRxFlag);
    ASSERT_FALSE(m_port.SetEventMask(line_event::kRxChar));
    EXPECT_EQ(m_port.GetEventMask(), line_event::kRxChar);
}

// ---- Transfers -------------------------------------------------------------------------------

TEST_F(SerialPortTest, ImmediateReadOfNothingReturnsAtOnce)
{
    OpenOverlapped();
    char buffer[255];
    std::uint32_t count = 99;
    EXPECT_EQ(m_port.Read(buffer, 255, &count, nullptr, kNoTimeLimit), std::error_code());
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(m_port.Read(buffer, 255, nullptr, nullptr, 10), std::error_code());
}

TEST_F(SerialPortTest, BlockingUsePortRefusesRecordsAndTimeouts)
{
    OpenBlocking();
    CEvent event(true);
    COverlapped record{&event, {}, 0};
    std::uint32_t count = 5;
    EXPECT_EQ(m_port.Write("data", 4, &count, nullptr, 1000), std::error_code(ESerialError::InvalidFunction));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(m_port.Write("data", 4, nullptr, &record, kNoTimeLimit), std::error_code(ESerialError::InvalidFunction));
    char buffer[8];
    EXPECT_EQ(m_port.Read(buffer, 8, nullptr, nullptr, 5), std::error_code(ESerialError::InvalidFunction));
    EXPECT_EQ(m_port.WaitEvent(&record, kNoTimeLimit), std::error_code(ESerialError::InvalidFunction));
    EXPECT_EQ(m_pty.ReceiveAvailable(), "");
    // The plain blocking forms work.
    ASSERT_FALSE(m_port.Write("data", 4, &count, nullptr, kNoTimeLimit));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(m_pty.Receive(4), "data");
}

TEST_F(SerialPortTest, TextWriteSendsWithoutTerminator)
{
    OpenOverlapped();
    std::uint32_t count = 0;
    ASSERT_FALSE(m_port.Write("L\r", &count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(m_pty.Receive(3, std::chrono::milliseconds(200)), "L\r");
}

TEST_F(SerialPortTest, WriteThatCannotFinishTimesOut)
{
    OpenOverlapped();
    // Nobody reads at the far end: the line takes some kilobytes, then the write must give up.
    std::string big(1 << 20, 'x');
    std::uint32_t count = 0;
    EXPECT_EQ(m_port.Write(big.data(), static_cast<std::uint32_t>(big.size()), &count, nullptr, 300),
        std::error_code(ESerialError::Timeout));
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, big.size());
    // What the line took arrives intact; the rest was never sent.
    EXPECT_EQ(m_pty.Receive(count + 1, std::chrono::milliseconds(500)), big.substr(0, count));
}

TEST_F(SerialPortTest, ConcurrentWritesDoNotInterleave)
{
    OpenOverlapped();
    const std::string a(30000, 'a');
    const std::string b(30000, 'b');
    auto first = std::async(std::launch::async, [&] { return m_port.Write(a.data(), 30000, nullptr, nullptr, 10000); });
    auto second = std::async(std::launch::async, [&] { return m_port.Write(b.data(), 30000, nullptr, nullptr, 10000); });
    const std::string got = m_pty.Receive(60000, std::chrono::seconds(10));
    EXPECT_EQ(first.get(), std::error_code());
    EXPECT_EQ(second.get(), std::error_code());
    ASSERT_EQ(got.size(), 60000u);
    EXPECT_TRUE(got == a + b || got == b + a);
}

// The write in progress holds the turn while the far end reads nothing: another write waits for
// it only as long as its own limit, and none of its bytes gets between the first one's.
TEST_F(SerialPortTest, AWriteWaitingForAnothersTurnGivesUpAtItsLimit)
{
    OpenOverlapped();
    auto first = std::async(std::launch::async, [this] {
        const std::string big(1 << 20, 'w');
        return m_port.Write(big.data(), static_cast<std::uint32_t>(big.size()), nullptr, nullptr, kNoTimeLimit);
    });
    // Bytes at the far end: the first write has its turn.
    pollfd arrived{m_pty.Master(), POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 5000), 1);
    std::uint32_t count = 7;
    EXPECT_EQ(m_port.Write("k", 1, &count, nullptr, 200), std::error_code(ESerialError::Timeout));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(m_port.LastError(), std::error_code(ESerialError::Timeout));
    EXPECT_EQ(m_port.Close(), std::error_code());
    EXPECT_EQ(first.get(), Sys(ECANCELED));
    EXPECT_EQ(m_pty.ReceiveAvailable().find('k'), std::string::npos);
}

// The last error is the last operation's: a success after a failure clears it (a download's
// bytes store "no error" without a lock while nothing failed).
TEST_F(SerialPortTest, LastErrorIsTheLastOperationsResult)
{
    OpenOverlapped();
    const struct {
        const char* m_name;
        std::function<std::error_code(CSerialPort&)> m_op;
        std::error_code m_code;
    } rows[] = {
        {"write", [](CSerialPort& p) { return p.Write("a", 1, nullptr, nullptr, 1000); }, {}},
        {"bad read mode", [](CSerialPort& p) { return p.SetReadMode(7); }, ESerialError::InvalidArg},
        {"write after a failure", [](CSerialPort& p) { return p.Write("b", 1, nullptr, nullptr, 1000); }, {}},
        {"write again", [](CSerialPort& p) { return p.Write("c"); }, {}},
        {"four data bits", [](CSerialPort& p) { return p.Configure(9600, 4, 0, 0); }, Sys(EINVAL)},
        {"event char", [](CSerialPort& p) { return p.GetEventChar() == 0 ? std::error_code() : Sys(EBADE); }, {}},
        {"close", [](CSerialPort& p) { return p.Close(); }, {}},
        {"write when closed", [](CSerialPort& p) { return p.Write("d"); }, kInvalidHandle},
        {"close again", [](CSerialPort& p) { return p.Close(); }, {}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.m_op(m_port), row.m_code) << row.m_name;
        EXPECT_EQ(m_port.LastError(), row.m_code) << row.m_name;
    }
    EXPECT_EQ(m_pty.Receive(3), "abc");
}

TEST_F(SerialPortTest, WaitAllReadCollectsEveryByteOrReportsWhatCame)
{
    OpenOverlapped();
    ASSERT_FALSE(m_port.SetReadMode(CSerialPort::ReadModeWaitAll));
    auto sender = std::async(std::launch::async, [this] {
        m_pty.Send("hello ");
        m_pty.Send("world");
    });
    char buffer[11];
    std::uint32_t count = 0;
    ASSERT_EQ(m_port.Read(buffer, 11, &count, nullptr, 5000), std::error_code());
    sender.get();
    EXPECT_EQ(std::string(buffer, count), "hello world");

    m_pty.Send("part");
    EXPECT_EQ(m_port.Read(buffer, 11, &count, nullptr, 200), std::error_code(ESerialError::Timeout));
    // The bytes taken before the time ran out are not lost.
    EXPECT_EQ(std::string(buffer, count), "part");
}

TEST_F(SerialPortTest, RecordCompletesAndSignalsItsEvent)
{
    OpenOverlapped();
    CEvent event(true);
    COverlapped record{&event, {}, 0};
    std::uint32_t count = 0;
    ASSERT_FALSE(m_port.Write("abc", 3, &count, &record, kNoTimeLimit));
    EXPECT_TRUE(event.IsSet());
    EXPECT_EQ(record.m_nTransferred, 3u);
    EXPECT_EQ(record.m_code, std::error_code());
    EXPECT_EQ(m_pty.Receive(3), "abc");
}

TEST_F(SerialPortTest, WaitEventReportsArrivalOnceAndTimesOut)
{
    OpenOverlapped();
    EXPECT_EQ(m_port.WaitEvent(nullptr, 50), std::error_code(ESerialError::Timeout));
    m_pty.Send("x");
    ASSERT_EQ(m_port.WaitEvent(nullptr, 5000), std::error_code());
    EXPECT_EQ(m_port.TakeEvents(), line_event::kRxChar);
    EXPECT_EQ(m_port.TakeEvents(), 0u);
    // The byte is still unread: it is not reported a second time.
    EXPECT_EQ(m_port.WaitEvent(nullptr, 100), std::error_code(ESerialError::Timeout));
    // A masked-out arrival is not reported either.
    ASSERT_FALSE(m_port.SetEventMask(line_event::kBreak));
    char buffer[4];
    ASSERT_FALSE(m_port.Read(buffer, 4));
    m_pty.Send("y");
    EXPECT_EQ(m_port.WaitEvent(nullptr, 5000), std::error_code()); // ended by the new mask
    EXPECT_EQ(m_port.TakeEvents(), 0u);
    EXPECT_EQ(m_port.WaitEvent(nullptr, 100), std::error_code(ESerialError::Timeout));
}

TEST_F(SerialPortTest, SettingTheMaskEndsAWaitOnAnotherThread)
{
    OpenOverlapped();
    auto waiter = std::async(std::launch::async, [this] { return m_port.WaitEvent(nullptr, kNoTimeLimit); });
    const CCloseOnExit closeFirst(m_port);
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    ASSERT_FALSE(m_port.SetEventMask(m_port.GetEventMask()));
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), std::error_code());
    EXPECT_EQ(m_port.TakeEvents(), 0u);
}

TEST_F(SerialPortTest, PseudoTerminalHasNoLineErrorCounters)
{
    EXPECT_EQ(m_port.GetOutputQueue(), 0);
    EXPECT_EQ(m_port.LastError(), kInvalidHandle);
    OpenOverlapped();
    ASSERT_FALSE(m_port.Write("queued"));
    EXPECT_EQ(m_port.GetOutputQueue(), 0); // handed straight to the far end
    EXPECT_EQ(m_port.LastError(), std::error_code());
    std::uint32_t errors = 1;
    EXPECT_EQ(m_port.ClearLineErrors(errors), std::error_code());
    EXPECT_EQ(errors, 0u);
}

// ---- Modem lines -----------------------------------------------------------------------------

TEST_F(SerialPortTest, ModemLinesAreResultsClosedRefusedByAPseudoTerminalOrReadBack)
{
    struct Row {
        const char* m_name;
        std::function<std::error_code(CSerialPort&, std::uint32_t&)> m_call;
        std::uint32_t m_nLine; // the line the call raises (MODEM_*), 0 for none
        bool m_bOn;
    };
    const Row rows[] = {
        {"DTR on", [](CSerialPort& p, std::uint32_t&) { return p.SetDtr(true); }, MODEM_DTR, true},
        {"DTR off", [](CSerialPort& p, std::uint32_t&) { return p.SetDtr(false); }, MODEM_DTR, false},
        {"RTS on", [](CSerialPort& p, std::uint32_t&) { return p.SetRts(true); }, MODEM_RTS, true},
        {"RTS off", [](CSerialPort& p, std::uint32_t&) { return p.SetRts(false); }, MODEM_RTS, false},
        {"read", [](CSerialPort& p, std::uint32_t& lines) { return p.GetModemLines(lines); }, 0, false},
    };
    for (const Row& row : rows) {
        std::uint32_t lines = 77;
        EXPECT_EQ(row.m_call(m_port, lines), kInvalidHandle) << row.m_name;
        EXPECT_EQ(m_port.LastError(), kInvalidHandle) << row.m_name;
    }
    OpenOverlapped();
    // A pseudo-terminal has no modem lines: the driver refuses the calls, and says so as a
    // result (never an exception); the port goes on working. A driver that has them reads back.
    for (const Row& row : rows) {
        std::uint32_t lines = 77;
        const std::error_code code = row.m_call(m_port, lines);
        EXPECT_EQ(m_port.LastError(), code) << row.m_name;
        if (code) {
            EXPECT_EQ(code, Sys(ENOTTY)) << row.m_name;
            continue;
        }
        if (row.m_nLine != 0) {
            ASSERT_EQ(m_port.GetModemLines(lines), std::error_code()) << row.m_name;
            EXPECT_EQ((lines & row.m_nLine) != 0, row.m_bOn) << row.m_name;
        }
    }
    std::uint32_t lines = 77;
    if (m_port.GetModemLines(lines)) {
        EXPECT_EQ(lines, 0u);
    }
    ASSERT_FALSE(m_port.Write("after"));
    EXPECT_EQ(m_pty.Receive(5), "after");
}

// ---- The far end goes away -------------------------------------------------------------------

TEST_F(SerialPortTest, HangUpEndsWaitsAndFailsTransfers)
{
    OpenOverlapped();
    auto waiter = std::async(std::launch::async, [this] { return m_port.WaitEvent(nullptr, kNoTimeLimit); });
    const CCloseOnExit closeFirst(m_port);
    m_pty.CloseMaster();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), Sys(ENODEV));
    // Bounded, so a wait that misses the hang-up fails with a time-out instead of hanging.
    EXPECT_EQ(m_port.WaitEvent(nullptr, 5000), Sys(ENODEV));
    char buffer[16];
    std::uint32_t count = 0;
    EXPECT_TRUE(m_port.Read(buffer, sizeof buffer, &count, nullptr, kNoTimeLimit));
    EXPECT_EQ(count, 0u);
    std::error_code write = m_port.Write("lost", 4, nullptr, nullptr, 1000);
    EXPECT_EQ(write, Sys(EIO));
    EXPECT_EQ(write.category(), std::system_category());
    EXPECT_EQ(m_port.Close(), std::error_code());
}

TEST_F(SerialPortTest, HangUpAfterDataReportsTheDataFirst)
{
    OpenOverlapped();
    m_pty.Send("last words");
    ASSERT_EQ(m_port.WaitEvent(nullptr, 5000), std::error_code());
    EXPECT_EQ(m_port.TakeEvents(), line_event::kRxChar);
    m_pty.CloseMaster();
    EXPECT_EQ(m_port.WaitEvent(nullptr, 5000), Sys(ENODEV));
}

// ---- Close from another thread ---------------------------------------------------------------

TEST_F(SerialPortTest, CloseWakesReadWriteAndWaitInProgress)
{
    OpenOverlapped();
    CSerialPort& port = m_port;
    auto reader = std::async(std::launch::async, [&port] {
        port.SetReadMode(CSerialPort::ReadModeWaitAll);
        char buffer[64];
        return port.Read(buffer, sizeof buffer, nullptr, nullptr, kNoTimeLimit);
    });
    auto writer = std::async(std::launch::async, [&port] {
        std::string big(1 << 20, 'w');
        return port.Write(big.data(), static_cast<std::uint32_t>(big.size()), nullptr, nullptr, kNoTimeLimit);
    });
    auto waiter = std::async(std::launch::async, [&port] { return port.WaitEvent(nullptr, kNoTimeLimit); });
    // Give them time to block; nothing ends them but the close.
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    auto closer = std::async(std::launch::async, [&port] { return port.Close(); });
    if (closer.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "Close did not end the operations in progress";
        m_pty.CloseMaster(); // the hang-up ends them, so the test still ends
    }
    EXPECT_EQ(closer.get(), std::error_code());
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_EQ(reader.get(), Sys(ECANCELED));
    EXPECT_EQ(writer.get(), Sys(ECANCELED));
    EXPECT_EQ(waiter.get(), Sys(ECANCELED));
    // The port opens again cleanly.
    EXPECT_EQ(m_port.Open(m_pty.SlavePath(), 0, 0, true), std::error_code());
}

// Operations start on other threads without a pause while Close runs: each one either runs on
// the open line or is refused, Close returns once the running ones have left, and the port
// opens again. (The threads' start is a count, not a lock: this is where a sanitizer would see
// a race.)
TEST_F(SerialPortTest, CloseWhileOperationsKeepStartingEndsThemAll)
{
    OpenOverlapped();
    CEvent started{true, false};
    std::atomic<int> running{0};
    auto worker = [&](int kind) {
        std::vector<std::error_code> codes;
        char byte = 'x';
        for (;;) {
            std::error_code code;
            if (kind == 0)
                code = m_port.Write(&byte, 1, nullptr, nullptr, 20);
            else if (kind == 1)
                code = m_port.Read(&byte, 1, nullptr, nullptr, 20);
            else
                code = m_port.SetEventMask(line_event::kDefaultMask);
            if (codes.size() == 50 && running.fetch_add(1) == 3)
                started.Set();
            codes.push_back(code);
            if (code == kInvalidHandle)
                return codes;
        }
    };
    std::vector<std::future<std::vector<std::error_code>>> workers;
    for (int kind : {0, 0, 1, 2})
        workers.push_back(std::async(std::launch::async, worker, kind));
    ASSERT_TRUE(started.Wait(10000));
    EXPECT_EQ(m_port.Close(), std::error_code());
    for (auto& w : workers) {
        for (const std::error_code& code : w.get())
            EXPECT_TRUE(!code || code == std::error_code(ESerialError::Timeout) || code == Sys(ECANCELED)
                || code == kInvalidHandle)
                << code.message();
    }
    ASSERT_EQ(m_port.Open(m_pty.SlavePath(), 0, 0, true), std::error_code());
    // The writers' bytes, then the new ones.
    const std::string earlier = m_pty.Receive(1 << 20, std::chrono::milliseconds(300));
    EXPECT_EQ(earlier.find_first_not_of('x'), std::string::npos);
    ASSERT_FALSE(m_port.Write("again", 5, nullptr, nullptr, 1000));
    EXPECT_EQ(m_pty.Receive(5), "again");
}

// ---- Hardware (only when QX_TEST_PORT names a real port) ------------------------------------

TEST(SerialHardwareTest, RealPortKeepsParityAndCountsErrors)
{
    const char* device = std::getenv("QX_TEST_PORT");
    if (!device || !*device)
        GTEST_SKIP() << "set QX_TEST_PORT to a real serial port to run this";
    CSerialPort port;
    ASSERT_EQ(port.Open(device, 0, 0, true), std::error_code());
    ASSERT_EQ(port.Configure(9600, 7, CSerialPort::ParityEven, 0), std::error_code());
    EXPECT_EQ(port.GetParity(), CSerialPort::ParityEven);
    ASSERT_EQ(port.Configure(9600, 8, CSerialPort::ParityMark, 0), std::error_code());
    EXPECT_EQ(port.GetParity(), CSerialPort::ParityMark);
    ASSERT_EQ(port.Configure(9600, 5, CSerialPort::ParityNone, 1), std::error_code());
    EXPECT_EQ(port.GetStopBits(), 1);
    ASSERT_EQ(port.Configure(9600, 8, CSerialPort::ParityNone, 0), std::error_code());
    std::uint32_t errors = 0;
    EXPECT_EQ(port.ClearLineErrors(errors), std::error_code());
    ASSERT_EQ(port.SetHandshake(CSerialPort::HandshakeHardware), std::error_code());
    EXPECT_EQ(port.GetHandshake(), 1);
    ASSERT_EQ(port.SetHandshake(CSerialPort::HandshakeNone), std::error_code());
    // A real UART drives DTR and RTS and reads them back.
    for (bool on : {false, true}) {
        std::uint32_t lines = 0;
        ASSERT_EQ(port.SetDtr(on), std::error_code());
        ASSERT_EQ(port.SetRts(on), std::error_code());
        ASSERT_EQ(port.GetModemLines(lines), std::error_code());
        EXPECT_EQ((lines & MODEM_DTR) != 0, on);
        EXPECT_EQ((lines & MODEM_RTS) != 0, on);
    }
    EXPECT_EQ(port.Close(), std::error_code());
}

} // namespace
