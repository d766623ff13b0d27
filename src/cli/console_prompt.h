#pragma once
// CConsolePrompt: the job's message boxes as lines on standard error ("\r\n" as line breaks,
// the caption left out). Answers every box with its first button. Any thread; the lines of one
// box are written in one piece.

#include "app/user_prompt.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CConsolePrompt : public IUserPrompt {
public:
    explicit CConsolePrompt(std::FILE* out);
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    // Called before a box is written (the progress bar clears its line).
    void SetBeforeBox(std::function<void()> hook);

private:
    std::FILE* m_pOut;
    std::mutex m_mutex;
    std::function<void()> m_beforeBox;
};
