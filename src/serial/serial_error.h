#pragma once
// The serial port's own result codes (besides the system's errno values, which travel in
// std::system_category()). The numbers are those callers of the port have always checked:
// 1, 6, 1247, 1460 and E_INVALIDARG. Messages are plain English. Thread-safe.

#include <system_error>

enum class ESerialError : int {
    InvalidFunction = 1,      // a record or a finite time-out given to a port opened for blocking use
    InvalidHandle = 6,        // the port is not open
    AlreadyInitialized = 1247, // Open on a port that is already open
    Timeout = 1460,           // a blocking transfer or wait ran out of time and was cancelled
    LineBusy = 170,           // another thread is the line's only writer now (a download)
    InvalidArg = static_cast<int>(0x80070057u), // a handshake kind or read mode outside its set
    RemoteName = 161,         // a remote port's name (scheme://...) that is not a valid one
    HostUnknown = 53,         // a remote port's host name does not resolve
    NoLineControl = 50,       // a remote server that does not negotiate RFC 2217
};

const std::error_category& SerialErrorCategory();

std::error_code make_error_code(ESerialError code);

template <>
struct std::is_error_code_enum<ESerialError> : std::true_type {};
