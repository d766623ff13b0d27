#include "serial/remote_port_name.h"

#include <cctype>

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

bool IsHostNameChar(char ch)
{
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '.' || ch == '_';
}

// Inside brackets: hex digits, colons, dots (an embedded IPv4 address) and a zone after '%'.
bool IsIpv6Literal(const std::string& text)
{
    if (text.find(':') == std::string::npos)
        return false;
    const std::size_t zone = text.find('%');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (zone != std::string::npos && i > zone) {
            if (!IsHostNameChar(ch))
                return false;
        } else if (i != zone && !std::isxdigit(static_cast<unsigned char>(ch)) && ch != ':' && ch != '.') {
            return false;
        }
    }
    return zone == std::string::npos || zone + 1 < text.size();
}

} // namespace

bool CRemotePortName::IsRemote(const std::string& name)
{
    const std::size_t at = name.find("://");
    if (at == std::string::npos || at == 0)
        return false;
    for (std::size_t i = 0; i < at; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])) && name[i] != '+' && name[i] != '-' && name[i] != '.')
            return false;
    return true;
}

std::optional<CRemotePortName> CRemotePortName::Parse(const std::string& name)
{
    CRemotePortName parsed;
    std::string rest;
    if (StartsWithNoCase(name, "rfc2217://")) {
        parsed.m_eKind = ERemoteKind::Rfc2217;
        rest = name.substr(10);
    } else if (StartsWithNoCase(name, "socket://")) {
        parsed.m_eKind = ERemoteKind::Socket;
        rest = name.substr(9);
    } else {
        return std::nullopt;
    }
    std::size_t colon = 0;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        parsed.m_strHost = rest.substr(1, close - 1);
        if (!IsIpv6Literal(parsed.m_strHost))
            return std::nullopt;
        colon = close + 1;
        if (colon >= rest.size() || rest[colon] != ':')
            return std::nullopt;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos || colon == 0)
            return std::nullopt;
        parsed.m_strHost = rest.substr(0, colon);
        for (char ch : parsed.m_strHost)
            if (!IsHostNameChar(ch))
                return std::nullopt;
    }
    const std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5)
        return std::nullopt;
    unsigned long number = 0;
    for (char ch : port) {
        if (!std::isdigit(static_cast<unsigned char>(ch)))
            return std::nullopt;
        number = number * 10 + static_cast<unsigned long>(ch - '0');
    }
    if (number == 0 || number > 65535)
        return std::nullopt;
    parsed.m_nPort = static_cast<std::uint16_t>(number);
    return parsed;
}

std::string CRemotePortName::HostPort() const
{
    const bool v6 = m_strHost.find(':') != std::string::npos;
    return (v6 ? "[" + m_strHost + "]" : m_strHost) + ":" + std::to_string(m_nPort);
}

std::string CRemotePortName::Name() const
{
    return (m_eKind == ERemoteKind::Rfc2217 ? "rfc2217://" : "socket://") + HostPort();
}
