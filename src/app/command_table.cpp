#include "app/command_table.h"

#include "base/commands.h"

#include <array>

namespace {
using namespace cmd;

constexpr std::array kCommands = {
    CCommandInfo{ID_FILE_ADD, "&Add...\tCtrl+O", "Adds item(s) to the file list", "Add", "list-add", "add", "Ctrl+O"},
    CCommandInfo{ID_FILE_REMOVE, "&Remove\tDel", "Removes the selected item(s) from the file list", "Remove",
                 "list-remove", "remove", "Del"},
    CCommandInfo{ID_FILE_REMOVE_ALL, "Re&move All", "Removes all files in the list", "Remove All", "edit-clear-all",
                 "remove_all", ""},
    CCommandInfo{ID_APP_EXIT, "E&xit", "Quit the application", "Exit", "application-exit", "exit", ""},
    CCommandInfo{ID_VIEW_MENUBAR, "&Menu Bar", "Show or hide the menu bar", "Toggle Menu Bar", "", "menubar", ""},
    CCommandInfo{ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar", "", "toolbar", ""},
    CCommandInfo{ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar", "Toggle StatusBar", "",
                 "statusbar", ""},
    CCommandInfo{ID_VIEW_PROGRAM, "&Program Window", "Show or hide the program window", "Toggle Program Window", "",
                 "program_window", ""},
    CCommandInfo{ID_VIEW_BROWSER, "&File Browser", "Show or hide the file browser", "Toggle File Browser", "",
                 "browser", ""},
    CCommandInfo{ID_VIEW_TERMINAL, "&Terminal Window", "Show or hide the terminal window", "Toggle Terminal Window",
                 "utilities-terminal", "terminal", ""},
    CCommandInfo{ID_VIEW_OUTPUT, "&Output Window", "Show or hide the output window", "Toggle Output window", "",
                 "output", ""},
    CCommandInfo{ID_TERMINAL_CLEAR, "C&lear Terminal", "Empties the terminal window", "Clear Terminal", "", "", ""},
    CCommandInfo{ID_TERMINAL_FIND, "F&ind in Terminal...", "Finds a text in the terminal window", "Find in Terminal",
                 "", "", ""},
    CCommandInfo{ID_TERMINAL_TIMESTAMPS, "Terminal Time&stamps",
                 "Shows the time each terminal line began to arrive", "Terminal Timestamps", "", "", ""},
    CCommandInfo{ID_TERMINAL_HEX_VIEW, "Terminal &Hex View", "Shows the received bytes in hex in the terminal window",
                 "Terminal Hex View", "", "", ""},
    CCommandInfo{ID_TERMINAL_SCROLLBACK, "Terminal Scroll&back...", "Sets how many lines the terminal window keeps",
                 "Terminal Scrollback", "", "", ""},
    CCommandInfo{ID_VIEW_COMMAND_LINE, "Co&mmand Line", "Show or hide the command line under the terminal (Ctrl+Shift+K goes to it)",
                 "Command Line", "", "", ""},
    CCommandInfo{ID_TERMINAL_FOCUS_COMMAND_LINE, "", "Go to the command line under the terminal",
                 "Go to Command Line", "", "", "Ctrl+Shift+K"},
    CCommandInfo{ID_TOOLS_PROGRAM, "&Program\tF4", "Program selected file to the target", "Program", "", "program",
                 "F4"},
    CCommandInfo{ID_TOOLS_STOP_PROGRAMMING, "S&top Programming", "Stop the running download", "Stop Programming",
                 "process-stop", "stop_programming", ""},
    CCommandInfo{ID_TOOLS_BUILD, "&Build\tF7", "Build selected file", "Build", "", "build", "F7"},
    CCommandInfo{ID_TOOLS_STOP_BUILD, "Stop B&uild", "Stop the running build", "Stop Build", "process-stop",
                 "stop_build", ""},
    CCommandInfo{ID_TOOLS_DEBUG, "&Debug\tF5", "Debug selected file", "Debug", "", "debug", ""},
    CCommandInfo{ID_TOOLS_EDIT, "&Edit\tF2", "Edit selected file", "Edit", "document-edit", "edit", "F2"},
    CCommandInfo{ID_TOOLS_OPTIONS, "&Options...", "Changes options", "Options", "preferences-system", "options", ""},
    CCommandInfo{ID_TOOLS_PORT_SETUP, "Port &Setup...", "Port Setup", "Port Setup", "", "port_setup", ""},
    CCommandInfo{ID_TOOLS_OPEN_PORT, "Ope&n Port", "Opens the port with its settings", "Open Port", "", "", ""},
    CCommandInfo{ID_TOOLS_CLOSE_PORT, "&Close Port", "Closes the port, so that other programs may use it",
                 "Close Port", "", "", ""},
    CCommandInfo{ID_TERMINAL_LOG, "&Log to File...", "Start or stop logging what the board sends to a file",
                 "Log to File", "", "", ""},
    CCommandInfo{ID_TERMINAL_LOG_BYTES, "Log Received &Bytes", "The log holds every byte exactly as the board sent it",
                 "Log Received Bytes", "", "", ""},
    CCommandInfo{ID_TERMINAL_LOG_LINES, "Log Shown Lines with &Timestamps",
                 "The log holds the shown lines, each with the time of its first byte", "Log Shown Lines", "", "", ""},
    CCommandInfo{ID_TERMINAL_LOCAL_ECHO, "Local &Echo", "Show what you type in the terminal too", "Local Echo", "", "",
                 ""},
    CCommandInfo{ID_TERMINAL_ENTER_CR, "Enter Sends &CR", "Enter sends a carriage return", "Enter Sends CR", "", "",
                 ""},
    CCommandInfo{ID_TERMINAL_ENTER_LF, "Enter Sends L&F", "Enter sends a line feed", "Enter Sends LF", "", "", ""},
    CCommandInfo{ID_TERMINAL_ENTER_CRLF, "Enter Sends C&R LF", "Enter sends a carriage return and a line feed",
                 "Enter Sends CR LF", "", "", ""},
    CCommandInfo{ID_TERMINAL_SEND_FILE, "Send &File...", "Send a file's bytes to the board as they are", "Send File",
                 "", "", ""},
    CCommandInfo{ID_TERMINAL_STOP_SEND, "Stop Sen&ding", "Stop sending the file or text to the board", "Stop Sending",
                 "", "", ""},
    CCommandInfo{ID_TERMINAL_PASTE, "&Paste to Board\tCtrl+Shift+V", "Send the clipboard's text to the board",
                 "Paste to Board", "", "", "Ctrl+Shift+V"},
    CCommandInfo{ID_TERMINAL_PACING, "Send Pa&cing...",
                 "Delays after characters and lines, and waiting for the board's prompt, for every send",
                 "Send Pacing", "", "", ""},
    CCommandInfo{ID_TERMINAL_HIGHLIGHT, "Highlight R&ules...",
                 "Colour the terminal's lines or matches by regular expressions (Ctrl+Shift+N/P go to them)",
                 "Highlight Rules", "", "", ""},
    CCommandInfo{ID_TERMINAL_QUICK_SENDS, "&Quick Sends...", "Edit the named texts and files sent with Shift+F1..F12",
                 "Quick Sends", "", "", ""},
    CCommandInfo{ID_VIEW_QUICK_SEND_BAR, "&Quick Send Bar", "Show or hide the quick sends' toolbar row",
                 "Quick Send Bar", "", "", ""},
    CCommandInfo{ID_QUICK_SEND_FIRST + 0, "", "Send this quick send to the board", "Quick Send 1", "", "",
                 "Shift+F1"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 1, "", "Send this quick send to the board", "Quick Send 2", "", "",
                 "Shift+F2"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 2, "", "Send this quick send to the board", "Quick Send 3", "", "",
                 "Shift+F3"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 3, "", "Send this quick send to the board", "Quick Send 4", "", "",
                 "Shift+F4"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 4, "", "Send this quick send to the board", "Quick Send 5", "", "",
                 "Shift+F5"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 5, "", "Send this quick send to the board", "Quick Send 6", "", "",
                 "Shift+F6"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 6, "", "Send this quick send to the board", "Quick Send 7", "", "",
                 "Shift+F7"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 7, "", "Send this quick send to the board", "Quick Send 8", "", "",
                 "Shift+F8"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 8, "", "Send this quick send to the board", "Quick Send 9", "", "",
                 "Shift+F9"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 9, "", "Send this quick send to the board", "Quick Send 10", "", "",
                 "Shift+F10"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 10, "", "Send this quick send to the board", "Quick Send 11", "", "",
                 "Shift+F11"},
    CCommandInfo{ID_QUICK_SEND_FIRST + 11, "", "Send this quick send to the board", "Quick Send 12", "", "",
                 "Shift+F12"},
    CCommandInfo{ID_TERMINAL_DTR, "&DTR", "Raise or drop the port's DTR line (many boards reset through it)", "DTR", "",
                 "dtr", ""},
    CCommandInfo{ID_TERMINAL_RTS, "RT&S", "Raise or drop the port's RTS line", "RTS", "", "rts", ""},
    CCommandInfo{ID_HELP_USER_GUIDE, "&User Guide", "Open the user guide", "User Guide", "help-contents", "user_guide",
                 ""},
    CCommandInfo{ID_APP_ABOUT, "&About Quillorex Programmer...",
                 "Display program information, version number and copyright", "About", "help-about", "about", ""},
    // The maker's web address is appended by the window layer, which owns it.
    CCommandInfo{ID_HELP_VISIT, "&Visit ", "Visit ", "Visit ",
                 "internet-web-browser", "visit", ""},
    CCommandInfo{ID_NEXT_PANE, "", "Switch to the next window pane", "Next Pane", "", "", "F6"},
    CCommandInfo{ID_PREV_PANE, "", "Switch back to the previous window pane", "Previous Pane", "", "", "Shift+F6"},
};

constexpr std::array kFileMenu = {ID_FILE_ADD, ID_FILE_REMOVE, ID_FILE_REMOVE_ALL, 0, ID_APP_EXIT};
constexpr std::array kViewMenu = {ID_VIEW_MENUBAR, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_PROGRAM,
                                  ID_VIEW_BROWSER, ID_VIEW_TERMINAL, ID_VIEW_OUTPUT, 0, ID_TERMINAL_CLEAR,
                                  ID_TERMINAL_FIND, ID_TERMINAL_TIMESTAMPS, ID_TERMINAL_HEX_VIEW,
                                  ID_TERMINAL_SCROLLBACK, ID_VIEW_COMMAND_LINE,
                                  ID_TERMINAL_HIGHLIGHT, ID_VIEW_QUICK_SEND_BAR};
constexpr std::array kToolsMenu = {ID_TOOLS_PROGRAM, ID_TOOLS_STOP_PROGRAMMING, ID_TOOLS_BUILD, ID_TOOLS_STOP_BUILD,
                                   ID_TOOLS_DEBUG, ID_TOOLS_EDIT, 0,
                                   ID_TOOLS_OPTIONS, ID_TOOLS_PORT_SETUP, ID_TOOLS_OPEN_PORT, ID_TOOLS_CLOSE_PORT};
constexpr std::array kTerminalMenu = {ID_TERMINAL_LOG, ID_TERMINAL_LOG_BYTES, ID_TERMINAL_LOG_LINES, 0,
                                      ID_TERMINAL_LOCAL_ECHO, ID_TERMINAL_ENTER_CR, ID_TERMINAL_ENTER_LF,
                                      ID_TERMINAL_ENTER_CRLF, 0, ID_TERMINAL_SEND_FILE, ID_TERMINAL_STOP_SEND,
                                      ID_TERMINAL_PASTE, ID_TERMINAL_PACING, ID_TERMINAL_QUICK_SENDS, 0, ID_TERMINAL_DTR, ID_TERMINAL_RTS};
constexpr std::array kHelpMenu = {ID_HELP_USER_GUIDE, 0, ID_APP_ABOUT, ID_HELP_VISIT};

constexpr std::array kMainMenu = {
    CMenuLayout{"&File", kFileMenu},
    CMenuLayout{"&View", kViewMenu},
    CMenuLayout{"&Tools", kToolsMenu},
    CMenuLayout{"Ter&minal", kTerminalMenu},
    CMenuLayout{"&Help", kHelpMenu},
};

constexpr std::array kToolBar = {ID_FILE_ADD, ID_FILE_REMOVE, ID_FILE_REMOVE_ALL, 0, ID_VIEW_BROWSER,
                                 ID_VIEW_PROGRAM, ID_VIEW_OUTPUT, ID_VIEW_TERMINAL, 0, ID_TOOLS_PROGRAM,
                                 ID_TOOLS_STOP_PROGRAMMING, ID_TOOLS_BUILD, ID_TOOLS_STOP_BUILD, ID_TOOLS_DEBUG,
                                 ID_TOOLS_EDIT, 0, ID_TOOLS_OPTIONS,
                                 ID_TOOLS_PORT_SETUP, ID_TERMINAL_DTR, ID_TERMINAL_RTS, 0, ID_APP_ABOUT, ID_HELP_VISIT};
} // namespace

std::span<const CCommandInfo> CommandTable()
{
    return kCommands;
}

const CCommandInfo* FindCommand(int id)
{
    for (const CCommandInfo& info : kCommands)
        if (info.m_nID == id)
            return &info;
    return nullptr;
}

std::span<const CMenuLayout> MainMenuLayout()
{
    return kMainMenu;
}

std::span<const int> ToolBarLayout()
{
    return kToolBar;
}
