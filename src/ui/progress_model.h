#pragma once
// The arithmetic of the percentage progress bar: range, position, step, the bar's pixel length
// and whether a position change needs a repaint, the split of the client area and the text.
// A plain value owned by its control; GUI thread only. Positions are never clamped: outside the
// range the bar is empty or full and the percentage goes below 0 or above 100.

#include "ui/anchor_record.h"

#include <cstdint>
#include <string>

// A colour of the bar: the default of its role, the toolkit's bar-face colour (the paint
// manager's colour number 1000 of the original design) or an explicit RGB value.
struct CProgressColour {
    enum EKind { Default, Face, Rgb };
    EKind m_kind = Default;
    std::uint32_t m_rgb = 0; // 0xRRGGBB when m_kind is Rgb

    static CProgressColour FromRgb(std::uint32_t rgb) { return {Rgb, rgb & 0xFFFFFFu}; }
    friend bool operator==(const CProgressColour&, const CProgressColour&) = default;
};

inline constexpr CProgressColour CLR_DEFAULT_COLOUR{CProgressColour::Default, 0};
inline constexpr CProgressColour CLR_FACE_COLOUR{CProgressColour::Face, 0};

class CProgressModel {
public:
    struct CPosResult {
        int m_nOldPos = 0;
        bool m_bRepaint = false;
    };
    struct CSplit {
        CAnchorRect m_filled;
        CAnchorRect m_empty;
    };

    // PBM_SETRANGE: low 16 bits the lower bound, high 16 bits the upper, both unsigned.
    void SetRange(std::uint32_t packed);
    void SetRange32(int low, int high);
    // PBM_GETRANGE: fills low/high when given; returns the lower bound when wantLow.
    int GetRange(bool wantLow, int* low = nullptr, int* high = nullptr) const;
    int Min() const { return m_nMin; }
    int Max() const { return m_nMax; }
    int Pos() const { return m_nPos; }
    int Step() const { return m_nStep; }
    int SetStep(int step);

    // length: the client width (height when vertical) in pixels.
    CPosResult SetPos(int pos, int length);
    CPosResult DeltaPos(int delta, int length);
    CPosResult StepIt(int length);
    // After a size change the next position change always repaints.
    void ForgetBarLength() { m_nBarLength = -1; }
    int LastBarLength() const { return m_nBarLength; }

    bool EmptyRange() const { return m_nMin >= m_nMax; }
    double Fraction() const;
    int BarLength(int length) const;
    CSplit Split(const CAnchorRect& client, bool vertical) const;
    // The caption when not empty, else the truncated percentage ("33%").
    std::string Text(const std::string& caption) const;

private:
    int m_nPos = 0;
    int m_nStep = 1;
    int m_nMax = 100;
    int m_nMin = 0;
    int m_nBarLength = -1;
};
