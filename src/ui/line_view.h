#pragma once
// CLineView: a read-only pane over the rows of a bounded CLineStore (the terminal, the build
// output). GUI thread only; the view owns its store. It lays out and paints only the rows in
// view, brings its scroll bars up to date at most once per kRepaintMs however fast text comes,
// and follows the end unless the user scrolled away from it. Mouse selection, copy, select all
// and a find that wraps are its own. A derived class changes what a row shows (RowCount,
// RowText, RowBase, RowColumns) and how it looks (RowStyle); the font is the caller's (setFont).

#include "ui/line_store.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QList>
#include <QTimer>

#include <chrono>
#include <string_view>

class QMenu;

class CLineView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kRepaintMs = 15;
    // How the store's bytes become characters.
    enum class EEncoding { Latin1, Utf8 };
    // The view's own keys: Ctrl+Shift+C/A/F (a terminal, where Ctrl+letters are the board's)
    // or Ctrl+C/A/F; F3 / Shift+F3 find again in both.
    enum class EKeys { ControlShift, Control };
    // How a row is drawn; an invalid colour: the palette's text colour.
    struct CRowStyle {
        QColor m_colour;
        bool m_bBold = false;
    };
    // A part of a row drawn in its own colour (characters from m_nFrom, m_nLength of them).
    struct CSpan {
        int m_nFrom = 0;
        int m_nLength = 0;
        QColor m_colour;
    };

    CLineView(EEncoding encoding, EKeys keys, std::size_t maxLines, QWidget* parent = nullptr);

    const CLineStore& Lines() const { return m_lines; }
    // Appends bytes in the view's encoding (a character may be split between calls).
    void AppendText(std::string_view run);
    // The text as stored (lines joined by '\n'), decoded; replacing it starts afresh.
    QString PlainText() const;
    void SetPlainText(const QString& text);

    // Rows as shown, counted from the first kept.
    virtual int RowCount() const;
    virtual QString RowText(int row) const;
    virtual CRowStyle RowStyle(int row) const;
    // Parts of the row (as RowText gives it) in colours of their own; none by default.
    virtual QList<CSpan> RowSpans(int row, const QString& text) const;
    // The first row in view; where a row is in the viewport (empty when out of view).
    int TopRow() const;
    QRect RowRect(int row) const;
    // The row under a point of the viewport; -1 below the last.
    int RowAt(const QPoint& point) const;

    // The row marked as current (highlighted), -1 for none; setting one scrolls it into view.
    int CurrentRow() const;
    void SetCurrentRow(int row);

    bool HasSelection() const { return m_bHasSelection; }
    QString SelectedText() const;
    // Where the selection begins (x: column, y: row as counted by RowText); (-1, -1): none.
    QPoint SelectionStart() const;
    void Copy();
    void SelectAll();
    // Selects the next (or previous) match of text after (before) the selection's start, or
    // from the top (the end) when there is none, wrapping round; case-insensitive. False when
    // the text occurs nowhere (then the status bar says "Not found: TEXT").
    virtual bool FindString(const QString& text, bool forward = true);
    // Asks for the text in a box of its own, then finds it.
    void PromptFind();
    const QString& LastFind() const { return m_strLastFind; }

    bool IsFollowingEnd() const { return m_bFollowEnd; }
    // Brings the scroll bars up to date and asks for a paint now, not at the next turn.
    void UpdateView();
    int PaintCount() const { return m_nPaints; }

protected:
    // Rows gone at the top since the last clear (keeps a scrolled-to place and the selection).
    virtual qint64 RowBase() const;
    // The widest row in characters (the horizontal scroll range).
    virtual int RowColumns() const;
    // The view's own keys (see EKeys): true for one; act: do it.
    virtual bool HandleViewKey(QKeyEvent* event, bool act);

    CLineStore& MutableLines() { return m_lines; }
    QString Decode(std::string_view bytes) const;
    // Tabs to the next multiple of 8 columns, other control characters as spaces.
    static QString ExpandRow(const QString& text);
    // Empties the store and starts the view afresh (following the end, nothing selected).
    void ClearText();
    // Called by ClearText once the store is empty, for what a derived class keeps per row.
    virtual void TextCleared() {}
    // A word for the status bar: by default the main window's, also from a floating pane.
    virtual void ShowStatus(const QString& text);
    // The rows shown changed wholesale (another rendering of the same data): back to the end.
    void ResetRows();
    void ClearSelection();
    // Copy, Select All, Find, Find Next / Previous, with the keys of this view.
    void AddViewActions(QMenu* menu);
    // Brings the view up to date now or within kRepaintMs, whichever is later.
    void ScheduleUpdate();

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // A place in the rows as shown: rows counted from the first ever kept, so it stays put
    // while old rows go.
    struct CTextPos {
        qint64 m_nRow = 0;
        int m_nColumn = 0;
        bool operator<(const CTextPos& other) const
        {
            return m_nRow != other.m_nRow ? m_nRow < other.m_nRow : m_nColumn < other.m_nColumn;
        }
        bool operator==(const CTextPos& other) const = default;
    };

    int LineHeight() const;
    QFont RowFont(const CRowStyle& style) const;
    CTextPos HitTest(const QPoint& point) const;
    // Scrolls so the row is in view (in the middle when it was not); stops following the end.
    void ShowRow(int row);

    EEncoding m_eEncoding;
    EKeys m_eKeys;
    CLineStore m_lines;
    // The view follows the end until the user scrolls away from it, and again once back there.
    // Text going in (and old lines going out) moves the scroll bar too: that is not the user.
    bool m_bFollowEnd = true;
    bool m_bUpdating = false;
    qint64 m_nBaseShown = 0;
    QTimer m_updateTimer;
    std::chrono::steady_clock::time_point m_lastUpdate;
    bool m_bSelecting = false;
    bool m_bHasSelection = false;
    CTextPos m_selAnchor;
    CTextPos m_selCursor;
    // Counted like CTextPos rows; -1: none.
    qint64 m_nCurrent = -1;
    QString m_strLastFind;
    int m_nPaints = 0;
};
