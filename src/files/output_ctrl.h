#pragma once
// COutputCtrl: the output window, a read-only line view (CLineView) that owns the process
// runner of the Build command. Runs read on the runner's threads are queued for the GUI thread
// (runs of one child that follow each other are joined; one call queued to the GUI thread
// wakes it for all that is queued, which it takes kPumpDelayMs later)
// and appended there in order as UTF-8 bytes, at most kFlushBytes per turn of the event loop;
// the control itself is touched on the GUI thread only. At most kRunsInFlight runs wait in the
// queue (the builder waits on its pipe beyond that), and the store keeps the last kMaxLines
// lines. The reader threads count the builder's errors and warnings as they pass
// (CBuildDiagnostics); when the builder has ended the control adds the result line and emits
// BuildFinished. A diagnostic line is recognised when it is first painted or asked for (once
// per line), coloured, and opens its source (double-click, Enter, F8 / Shift+F8 on the current
// row) through the owner's opener.
//
// Usage: the main frame owns one inside the output pane and hands Runner() to the file list,
// whose Build command calls Start; destroying the control stops a child still running.

#include "files/build_diagnostics.h"
#include "files/process_runner.h"
#include "ui/line_view.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>


class COutputCtrl : public CLineView {
    Q_OBJECT
public:
    // Runs of up to CProcessRunner::kReadSize bytes waiting for the GUI thread (1 MiB at most).
    static constexpr std::size_t kRunsInFlight = 4096;
    static constexpr int kMaxLines = 100000;
    // Bytes the GUI thread appends at most per turn of the event loop.
    static constexpr std::size_t kFlushBytes = 256 * 1024;
    // The GUI thread takes what is queued this long after it is woken, so a fast builder's
    // runs arrive in batches, not one wake-up per run.
    static constexpr int kPumpDelayMs = 4;

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
    // Appends everything waiting now (the runs still queued).
    void FlushPending();
    // Bytes appended since the last start (what the builder printed).
    qint64 AppendedBytes() const { return m_nAppendedBytes; }

    void SetSourceOpener(CSourceOpener opener) { m_opener = std::move(opener); }
    // The diagnostic on a row, its file resolved against the folder make said it entered or
    // the builder's working folder; nullopt for another row.
    std::optional<CDiagnostic> DiagnosticAt(int row) const;
    // Opens the diagnostic of a row; false when it names no file.
    bool OpenDiagnostic(int row);
    // Makes the next (previous) diagnostic row after (before) the current row current, shows
    // it and opens its source; from the top (the end) when there is no current row, wrapping
    // round past the last (first). False when the output holds none.
    bool GoToDiagnostic(bool forward);
    // Errors and warnings in colours of their own (readable on light and dark bases), the
    // result line in bold.
    CRowStyle RowStyle(int row) const override;

    // Context menu commands. FindString also says in the status bar when the text is not there.
    void ClearOutput();
    bool FindString(const QString& text, bool forward = true) override;
    // Writes the rows as UTF-8, each ending in a line feed; empty on success, otherwise why not.
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
    // Through StatusMessage, for the frame to show.
    void ShowStatus(const QString& text) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // What is known of the rows goes with them.
    void TextCleared() override;

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
    // Appends up to kFlushBytes of what is queued (everything when all is true); asks for
    // another turn when more waits.
    void Pump(bool all = false);
    void ShowResult(unsigned run);
    // Posts one run; counted: the runner counted it against its window of runs in flight.
    void PostRun(std::string_view text, bool counted);
    // 0 (none) or 1 + the kind; recognised once per complete line and kept.
    int Classify(int row) const;
    void SetKind(int row, int kind) const;
    std::string FolderFor(int row) const;

    // From a reader thread: the GUI thread takes what is queued kPumpDelayMs later.
    void Wake();
    unsigned m_nShownRun = 0;
    qint64 m_nAppendedBytes = 0;
    // The kind of each line from m_nKindsBase (rows counted from the first ever kept), filled
    // in as lines are asked about; as bounded as the store.
    mutable std::deque<std::uint8_t> m_kinds;
    mutable std::uint64_t m_nKindsBase = 0;
    // The result line (counted like m_nKindsBase); -1: none.
    qint64 m_nResultRow = -1;
    bool m_bBuilding = false;
    std::string m_strWorkingDir;
    std::chrono::steady_clock::time_point m_start;
    CSourceOpener m_opener;

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
    std::deque<CQueued> m_queue;
    bool m_bWakePosted = false;
    QTimer m_pumpTimer;

    // Last: it goes first, so no reader is left to post through the members above.
    CRunner m_runner{*this};
};
