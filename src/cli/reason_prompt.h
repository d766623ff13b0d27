#pragma once
// CReasonPrompt: the prompt of one board among many programmed at once. Shows nothing: it keeps
// the first box (the job's outcome) as the board's reason, on one line, and answers every box at
// once (OK, or Yes to a question). Any thread (the board's job and its own thread).

#include "base/user_prompt.h"

#include <mutex>
#include <string>

class CReasonPrompt : public IUserPrompt {
public:
    int ShowBox(const std::string& text, const std::string& caption, unsigned type) override;
    // The first box's reason; empty when none was shown.
    std::string Reason() const;
    // Forgets the reason: the next box is the next attempt's outcome.
    void Clear();
    // The first line of a box's text, then the lines after a blank one (the system's detail),
    // on one line.
    static std::string Reason(const std::string& text);

private:
    mutable std::mutex m_mutex;
    std::string m_strReason;
};
