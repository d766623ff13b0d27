#pragma once
// CSendPacing: how a send to the board is paced, for boards that cannot take bytes at full line
// speed or need to finish a line before the next: a delay after each byte, a further delay after
// each line end, and waiting for a text from the board (its prompt) before the next line, with a
// time limit after which the send stops or goes on. All zero / empty: no pacing (the bytes go
// as fast as the line takes them). A plain value.

#include <string>

struct CSendPacing {
    static constexpr int kMaxCharDelayMs = 1000;
    static constexpr int kMaxLineDelayMs = 10000;
    static constexpr int kMinWaitLimitMs = 10;
    static constexpr int kMaxWaitLimitMs = 600000;
    static constexpr int kDefaultWaitLimitMs = 5000;
    // A prompt is short; the matcher keeps no more than this of what came.
    static constexpr std::size_t kMaxWaitText = 256;

    int m_nCharDelayMs = 0;
    int m_nLineDelayMs = 0;
    // Empty: no waiting.
    std::string m_strWaitFor;
    int m_nWaitLimitMs = kDefaultWaitLimitMs;
    // On a time-out: false stops the send, true goes on with the next line.
    bool m_bGoOnAfterTimeout = false;

    bool Paced() const { return m_nCharDelayMs > 0 || m_nLineDelayMs > 0 || !m_strWaitFor.empty(); }
    bool operator==(const CSendPacing&) const = default;
};
