#pragma once
// The board monitor's protocol, as both ends of the line speak it: the texts the monitor sends
// (the receive parser looks for them, the simulator sends them), the default download and run
// commands, and the time limits and pause of the handshake. Constants only, any thread.

namespace board {
// The answer to the download command.
inline constexpr const char* kLoadAnswer = "Intel format HEX file sending";
// The completion text: the monitor is back at its prompt after the end record.
inline constexpr const char* kCompleted = "prompt";
// A rejected record or download (without kCompleted in the same text).
inline constexpr const char* kError = "Error";
// The answers to the run command: the program starts, or the monitor shows its prompt again.
inline constexpr const char* kRunAnswer = "Starting program";
inline constexpr const char* kPrompt = "quilLOREX>";

// Sent before the download command when an earlier download did not complete: the escape makes
// a loader still waiting for records give up (a prompt ignores it), the carriage return asks for
// the prompt.
inline constexpr const char* kResync = "\x1b\r";
inline constexpr unsigned kResyncMs = 500;

// The commands an empty setting stands for.
inline constexpr const char* kDefaultProgramCmd = "L";
inline constexpr const char* kDefaultRunCmd = "R";

// Time limits for each answer, from the moment the written bytes have left the port, and the
// pause between the download command's answer and the file's first byte.
inline constexpr unsigned kLoadAnswerMs = 500;
inline constexpr unsigned kCompletedMs = 1000;
inline constexpr unsigned kRunAnswerMs = 500;
inline constexpr unsigned kPauseMs = 200;
} // namespace board
