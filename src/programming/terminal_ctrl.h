#pragma once
// CTerminalCtrl: the terminal window, the interactive console to the board. Shows what the
// receive parser passes on (black on white, appended at the end) and sends what the user types
// to the port, byte for byte, without showing it locally. GUI thread only. The port is the
// main frame's and outlives the control; the control never owns it; a settings store given to
// LoadViewSettings outlives it too.
//
// The text lives in a bounded line store (the scrollback, a setting) and the received bytes in
// a ring for the hex view; the control lays out and paints only the rows in view, at most once
// per kRepaintMs however fast the board talks. Ctrl+letters and plain keys go to the board;
// the view's own keys are Ctrl+Shift+letters and F3.

#include "programming/terminal_sink.h"
#include "ui/byte_ring.h"
#include "ui/line_store.h"

#include <QAbstractScrollArea>
#include <QList>
#include <QTimer>

#include <chrono>
#include <string>

class CSerialPort;
class CTerminalInput;
class ISettingsStore;
class QAction;
class QMenu;
class QMimeData;

class CTerminalCtrl : public QAbstractScrollArea, public ITerminalSink {
    Q_OBJECT
public:
    // The default scrollback in lines, and the longest line before the text continues below.
    static constexpr int kMaxLines = static_cast<int>(CLineStore::kDefaultMaxLines);
    static constexpr int kMaxLineLength = static_cast<int>(CLineStore::kMaxLineLength);
    static constexpr int kRepaintMs = 15;

    explicit CTerminalCtrl(QWidget* parent = nullptr);

    // Where typed keys go; null: nowhere.
    void SetSerial(CSerialPort* serial) { m_pSerial = serial; }
    CSerialPort* Serial() const { return m_pSerial; }
    // What typed keys become on the line (Enter's bytes, local echo, counting); null: each
    // byte as typed, Enter as CR. The input outlives the control.
    void SetInput(CTerminalInput* input) { m_pInput = input; }
    // Commands added below the context menu's own entries (the frame's actions).
    void SetContextActions(const QList<QAction*>& actions) { m_contextActions = actions; }

    // ITerminalSink
    void AppendTerminalText(std::string_view run) override;
    void DeleteLastChar() override;
    void ReceivedBytes(const std::uint8_t* data, std::size_t count) override;

    // The view's choices, read from the store (and written back there when they change).
    void LoadViewSettings(ISettingsStore& store);
    void Clear();
    void SetTimestamps(bool on);
    bool Timestamps() const { return m_bTimestamps; }
    void SetHexView(bool on);
    bool HexView() const { return m_bHexView; }
    // Lines kept (1 .. CLineStore::kLargestMaxLines); the hex view keeps as many rows.
    void SetScrollback(int lines);
    int Scrollback() const { return static_cast<int>(m_lines.MaxLines()); }
    // Selects the next (or previous) match of text after (before) the selection, or from the
    // end when there is none, wrapping round; case-insensitive. False when there is none.
    bool FindText(const QString& text, bool forward = true);
    // Asks for the text, the scrollback (boxes of their own).
    void PromptFind();
    void PromptScrollback();

    // The text as stored (lines joined by '\n'); a row as shown (timestamps, hex).
    QString toPlainText() const;
    int RowCount() const;
    QString RowText(int row) const;
    QString selectedText() const;
    // Where the selection begins (x: column, y: row as counted by RowText); (-1, -1): none.
    QPoint SelectionStart() const;
    void copy();
    void selectAll();
    const CLineStore& Lines() const { return m_lines; }
    const CByteRing& Bytes() const { return m_bytes; }
    bool IsFollowingEnd() const { return m_bFollowEnd; }
    // The first row in view.
    int TopRow() const;
    // Brings the scroll bars up to date and asks for a paint now, not at the next turn.
    void UpdateView();
    int PaintCount() const { return m_nPaints; }
    // The terminal's context menu (the caller owns it).
    QMenu* CreateContextMenu(QWidget* parent);

signals:
    // The store was emptied.
    void Cleared();
    void viewSettingsChanged();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Nothing is ever inserted locally (middle-button paste comes here).
    virtual void insertFromMimeData(const QMimeData* source);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
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

    bool PortOpen() const;
    void WriteByte(unsigned char byte);
    // The view's own keys (Ctrl+Shift+C/A/F/L, F3, Shift+F3): true for one; act: do it.
    bool HandleViewKey(QKeyEvent* event, bool act);
    // Enter: what the input says it sends (Ctrl+Enter is always a line feed).
    void WriteEnter(bool control);
    void ScheduleUpdate();
    // Rows gone at the top since the last Clear (of the current view).
    qint64 RowBase() const;
    // Row as shown, as Latin-1 bytes (tabs expanded, other control bytes as spaces).
    std::string RowBytes(std::size_t row) const;
    int LineHeight() const;
    CTextPos HitTest(const QPoint& point) const;
    void ClearSelection();
    void SaveSetting(const char* key, int value);

    CSerialPort* m_pSerial = nullptr;
    CTerminalInput* m_pInput = nullptr;
    QList<QAction*> m_contextActions;
    ISettingsStore* m_pStore = nullptr;
    CLineStore m_lines;
    CByteRing m_bytes;
    bool m_bTimestamps = false;
    bool m_bHexView = false;
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
    QString m_strLastFind;
    int m_nPaints = 0;
};
