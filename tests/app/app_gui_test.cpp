// The application layer against real parts: a settings file under a temporary XDG_CONFIG_HOME,
// posted events on the GUI thread, and the real program started twice.

#include "app/main_frame.h"
#include "app/qx_prog_app.h"
#include "base/qt_message_sink.h"
#include "base/qt_settings_store.h"
#include "app/single_instance.h"
#include "base/commands.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"

#include <QDesktopServices>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// Stands for the desktop's default application: records what it is asked to open.
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> m_urls;
public slots:
    void open(const QUrl& url) { m_urls << url; }
};

class AppGuiTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;

    QString SettingsFilePath() const
    {
        return m_config.path() + QStringLiteral("/Quillorex/Quillorex Programmer.conf");
    }

    QProcessEnvironment ProgramEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

    void settingsRoundTripThroughTheRealFile()
    {
        {
            CQtSettingsStore store;
            store.WriteString("Port", "/dev/ttyUSB0");
            store.WriteInt("RemoveExtension", 0);
            store.WriteBytes("TerminalFont", std::vector<std::uint8_t>{0, 1, 2, 0xFF, 0x80, 60});
            store.Sync();
        }
        QVERIFY2(QFile::exists(SettingsFilePath()), qPrintable(SettingsFilePath()));
        CQtSettingsStore store;
        QCOMPARE(store.ReadString("Port", "COM1"), std::string("/dev/ttyUSB0"));
        QCOMPARE(store.ReadInt("RemoveExtension", 1), 0);
        auto font = store.ReadBytes("TerminalFont");
        QVERIFY(font.has_value());
        QCOMPARE(*font, (std::vector<std::uint8_t>{0, 1, 2, 0xFF, 0x80, 60}));
        QCOMPARE(store.ReadString("Missing", "dflt"), std::string("dflt"));
        QCOMPARE(store.ReadInt("Missing", 7), 7);
        QVERIFY(!store.ReadBytes("Missing").has_value());
        // The values sit in the group "Settings" of that file.
        QSettings raw(SettingsFilePath(), QSettings::IniFormat);
        QCOMPARE(raw.value("Settings/Port").toString(), QStringLiteral("/dev/ttyUSB0"));
    }

    void toolSettingsSaveAndLoadThroughTheRealFile()
    {
        CToolSettingsValues values;
        values.m_strBuilder = "/opt/tools/build all";
        values.m_bChangeWorkingDir = 0;
        CBoardCommandValues commandValues;
        commandValues.m_strProgramCmd = "LOAD";
        {
            CQtSettingsStore store;
            CToolSettings settings;
            settings.Set(values);
            settings.SaveToolSettings(store);
            CBoardCommands(commandValues).SaveBoardCommands(store);
        }
        CQtSettingsStore store;
        CToolSettings loaded;
        loaded.LoadToolSettings(store);
        QVERIFY(loaded.Get() == values);
        CBoardCommands loadedCommands;
        loadedCommands.LoadBoardCommands(store);
        QVERIFY(loadedCommands.Get() == commandValues);
    }

    void anIntegerKeyThatIsNotANumberReadsAsItsDefaultAndStaysInTheFile()
    {
        QFile::remove(SettingsFilePath());
        QDir().mkpath(QFileInfo(SettingsFilePath()).path());
        const QByteArray text = "[Settings]\nUsePrePostPgmCmd=abc\nRemoveExtension=0\n";
        {
            QFile file(SettingsFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        {
            CQtSettingsStore store;
            CBoardCommands commands;
            commands.LoadBoardCommands(store);
            QCOMPARE(commands.Get().m_bUsePrePostPgmCmd, 1);
            QCOMPARE(store.ReadInt("RemoveExtension", 1), 0);
        }
        QFile file(SettingsFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), text);
    }

    void postedMessagesArriveInOrderOnTheGuiThread()
    {
        // Events of several kinds from one worker: each arrives whole, on the GUI thread, in order.
        std::vector<std::uint64_t> received;
        std::vector<std::size_t> kinds;
        bool offThread = false;
        CQtMessageSink sink([&](const CPostedEvent& event) {
            if (QThread::currentThread() != qApp->thread())
                offThread = true;
            kinds.push_back(event.index());
            std::visit(
                [&](const auto& e) {
                    using T = std::decay_t<decltype(e)>;
                    if constexpr (std::is_same_v<T, CJobStep>)
                        received.push_back(e.m_nPosition);
                    else if constexpr (std::is_same_v<T, CJobBegin>)
                        received.push_back(e.m_nCount);
                    else if constexpr (std::is_same_v<T, CPortEvent>)
                        received.push_back(static_cast<std::uint64_t>(e.m_nTag));
                    else if constexpr (std::is_same_v<T, CWorkerNotice>)
                        received.push_back(e.m_nGeneration);
                    else
                        received.push_back(~0ull);
                },
                event);
        });
        constexpr unsigned kCount = 2000;
        auto make = [](unsigned i) -> CPostedEvent {
            switch (i % 4) {
            case 0: return CJobStep{i};
            case 1: return CJobBegin{i};
            case 2: return CPortEvent{1, 0, static_cast<std::intptr_t>(i)};
            default: return CWorkerNotice{nullptr, 0, i};
            }
        };
        std::thread worker([&] {
            for (unsigned i = 0; i < kCount; ++i)
                sink.Post(make(i));
        });
        worker.join();
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), std::size_t(kCount), 10000);
        QVERIFY(!offThread);
        for (unsigned i = 0; i < kCount; ++i) {
            QCOMPARE(received[i], std::uint64_t(i));
            QCOMPARE(kinds[i], make(i).index());
        }
    }

    void secondStartAsksTheFirstToComeForwardAndEnds()
    {
        CSingleInstance first; // the key of this settings folder, as the program computes it
        QVERIFY(first.Acquire());
        QSignalSpy spy(&first, &CSingleInstance::activationRequested);
        QFile::remove(SettingsFilePath());

        QProcess second;
        second.setProcessEnvironment(ProgramEnvironment());
        second.start(QStringLiteral(QX_PROGRAM_PATH));
        QVERIFY(second.waitForStarted());
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QVERIFY2(!QFile::exists(SettingsFilePath()), "the second start touched the settings");
    }

    void staleEndpointDoesNotStopTheNextStart()
    {
        // A crashed instance leaves its socket file behind.
        QString path = CSingleInstance::SocketPath(CSingleInstance::DefaultKey());
        {
            QLocalServer crashed;
            QLocalServer::removeServer(path);
            QVERIFY(crashed.listen(path));
        }
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();

        QProcess program;
        program.setProcessEnvironment(ProgramEnvironment());
        program.start(QStringLiteral(QX_PROGRAM_PATH));
        QVERIFY(program.waitForStarted());
        QVERIFY2(!program.waitForFinished(2500), "the program ended instead of starting");
        // It now serves later starts.
        CSingleInstance probe;
        QVERIFY(!probe.Acquire());
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
    }

    void lockFileIsRemovedAndAStaleOneDoesNotStopTheStart_data()
    {
        QTest::addColumn<bool>("stale");
        QTest::addColumn<int>("staleRights");
        QTest::newRow("none left") << false << 0;
        QTest::newRow("stale, readable") << true << int(QFile::ReadOwner | QFile::WriteOwner);
        QTest::newRow("stale, no rights") << true << 0;
    }

    void lockFileIsRemovedAndAStaleOneDoesNotStopTheStart()
    {
        QFETCH(bool, stale);
        QFETCH(int, staleRights);
        const QString lock = CSingleInstance::SocketPath(CSingleInstance::DefaultKey()) + QStringLiteral(".lock");
        QFile::remove(lock);
        if (stale) {
            // A crash between the lock's making and its removal leaves the file; the kernel has
            // dropped the lock.
            QFile left(lock);
            QVERIFY(left.open(QIODevice::WriteOnly));
            left.write("left by a crash");
            left.close();
            QVERIFY(left.setPermissions(QFile::Permissions(staleRights)));
        }
        {
            CSingleInstance first;
            QVERIFY(first.Acquire());
            QVERIFY2(!QFile::exists(lock), "the first start left its lock file");
            CSingleInstance second;
            QVERIFY(!second.Acquire());
            QVERIFY2(!QFile::exists(lock), "the second start left its lock file");
        }
        // Nothing is left, and the next start serves.
        QVERIFY(!QFile::exists(lock));
        QVERIFY(!QFile::exists(CSingleInstance::SocketPath(CSingleInstance::DefaultKey())));
        CSingleInstance next;
        QVERIFY(next.Acquire());
    }

    void terminationRequestClosesTheWindowTheNormalWay_data()
    {
        QTest::addColumn<bool>("portOpens");
        // A line that opens, so no box holds the start; and one that cannot, so start-up waits
        // on its box when the request comes.
        QTest::newRow("running") << true;
        QTest::newRow("during the start-up box") << false;
    }

    void terminationRequestClosesTheWindowTheNormalWay()
    {
        QFETCH(bool, portOpens);
        int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        QFile::remove(SettingsFilePath());
        {
            CQtSettingsStore store;
            store.WriteString("Port", portOpens ? std::string(::ptsname(master))
                                                       : m_config.filePath(QStringLiteral("no-such-port")).toStdString());
            store.Sync();
        }
        QProcess program;
        program.setProcessEnvironment(ProgramEnvironment());
        program.start(QStringLiteral(QX_PROGRAM_PATH));
        QVERIFY(program.waitForStarted());
        QVERIFY2(!program.waitForFinished(2000), "the program ended instead of starting");
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        ::close(master);
        // The window saved its layout on the way out.
        QSettings raw(SettingsFilePath(), QSettings::IniFormat);
        QVERIFY(!raw.value(QStringLiteral("MainFrame/State")).toByteArray().isEmpty());
        // Nothing of the single-instance endpoint is left behind: no socket, no lock file.
        const QString socket = CSingleInstance::SocketPath(CSingleInstance::DefaultKey());
        QVERIFY(!QFile::exists(socket + QStringLiteral(".lock")));
        CSingleInstance next;
        QVERIFY(next.Acquire());
    }

    void terminationClosesTheOpenBoxAndKeepsLaterOnesShut()
    {
        CQxProgApp app;
        QTimer::singleShot(0, [&app] {
            QVERIFY(QApplication::activeModalWidget());
            app.Terminate();
        });
        QCOMPARE(app.Prompt().ShowBox("Programming has been completed!", "Quillorex Programmer", kBoxOk), kAnswerOk);
        QVERIFY(app.IsTerminating());
        QCOMPARE(app.Prompt().ShowBox("Save?", "", kBoxYesNo), kAnswerNo);
        QCOMPARE(app.Prompt().ShowBox("Go on?", "", kBoxOkCancel), kAnswerCancel);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void helpVersionAndUnknownOptionsPrintBeforeStarting()
    {
        struct Case {
            QStringList args;
            int status;
            bool toStdout;
            const char* text;
        };
        const Case cases[] = {{{"--help"}, 0, true, "Usage: quillorex-programmer"},
                              {{"-h"}, 0, true, "Usage: quillorex-programmer"},
                              {{"--version"}, 0, true, "quillorex-programmer " QX_VERSION "\n"},
                              {{"--frobnicate"}, 1, false, "Usage: quillorex-programmer"}};
        for (const Case& c : cases) {
            QProcess program;
            // Help and version need no display: none is offered to them.
            QProcessEnvironment environment = ProgramEnvironment();
            if (c.status == 0) {
                environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
                environment.remove(QStringLiteral("DISPLAY"));
                environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
            }
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(QX_PROGRAM_PATH), c.args);
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitCode(), c.status);
            const QByteArray text = c.toStdout ? program.readAllStandardOutput() : program.readAllStandardError();
            QVERIFY2(text.contains(c.text), text.constData());
        }
    }

    void userGuideOpensTheGuideMadeFromTheReadme()
    {
        const QString guide = QStringLiteral(QX_BUILD_DOC_DIR "/guide.html");
        QFile file(guide);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(guide));
        QVERIFY(file.readAll().contains("<h1>Quillorex Programmer</h1>"));
        CQxProgApp app;
        CUrlCatcher desktop;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
        QVERIFY(app.OnCommand(cmd::ID_HELP_USER_GUIDE));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(desktop.m_urls, QList<QUrl>{QUrl::fromLocalFile(guide)});
    }

    void twoSimultaneousStartsGiveOneWindow()
    {
        // No stored line from an earlier start: a pseudo-terminal's name is reused by the next
        // one made, possibly another test's board, which the started window would then hold.
        QFile::remove(SettingsFilePath());
        QProcess a, b;
        a.setProcessEnvironment(ProgramEnvironment());
        b.setProcessEnvironment(ProgramEnvironment());
        a.start(QStringLiteral(QX_PROGRAM_PATH));
        b.start(QStringLiteral(QX_PROGRAM_PATH));
        QVERIFY(a.waitForStarted());
        QVERIFY(b.waitForStarted());
        // Exactly one of the two ends, with status 0; the other keeps running.
        QSignalSpy aEnded(&a, &QProcess::finished);
        QSignalSpy bEnded(&b, &QProcess::finished);
        QTRY_VERIFY_WITH_TIMEOUT(aEnded.count() + bEnded.count() >= 1, 15000);
        QProcess& ended = a.state() == QProcess::Running ? b : a;
        QProcess& running = a.state() == QProcess::Running ? a : b;
        QCOMPARE(ended.state(), QProcess::NotRunning);
        QCOMPARE(ended.exitCode(), 0);
        QVERIFY(!running.waitForFinished(1500));
        running.terminate();
        QVERIFY(running.waitForFinished(10000));
    }
};

QTEST_MAIN(AppGuiTest)
#include "app_gui_test.moc"
