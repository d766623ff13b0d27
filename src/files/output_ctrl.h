#pragma once
// COutputCtrl: the output window, a read-only text pane that owns the process runner of the
// Build command. Runs read on the runner's threads are queued for the GUI thread (runs of one
// child that follow each other are joined; one WM_OUTPUT_TEXT through an IMessageSink wakes
// the GUI thread for all that is queued) and appended there in order, at most kFlushChars
// characters per turn of the event loop; the control itself is touched on the GUI thread only.
// At most kRunsInFlight runs wait in the queue (the builder waits on its pipe beyond that),
// and the text keeps the last kMaxLines lines (it may grow by kTrimSlack lines before the
// oldest are dropped). The reader threads count the
// builder's errors and warnings as they pass (CBuildDiagnostics); when the builder has ended
// the control adds the result line and emits BuildFinished. Diagnostic lines are coloured
// when they come into view, and open their source (double-click, Enter, F8 / Shift+F8)
// through the opener the owner sets.
//
// Usage: the main frame owns one inside the output pane and hands Runner() to the file list,
// whose Build command calls Start; destroying the control stops a child still running.

#include "base/message_sink.h"
#include "files/build_diagnostics.h"
#include "files/process_runner.h"

#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class CQtMessageSink;

class COutputCtrl : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr std::size_t kRunsInFlight = 256;
    static constexpr int kMaxLines = 100000;
    // Lines the text may grow beyond kMaxLines before the oldest are dropped in one step.
    static constexpr int kTrimSlack = 2000;
    // Decoded text waiting for the next paint is appended at once beyond this many characters.
    static constexpr int kFlushChars = 64 * 1024;
    static constexpr int kFlushDelayMs = 20;

    // Opens a source file at a line (line 0: none known).
    using CSourceOpener = std::function<void(const std::string& path, int line)>;

    explicit COutputCtrl(QWidget* parent = nullptr);
    ~COutputCtrl() override;

    // The runner whose output this control shows.
    CProcessRunner& Runner() { return m_runner; }
    // True from the builder's start until its result line is shown.
    bool IsBuilding() const { return m_bBuilding; }
    // Ends a running builder and its process group (the result line then says so).
    void StopBuild();

    // Posts a copy of text to this control; any thread. isError changes nothing.
    void AppendOutput(std::string_view text, bool isError);
    // Appends everything waiting now (the runs queued or handled but not yet drawn).
    void FlushPending();
    // Characters appended since the last start (what the builder printed, decoded).
    qint64 AppendedChars() const { return m_nAppendedChars; }

    void SetSourceOpener(CSourceOpener opener) { m_opener = std::move(opener); }
    // The diagnostic on a line of the text, its file resolved against the folder make said it
    // entered or the builder's working folder; nullopt for another line.
    std::optional<CDiagnostic> DiagnosticAt(int blockNumber) const;
    // Opens the diagnostic of a line; false when it names no file.
    bool OpenDiagnostic(int blockNumber);
    // Selects the next (previous) diagnostic line after (before) the caret, shows it and opens
    // its source; false when there is none.
    bool GoToDiagnostic(bool forward);
    // Colours the diagnostic lines in view now (also done on its own after appends and scrolls).
    void ColourVisibleLines();

    // Context menu commands. FindText selects the next match after the caret, from the top
    // when there is none below; false when the text does not occur.
    void ClearOutput();
    bool FindText(const QString& text);
    // Writes the text as UTF-8; empty on success, otherwise why not.
    QString SaveTo(const QString& path) const;
    QMenu* CreateContextMenu();

signals:
    // Emitted on the GUI thread after a batch of text has been appended.
    void TextAppended();
    // The builder started or its result line was shown.
    void BuildStateChanged();
    // The result line, once per build.
    void BuildFinished(const QString& resultLine);
    // A text for the status bar (a diagnostic whose file is missing, a failed search).
    void StatusMessage(const QString& text);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Hands the runner's hooks to the control.
    class CRunner : public CProcessRunner {
    public:
        explicit CRunner(COutputCtrl& output) : m_output(output) {}
        ~CRunner() override { Stop(); }

    protected:
        void OnStart(const std::string& commandLine) override { m_output.OnStart(commandLine); }
        // Both streams look the same in the window.
        void OnStdout(std::string_view text) override { m_output.OnRun(text, m_out); }
        void OnStderr(std::string_view text) override { m_output.OnRun(text, m_err); }
        void OnFinished(const CExitStatus& status) override { m_output.OnFinished(status); }

    private:
        friend class COutputCtrl;
        COutputCtrl& m_output;

        // One counter per stream, on its reader thread; tagged with the child it counts.
        struct CStreamCount {
            unsigned m_nRun = 0;
            CBuildDiagnostics m_counter;
        };
        CStreamCount m_out;
        CStreamCount m_err;
    };

    // The result of a child, left by the watcher for the GUI thread.
    struct CDone {
        unsigned m_nRun = 0;
        CExitStatus m_status;
        CDiagnosticCounts m_counts;
        std::chrono::steady_clock::time_point m_end;
    };

    void OnStart(const std::string& commandLine);
    void OnRun(std::string_view text, CRunner::CStreamCount& stream);
    void OnFinished(const CExitStatus& status);
    // Takes what is queued while less than kFlushChars wait to be drawn, then appends one
    // batch; everything when all is true.
    void Pump(bool all = false);
    // Appends up to maxChars of the waiting text.
    void AppendPending(qsizetype maxChars);
    void ShowResult(unsigned run);
    // Posts one run; counted: the runner counted it against its window of runs in flight.
    void PostRun(std::string_view text, bool counted);
    // 0: no diagnostic, else 1 + the kind; classified once per line and kept in its state.
    int Classify(const QTextBlock& block) const;
    void Colour(const QTextBlock& block, int state);
    void ScheduleColouring();
    std::string FolderFor(const QTextBlock& block) const;

    std::unique_ptr<CQtMessageSink> m_pSink;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_strPending;
    QTimer m_flushTimer;
    QTimer m_colourTimer;
    unsigned m_nShownRun = 0;
    qint64 m_nAppendedChars = 0;
    bool m_bBuilding = false;
    std::string m_strWorkingDir;
    std::chrono::steady_clock::time_point m_start;
    CSourceOpener m_opener;
    QString m_strLastFind;

    std::mutex m_doneMutex;
    CDone m_done;

    // Runs waiting for the GUI thread. m_nCounted: runs the runner counts in flight.
    struct CQueued {
        unsigned m_nRun = 0;
        bool m_bDone = false;
        std::size_t m_nCounted = 0;
        std::string m_strText;
    };
    std::mutex m_queueMutex;
    std::vector<CQueued> m_queue;
    bool m_bWakePosted = false;
    QTimer m_pumpTimer;

    // Last: it goes first, so no reader is left to post through the members above.
    CRunner m_runner{*this};
};
