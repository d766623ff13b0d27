#pragma once
// A user prompt that records every box instead of showing it and answers with a preset reply.
// Thread-safe; WaitForBoxes lets a test wait for a box raised on a worker thread.

#include "base/user_prompt.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct CRecordedBox {
    std::string m_strText;
    std::string m_strCaption;
    unsigned m_nType = 0;
};

class CRecordingPrompt : public IUserPrompt {
public:
    explicit CRecordingPrompt(int answer = kAnswerOk) : m_nAnswer(answer) {}

    int ShowBox(const std::string& text, const std::string& caption, unsigned type) override;

    void SetAnswer(int answer);
    // Called on the box's thread as each box shows, before it is answered: what the user sees
    // behind the box.
    void SetOnBox(std::function<void(const std::string& text)> onBox);
    std::vector<CRecordedBox> Boxes() const;
    std::vector<std::string> Texts() const;
    // True when at least count boxes were shown within the time.
    bool WaitForBoxes(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<CRecordedBox> m_boxes;
    std::function<void(const std::string&)> m_onBox;
    int m_nAnswer;
};
