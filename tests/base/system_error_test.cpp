#include "base/system_error.h"
#include "recording_prompt.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

TEST(ShowSystemError, TextBlankLineAndTheSystemMessage)
{
    CRecordingPrompt prompt;
    ShowSystemError(prompt, std::error_code(EBUSY, std::system_category()), "Failed to open COM1");
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    auto box = prompt.Boxes()[0];
    EXPECT_EQ(box.m_strText, std::string("Failed to open COM1\r\n\r\n") + std::strerror(EBUSY));
    EXPECT_EQ(box.m_strCaption, "") << "the system's default caption";
    EXPECT_EQ(box.m_nType, kBoxOk);
}

TEST(ShowSystemError, WithoutTextTheMessageAlone)
{
    EXPECT_EQ(FormatSystemError(std::error_code(ENOENT, std::system_category()), ""), std::strerror(ENOENT));
}
