#pragma once
// COutputCtrl: the output window, a read-only text pane that owns the process runner of the
// Build command. Runs read on the runner's threads are posted to the GUI thread (WM_OUTPUT_TEXT
// through an IMessageSink, the text in the message) and appended there in order; the control
// itself is touched on the GUI thread only. At most kRunsInFlight runs wait in the queue (the
// builder waits on its pipe beyond that), and the text keeps the last kMaxLines lines (it may
// grow by kTrimSlack lines before the oldest are dropped).
//
// Usage: the main frame owns one inside the output pane and hands Runner() to the file list,
// whose Build command calls Start; destroying the control stops a child still running.

#include "base/message_sink.h"
#include "files/process_runner.h"

#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

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

    explicit COutputCtrl(QWidget* parent = nullptr);
    ~COutputCtrl() override;

    // The runner whose output this control shows.
    CProcessRunner& Runner() { return m_runner; }

    // Posts a copy of text to this control; any thread. isError changes nothing.
    void AppendOutput(std::string_view text, bool isError);
    // Appends what is waiting now (the runs already handled but not yet drawn).
    void FlushPending();
    // Characters appended since the last start (what the builder printed, decoded).
    qint64 AppendedChars() const { return m_nAppendedChars; }

signals:
    // Emitted on the GUI thread after a batch of text has been appended.
    void TextAppended();

private:
    // Hands the runner's hooks to the control.
    class CRunner : public CProcessRunner {
    public:
        explicit CRunner(COutputCtrl& output) : m_output(output) {}
        ~CRunner() override { Stop(); }

    protected:
        void OnStart(const std::string& commandLine) override { m_output.OnStart(commandLine); }
        // Both streams look the same in the window.
        void OnStdout(std::string_view text) override { m_output.PostRun(text, true); }
        void OnStderr(std::string_view text) override { m_output.PostRun(text, true); }

    private:
        COutputCtrl& m_output;
    };

    void OnStart(const std::string& commandLine);
    void OnOutputText(const CPostedMessage& message);
    // Posts one run; counted: the runner counted it against its window of runs in flight.
    void PostRun(std::string_view text, bool counted);

    std::unique_ptr<CQtMessageSink> m_pSink;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_strPending;
    QTimer m_flushTimer;
    unsigned m_nShownRun = 0;
    qint64 m_nAppendedChars = 0;
    // Last: it goes first, so no reader is left to post through the members above.
    CRunner m_runner{*this};
};
