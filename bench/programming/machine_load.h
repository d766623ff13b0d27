#pragma once
// CMachineLoad: how busy the whole machine was over a stretch of a benchmark (other work shares
// it), from /proc/stat: the cores' busy time since the object was made (or Restart), and the load
// average as uptime prints it. One thread; figures are 0 where /proc cannot be read.

#include <string>

class CMachineLoad {
public:
    CMachineLoad() { Restart(); }
    void Restart();
    // Seconds of processor time every core together spent busy (not idle, not waiting for I/O)
    // since the start, and the cores' count.
    double BusySeconds() const;
    static unsigned Cores();
    // "2.60, 1.99, 1.99".
    static std::string LoadAverage();

private:
    static double BusyNow();
    double m_dStart = 0;
};
