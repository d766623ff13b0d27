#pragma once
// The line opened the plainest way, for the benchmarks' bare write loops: raw mode as the port
// opens it (no output processing, which would turn every line end into two bytes). Returns the
// descriptor (the caller closes it), or -1.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

inline int OpenRaw(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}
