#pragma once
// CQuickSends: up to kCount named sends the user keeps at hand (Shift+F1..F12 and a toolbar
// row): each a text (read with the command line's escapes, sent as it is, no line end added)
// or a file (sent as Send File sends it). One settings value a send ("TerminalQuickSend1" ..):
// "text", a tab, the name, a tab, the text; or "file", a tab, the name, a tab, the path. A value
// that cannot be read is left out with a warning in the store; the others are kept. A plain
// value; GUI thread (where the store lives).

#include "base/settings_store.h"

#include <array>
#include <cstddef>
#include <string>

struct CQuickSend {
    enum class EKind { Text, File };
    // Empty: the slot holds no send.
    std::string m_strName;
    EKind m_eKind = EKind::Text;
    // The text with its escapes as typed, or the file's path.
    std::string m_strValue;

    bool IsSet() const { return !m_strName.empty(); }
    bool operator==(const CQuickSend&) const = default;
};

class CQuickSends {
public:
    static constexpr std::size_t kCount = 12;

    const CQuickSend& At(std::size_t index) const { return m_sends[index]; }
    // A name or text holding a tab or a line end cannot be kept: false, and nothing changes.
    bool Set(std::size_t index, const CQuickSend& send);
    bool Any() const;

    // The value kept for a send, and the send a value stands for (false when it cannot be read).
    static std::string Format(const CQuickSend& send);
    static bool Parse(const std::string& value, CQuickSend& send);
    static std::string Key(std::size_t index);

    void Load(ISettingsStore& store);
    void Save(ISettingsStore& store) const;

    bool operator==(const CQuickSends&) const = default;

private:
    std::array<CQuickSend, kCount> m_sends;
};
