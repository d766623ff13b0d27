#pragma once
// Message numbers shared by the threads and windows, and the registered-message table.

#include <string>

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_DOWNLOAD_BEGIN = WM_USER + 0x13;
// wParam: the bars' new position; posted per percent of the bars, not per byte.
constexpr unsigned WM_DOWNLOAD_STEP = WM_USER + 0x14;
constexpr unsigned WM_DOWNLOAD_END = WM_USER + 0x15;
constexpr unsigned WM_DOWNLOAD_FAILED = WM_USER + 0x16;
constexpr unsigned WM_OUTPUT_TEXT = WM_USER + 0xC9;
// The device of a port that went away is present again (posted by the device watcher).
constexpr unsigned WM_PORT_PRESENT = WM_USER + 0x30;

// Returns the process-wide number of a named message (0xC000..0xFFFF), the same for the same
// name for the whole run. Thread-safe.
unsigned RegisterWindowMessage(const std::string& name);
