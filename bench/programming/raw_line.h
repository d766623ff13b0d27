#pragma once
// The line opened the plainest way, for the benchmarks' bare write loops: raw mode as the port
// opens it (no output processing, which would turn every line end into two bytes). OpenRaw
// returns the descriptor (the caller closes it), or -1; WriteInRuns writes the data with one
// write(2) per run bytes, blocking.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

inline void WriteInRuns(int fd, const std::string& data, std::size_t run)
{
    for (std::size_t at = 0; at < data.size();) {
        const ssize_t n = ::write(fd, data.data() + at, std::min(run, data.size() - at));
        if (n > 0)
            at += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return;
    }
}
