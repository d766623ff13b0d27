#pragma once
// CQxprogRun: one run of the real qxprog for the benchmarks: started with posix_spawn, its
// standard output thrown away and its standard error in a file (or thrown away), waited for; the
// wall time from start to exit, its exit status and the processor time all its threads used.
// The program is the build's qxprog, or the one QX_BENCH_QXPROG names (an earlier build standing
// in for a figure before a change). One thread; the caller sets XDG_CONFIG_HOME for the child.

#include <string>
#include <vector>

class CQxprogRun {
public:
    // The qxprog the runs start.
    static const char* Program();

    // Runs qxprog with args (after its name) until it exits; false when it could not start.
    // errPath: where its standard error goes (empty: nowhere).
    bool Run(const std::vector<std::string>& args, const std::string& errPath = {});

    double Seconds() const { return m_dSeconds; }
    double CpuSeconds() const { return m_dCpuSeconds; }
    // The exit status; -1 when it did not exit normally.
    int ExitStatus() const { return m_nExitStatus; }
    bool Succeeded() const { return m_nExitStatus == 0; }

private:
    double m_dSeconds = 0;
    double m_dCpuSeconds = 0;
    int m_nExitStatus = -1;
};
