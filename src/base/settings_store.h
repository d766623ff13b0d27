#pragma once
// The per-user settings store, section "Settings", in the shape of the framework's profile calls.
// Implementations: CMemorySettingsStore (core, tests and the command line) and CQtSettingsStore
// (the program). Calls come from the GUI thread; the command line uses it from its main thread.
// A store that cannot be written is not reported.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An integer setting stored as text: the whole text (blanks around it aside) must be a number
// in range; anything else is no value, so the caller's default applies and a stray edit of the
// file cannot switch a feature off.
std::optional<int> ParseProfileInt(std::string_view text);

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    virtual std::string GetProfileString(const std::string& entry, const std::string& def) = 0;
    virtual void WriteProfileString(const std::string& entry, const std::string& value) = 0;
    virtual int GetProfileInt(const std::string& entry, int def) = 0;
    virtual void WriteProfileInt(const std::string& entry, int value) = 0;
    // Empty optional when the entry is absent.
    virtual std::optional<std::vector<std::uint8_t>> GetProfileBinary(const std::string& entry) = 0;
    virtual void WriteProfileBinary(const std::string& entry, const std::vector<std::uint8_t>& value) = 0;
};
