// Names of lines on other machines: which are taken, their parts, and what a bad one is told.

#include "serial/remote_port_name.h"
#include "serial/serial_device_name.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

namespace {

struct RemoteNameRow {
    const char* m_name;
    bool m_bRemote;      // meant as a remote name (a scheme)
    bool m_bValid;
    ERemoteKind m_eKind;
    const char* m_host;
    unsigned m_nPort;
};

class RemoteNameTest : public ::testing::TestWithParam<RemoteNameRow> {};

TEST_P(RemoteNameTest, Parses)
{
    const RemoteNameRow& row = GetParam();
    EXPECT_EQ(CRemotePortName::IsRemote(row.m_name), row.m_bRemote);
    const std::optional<CRemotePortName> parsed = CRemotePortName::Parse(row.m_name);
    ASSERT_EQ(parsed.has_value(), row.m_bValid);
    if (!parsed)
        return;
    EXPECT_EQ(parsed->m_eKind, row.m_eKind);
    EXPECT_EQ(parsed->m_strHost, row.m_host);
    EXPECT_EQ(parsed->m_nPort, row.m_nPort);
    // The canonical name parses to the same parts.
    const std::optional<CRemotePortName> again = CRemotePortName::Parse(parsed->Name());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->m_strHost, parsed->m_strHost);
    EXPECT_EQ(again->m_nPort, parsed->m_nPort);
    // Remote names are never looked up under /dev.
    EXPECT_EQ(SerialDevicePath(row.m_name), row.m_bRemote ? std::string(row.m_name) : "/dev/" + std::string(row.m_name));
}

constexpr ERemoteKind kRfc = ERemoteKind::Rfc2217;
constexpr ERemoteKind kRaw = ERemoteKind::Socket;

INSTANTIATE_TEST_SUITE_P(Names, RemoteNameTest, ::testing::Values(
    RemoteNameRow{"rfc2217://localhost:2217", true, true, kRfc, "localhost", 2217},
    RemoteNameRow{"rfc2217://192.168.1.20:7000", true, true, kRfc, "192.168.1.20", 7000},
    RemoteNameRow{"RFC2217://lab-pi.local:1", true, true, kRfc, "lab-pi.local", 1},
    RemoteNameRow{"socket://rack_3:65535", true, true, kRaw, "rack_3", 65535},
    RemoteNameRow{"rfc2217://[::1]:2217", true, true, kRfc, "::1", 2217},
    RemoteNameRow{"socket://[fe80::1%eth0]:4000", true, true, kRaw, "fe80::1%eth0", 4000},
    RemoteNameRow{"rfc2217://[::ffff:10.0.0.1]:23", true, true, kRfc, "::ffff:10.0.0.1", 23},
    RemoteNameRow{"rfc2217://host", true, false, kRfc, "", 0},             // no port
    RemoteNameRow{"rfc2217://host:", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://:2217", true, false, kRfc, "", 0},            // no host
    RemoteNameRow{"rfc2217://host:0", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://host:65536", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://host:22a", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://host:+22", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://host:2217/", true, false, kRfc, "", 0},       // nothing after the port
    RemoteNameRow{"rfc2217://host:2217?timeout=1", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://::1:2217", true, false, kRfc, "", 0},         // IPv6 without brackets
    RemoteNameRow{"rfc2217://[::1]2217", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://[::1:2217", true, false, kRfc, "", 0},
    RemoteNameRow{"rfc2217://[host]:2217", true, false, kRfc, "", 0},      // brackets hold an address
    RemoteNameRow{"rfc2217://a b:2217", true, false, kRfc, "", 0},
    RemoteNameRow{"telnet://host:23", true, false, kRfc, "", 0},           // a scheme we do not speak
    RemoteNameRow{"ttyUSB0", false, false, kRfc, "", 0},
    RemoteNameRow{"serial/by-id/usb-x:y", false, false, kRfc, "", 0}));

TEST(RemoteName, CanonicalNamePutsAnIpv6AddressInBrackets)
{
    EXPECT_EQ(CRemotePortName::Parse("RFC2217://[::1]:7")->Name(), "rfc2217://[::1]:7");
    EXPECT_EQ(CRemotePortName::Parse("socket://h:7")->HostPort(), "h:7");
}

TEST(RemoteName, ABadNameIsRefusedWithTheFormItNeeds)
{
    CSerialPort port;
    const std::error_code code = port.Open("rfc2217://host", 0, 0, true);
    EXPECT_EQ(code, ESerialError::RemoteName);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(code.message().find("rfc2217://HOST:PORT or socket://HOST:PORT"), std::string::npos) << code.message();
    EXPECT_NE(code.message().find("[::1]"), std::string::npos) << code.message();
}

} // namespace
