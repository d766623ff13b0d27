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

// The first line of the box when the port does not open for the user's command (Port Setup, Open
// Port, showing the terminal, a download).
inline constexpr const char* kTextPortOpenError = "Port open error!";
// The first line of the warning about line settings the port did not take.
inline constexpr const char* kTextLineRefused = "The port did not accept the line settings.";

// Opens serial on settings.m_strPort (tag 0, queues 0) and applies settings.m_line,
// the framing first, then the handshake; the port's error when it cannot be opened. When the port opened but refused a
// setting and refused is given, it receives the warning for the user (what was asked, what the
// line runs at); the port stays open.
std::error_code OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    std::string* refused = nullptr);

// The same for the user: on failure shows ShowSystemError's text (failureText or no text, the
// device's path) with CPortDoctor's advice after it, and returns false. Otherwise calls attachTerminal(&serial) when given,
// shows the warning about refused line settings if any, and returns true.
bool OpenConfiguredPort(CSerialWnd& serial, const CPortSettings& settings, IMessageSink* sink,
    IUserPrompt& prompt, const std::optional<std::string>& failureText,
    const std::function<void(CSerialPort*)>& attachTerminal);
