#pragma once
// The one routine that reports a failed system call to the user.

#include "base/user_prompt.h"

#include <string>
#include <system_error>

// The box text: text, "\r\n\r\n" and the code's message; without text the message alone. With
// a subject (the device or file the call was about) the message reads "subject: message".
std::string FormatSystemError(std::error_code code, const std::string& text, const std::string& subject = {});

// Shows FormatSystemError in a box without caption of its own, with an OK button.
void ShowSystemError(IUserPrompt& prompt, std::error_code code, const std::string& text = {},
    const std::string& subject = {});
