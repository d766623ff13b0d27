#include "base/system_error.h"

std::string FormatSystemError(std::error_code code, const std::string& text, const std::string& subject)
{
    // The system's message is bounded as the original buffer bounds it (256 characters); the
    // subject names what it was about and is not cut.
    std::string message = code.message().substr(0, 255);
    if (!subject.empty())
        message = subject + ": " + message;
    if (text.empty())
        return message;
    return text + "\r\n\r\n" + (subject.empty() ? message.substr(0, 251) : message);
}

void ShowSystemError(IUserPrompt& prompt, std::error_code code, const std::string& text, const std::string& subject)
{
    prompt.ShowBox(FormatSystemError(code, text, subject), std::string(), kBoxOk);
}
