// Prints the CPU time the listener uses while the line is idle (with nothing buffered and
// with bytes left unread) and the latency from a byte written at the far end of a
// pseudo-terminal to its notification. Figures only; nothing is asserted.

#include "base/message_sink.h"
#include "serial/serial_wnd.h"

#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class CTimingSink : public IMessageSink {
public:
    void Post(CPostedEvent) override
    {
        std::lock_guard lock(m_mutex);
        ++m_nCount;
        m_last = Clock::now();
        m_cv.notify_all();
    }

    bool WaitBeyond(std::size_t count, Clock::time_point& when)
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::seconds(5), [&] { return m_nCount > count; }))
            return false;
        when = m_last;
        return true;
    }
    std::size_t Count()
    {
        std::lock_guard lock(m_mutex);
        return m_nCount;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::size_t m_nCount = 0;
    Clock::time_point m_last;
};

double ProcessCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void Drain(CSerialPort& port)
{
    char buffer[255];
    std::uint32_t count = 0;
    do {
        count = 0;
    } while (!port.Read(buffer, sizeof buffer, &count) && count > 0);
}

} // namespace

int main()
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("posix_openpt");
        return 1;
    }
    const std::string slave = ptsname(master);
    CTimingSink sink;
    CSerialWnd serial;
    if (std::error_code code = serial.Open(slave, &sink, 0, 0, 0)) {
        std::fprintf(stderr, "open %s: %s\n", slave.c_str(), code.message().c_str());
        return 1;
    }

    // 1. Idle: nothing arrives for 5 seconds.
    double cpu = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::printf("idle 5 s, nothing buffered:      %.3f ms CPU\n", ProcessCpuMs() - cpu);

    // 2. Idle with bytes left unread: the receiver ignores them for 5 seconds.
    if (write(master, "unread bytes", 12) != 12)
        return 1;
    Clock::time_point when;
    sink.WaitBeyond(0, when);
    cpu = ProcessCpuMs();
    const std::size_t before = sink.Count();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::printf("idle 5 s, 12 bytes left unread:  %.3f ms CPU, %zu further notifications\n",
        ProcessCpuMs() - cpu, sink.Count() - before);
    Drain(serial);

    // 3. Latency from a byte at the far end to its notification.
    std::vector<double> micros;
    for (int i = 0; i < 2000; ++i) {
        const std::size_t count = sink.Count();
        const auto sent = Clock::now();
        if (write(master, "x", 1) != 1)
            return 1;
        if (!sink.WaitBeyond(count, when)) {
            std::fprintf(stderr, "no notification\n");
            return 1;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(when - sent).count());
        Drain(serial);
    }
    std::sort(micros.begin(), micros.end());
    std::printf("byte to notification (2000 runs): median %.1f us, p99 %.1f us, max %.1f us\n",
        micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back());

    serial.Close();
    close(master);
    return 0;
}
