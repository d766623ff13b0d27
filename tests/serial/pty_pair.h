#pragma once
// A pseudo-terminal pair for the line tests: the port under test opens the slave path, the
// test plays the far end on the master descriptor. Not thread-safe; one owner.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

class CPtyPair {
public:
    CPtyPair();
    ~CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    const std::string& SlavePath() const { return m_strSlave; }
    int Master() const { return m_fdMaster; }

    // Writes all bytes at the far end; throws when the port side closes before they all fit.
    void Send(const std::string& bytes);
    // Reads at the far end until count bytes came or the time is up; returns what came.
    std::string Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads whatever the far end has now.
    std::string ReceiveAvailable();
    // Hangs up the line (the slave then reads end-of-file and fails writes).
    void CloseMaster();

private:
    int m_fdMaster = -1;
    std::string m_strSlave;
};
