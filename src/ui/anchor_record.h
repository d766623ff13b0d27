#pragma once
// Anchor arithmetic of the resizable dialogs: a child keeps its distances to two points of the
// client area given in percent of its width and height. Pure values, no windows: any thread.
// Registration truncates (integer division), layout rounds (MulDiv), so a control anchored at
// 50 % of an odd width moves one pixel at the first layout.

#include <cstdint>
#include <optional>

struct CAnchorPoint {
    int x = -1;
    int y = -1;
    friend bool operator==(const CAnchorPoint&, const CAnchorPoint&) = default;
};

inline constexpr CAnchorPoint ANCHOR_NONE{-1, -1};
inline constexpr CAnchorPoint ANCHOR_TOP_LEFT{0, 0};
inline constexpr CAnchorPoint ANCHOR_TOP_RIGHT{100, 0};
inline constexpr CAnchorPoint ANCHOR_BOTTOM_LEFT{0, 100};
inline constexpr CAnchorPoint ANCHOR_BOTTOM_RIGHT{100, 100};

// A rectangle in client coordinates; right and bottom are exclusive.
struct CAnchorRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const CAnchorRect&, const CAnchorRect&) = default;
};

// Multiplies and divides in 64 bits, rounding half away from zero; -1 when the divisor is 0 or
// the result does not fit, as the system routine of that name does.
int MulDiv(int number, int numerator, int denominator);

struct AnchorRecord {
    std::int32_t m_nLeftPercent = 0;
    std::int32_t m_nTopPercent = 0;
    std::int32_t m_nLeftOffset = 0;
    std::int32_t m_nTopOffset = 0;
    std::int32_t m_nRightPercent = 0;
    std::int32_t m_nBottomPercent = 0;
    std::int32_t m_nRightOffset = 0;
    std::int32_t m_nBottomOffset = 0;

    // The record of a child at rectangle child in a client area of width x height. Empty when
    // topLeft is ANCHOR_NONE; bottomRight ANCHOR_NONE means "the same point as topLeft".
    static std::optional<AnchorRecord> Make(CAnchorPoint topLeft, CAnchorPoint bottomRight,
                                            int width, int height, const CAnchorRect& child);

    // Where the child goes in a client area of cx x cy.
    CAnchorRect Layout(int cx, int cy) const;

    friend bool operator==(const AnchorRecord&, const AnchorRecord&) = default;
};
