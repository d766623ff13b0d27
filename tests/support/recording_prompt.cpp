#include "recording_prompt.h"

int CRecordingPrompt::ShowBox(const std::string& text, const std::string& caption, unsigned type)
{
    std::function<void(const std::string&)> onBox;
    {
        std::lock_guard lock(m_mutex);
        onBox = m_onBox;
    }
    if (onBox)
        onBox(text);
    std::lock_guard lock(m_mutex);
    m_boxes.push_back({text, caption, type});
    m_cv.notify_all();
    return m_nAnswer;
}

void CRecordingPrompt::SetOnBox(std::function<void(const std::string& text)> onBox)
{
    std::lock_guard lock(m_mutex);
    m_onBox = std::move(onBox);
}

void CRecordingPrompt::SetAnswer(int answer)
{
    std::lock_guard lock(m_mutex);
    m_nAnswer = answer;
}

std::vector<CRecordedBox> CRecordingPrompt::Boxes() const
{
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

std::vector<std::string> CRecordingPrompt::Texts() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const auto& box : m_boxes)
        texts.push_back(box.m_strText);
    return texts;
}

bool CRecordingPrompt::WaitForBoxes(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_boxes.size() >= count; });
}
