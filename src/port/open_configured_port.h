#pragma once
// OpenConfiguredPort: the one sequence that opens the program's port and applies the settings.
// Runs on the GUI thread or on the download worker (which passes its own copy of the settings);
// the failure box goes through the prompt, which may be called from either thread.

#include <functional>
#include <optional>
#include <string>

#include "base/message_sink.h"
#include "base/user_prompt.h"
#include "port/port_settings.h"
#include "serial/serial_wnd.h"

// Opens serial on settings.m_strPort (message 0, lParam 0, queues 0) and applies Configure and
// SetHandshake (their results are not checked); the port's error when it cannot be opened.
std::error_code OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink);

// The same for the user: opens serial on settings.m_strPort (message 0, lParam 0, queues 0). On failure shows
// ShowSystemError(prompt, serial.LastError(), failureText or no text) and returns false.
// Otherwise applies Configure and SetHandshake (their results are not checked), then calls
// attachTerminal(&serial) when given, and returns true.
bool OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    IUserPrompt& prompt, const std::optional<std::string>& failureText,
    const std::function<void(CSerialPort*)>& attachTerminal);
