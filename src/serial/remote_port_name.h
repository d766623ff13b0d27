#pragma once
// CRemotePortName: a serial line on another machine, named as pyserial, esptool and PlatformIO
// name it: rfc2217://HOST:PORT (Telnet Com Port Control, as ser2net serves it) or
// socket://HOST:PORT (bytes only, no line control). An IPv6 address goes in brackets
// (rfc2217://[::1]:2217). A plain value; pure functions, any thread.

#include <cstdint>
#include <optional>
#include <string>

enum class ERemoteKind : std::uint8_t { Rfc2217, Socket };

struct CRemotePortName {
    // The form a remote name must have, for the message that refuses one.
    static constexpr const char* kExpectedForm =
        "rfc2217://HOST:PORT or socket://HOST:PORT (an IPv6 address in brackets, as rfc2217://[::1]:2217)";

    ERemoteKind m_eKind = ERemoteKind::Rfc2217;
    std::string m_strHost; // without brackets
    std::uint16_t m_nPort = 0;

    // Whether the name is meant as a remote one (it has a scheme, "xxx://"), valid or not.
    static bool IsRemote(const std::string& name);
    // The parts of a valid name; nothing for a name that is not one.
    static std::optional<CRemotePortName> Parse(const std::string& name);

    // "HOST:PORT", the host in brackets when it is an IPv6 address.
    std::string HostPort() const;
    // The name as it was parsed, in its one canonical form.
    std::string Name() const;
};
