#pragma once
// CTerminalController: the terminal's input and output in the main window: typing (echo, what
// Enter sends, DTR and RTS), the command line with its history, Paste to Board, Send File and
// their pacing, the log with its status-bar pane, the byte counters with theirs, the terminal
// settings, and the Terminal menu's commands. GUI thread
// only. It owns the log, the tee, the typed-key input and the sender; the terminal window, the
// status bar, the stores, the sink and the prompt outlive it, and so does the port given to
// SetPort until ReleasePort. The window hands it the sink's notifications (HandleMessage) and
// asks it about the line (IsSending); it asks the window through CHost.

#include "base/command_target.h"
#include "base/message_sink.h"
#include "terminal/command_history.h"
#include "terminal/highlight_rules.h"
#include "terminal/quick_sends.h"
#include "terminal/terminal_counters.h"
#include "terminal/terminal_io_settings.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CCommandLine;
class CQtSettingsStore;
class CRawSender;
class CSerialPort;
class CStatusPanes;
class CTerminalCtrl;
class CTerminalInput;
class CTerminalLog;
class CTerminalTee;
class ITerminalSink;
class IUserPrompt;
class QLabel;
class QStatusBar;
class QTimer;
class QToolBar;

class CTerminalController : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    // A paste longer than this asks before it goes to the board.
    static constexpr std::size_t kPasteAskBytes = 4096;
    static constexpr const char* kTextLogOpenError = "Log file open error!";
    static constexpr const char* kTextSendOpenError = "File open error!";
    // The counters and a running send's figures are redrawn this often.
    static constexpr int kRefreshMs = 250;

    // What the controller asks of the window around it.
    struct CHost {
        std::function<bool()> m_isDownloadRunning;
        // The line's bytes per second, for a send's pace.
        std::function<double()> m_lineRate;
        // The port as set (its device is named in texts).
        std::function<std::string()> m_portName;
        std::function<void()> m_requestCommandUpdate;
        // A send ended while no download holds the line: changes that waited for it apply now.
        std::function<void()> m_lineReleased;
        // Shows the terminal's pane (the command line was asked for); may be empty.
        std::function<void()> m_showTerminal;
    };

    // Adds the log and counters panes to panes; status texts go to bar and messagePane, and the
    // bar's window is the parent of the file dialogs.
    CTerminalController(CTerminalCtrl& terminal, QStatusBar& bar, QLabel& messagePane, CStatusPanes& panes,
                        CQtSettingsStore& store, IMessageSink& sink, IUserPrompt& prompt, CHost host);
    ~CTerminalController() override;
    CTerminalController(const CTerminalController&) = delete;
    CTerminalController& operator=(const CTerminalController&) = delete;

    // Where the board's text goes: the terminal window, then the log of shown lines.
    ITerminalSink& BoardText();
    // The port sends, pastes and the modem lines use (typing follows OnPortAttached).
    void SetPortName(CSerialPort* port);
    // The port is about to go: a send is stopped and joined, and keys go nowhere.
    void ReleasePort();
    // The port was opened: keys go to it and DTR / RTS take the stored state.
    void OnPortAttached(CSerialPort* port);
    // Sets DTR and RTS as stored on an open port; a line that cannot be driven is left as it is.
    void ApplyModemLines();
    // Every block read from the port, as it came: counted and logged.
    void OnReceived(const std::uint8_t* data, std::size_t size);
    // The command line under the terminal (it outlives the controller's use of it): its lines
    // are sent, its history and escapes kept, and it shows as the settings say.
    void AttachCommandLine(CCommandLine& line);
    // Sends a command line (Latin-1) with what Enter sends, paced as set; false (with a status
    // message: a bad escape, the line busy, the port closed) when nothing went.
    bool SendCommandLine(const QString& text);
    CCommandHistory& History() { return m_history; }
    // The quick sends' toolbar row, holding the quick send commands' actions (it outlives the
    // controller's use of it): only the sends that are set show.
    void AttachQuickSendBar(QToolBar& bar);
    // Sends quick send index (a text with its escapes, as it is; a file as Send File does);
    // false (with a status message) when nothing went.
    bool RunQuickSend(std::size_t index);
    const CQuickSends& QuickSends() const { return m_quickSends; }
    // Keeps the highlight rules, stores them and paints with them; a rule the window cannot use
    // is said in the status bar.
    void SetHighlightRules(const std::vector<CHighlightRule>& rules);
    const CHighlightRules& HighlightRules() const { return m_highlight; }
    // Keeps the sends and stores them; the bar shows when one is set.
    void SetQuickSends(const CQuickSends& sends);
    // Sets how sends are paced from now on, and stores it.
    void SetPacing(const CSendPacing& pacing);
    // A notification from the sink; true when it was the log's or the sender's.
    bool HandleMessage(const CPostedEvent& message);
    // The window closes: a send ends at its next write and no more boxes are shown.
    void OnClosing();

    // ICommandTarget: the Terminal menu's commands.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;
    // The commands that show a state (on/off, or one of a set).
    static bool ShowsState(int id);

    // Starts logging to the file in the chosen mode; false (after the box) when it cannot.
    bool StartLog(const std::string& path);
    void StopLog();
    CTerminalLog& Log() { return *m_pLog; }
    // Sends the file's bytes as they are; false (after a box or a status message) when refused.
    bool SendFile(const std::string& path);
    // Sends the clipboard's text (asking first above kPasteAskBytes); false when nothing went.
    bool PasteToBoard();
    CRawSender& Sender() { return *m_pSender; }
    bool IsSending() const;
    const CTerminalIoSettings& Settings() const { return m_settings; }
    CTerminalCounters& Counters() { return m_counters; }
    QLabel& CountersPane() { return *m_wndCountersPane; }
    QLabel& LogPane() { return *m_wndLogPane; }

