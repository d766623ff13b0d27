#pragma once
// CTerminalCtrl: the terminal window, the interactive console to the board. Shows what the
// receive parser passes on (black on white, appended at the end) and sends what the user types
// to the port, byte for byte, without showing it locally. GUI thread only. The port is the
// main frame's and outlives the control; the control never owns it; a settings store given to
// LoadViewSettings outlives it too.
//
// The text lives in a bounded line store (the scrollback, a setting) and the received bytes in
// a ring for the hex view; the shared line view (CLineView) lays out and paints only the rows
// in view, at most once per kRepaintMs however fast the board talks. Ctrl+letters and plain
// keys go to the board; the view's own keys are Ctrl+Shift+letters and F3.

#include "terminal/terminal_sink.h"
#include "ui/byte_ring.h"
#include "ui/line_view.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <vector>

#include <string>

class CSerialPort;
class CTerminalInput;
class ISettingsStore;
class QAction;
class QMenu;
struct CHighlightRule;

class CTerminalCtrl : public CLineView, public ITerminalSink {
    Q_OBJECT
public:
    // The default scrollback in lines, and the longest line before the text continues below.
    static constexpr int kMaxLines = static_cast<int>(CLineStore::kDefaultMaxLines);
    static constexpr int kMaxLineLength = static_cast<int>(CLineStore::kMaxLineLength);

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
    int Scrollback() const { return static_cast<int>(Lines().MaxLines()); }
    // Asks for the scrollback (a box of its own).
    void PromptScrollback();

    // A row as shown (timestamps, hex); the text as stored is PlainText (Latin-1).
    int RowCount() const override;
    QString RowText(int row) const override;
    const CByteRing& Bytes() const { return m_bytes; }
    // The rules that colour rows as they are painted; the texts of the rules that cannot be used
    // (a bad expression), which are left out.
    QStringList SetHighlightRules(const std::vector<CHighlightRule>& rules);
    // Selects the next (previous) row a rule colours, from the current row, wrapping round;
    // false (and the status bar says so) when none is.
    bool FindHighlighted(bool forward);
    QList<CSpan> RowSpans(int row, const QString& text) const override;
    // The terminal's context menu (the caller owns it).
    QMenu* CreateContextMenu(QWidget* parent);

signals:
    // The store was emptied.
    void Cleared();
    void viewSettingsChanged();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Rows gone at the top since the last Clear (of the current view).
    qint64 RowBase() const override;
    int RowColumns() const override;
    // The view's keys and Ctrl+Shift+L (Clear).
    bool HandleViewKey(QKeyEvent* event, bool act) override;

private:
    bool PortOpen() const;
    void WriteByte(unsigned char byte);
    // Enter: what the input says it sends (Ctrl+Enter is always a line feed).
    void WriteEnter(bool control);
    void SaveSetting(const char* key, int value);

    CSerialPort* m_pSerial = nullptr;
    CTerminalInput* m_pInput = nullptr;
    QList<QAction*> m_contextActions;
    ISettingsStore* m_pStore = nullptr;
    CByteRing m_bytes;
    bool m_bTimestamps = false;
    bool m_bHexView = false;
    struct CRule {
        QRegularExpression m_expression;
        QColor m_colour;
        bool m_bWholeLine = true;
    };
    QList<CRule> m_rules;
};
