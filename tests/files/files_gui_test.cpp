// The window side of the file list and its tools on the offscreen platform, with real parts: a
// settings store in memory, real list files, real builder and editor scripts (under folders
// with blanks), the desktop's associations read by GIO from folders this test fills.

#include "base/commands.h"
#include "base/memory_settings_store.h"
#include "files/command_line.h"
#include "files/desktop_launcher.h"
#include "files/file_list_model.h"
#include "files/options_dlg.h"
#include "files/output_ctrl.h"
#include "files/qx_prog_view.h"
#include "recording_prompt.h"
#include "temp_dir.h"
#include "text_fit.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace {
// A named pipe a launched script writes its arguments to; Read waits for them with a deadline.
class CFifo {
public:
    explicit CFifo(std::string path) : m_strPath(std::move(path))
    {
        mkfifo(m_strPath.c_str(), 0600);
        m_fd = open(m_strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~CFifo()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    const std::string& Path() const { return m_strPath; }
    // Everything written until the writer closes, or what came before the time-out.
    std::string Read(int timeoutMs)
    {
        std::string text;
        // A FIFO that never had a writer does not report a hang-up, so poll waits for one.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return text;
            pollfd pfd{m_fd, POLLIN, 0};
            if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                return text;
            char buffer[512];
            ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                // The writer has closed its end: open afresh, ready for the next writer.
                close(m_fd);
                m_fd = open(m_strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                return text;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    std::string m_strPath;
    int m_fd = -1;
};

class CTestView : public CQxProgView {
public:
    using CQxProgView::CQxProgView;
    QStringList m_toAdd;

protected:
    QStringList ChooseFilesToAdd() override { return m_toAdd; }
};

class CTestOptionsDlg : public COptionsDlg {
public:
    using COptionsDlg::COptionsDlg;
    QString m_strChosen;

protected:
    QString ChooseExecutable() override { return m_strChosen; }
};

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Starts a command line split as the tool settings are.
bool StartLine(CProcessRunner& runner, const std::string& line)
{
    return runner.Start(line, SplitCommandLine(line));
}
} // namespace

class FilesGuiTest : public QObject {
    Q_OBJECT

private:
    CTempDir m_xdg;
    std::string m_strAssocFifo;

    struct CViewSetup {
        CMemorySettingsStore m_store;
        CToolSettings m_tools;
        CRecordingPrompt m_prompt{kAnswerCancel};
        COutputCtrl m_output;
        std::vector<std::string> m_downloads;
        int m_nOptions = 0;
        int m_nShowOutput = 0;
        std::function<void()> m_onOptions;
        std::unique_ptr<CTestView> m_pView;

        explicit CViewSetup(const std::string& startDir)
        {
            m_tools.SetStartDir(startDir + "/");
            CQxProgView::CCallbacks cb;
            cb.m_startDownload = [this](const std::string& path) { m_downloads.push_back(path); };
            cb.m_showOutputPane = [this] { ++m_nShowOutput; };
            cb.m_onOptions = [this] {
                ++m_nOptions;
                if (m_onOptions)
                    m_onOptions();
            };
            m_pView = std::make_unique<CTestView>(m_store, m_tools, m_prompt, &m_output.Runner(), cb);
            m_pView->OnInitialUpdate();
            // The list file's files are looked at on a worker thread: wait for their sizes.
            auto* model = static_cast<CFileListModel*>(m_pView->model());
            QSignalSpy probed(model, &CFileListModel::ProbeFinished);
            if (model->IsProbing())
                probed.wait(10000);
        }
        int Rows() const { return m_pView->model()->rowCount(); }
        QVariant Cell(int row, int column, int role = Qt::DisplayRole) const
        {
            return m_pView->model()->index(row, column).data(role);
        }
        void Select(std::initializer_list<int> rows)
        {
            // One change of selection, as a click would make.
            QItemSelection selection;
            for (int row : rows)
                selection.select(m_pView->model()->index(row, 0), m_pView->model()->index(row, 0));
            m_pView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        // Waits for the build to end and shows all of its output, without the result line
        // (the line feed before it stays).
        QString BuildOutput()
        {
            if (!m_output.Runner().WaitUntilDone(10000))
                return QStringLiteral("<build did not end>");
            QCoreApplication::sendPostedEvents();
            m_output.FlushPending();
            const QString text = m_output.PlainText();
            const qsizetype last = text.lastIndexOf(QLatin1Char('\n'));
            if (last < 0 || !text.mid(last + 1).startsWith(QStringLiteral("Build finished (exit code 0, ")))
                return QStringLiteral("<no result line>") + text;
            return text.left(last + 1);
        }
    };

private slots:
    void initTestCase()
    {
        // The desktop's associations come from folders of this test only: one application,
        // the default for text/plain, which writes the path it is given to a pipe.
        std::filesystem::create_directories(m_xdg.Path("data/applications"));
        std::filesystem::create_directories(m_xdg.Path("sys"));
        std::filesystem::create_directories(m_xdg.Path("config"));
        std::filesystem::create_directory_symlink("/usr/share/mime", m_xdg.Path("sys/mime"));
        m_strAssocFifo = m_xdg.Path("assoc.fifo");
        std::string app = m_xdg.Write("assoc-app", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + m_strAssocFifo + "'\n", true);
        m_xdg.Write("data/applications/qxtest-assoc.desktop",
                    "[Desktop Entry]\nType=Application\nName=QxTest\nExec=" + app + " %f\nMimeType=text/plain;\n");
        m_xdg.Write("config/mimeapps.list", "[Default Applications]\ntext/plain=qxtest-assoc.desktop\n");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_xdg.Path("data")));
        qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(m_xdg.Path("sys")));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_xdg.Path("config")));
        qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(m_xdg.Path("config")));
    }

    // --- output window ---

    void outputStartShowsTheCommandLineThenTheRunsInOrder()
    {
        CTempDir dir;
        // Standard error comes in between, in the order printed: both go through one pipe, as
        // on a terminal.
        std::string script = dir.Write("say hello",
                                       "#!/bin/sh\nprintf 'first'\nprintf ' second\\n'\necho 'to stderr' >&2\n"
                                       "[ \"$(readlink /proc/$$/fd/1)\" = \"$(readlink /proc/$$/fd/2)\" ] && echo 'one pipe'\n",
                                       true);
        COutputCtrl output;
        output.SetPlainText(QStringLiteral("old text"));
        std::string line = "\"" + script + "\"";
        QVERIFY(StartLine(output.Runner(), line));
        // The command line is a line of its own.
        QCOMPARE(output.PlainText(), Q(line) + QStringLiteral("\n"));
        QVERIFY(output.Runner().WaitUntilDone(10000));
        QCoreApplication::sendPostedEvents();
        output.FlushPending();
        QVERIFY2(output.PlainText().startsWith(Q(line) +
                                                 QStringLiteral("\nfirst second\nto stderr\none pipe\nBuild finished (exit code 0, ")),
                 qPrintable(output.PlainText()));
    }

    void outputFailedStartKeepsTheTextAndAppendsTheMessage()
    {
        COutputCtrl output;
        output.SetPlainText(QStringLiteral("previous"));
        QVERIFY(!StartLine(output.Runner(), "/nonexistent/builder x"));
        QCoreApplication::sendPostedEvents();
        output.FlushPending();
        QCOMPARE(output.PlainText(), QStringLiteral("previousUnable to start /nonexistent/builder x\nNo such file or directory\n"));
    }

    void outputDecodesCharactersSplitBetweenRunsAndKeepsOrder()
    {
        COutputCtrl output;
        // "é" and "€" split over runs posted from another thread; then 600 bytes in 256/256/88.
        std::string big(600, 'z');
        std::thread poster([&] {
            output.AppendOutput("caf\xC3", false);
            output.AppendOutput("\xA9 \xE2\x82", true);
            output.AppendOutput("\xAC|", false);
            output.AppendOutput("", false);
            output.AppendOutput(std::string_view(big).substr(0, 256), false);
            output.AppendOutput(std::string_view(big).substr(256, 256), false);
            output.AppendOutput(std::string_view(big).substr(512), false);
        });
        poster.join();
        QCoreApplication::sendPostedEvents();
        output.FlushPending();
        QCOMPARE(output.PlainText(), QString::fromUtf8("café €|") + QString(600, QLatin1Char('z')));
    }

    void closingTheOutputWindowEndsARunningBuilder()
    {
        CTempDir dir;
        std::string script = dir.Write("slow build", "#!/bin/sh\necho $$\nexec sleep 300\n", true);
        auto output = std::make_unique<COutputCtrl>();
        QVERIFY(StartLine(output->Runner(), "\"" + script + "\""));
        QSignalSpy appended(output.get(), &COutputCtrl::TextAppended);
        QVERIFY(appended.wait(10000));
        const QString text = output->PlainText();
        const pid_t pid = text.mid(text.indexOf(QLatin1Char('"'), 1) + 1).trimmed().toInt();
        QVERIFY(pid > 0);
        const int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        QVERIFY(handle >= 0);
        QVERIFY(output->Runner().IsActive());
        output.reset();
        pollfd pfd{handle, POLLIN, 0};
        QCOMPARE(poll(&pfd, 1, 5000), 1);
        close(handle);
    }

    // The store's bound: exactly the last kMaxLines lines stay, a diagnostic row keeps its own
    // colour while old lines go at the top, and Save As writes exactly the rows kept.
    void outputKeepsTheLastLinesWithinItsBound()
    {
        CTempDir dir;
        COutputCtrl output;
        output.resize(600, 300);
        output.show();
        QVERIFY(StartLine(output.Runner(), "true"));
        QVERIFY(output.Runner().WaitUntilDone(10000));
        // Every 7th line an error: its row's colour is asked for (and kept) while lines come.
        auto lineText = [](int line) {
            return line % 7 == 3 ? "e" + std::to_string(line) + ".c:1:1: error: x" : "line " + std::to_string(line);
        };
        const int total = COutputCtrl::kMaxLines + COutputCtrl::kMaxLines / 4;
        const QColor plain = output.palette().color(QPalette::Text);
        std::string chunk;
        for (int line = 0; line < total; ++line) {
            chunk += lineText(line) + "\n";
            if (chunk.size() >= CProcessRunner::kReadSize * 16 || line == total - 1) {
                output.AppendOutput(chunk, false);
                chunk.clear();
                QCoreApplication::sendPostedEvents();
                output.FlushPending();
                for (int row = 0; row + 1 < output.RowCount(); row += 97)
                    output.RowStyle(row);
            }
        }
        output.FlushPending();
        QCOMPARE(output.RowCount(), COutputCtrl::kMaxLines);
        const int first = total - COutputCtrl::kMaxLines + 1;
        QCOMPARE(output.RowText(0), Q(lineText(first)));
        for (int row = 0; row + 1 < output.RowCount(); ++row) {
            const bool error = (first + row) % 7 == 3;
            QVERIFY2((output.RowStyle(row).m_colour.isValid() && output.RowStyle(row).m_colour != plain) == error,
                     qPrintable(output.RowText(row)));
        }
        QVERIFY(output.PlainText().endsWith(Q(lineText(total - 1)) + QStringLiteral("\n")));

        std::string kept;
        for (int line = first; line < total; ++line)
            kept += lineText(line) + "\n";
        QCOMPARE(output.SaveTo(Q(dir.Path("kept.log"))), QString());
        QVERIFY(dir.Read("kept.log") == kept);
    }

    // However much waits, one turn of the event loop appends at most kFlushBytes of it (a
    // queued run is split where it must be), in order.
    void outputAppendsABoundedBatchPerTurn()
    {
        COutputCtrl output;
        std::string big;
        for (int line = 0; big.size() < 4 * COutputCtrl::kFlushBytes; ++line)
            big += "line " + std::to_string(line) + "\n";
        big.resize(4 * COutputCtrl::kFlushBytes);
        QSignalSpy appended(&output, &COutputCtrl::TextAppended);
        output.AppendOutput(big, false);
        QVERIFY(appended.wait(10000));
        QCOMPARE(output.AppendedBytes(), qint64(COutputCtrl::kFlushBytes));
        QTRY_COMPARE(output.AppendedBytes(), qint64(big.size()));
        QCOMPARE(appended.count(), 4);
        QCOMPARE(output.PlainText().toStdString(), big);
    }

    // The result line through a real child for every way a builder ends, with the count of
    // diagnostics; the builder is collected at once (no zombie until the next build).
    void outputAddsTheResultLineForEveryEnd_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("result");
        QTest::newRow("exit 0") << "echo $$\necho 'a.c:1:2: warning: w'\n" << false
                                << "Build finished (exit code 0, * s): 0 errors, 1 warning";
        QTest::newRow("exit 2") << "echo $$\necho 'a.c:1:2: error: e'\necho 'b.c(4): error C1: f' >&2\n"
                                   "echo 'make: *** [all] Error 2'\nexit 2\n"
                                << false << "Build failed (exit code 2, * s): 2 errors, 0 warnings";
        QTest::newRow("signal") << "echo $$\nkill -9 $$\n" << false << "Builder ended by signal 9: 0 errors, 0 warnings";
        QTest::newRow("stop") << "echo $$\nexec sleep 300\n" << true << "Build stopped: 0 errors, 0 warnings";
    }
    void outputAddsTheResultLineForEveryEnd()
    {
        QFETCH(QString, body);
        QFETCH(bool, stop);
        QFETCH(QString, result);
        CTempDir dir;
        std::string script = dir.Write("build", "#!/bin/sh\n" + body.toStdString(), true);
        COutputCtrl output;
        QSignalSpy finished(&output, &COutputCtrl::BuildFinished);
        QSignalSpy states(&output, &COutputCtrl::BuildStateChanged);
        QVERIFY(StartLine(output.Runner(), script));
        QVERIFY(output.IsBuilding());
        // The builder's id is the line of digits (its other lines may come first on stderr).
        pid_t pid = 0;
        QTRY_VERIFY_WITH_TIMEOUT((output.FlushPending(), pid = [&] {
            for (int row = 0; row < output.RowCount(); ++row)
                if (output.RowText(row).toInt() > 0)
                    return static_cast<pid_t>(output.RowText(row).toInt());
            return pid_t(0);
        }()) > 0, 10000);
        if (stop)
            output.StopBuild();
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        QVERIFY(!output.IsBuilding());
        QCOMPARE(states.count(), 2);
        const QString last = output.RowText(output.RowCount() - 1);
        QVERIFY(output.RowStyle(output.RowCount() - 1).m_bBold);
        QCOMPARE(finished.at(0).at(0).toString(), last);
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(
            QRegularExpression::escape(result).replace(QStringLiteral("\\*"), QStringLiteral("[0-9]+\\.[0-9]"))));
        QVERIFY2(pattern.match(last).hasMatch(), qPrintable(last));
        // Reaped: no zombie of the builder is left.
        int status = 0;
        QCOMPARE(waitpid(pid, &status, WNOHANG), -1);
        QVERIFY(!std::filesystem::exists("/proc/" + std::to_string(pid)));
    }

    // Diagnostics: coloured when shown, resolved against the working folder or the folder make
    // entered, opened at their line by double-click, Enter and F8 / Shift+F8 in the editor
    // (the file as one argument however it is named).
    void outputDiagnosticsOpenTheirSourceInTheEditor()
    {
        CTempDir dir;
        std::filesystem::create_directories(dir.Path("src dir/sub"));
        const std::string source = dir.Write("src dir/we ird;$(x).c", "int a;\n");
        const std::string nested = dir.Write("src dir/sub/b.c", "int b;\n");
        std::string script = dir.Write("build", "#!/bin/sh\n"
                                                "echo 'Compiling'\n"
                                                "echo 'we ird;$(x).c:3:5: error: bad'\n"
                                                "echo 'make[1]: Entering directory '\\''" + dir.Path() + "/src dir/sub'\\'\n"
                                                "echo 'b.c:7: warning 85: unused'\n"
                                                "echo 'make[1]: Leaving directory '\\''" + dir.Path() + "/src dir/sub'\\'\n"
                                                "echo 'gone.c:1:1: note: here'\n",
                                       true);
        CFifo fifo(dir.Path("editor.fifo"));
        const std::string editor = dir.Write("my editor", "#!/bin/sh\nprintf '<%s>' \"$@\" > '" + fifo.Path() + "'\n", true);
        COutputCtrl output;
        output.resize(600, 300);
        output.show();
        output.SetSourceOpener([&](const std::string& path, int line) {
            CDesktopLauncher::OpenInEditorAtLine("\"" + editor + "\" --at %l %f", path, line);
        });
        QSignalSpy status(&output, &COutputCtrl::StatusMessage);
        QSignalSpy finished(&output, &COutputCtrl::BuildFinished);
        QVERIFY(output.Runner().Start(script, {script}, dir.Path("src dir")));
        QVERIFY(finished.wait(10000));
        QCOMPARE(output.RowCount(), 8);

        QCOMPARE(output.DiagnosticAt(2)->m_strFile, source);
        QCOMPARE(output.DiagnosticAt(4)->m_strFile, nested);
        QCOMPARE(output.DiagnosticAt(6)->m_strFile, dir.Path() + "/src dir/gone.c");
        QVERIFY(!output.DiagnosticAt(1));
        QVERIFY(!output.DiagnosticAt(3));

        // Errors and warnings in colours of their own; other lines as they came.
        const QColor plain = output.palette().color(QPalette::Text);
        auto colourAt = [&](int row) {
            const QColor colour = output.RowStyle(row).m_colour;
            return colour.isValid() ? colour : plain;
        };
        QVERIFY(colourAt(2) != plain);
        QVERIFY(colourAt(4) != plain);
        QVERIFY(colourAt(2) != colourAt(4));
        QCOMPARE(colourAt(1), plain);
        QCOMPARE(colourAt(6), plain);

        // Double-click on the error.
        const QRect rect = output.RowRect(2);
        QVERIFY(!rect.isEmpty());
        QTest::mouseDClick(output.viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(Q(fifo.Read(10000)), Q("<--at><3><" + source + ">"));
        QCOMPARE(output.CurrentRow(), 2);
        // F8 from there: the warning in the folder make entered.
        QVERIFY(output.GoToDiagnostic(true));
        QCOMPARE(output.CurrentRow(), 4);
        QCOMPARE(Q(fifo.Read(10000)), Q("<--at><7><" + nested + ">"));
        // Enter on it again, Shift+F8 back to the error.
        QTest::keyClick(&output, Qt::Key_Return);
        QCOMPARE(Q(fifo.Read(10000)), Q("<--at><7><" + nested + ">"));
        QVERIFY(output.GoToDiagnostic(false));
        QCOMPARE(output.CurrentRow(), 2);
        QCOMPARE(Q(fifo.Read(10000)), Q("<--at><3><" + source + ">"));
        // A file that is not there is said in the status bar, not opened.
        QVERIFY(output.OpenDiagnostic(6));
        QVERIFY(status.count() >= 1 && status.last().at(0).toString().contains(QStringLiteral("gone.c")));
        // Shift+F8 before the first wraps round to the last (the missing file), F8 past the
        // last back to the first.
        QVERIFY(output.GoToDiagnostic(false));
        QCOMPARE(output.CurrentRow(), 6);
        QVERIFY(status.last().at(0).toString().contains(QStringLiteral("gone.c")));
        QVERIFY(output.GoToDiagnostic(true));
        QCOMPARE(output.CurrentRow(), 2);
        QCOMPARE(Q(fifo.Read(10000)), Q("<--at><3><" + source + ">"));
        // Without a diagnostic there is nowhere to go.
        output.ClearOutput();
        QCOMPARE(output.CurrentRow(), -1);
        QVERIFY(!output.GoToDiagnostic(true));
    }

    void outputContextMenuClearsFindsAndSaves()
    {
        CTempDir dir;
        COutputCtrl output;
        output.SetPlainText(QStringLiteral("alpha\nbeta caf\u00e9\nalpha two"));
        std::unique_ptr<QMenu> menu(output.CreateContextMenu());
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
        for (const char* wanted : {"Clear", "Find...", "Save As...", "Next Diagnostic", "Previous Diagnostic"})
            QVERIFY2(texts.contains(QLatin1String(wanted)), wanted);

        // Find goes on from the caret and wraps to the top.
        QVERIFY(output.FindString(QStringLiteral("alpha")));
        QCOMPARE(output.SelectionStart(), QPoint(0, 0));
        QVERIFY(output.FindString(QStringLiteral("alpha")));
        QCOMPARE(output.SelectionStart(), QPoint(0, 2));
        QVERIFY(output.FindString(QStringLiteral("alpha")));
        QCOMPARE(output.SelectionStart(), QPoint(0, 0));
        QCOMPARE(output.SelectedText(), QStringLiteral("alpha"));
        QSignalSpy status(&output, &COutputCtrl::StatusMessage);
        QVERIFY(!output.FindString(QStringLiteral("gamma")));
        QCOMPARE(status.count(), 1);
        QCOMPARE(status[0][0].toString(), QStringLiteral("Not found: gamma"));
        // Ctrl+A and Ctrl+C are the view's own keys here (no board takes them).
        QTest::keyClick(&output, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&output, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), output.PlainText());

        const std::string path = dir.Path("saved build.log");
        QCOMPARE(output.SaveTo(Q(path)), QString());
        QCOMPARE(QString::fromUtf8(dir.Read("saved build.log")), QString::fromUtf8("alpha\nbeta caf\xC3\xA9\nalpha two\n"));
        QVERIFY(!output.SaveTo(Q(dir.Path("no such folder/x.log"))).isEmpty());

        output.ClearOutput();
        QCOMPARE(output.PlainText(), QString());
    }

    void outputDropsRunsOfAnEarlierChildQueuedBeforeANewStart()
    {
        CTempDir dir;
        COutputCtrl output;
        QVERIFY(StartLine(output.Runner(), "printf early"));
        QVERIFY(output.Runner().WaitUntilDone(10000));
        // The first child's run is still queued when the second starts.
        QVERIFY(StartLine(output.Runner(), "printf late"));
        QVERIFY(output.Runner().WaitUntilDone(10000));
        QCoreApplication::sendPostedEvents();
        output.FlushPending();
        QVERIFY2(output.PlainText().startsWith(QStringLiteral("printf late\nlate\nBuild finished (exit code 0, ")),
                 qPrintable(output.PlainText()));
        QCOMPARE(output.PlainText().count(QStringLiteral("Build finished")), 1);
    }

    // --- the model over the list ---

    void modelFollowsTheListThroughAddsAndRemovals_data()
    {
        // Steps: "+path" adds a file, "-row" removes a row, "*" removes all.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("adds go in name order") << QStringList{"+/w/b.hex", "+/v/A.bin", "+/w/c.obj"}
                                               << QStringList{"A.bin", "b.hex", "c.obj"};
        QTest::newRow("a name listed in another case") << QStringList{"+/w/a.hex", "+/w/A.HEX"} << QStringList{"a.hex"};
        QTest::newRow("removals keep the rest in order") << QStringList{"+/w/a", "+/w/b", "+/w/c", "-1", "-5"}
                                                         << QStringList{"a", "c"};
        QTest::newRow("remove all, then add") << QStringList{"+/w/a", "+/w/b", "*", "*", "+/w/c"} << QStringList{"c"};
    }

    void modelFollowsTheListThroughAddsAndRemovals()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, names);
        CFileListModel model;
        // Checks each change's signals against the rows before and after it.
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        for (const QString& step : steps) {
            const std::string arg = step.mid(1).toStdString();
            if (step.startsWith(QLatin1Char('+'))) {
                const int row = model.AddFile(arg);
                QCOMPARE(inserted.isEmpty() ? -1 : inserted.takeFirst().at(1).toInt(), row);
            } else if (step.startsWith(QLatin1Char('-'))) {
                model.RemoveAt(std::stoi(arg));
            } else {
                model.RemoveAll();
            }
        }
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row) {
            shown << model.index(row, CFileListModel::kColumnFile).data().toString();
            QCOMPARE(model.index(row, CFileListModel::kColumnLocation).data().toString(),
                     Q(model.Files().Entry(row).m_strFolder));
        }
        QCOMPARE(shown, names);
        QCOMPARE(model.rowCount(), model.Files().Count());
    }

    // --- the list and its rules through the view ---

    void listFileIsReadAtStartAndWrittenAtTheEndWithWidths()
    {
        CTempDir dir;
        std::string file = dir.Write("one.hex", "123");
        // A folder in the list is dropped once the worker has looked at it.
        dir.Write("lastfiles.lst", file + "  \r\n\r\n/missing/two.bin\r\n" + dir.Path() + "\r\n");
        {
            CViewSetup s(dir.Path());
            QCOMPARE(s.Rows(), 2);
            QCOMPARE(s.Cell(0, 0).toString(), QStringLiteral("one.hex"));
            QCOMPARE(s.Cell(0, 1).toString(), QStringLiteral("3"));
            QCOMPARE(s.Cell(0, 2).toString(), Q(dir.Path()));
            QCOMPARE(s.Cell(1, 1).toString(), QString());
            QVERIFY(s.Cell(1, 1, Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
            // A file that could be opened has an icon; a missing one has none.
            QVERIFY(!s.Cell(0, 0, Qt::DecorationRole).value<QIcon>().isNull());
            QVERIFY(s.Cell(1, 0, Qt::DecorationRole).value<QIcon>().isNull());
            // Location, the last column, takes the free width (its stored width waits for a move).
            QVERIFY(s.m_pView->horizontalHeader()->stretchLastSection());
            QVERIFY(s.m_pView->columnWidth(2) >= 240);
            s.m_pView->setColumnWidth(2, 300);
            s.m_pView->AddFile("/missing/Zed.hex");
        }
        QCOMPARE(QByteArray::fromStdString(dir.Read("lastfiles.lst")),
                 QByteArray::fromStdString(file + "\r\n/missing/two.bin\r\n/missing/Zed.hex\r\n"));
        CViewSetup again(dir.Path());
        QCOMPARE(again.Rows(), 3);
    }

    void aListFileThatCannotBeReadIsKeptAndOneThatCannotBeWrittenIsReported()
    {
        CTempDir dir;
        // A list file the program cannot read (a folder in its place reads as such even for
        // the super-user): one box naming it and the reason, and it is never written over.
        std::filesystem::create_directory(dir.Path(CFileList::kListFileName));
        {
            CViewSetup s(dir.Path());
            QCOMPARE(s.Rows(), 0);
            QCOMPARE(s.m_prompt.Boxes().size(), std::size_t(1));
            const std::string text = s.m_prompt.Boxes()[0].m_strText;
            QVERIFY2(text.rfind(CQxProgView::kListUnreadable, 0) == 0, text.c_str());
            QVERIFY2(text.find(dir.Path(CFileList::kListFileName)) != std::string::npos, text.c_str());
            QVERIFY2(text.find(std::make_error_code(std::errc::is_a_directory).message()) != std::string::npos,
                     text.c_str());
            s.m_pView->AddFile("/w/a.hex");
            s.m_pView->SaveFileList();
            QCOMPARE(s.m_prompt.Boxes().size(), std::size_t(1));
            // The widths are still kept.
            QCOMPARE(s.m_store.ReadInt("FLCWidth0", -1), 120);
        }
        QVERIFY(std::filesystem::is_directory(dir.Path(CFileList::kListFileName)));

        // A folder that cannot take the list at the end: said once, with the path and reason.
        CViewSetup gone(dir.Path("no/such/folder"));
        gone.m_pView->AddFile("/w/a.hex");
        QCOMPARE(gone.m_prompt.Boxes().size(), std::size_t(0));
        gone.m_pView->SaveFileList();
        gone.m_pView->SaveFileList();
        QCOMPARE(gone.m_prompt.Boxes().size(), std::size_t(1));
        const std::string text = gone.m_prompt.Boxes()[0].m_strText;
        QVERIFY2(text.rfind(CQxProgView::kListUnwritable, 0) == 0, text.c_str());
        QVERIFY2(text.find(dir.Path("no/such/folder/lastfiles.lst")) != std::string::npos, text.c_str());
        QVERIFY2(text.find(std::make_error_code(std::errc::no_such_file_or_directory).message()) != std::string::npos,
                 text.c_str());
    }

    void addingKeepsTheSelectionAndLocationTakesTheFreeWidth()
    {
        CTempDir dir;
        CViewSetup s(dir.Path());
        s.m_pView->AddFile("/w/m.hex");
        s.Select({0});
        QSignalSpy program(s.m_pView.get(), &CQxProgView::ProgramEnabledChanged);
        // Before and after the selected row.
        s.m_pView->AddFile("/w/a.hex");
        s.m_pView->AddFile("/w/z.hex");
        QCOMPARE(s.m_pView->SelectedRows(), std::vector<int>{1});
        QCOMPARE(s.Cell(1, 0).toString(), QStringLiteral("m.hex"));
        QCOMPARE(program.count(), 0);
        CCmdUI ui;
        ui.m_nID = cmd::ID_TOOLS_PROGRAM;
        s.m_pView->OnUpdateCommand(ui);
        QVERIFY(ui.m_bEnabled);

        s.m_pView->resize(800, 300);
        s.m_pView->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.m_pView.get()));
        QCOMPARE(s.m_pView->columnWidth(0), 120);
        QCOMPARE(s.m_pView->columnWidth(1), 60);
        const int free = s.m_pView->viewport()->width() - 180;
        QCOMPARE(s.m_pView->columnWidth(2), free);
        s.m_pView->setColumnWidth(1, 90);
        s.m_pView->SaveFileList();
        QCOMPARE(s.m_store.ReadInt("FLCWidth1", -1), 90);
        // The stretched width is the window's: the stored one stays.
        QCOMPARE(s.m_store.ReadInt("FLCWidth2", -1), 240);
    }

    void widthsComeFromTheStore()
    {
        CTempDir dir;
        CMemorySettingsStore store;
        store.WriteInt("FLCWidth0", 200);
        CToolSettings tools;
        tools.SetStartDir(dir.Path() + "/");
        CRecordingPrompt prompt;
        CQxProgView view(store, tools, prompt, nullptr, {});
        view.OnInitialUpdate();
        QCOMPARE(view.columnWidth(0), 200);
        QCOMPARE(view.columnWidth(1), 60);
        QVERIFY(view.horizontalHeader()->sectionsMovable());
        QVERIFY(view.showGrid());
        QStringList headers;
        for (int column = 0; column < 3; ++column)
            headers << view.model()->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"File", "Size", "Location"}));
        view.SaveFileList();
        QCOMPARE(store.ReadInt("FLCWidth1", -1), 60);
        QCOMPARE(store.ReadInt("FLCWidth2", -1), 240);
    }

    void statesAndTextsForZeroOneAndTwoSelectedRows()
    {
        CTempDir dir;
        CViewSetup s(dir.Path());
        QSignalSpy program(s.m_pView.get(), &CQxProgView::ProgramEnabledChanged);
        s.m_pView->AddFile("/w/a.hex");
        s.m_pView->AddFile("/w/b.hex");
        auto state = [&](int id) {
            CCmdUI ui;
            ui.m_nID = id;
            if (!s.m_pView->OnUpdateCommand(ui))
                return std::string("unhandled");
            return std::string(ui.m_bEnabled ? "on" : "off") + (ui.m_strText ? " " + *ui.m_strText : "");
        };
        QCOMPARE(state(cmd::ID_TOOLS_PROGRAM), std::string("off"));
        QCOMPARE(state(cmd::ID_FILE_REMOVE), std::string("off"));
        QCOMPARE(state(cmd::ID_FILE_REMOVE_ALL), std::string("on"));
        QCOMPARE(state(cmd::ID_FILE_ADD), std::string("on"));
        QCOMPARE(state(cmd::ID_TOOLS_OPTIONS), std::string("unhandled"));
        QCOMPARE(program.count(), 0);
        s.Select({1});
        QCOMPARE(program.last().at(0).toBool(), true);
        QCOMPARE(state(cmd::ID_TOOLS_PROGRAM), std::string("on &Program 'b.hex'"));
        QCOMPARE(state(cmd::ID_TOOLS_EDIT), std::string("on &Edit 'b.hex'"));
        QCOMPARE(state(cmd::ID_FILE_REMOVE), std::string("on &Remove 'b.hex'"));
        s.Select({0, 1});
        QCOMPARE(state(cmd::ID_TOOLS_BUILD), std::string("off"));
        QCOMPARE(state(cmd::ID_FILE_REMOVE), std::string("on"));
        // The program window's button follows: disabled again at two rows.
        QCOMPARE(program.last().at(0).toBool(), false);
        // The pop-up shows the last texts the commands were given.
        std::unique_ptr<QMenu> menu(s.m_pView->CreateContextMenu(nullptr));
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isEnabled() ? "" : " (off)"));
        QCOMPARE(texts, (QStringList{"&Program 'b.hex' (off)", "&Build\tF7 (off)", "&Debug\tF5 (off)", "&Edit 'b.hex' (off)",
                                     "-", "&Add...\tCtrl+O", "&Remove 'b.hex'", "Re&move All"}));
        // Program takes the first selected row.
        s.m_pView->OnCommand(cmd::ID_TOOLS_PROGRAM);
        QCOMPARE(s.m_downloads, std::vector<std::string>{"/w/a.hex"});
    }

    void removeDeletesEverySelectedRowAndRemoveAllTheRest()
    {
        CTempDir dir;
        CViewSetup s(dir.Path());
        s.m_pView->m_toAdd = {"/w/e.hex", "/w/d.hex", "/w/c.hex", "/w/b.hex", "/w/a.hex"};
        s.m_pView->OnCommand(cmd::ID_FILE_ADD);
        QCOMPARE(s.Rows(), 5);
        s.Select({0, 2, 4});
        s.m_pView->OnCommand(cmd::ID_FILE_REMOVE);
        QCOMPARE(s.Rows(), 2);
        QCOMPARE(s.Cell(0, 0).toString(), QStringLiteral("b.hex"));
        QCOMPARE(s.Cell(1, 0).toString(), QStringLiteral("d.hex"));
        QCOMPARE(s.m_pView->Files().Count(), 2);
        s.m_pView->OnCommand(cmd::ID_FILE_REMOVE_ALL);
        QCOMPARE(s.Rows(), 0);
        QVERIFY(s.m_prompt.Boxes().empty());
    }

    void dropsAddFilesAndIgnoreFolders()
    {
        CTempDir dir;
        CViewSetup s(dir.Path());
        std::string a = dir.Write("a.hex", "1");
        std::string b = dir.Write("b.bin", "22");
        std::filesystem::create_directory(dir.Path("folder"));
        auto mime = [](const std::vector<std::string>& paths) {
            auto* data = new QMimeData;
            QList<QUrl> urls;
            for (const std::string& p : paths)
                urls << QUrl::fromLocalFile(Q(p));
            data->setUrls(urls);
            return data;
        };
        std::unique_ptr<QMimeData> folderOnly(mime({dir.Path("folder")}));
        QDragEnterEvent enterFolder(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, folderOnly.get(), Qt::LeftButton,
                                    Qt::NoModifier);
        QCoreApplication::sendEvent(s.m_pView->viewport(), &enterFolder);
        QVERIFY(!enterFolder.isAccepted());

        std::unique_ptr<QMimeData> mixed(mime({dir.Path("folder"), a, b}));
        // A name that is not UTF-8 travels percent-encoded and arrives as its bytes.
        std::string odd = dir.Write("caf\xE9.obj", "333");
        mixed->setData(QStringLiteral("text/uri-list"),
                       mixed->data(QStringLiteral("text/uri-list")) + QByteArray::fromStdString("file://" + dir.Path() + "/caf%E9.obj\r\n"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, mixed.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(s.m_pView->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, mixed.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(s.m_pView->viewport(), &drop);
        QCOMPARE(s.Rows(), 3);
        QCOMPARE(s.m_pView->GetEntryPath(0), a);
        QCOMPARE(s.m_pView->GetEntryPath(1), b);
        QCOMPARE(s.m_pView->GetEntryPath(2), odd);
        QCOMPARE(s.Cell(2, 1).toString(), QStringLiteral("3"));
    }

    // --- tool commands ---

    void buildRunsTheBuilderUnderAPathWithABlank()
    {
        CTempDir dir;
        std::filesystem::create_directories(dir.Path("my tools"));
        std::filesystem::create_directories(dir.Path("My Work"));
        std::string builder = dir.Write("my tools/build", "#!/bin/sh\nprintf '[%s]' \"$@\"\nprintf ' in %s\\n' \"$PWD\"\n", true);
        std::string target = dir.Write("My Work/a.hex", ":00000001FF\n");
        std::string before = std::filesystem::current_path().string();
        CViewSetup s(dir.Path());
        CToolSettingsValues v;
        v.m_strBuilder = builder;
        s.m_tools.Set(v);
        s.m_pView->AddFile(target);
        s.Select({0});
        s.m_pView->OnCommand(cmd::ID_TOOLS_BUILD);
        QCOMPARE(s.m_nShowOutput, 1);
        const QString line = Q("\"" + builder + "\" \"" + dir.Path() + "/My Work/a\"");
        QCOMPARE(s.BuildOutput(), line + Q("\n[" + dir.Path() + "/My Work/a] in " + dir.Path() + "/My Work\n"));
        QCOMPARE(std::filesystem::current_path().string(), before);

        // Extension kept, working directory unchanged.
        v.m_bRemoveExtension = 0;
        v.m_bChangeWorkingDir = 0;
        s.m_tools.Set(v);
        s.m_pView->OnCommand(cmd::ID_TOOLS_BUILD);
        QCOMPARE(s.BuildOutput(), Q("\"" + builder + "\" \"" + target + "\"\n[" + target + "] in " + before + "\n"));
    }

    void buildAndEditOfAHostileNameRunNothingElse()
    {
        CTempDir dir;
        std::filesystem::create_directories(dir.Path("a b"));
        std::string target = dir.Write("a b/$(touch pwned).hex", "x");
        std::string builder = dir.Write("build", "#!/bin/sh\nprintf '<%s>' \"$@\"\n", true);
        CFifo fifo(dir.Path("editor.fifo"));
        std::string editor = dir.Write("edit", "#!/bin/sh\nprintf '<%s>' \"$@\" > '" + fifo.Path() + "'\n", true);
        CViewSetup s(dir.Path());
        CToolSettingsValues v;
        v.m_strBuilder = builder;
        v.m_strEditor = editor;
        v.m_bUseAssocApp = 0;
        s.m_tools.Set(v);
        s.m_pView->AddFile(target);
        s.Select({0});
        s.m_pView->OnCommand(cmd::ID_TOOLS_BUILD);
        QVERIFY(s.BuildOutput().endsWith(Q("<" + dir.Path() + "/a b/$(touch pwned)>\n")));
        s.m_pView->OnCommand(cmd::ID_TOOLS_EDIT);
        QCOMPARE(Q(fifo.Read(10000)), Q("<" + target + ">"));
        for (const std::string& where : {dir.Path("pwned"), dir.Path("a b/pwned"), std::filesystem::current_path().string() + "/pwned"})
            QVERIFY2(!std::filesystem::exists(where), where.c_str());
    }

    void missingBuilderPromptsAndCancelStopsOkOpensOptions()
    {
        CTempDir dir;
        CViewSetup s(dir.Path());
        s.m_pView->AddFile("/w/a.hex");
        s.Select({0});
        s.m_pView->OnCommand(cmd::ID_TOOLS_BUILD);
        QCOMPARE(s.m_prompt.Boxes().size(), std::size_t(1));
        QCOMPARE(s.m_prompt.Boxes()[0].m_strText, std::string(CQxProgView::kBuilderMissing));
        QCOMPARE(s.m_prompt.Boxes()[0].m_strCaption, std::string("Quillorex Programmer"));
        QCOMPARE(s.m_prompt.Boxes()[0].m_nType, kBoxOkCancel);
        QCOMPARE(s.m_nOptions, 0);
        QCOMPARE(s.m_nShowOutput, 0);

        // OK opens the options; a builder still empty afterwards ends the command silently.
        s.m_prompt.SetAnswer(kAnswerOk);
        s.m_pView->OnCommand(cmd::ID_TOOLS_BUILD);
        QCOMPARE(s.m_nOptions, 1);
        QCOMPARE(s.m_nShowOutput, 0);
        // OK, and the options set a builder: the build runs.
        s.m_onOptions = [&] {
            CToolSettingsValues v = s.m_tools.Get();
            v.m_strBuilder = "printf";
            s.m_tools.Set(v);
        };
        s.m_pView->OnCommand(cmd::ID_TOOLS_BUILD);
        QCOMPARE(s.m_nShowOutput, 1);
        QCOMPARE(s.BuildOutput(), QStringLiteral("printf /w/a\n/w/a\n"));

        s.m_pView->OnCommand(cmd::ID_TOOLS_DEBUG);
        QCOMPARE(s.m_prompt.Boxes().back().m_strText, std::string(CQxProgView::kDebuggerMissing));
        QCOMPARE(s.m_nOptions, 3);
    }

    void debugAndEditUseTheAssociationFirst()
    {
        CTempDir dir;
        CViewSetup s(dir.Path());
        std::string text = dir.Write("notes.txt", "plain text\n");
        std::string binary = dir.Write("image.qxbin", std::string("\x7F\x01\x02\x00\xFF\xFE", 6));
        QCOMPARE(CDesktopLauncher::ContentTypeOf(text), std::string("text/plain"));
        QCOMPARE(CDesktopLauncher::OpenWithAssociation(binary), CDesktopLauncher::EResult::NoAssociation);

        CFifo assoc(m_strAssocFifo);
        CFifo tool(dir.Path("tool.fifo"));
        std::string debugger = dir.Write("dbg", "#!/bin/sh\nprintf 'dbg<%s>' \"$@\" > '" + tool.Path() + "'\n", true);
        std::string editor = dir.Write("ed", "#!/bin/sh\nprintf 'ed<%s>' \"$@\" > '" + tool.Path() + "'\n", true);
        CToolSettingsValues v;
        v.m_strDebugger = debugger;
        v.m_strEditor = editor;
        s.m_tools.Set(v);
        s.m_pView->AddFile(text);
        s.m_pView->AddFile(binary);
        const int textRow = s.m_pView->GetEntryPath(0) == text ? 0 : 1;

        // Debug on a file with an association opens it there and never starts the debugger.
        s.Select({textRow});
        s.m_pView->OnCommand(cmd::ID_TOOLS_DEBUG);
        QCOMPARE(Q(assoc.Read(10000)), Q(text + "\n"));
        // Without one, the debugger gets the path.
        s.Select({1 - textRow});
        s.m_pView->OnCommand(cmd::ID_TOOLS_DEBUG);
        QCOMPARE(Q(tool.Read(10000)), Q("dbg<" + binary + ">"));
        // Edit with the association option off always runs the editor.
        v.m_bUseAssocApp = 0;
        s.m_tools.Set(v);
        s.Select({textRow});
        s.m_pView->OnCommand(cmd::ID_TOOLS_EDIT);
        QCOMPARE(Q(tool.Read(10000)), Q("ed<" + text + ">"));
        // An empty editor setting means the desktop's text editor.
        v.m_strEditor.clear();
        s.m_tools.Set(v);
        s.Select({1 - textRow});
        s.m_pView->OnCommand(cmd::ID_TOOLS_EDIT);
        QCOMPARE(Q(assoc.Read(10000)), Q(binary + "\n"));
    }

    void editWithoutEditorOrDesktopEditorAsksForOne()
    {
        CTempDir dir;
        CViewSetup s(dir.Path());
        std::string file = dir.Write("image.qxbin", std::string("\x7F\x01\x02\x00", 4));
        CFifo tool(dir.Path("tool.fifo"));
        std::string editor = dir.Write("ed", "#!/bin/sh\nprintf 'ed<%s>' \"$@\" > '" + tool.Path() + "'\n", true);
        CToolSettingsValues v;
        v.m_bUseAssocApp = 0;
        s.m_tools.Set(v);
        s.m_pView->AddFile(file);
        s.Select({0});
        // The desktop's text editor cannot start: its program is gone.
        const std::string app = m_xdg.Path("assoc-app");
        std::filesystem::rename(app, app + ".away");
        s.m_pView->OnCommand(cmd::ID_TOOLS_EDIT);
        QCOMPARE(s.m_prompt.Boxes().size(), std::size_t(1));
        QCOMPARE(s.m_prompt.Boxes()[0].m_strText, std::string(CQxProgView::kEditorMissing));
        QCOMPARE(s.m_prompt.Boxes()[0].m_nType, kBoxOkCancel);
        QCOMPARE(s.m_nOptions, 0);
        // OK opens the options; an editor set there edits the file at once.
        s.m_prompt.SetAnswer(kAnswerOk);
        s.m_onOptions = [&] {
            CToolSettingsValues set = s.m_tools.Get();
            set.m_strEditor = editor;
            s.m_tools.Set(set);
        };
        s.m_pView->OnCommand(cmd::ID_TOOLS_EDIT);
        std::filesystem::rename(app + ".away", app);
        QCOMPARE(s.m_nOptions, 1);
        QCOMPARE(Q(tool.Read(10000)), Q("ed<" + file + ">"));
    }

    // --- options dialog ---

    void optionsShowsEveryTextAtOneAndAHalfTimesTheFontAndResizes()
    {
        for (double scale : {1.0, 1.5}) {
            CTextFit fit = CheckTextFit([] { return std::make_unique<COptionsDlg>(COptionsValues{}); }, scale);
            QVERIFY2(fit.m_cut.isEmpty(), qPrintable(QString::number(scale) + ": " + fit.m_cut.join("; ")));
            QVERIFY(fit.m_bResizable);
        }
    }

    void optionsProgramCommandsCheckBoxEnablesItsFields()
    {
        COptionsValues v;
        v.m_bUsePrePostPgmCmd = 0;
        CTestOptionsDlg dlg(v);
        auto enabled = [&] {
            QStringList states;
            for (int id : {1019, 1020, 1017, 1018})
                states << (dlg.findChild<QWidget*>(QString::number(id))->isEnabled() ? "on" : "off");
            return states.join(',');
        };
        QCOMPARE(enabled(), QStringLiteral("off,off,off,off"));
        auto* box = dlg.findChild<QCheckBox*>(QStringLiteral("1011"));
        QVERIFY(box);
        box->click();
        QCOMPARE(enabled(), QStringLiteral("on,on,on,on"));
        box->click();
        QCOMPARE(enabled(), QStringLiteral("off,off,off,off"));
        QCOMPARE(dlg.findChild<QCheckBox*>(QStringLiteral("1011"))->text(), QStringLiteral("&Use Quillorex program commands"));
        // The dialog can be resized, so it shows its grip.
        QVERIFY(dlg.IsGripVisible());
        // The Intel HEX check, on by default.
        QCOMPARE(dlg.findChild<QCheckBox*>(QStringLiteral("1021"))->text(),
                 QStringLiteral("Check &Intel HEX files before programming"));
        QVERIFY(dlg.findChild<QCheckBox*>(QStringLiteral("1021"))->isChecked());
    }

    void optionsBrowseKeepsTypedTextAndOkWritesAllNineKeys()
    {
        CToolSettings settings;
        CToolSettingsValues v;
        v.m_strEditor = "gedit";
        settings.Set(v);
        COptionsValues values;
        static_cast<CToolSettingsValues&>(values) = settings.Get();
        CTestOptionsDlg dlg(values);
        dlg.findChild<QLineEdit*>(QStringLiteral("1004"))->setText(QStringLiteral("kate"));
        dlg.m_strChosen = QStringLiteral("/opt/my tools/asm");
        dlg.OnBrowse(COptionsDlg::IDC_BROWSE_BUILDER);
        QCOMPARE(dlg.findChild<QLineEdit*>(QStringLiteral("1002"))->text(), QStringLiteral("/opt/my tools/asm"));
        QCOMPARE(dlg.findChild<QLineEdit*>(QStringLiteral("1004"))->text(), QStringLiteral("kate"));
        dlg.m_strChosen.clear(); // a cancelled browse changes nothing
        dlg.OnBrowse(COptionsDlg::IDC_BROWSE_DEBUGGER);
        QCOMPARE(dlg.findChild<QLineEdit*>(QStringLiteral("1003"))->text(), QString());
        dlg.findChild<QLineEdit*>(QStringLiteral("1017"))->clear();
        dlg.accept();
        QCOMPARE(dlg.Values().m_strBuilder, std::string("/opt/my tools/asm"));
        QCOMPARE(dlg.Values().m_strEditor, std::string("kate"));
        QCOMPARE(dlg.Values().m_strProgramCmd, std::string());
    }

    void optionsOkStoresEverythingAndCancelNothing()
    {
        CMemorySettingsStore store;
        CToolSettings settings;
        CToolSettingsValues v;
        v.m_strBuilder = "make";
        settings.Set(v);
        auto answer = [](const char* button, const QString& editorText) {
            QTimer::singleShot(0, [button, editorText] {
                QWidget* dlg = QApplication::activeModalWidget();
                QVERIFY(dlg);
                dlg->findChild<QLineEdit*>(QStringLiteral("1004"))->setText(editorText);
                dlg->findChild<QCheckBox*>(QStringLiteral("1009"))->setChecked(false);
                dlg->findChild<QCheckBox*>(QStringLiteral("1021"))->setChecked(false);
                dlg->findChild<QPushButton*>(QString::fromLatin1(button))->click();
            });
        };
        CBoardCommands commands;
        answer("2", QStringLiteral("cancelled"));
        QVERIFY(!COptionsDlg::OnOptions(nullptr, settings, commands, store));
        QCOMPARE(settings.Get(), v);
        QVERIFY(store.WriteLog().empty());

        answer("1", QStringLiteral("kate"));
        QVERIFY(COptionsDlg::OnOptions(nullptr, settings, commands, store));
        v.m_strEditor = "kate";
        v.m_bRemoveExtension = 0;
        QCOMPARE(settings.Get(), v);
        QCOMPARE(store.WriteLog(), (std::vector<std::string>{"Builder", "RemoveExtension", "ChangeWorkingDir", "Debugger",
                                                             "Editor", "UseAssocApp", "UsePrePostPgmCmd", "ProgramCmd",
                                                             "CmdAfterProgram", "CheckHexFile"}));
        QCOMPARE(store.ReadString("Editor", "?"), std::string("kate"));
        QCOMPARE(store.ReadInt("RemoveExtension", 9), 0);
        QCOMPARE(commands.Get().m_bCheckHexFile, 0);
        QCOMPARE(store.ReadInt("CheckHexFile", 9), 0);
    }
};

QTEST_MAIN(FilesGuiTest)
#include "files_gui_test.moc"
