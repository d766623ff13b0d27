#pragma once
// Command identifiers: one number per user command, shared by the menus, the toolbar, the
// accelerators and the pop-ups (the command table is built from these in the main frame).

namespace cmd {
constexpr int ID_FILE_ADD = 32783;
constexpr int ID_FILE_REMOVE = 32775;
constexpr int ID_FILE_REMOVE_ALL = 32788;
constexpr int ID_APP_EXIT = 57665;

constexpr int ID_VIEW_MENUBAR = 32776;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;
constexpr int ID_VIEW_PROGRAM = 32789;
constexpr int ID_VIEW_BROWSER = 32777;
constexpr int ID_VIEW_TERMINAL = 32778;
constexpr int ID_VIEW_OUTPUT = 32779;
// The terminal's view: empty it, find in it, timestamps, hex view, lines kept.
constexpr int ID_TERMINAL_CLEAR = 32880;
constexpr int ID_TERMINAL_FIND = 32881;
constexpr int ID_TERMINAL_TIMESTAMPS = 32882;
constexpr int ID_TERMINAL_HEX_VIEW = 32883;
constexpr int ID_TERMINAL_SCROLLBACK = 32884;
// The command line under the terminal: show or hide it, and go to it (showing it).
constexpr int ID_VIEW_COMMAND_LINE = 32885;
constexpr int ID_TERMINAL_FOCUS_COMMAND_LINE = 32886;
// The quick sends' toolbar row.
constexpr int ID_VIEW_QUICK_SEND_BAR = 32887;
// The terminal's highlight rules.
constexpr int ID_TERMINAL_HIGHLIGHT = 32888;

constexpr int ID_TOOLS_PROGRAM = 32771;
constexpr int ID_TOOLS_BUILD = 32772;
constexpr int ID_TOOLS_DEBUG = 32773;
constexpr int ID_TOOLS_EDIT = 32774;
constexpr int ID_TOOLS_OPTIONS = 32781;
constexpr int ID_TOOLS_PORT_SETUP = 32782;
// Ends the running builder's process group.
constexpr int ID_TOOLS_STOP_BUILD = 32845;
// Ends a running download at its next run of bytes or wait (Escape in the program window).
constexpr int ID_TOOLS_STOP_PROGRAMMING = 32860;
// Open or close the port with its settings (Tools menu and the port pane's line-settings pop-up).
constexpr int ID_TOOLS_OPEN_PORT = 32950;
constexpr int ID_TOOLS_CLOSE_PORT = 32951;

// The terminal's input and output: the log, local echo, what Enter sends, sending a file or the
// clipboard's text, and the DTR / RTS lines.
constexpr int ID_TERMINAL_LOG = 32900;
constexpr int ID_TERMINAL_LOG_BYTES = 32901;
constexpr int ID_TERMINAL_LOG_LINES = 32902;
constexpr int ID_TERMINAL_LOCAL_ECHO = 32903;
constexpr int ID_TERMINAL_ENTER_CR = 32904;
constexpr int ID_TERMINAL_ENTER_LF = 32905;
constexpr int ID_TERMINAL_ENTER_CRLF = 32906;
constexpr int ID_TERMINAL_SEND_FILE = 32907;
constexpr int ID_TERMINAL_STOP_SEND = 32908;
constexpr int ID_TERMINAL_PASTE = 32909;
constexpr int ID_TERMINAL_DTR = 32910;
constexpr int ID_TERMINAL_RTS = 32911;
// How sends are paced: delays, and waiting for the board's text after each line.
constexpr int ID_TERMINAL_PACING = 32912;
// Edit the quick sends; run one (Shift+F1 .. Shift+F12).
constexpr int ID_TERMINAL_QUICK_SENDS = 32913;
constexpr int ID_QUICK_SEND_FIRST = 32960;
constexpr int ID_QUICK_SEND_LAST = 32971;

constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_HELP_VISIT = 32795;
// Opens the installed user guide with the desktop's default application.
constexpr int ID_HELP_USER_GUIDE = 32990;

constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;

// Raised by the status bar's port pane: left click, right click.
constexpr int ID_PORT_LIST_MENU = 1014;
constexpr int ID_PORT_CONFIG_MENU = 135;

// Port list pop-up: COM1 .. COM20 by position.
constexpr int ID_PORT_FIRST = 32796;
constexpr int ID_PORT_LAST = 32815;
constexpr int ID_BAUD_FIRST = 32816; // 1200 .. 115200
constexpr int ID_BAUD_LAST = 32824;
constexpr int ID_HANDSHAKE_FIRST = 32825; // None, RTS/CTS, XON/XOFF
constexpr int ID_HANDSHAKE_LAST = 32827;
constexpr int ID_STOPBITS_FIRST = 32828; // 1, 1.5, 2
constexpr int ID_STOPBITS_LAST = 32830;
constexpr int ID_PARITY_FIRST = 32831; // None, Odd, Even, Mark, Space
constexpr int ID_PARITY_LAST = 32835;
constexpr int ID_DATABITS_FIRST = 32836; // 5 .. 8
constexpr int ID_DATABITS_LAST = 32839;
// The line-settings pop-up's other standard rates: 300, 600, 1800, 4800, 230400 .. 4000000.
constexpr int ID_BAUD_MORE_FIRST = 32920;
constexpr int ID_BAUD_MORE_LAST = 32936;

// The file browser's shell pop-up.
constexpr int ID_SHELL_FIRST = 20000;
constexpr int ID_SHELL_LAST = 21000;

// Status bar panes.
constexpr int ID_INDICATOR_PROGRESS = 136;
constexpr int ID_INDICATOR_PORT = 137;
} // namespace cmd
