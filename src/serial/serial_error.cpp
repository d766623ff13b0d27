#include "serial/serial_error.h"

#include "serial/remote_port_name.h"

#include <string>

namespace {

class CSerialErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "serial"; }

    std::string message(int code) const override
    {
        switch (static_cast<ESerialError>(code)) {
        case ESerialError::InvalidFunction:
            return "The operation is not available on a port opened for blocking use.";
        case ESerialError::InvalidHandle:
            return "The port is not open.";
        case ESerialError::AlreadyInitialized:
            return "The port is already open.";
        case ESerialError::Timeout:
            return "The operation timed out.";
        case ESerialError::LineBusy:
            return "The port is busy sending a file.";
        case ESerialError::InvalidArg:
            return "The value is not a valid setting.";
        case ESerialError::RemoteName:
            return std::string("The name is not a valid remote port: it needs the form ")
                + CRemotePortName::kExpectedForm + ".";
        case ESerialError::HostUnknown:
            return "The host name is not known.";
        case ESerialError::NoLineControl:
            return "The server does not negotiate RFC 2217 (Telnet Com Port Control).";
        }
        return "Unknown serial port error " + std::to_string(code) + ".";
    }
};

} // namespace

const std::error_category& SerialErrorCategory()
{
    static const CSerialErrorCategory category;
    return category;
}

std::error_code make_error_code(ESerialError code)
{
    return {static_cast<int>(code), SerialErrorCategory()};
}
