#pragma once
// CPercentProgressCtrl: a progress bar that paints itself: the bar in one colour over a
// background in another, and a centred text (a caption set through the window text, or the
// percentage) drawn in two colours split at the bar's edge. A position change repaints only
// when the bar's pixel length changes, so stepping once per downloaded byte stays cheap.
// GUI thread only; owned by its parent widget. The arithmetic lives in CProgressModel.

#include "ui/progress_model.h"

#include <QColor>
#include <QString>
#include <QWidget>

class CPercentProgressCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CPercentProgressCtrl(QWidget* parent = nullptr, Qt::Orientation orientation = Qt::Horizontal);

    // The progress-bar operations; none of them clamps the position to the range.
    void SetRange(std::uint32_t packed);                      // low 16 bits: lower, high: upper
    void SetRange(unsigned short lower, unsigned short upper); // the same, unpacked
    void SetRange32(int lower, int upper);
    int GetRange(bool wantLow, int* lower = nullptr, int* upper = nullptr) const;
    int SetPos(int pos);   // returns the previous position
    int DeltaPos(int delta);
    int SetStep(int step); // returns the previous step
    int StepIt();          // no wrap-around at the upper bound
    int GetPos() const { return m_model.Pos(); }

    // Colours: CLR_DEFAULT_COLOUR (bar: the palette's highlight, background: the palette's
    // base, text: the two automatic colours), CLR_FACE_COLOUR (the palette's button face, the
    // idle look) or an RGB value. Each returns the previous colour.
    CProgressColour SetBarColour(CProgressColour colour);
    CProgressColour SetBkColour(CProgressColour colour);
    CProgressColour SetTextColour(CProgressColour colour);
    CProgressColour BarColour() const { return m_crBar; }
    CProgressColour BkColour() const { return m_crBk; }
    CProgressColour TextColour() const { return m_crText; }
    void SetShowText(bool show);
    bool IsTextShown() const { return m_bShowText; }

    // The caption is the window text: SetWindowText or setWindowTitle; empty shows the percentage.
    void SetCaption(const QString& text) { setWindowTitle(text); }
    QString GetCaption() const { return m_strText; }
    // What is drawn now (empty when no text is drawn).
    QString DisplayedText() const;

    // A one-pixel flat ring around the bar (the pane's look); the bar fills what is inside.
    void SetFlatFrame(bool framed);
    bool HasFlatFrame() const { return m_bFlatFrame; }
    QRect ClientRect() const;

    void SetVertical(bool vertical);
    bool IsVertical() const { return m_bVertical; }

    // Resolved colours of the current palette.
    QColor ResolvedBarColour() const;
    QColor ResolvedBkColour() const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int Length() const;
    int ApplyPos(const CProgressModel::CPosResult& result);
    QColor Resolve(CProgressColour colour, QPalette::ColorRole role) const;
    // Stores colour in member, repaints and returns the colour it replaces.
    CProgressColour ReplaceColour(CProgressColour& member, CProgressColour colour);
    void Paint(QPainter& painter);

    CProgressColour m_crText = CLR_DEFAULT_COLOUR;
    CProgressModel m_model;
    QString m_strText;
    bool m_bShowText = true;
    CProgressColour m_crBar = CLR_DEFAULT_COLOUR;
    CProgressColour m_crBk = CLR_DEFAULT_COLOUR;
    bool m_bVertical = false;
    bool m_bFlatFrame = false;
};
