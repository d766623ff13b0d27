#pragma once
// CTerminalCtrl: the terminal window, the interactive console to the board. Shows what the
// receive parser passes on (black on white, appended at the end) and sends what the user types
// to the port, byte for byte, without showing it locally. GUI thread only. The port is the
// main frame's and outlives the control; the control never owns it.
//
// Scrollback is bounded: at most kMaxLines lines are kept (the oldest go first), and a line that
// grows past kMaxLineLength characters without a line end continues on a new line, so a board
// that talks for hours holds at most about kMaxLines x kMaxLineLength characters here.

#include "programming/terminal_sink.h"

#include <QPlainTextEdit>

class CSerialPort;

class CTerminalCtrl : public QPlainTextEdit, public ITerminalSink {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 10000;
    static constexpr int kMaxLineLength = 1024;

    explicit CTerminalCtrl(QWidget* parent = nullptr);

    // Where typed keys go; null: nowhere.
    void SetSerial(CSerialPort* serial) { m_pSerial = serial; }
    CSerialPort* Serial() const { return m_pSerial; }

    // ITerminalSink
    void AppendTerminalText(std::string_view run) override;
    void DeleteLastChar() override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    bool PortOpen() const;
    void WriteByte(unsigned char byte);

    CSerialPort* m_pSerial = nullptr;
    // The view follows the end until the user scrolls away from it, and again once back there.
    // Text going in (and old lines going out) moves the scroll bar too: that is not the user.
    bool m_bFollowEnd = true;
    bool m_bAppending = false;
};
