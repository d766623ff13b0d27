#pragma once
// A named pipe a launched script writes to; Read waits for the text with a deadline.

#include <chrono>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

class CFifoReader {
public:
    explicit CFifoReader(std::string path) : m_strPath(std::move(path))
    {
        ::mkfifo(m_strPath.c_str(), 0600);
        Open();
    }
    ~CFifoReader()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFifoReader(const CFifoReader&) = delete;
    CFifoReader& operator=(const CFifoReader&) = delete;

    const std::string& Path() const { return m_strPath; }

    // Everything one writer wrote until it closed, or what came before the deadline.
    std::string Read(int timeoutMs)
    {
        std::string text;
        // A FIFO that never had a writer reports no hang-up, so poll waits for one.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return text;
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                return text;
            char buffer[512];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                // The writer closed its end: open afresh for the next one.
                ::close(m_fd);
                Open();
                return text;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    void Open() { m_fd = ::open(m_strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

    std::string m_strPath;
    int m_fd = -1;
};
