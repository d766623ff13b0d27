#include "base/system_error.h"

std::string FormatSystemError(std::error_code code, const std::string& text)
{
    // The message part is bounded as the original buffer bounds it (256 characters).
    std::string message = code.message().substr(0, 255);
    if (text.empty())
        return message;
    return text + "\r\n\r\n" + message.substr(0, 251);
}

void ShowSystemError(IUserPrompt& prompt, std::error_code code, const std::string& text)
{
    prompt.MessageBox(FormatSystemError(code, text), std::string(), MB_OK);
}
