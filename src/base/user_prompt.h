#pragma once
// IUserPrompt: the message box. Texts are the system's own, with "\r\n" line breaks as stored;
// the window layer shows them as lines. May be called from any thread: a worker's box is shown
// by the GUI thread while the worker waits for the answer. Tests capture the boxes instead.

#include <string>

// The box's buttons and icon, and the answers, with the numbers of the Windows message box (by
// names of our own: the system header defines its names as macros).
constexpr unsigned kBoxOk = 0x0;
constexpr unsigned kBoxOkCancel = 0x1;
constexpr unsigned kBoxYesNo = 0x4;
constexpr unsigned kBoxIconError = 0x10;
constexpr unsigned kBoxIconQuestion = 0x20;
constexpr unsigned kBoxIconWarning = 0x30;
constexpr unsigned kBoxIconInformation = 0x40;

constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// The application's title, the caption of boxes raised by windows without one of their own.
inline constexpr const char* kAppTitle = "Quillorex Programmer";

class IUserPrompt {
public:
    virtual ~IUserPrompt() = default;
    // caption empty: the system's default caption ("Error"). Returns kAnswerOk, kAnswerCancel,
    // kAnswerYes or kAnswerNo.
    virtual int ShowBox(const std::string& text, const std::string& caption, unsigned type) = 0;
};
