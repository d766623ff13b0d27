#pragma once
// The stored form of a dialog's placement: "%d,%d,%d,%d,%d,%d" = the normal rectangle's left,
// top, right and bottom, the show state and the placement flags. Pure values: any thread.

#include <optional>
#include <string>

// Show states and flags as the stored text carries them.
inline constexpr int kShowHide = 0;
inline constexpr int kShowNormal = 1;
inline constexpr int kShowMinimized = 2;
inline constexpr int kShowMaximized = 3;
inline constexpr int kRestoreToMaximized = 2;

struct CWindowPlacement {
    int m_nLeft = 0;
    int m_nTop = 0;
    int m_nRight = 0;
    int m_nBottom = 0;
    int m_nShowCmd = kShowNormal;
    int m_nFlags = 0;

    // Reads the numbers the way the format does (blanks before a number allowed, the commas
    // exact); empty unless all six were read. A number beyond int saturates.
    static std::optional<CWindowPlacement> Parse(const std::string& text);
    std::string Format() const;

    friend bool operator==(const CWindowPlacement&, const CWindowPlacement&) = default;
};
