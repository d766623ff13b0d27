#pragma once
// CConsolePrompt: the job's message boxes as lines on standard error ("\r\n" as line breaks,
// the caption left out). Answers every box with its first button. Any thread; the lines of one
// box are written in one piece.

#include "base/user_prompt.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CConsolePrompt : public IUserPrompt {
public:
    explicit CConsolePrompt(std::FILE* out);
    int ShowBox(const std::string& text, const std::string& caption, unsigned type) override;
    // Writes a box's lines in place of the prompt (the progress bar writes them over its line,
    // so that no redraw comes between the clearing and the text).
    void SetWriter(std::function<void(const std::string&)> writer);

private:
    std::FILE* m_pOut;
    std::mutex m_mutex;
    std::function<void(const std::string&)> m_writer;
};
