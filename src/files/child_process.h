#pragma once
// CChildProcess: one started program and the pipes to its standard input, output and error, in
// the system's terms; the runner's rules (threads, back-pressure, hooks, stopping) stay in
// CProcessRunner. The system calls live in child_process_posix.cpp. Start and Close belong to
// the owner's thread while no Read or WaitForEnd runs; Read runs on one thread per stream and
// WaitForEnd on one thread; EndGroup and WakeReaders may be called from any thread. The object
// owns the pipes and the child's id until Close.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CChildProcess {
public:
    enum class EStream { Output, Error };

    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts args (args[0] through PATH when it has no slash) in a process group of its own with a
    // clean signal state; mergedOutput sends its standard error into the output pipe. 0 or the
    // system's error number (the pipes are closed again then).
    int Start(const std::vector<std::string>& args, const std::string& workingDir, bool mergedOutput);
    bool IsStarted() const { return m_nProcess > 0; }
    // Ends the child's whole process group: politely, or at once when forced.
    void EndGroup(bool forced);
    // Makes every Read in progress (and every later one) return 0.
    void WakeReaders();
    // Waits for bytes of the stream; 0 at its end, after WakeReaders or on a failure.
    std::size_t Read(EStream stream, char* buffer, std::size_t size);
    // Waits until the child has ended without collecting it, so its id (and process group)
    // stays reserved. False when the end could not be learnt; signalled: code is the signal
    // that ended it, else its exit status.
    bool WaitForEnd(bool& signalled, int& code);
    // Collects the ended child; its id may name another process afterwards.
    void Collect();
    // Closes every pipe and forgets the child.
    void Close();

private:
    // The system's handles (process id, pipe ends); -1 when there is none.
    std::intptr_t m_nProcess = -1;
    std::intptr_t m_hStdinWrite = -1;
    std::intptr_t m_hStdoutRead = -1;
    std::intptr_t m_hStderrRead = -1;
    std::intptr_t m_hWakeRead = -1;
    std::intptr_t m_hWakeWrite = -1;
};