private:
    bool IsDownloadRunning() const { return m_host.m_isDownloadRunning(); }
    bool IsPortOpen() const;
    void RequestCommandUpdate() { m_host.m_requestCommandUpdate(); }
    void ShowStatus(const QString& text, int ms);
    void OnCleared();
    void OnSendEnd();
    // Sets DTR or RTS as asked, says so in the status bar when the port refuses, and stores it.
    void SetModemLine(int id, bool on);
    bool ModemLineShown(int id) const;
    void UpdateLogPane();
    void UpdateCountersPane();
    void SaveSettings();
    void SetCommandLineShown(bool on);
    // Why nothing can be sent now (the port closed, the line busy), said in the status bar; false
    // when something can.
    bool RefuseSend(const QString& what);
    // Sends bytes now, as typed keys are, or through the sender when sends are paced.
    bool SendNow(std::string bytes, const std::string& name);
    void RefreshQuickBar();
    // The status bar's text for a running send.
    void UpdateSendProgress();

    CTerminalCtrl& m_terminal;
    QStatusBar& m_bar;
    QLabel& m_messagePane;
    CQtSettingsStore& m_store;
    IUserPrompt& m_prompt;
    CHost m_host;
    CSerialPort* m_pPort = nullptr;
    bool m_bClosed = false;

    // The log is fed with the received bytes and, through the tee, with the shown text; echoed
    // keys go through the tee too. Torn down in reverse: the sender first (it writes to the port).
    CTerminalIoSettings m_settings;
    CTerminalCounters m_counters;
    CCommandHistory m_history;
    CCommandLine* m_pCommandLine = nullptr;
    CQuickSends m_quickSends;
    CHighlightRules m_highlight;
    QToolBar* m_pQuickBar = nullptr;
    std::unique_ptr<CTerminalLog> m_pLog;
    std::unique_ptr<CTerminalTee> m_pTee;
    std::unique_ptr<CTerminalInput> m_pInput;
    std::unique_ptr<CRawSender> m_pSender;

    QLabel* m_wndLogPane = nullptr;
    QLabel* m_wndCountersPane = nullptr;
    QTimer* m_pRefreshTimer = nullptr;
    std::uint64_t m_nShownReceived = ~0ull;
    std::uint64_t m_nShownSent = ~0ull;
};
