#pragma once
// IUserPrompt: the message box. Texts are the system's own, with "\r\n" line breaks as stored;
// the window layer shows them as lines. May be called from any thread: a worker's box is shown
// by the GUI thread while the worker waits for the answer. Tests capture the boxes instead.

#include <string>

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The application's title, the caption of boxes raised by windows without one of their own.
inline constexpr const char* kAppTitle = "Quillorex Programmer";

class IUserPrompt {
public:
    virtual ~IUserPrompt() = default;
    // caption empty: the system's default caption ("Error"). Returns IDOK, IDCANCEL, IDYES, IDNO.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
};
