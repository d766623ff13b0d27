#pragma once
// The per-user settings store, section "Settings", in the shape of the framework's profile calls.
// Implementations: CMemorySettingsStore (core, tests and the command line) and CQtSettingsStore
// (the program). Calls come from the GUI thread; the command line uses it from its main thread.
// A store that cannot be written is not reported.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An integer setting stored as text: the whole text (blanks around it aside) must be a number
// in range; anything else is no value, so the caller's default applies and a stray edit of the
// file cannot switch a feature off.
std::optional<int> ParseProfileInt(std::string_view text);
// A flag as a person may write it: a number (0 off, any other on) or, in any case,
// false/true, no/yes, off/on. Anything else is no value.
std::optional<int> ParseProfileFlag(std::string_view text);

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    virtual std::string ReadString(const std::string& entry, const std::string& def) = 0;
    virtual void WriteString(const std::string& entry, const std::string& value) = 0;
    virtual int ReadInt(const std::string& entry, int def) = 0;
    virtual void WriteInt(const std::string& entry, int value) = 0;
    // Empty optional when the entry is absent.
    virtual std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& entry) = 0;
    virtual void WriteBytes(const std::string& entry, const std::vector<std::uint8_t>& value) = 0;

    // A flag (ParseProfileFlag); def when absent, def with a warning when it cannot be read.
    int ReadFlag(const std::string& entry, int def);
    // Records that the entry's value cannot be read and what is used instead: one warning per
    // entry, for the user to see (qxprog prints them, the window shows them in its status bar).
    void WarnUnreadable(const std::string& entry, const std::string& value, const std::string& used);
    // "Settings: Baud=abc is not a valid value; 19200 is used.", in the order found.
    std::vector<std::string> Warnings() const;

private:
    mutable std::mutex m_warningMutex;
    std::vector<std::string> m_warnedEntries;
    std::vector<std::string> m_warnings;
};
