// The port setup dialog and the port pop-ups on the offscreen platform, over a fake device tree
// and a real pseudo-terminal: pre-selection, typed names, normalised storing, reopening the
// port after the dialog, the port list's limit, checks and greyed entries, the "_CONFIG_" menu.

#include "pty_pair.h"
#include "recording_prompt.h"
#include "temp_dir.h"
#include "text_fit.h"

#include "base/memory_settings_store.h"
#include "port/open_configured_port.h"
#include "port/port_menus.h"
#include "port/port_settings.h"
#include "port/port_setup_dlg.h"
#include "serial/serial_wnd.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

// A /dev and /sys pair in a temporary folder that the probe reads instead of the real ones.
class CFakeDeviceTree {
public:
    CFakeDeviceTree()
    {
        fs::create_directories(m_root / "dev");
        fs::create_directories(m_root / "sys" / "class" / "tty");
        m_roots.m_strDev = (m_root / "dev").string();
        m_roots.m_strSys = (m_root / "sys").string();
    }
    ~CFakeDeviceTree()
    {
        for (int fd : m_locks)
            ::close(fd);
    }

    // An on-board port with a UART (ttySn shows as COMn+1) or another tty, optionally from a
    // USB adapter with a product name.
    void Add(const std::string& name, const char* product = nullptr)
    {
        const fs::path entry = m_root / "sys" / "class" / "tty" / name;
        const fs::path usb = m_root / "sys" / "devices" / ("dev-" + name);
        const fs::path device = usb / "1-1:1.0" / name;
        fs::create_directories(entry);
        fs::create_directories(device);
        if (product)
            std::ofstream(usb / "product") << product << "\n";
        fs::create_directory_symlink(device, entry / "device");
        if (name.rfind("ttyS", 0) == 0)
            std::ofstream(entry / "type") << "4\n";
        std::ofstream(m_root / "dev" / name) << "";
    }
    // Another program holds the port.
    void Hold(const std::string& name)
    {
        const int fd = ::open((m_root / "dev" / name).c_str(), O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QVERIFY(::flock(fd, LOCK_EX | LOCK_NB) == 0);
        m_locks.push_back(fd);
    }
    void Forbid(const std::string& name) { fs::permissions(m_root / "dev" / name, fs::perms::none); }

    const CProbeRoots& Roots() const { return m_roots; }

private:
    const CTempDir m_dir;
    const fs::path m_root = m_dir.Path();
    CProbeRoots m_roots;
    std::vector<int> m_locks;
};

// Runs action on the modal dialog as soon as it shows; the dialog is always ended.
void OnModalDialog(std::function<void(CPortSetupDlg&)> action)
{
    QTimer::singleShot(0, [action = std::move(action)] {
        auto* dialog = qobject_cast<CPortSetupDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, [action] { OnModalDialog(action); });
            return;
        }
        action(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

void ClickButton(CPortSetupDlg& dialog, int id)
{
    QTest::mouseClick(qobject_cast<QPushButton*>(dialog.ControlById(id)), Qt::LeftButton);
}

// Chooses an item the way the user does: the box's key navigation emits the activation.
void Choose(QComboBox* combo, const QString& text)
{
    const int target = combo->findText(text);
    QVERIFY(target >= 0);
    combo->setFocus();
    if (combo->currentIndex() < 0)
        QTest::keyClick(combo, Qt::Key_Home);
    while (combo->currentIndex() < target)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > target)
        QTest::keyClick(combo, Qt::Key_Up);
}

const QStringList kListedRates = {"300", "600", "1200", "1800", "2400", "4800", "9600", "14400", "19200", "38400",
    "56000", "57600", "115200", "230400", "460800", "500000", "576000", "921600", "1000000", "1152000", "1500000",
    "2000000", "2500000", "3000000", "3500000", "4000000"};

std::string Stored(CMemorySettingsStore& store, const char* key)
{
    return store.ReadString(key, "<missing>");
}

QAction* ActionWithId(QMenu& menu, int id)
{
    for (QAction* action : menu.actions()) {
        if (action->menu()) {
            if (QAction* found = ActionWithId(*action->menu(), id))
                return found;
        } else if (action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}

tcflag_t FarEndFlags(const CPtyPair& pty)
{
    termios tio{};
    if (::tcgetattr(pty.Master(), &tio) != 0)
        return 0;
    return tio.c_cflag;
}

} // namespace

class PortGuiTest : public QObject {
    Q_OBJECT
private slots:
    void dialogPreselectsStoredSettings();
    void dialogPrefixRule_data();
    void dialogPrefixRule();
    void dialogKeepsNameProbingDidNotList();
    void dialogShowsDescriptionsButKeepsNames();
    void typedNameReturnedUnchanged();
    void typedRateIsCheckedAtOk_data();
    void typedRateIsCheckedAtOk();
    void okStoresNormalisedTextsAndOpensTheClosedPort();
    void cancelReopensOpenPortWithPopupChoice();
    void cancelLeavesClosedPortClosed();
    void reopenWaitsForRunningDownload();
    void portListShowsTwentyCheckedAndGreyed();
    void portListChoosesByPosition();
    void configMenuTextsAndCommands();
    void portDropDownOpensAndClosesManyTimes();
    void screenshots();
    void dialogShowsEveryTextAtOneAndAHalfTimesTheFontAndResizes();
};

void PortGuiTest::dialogShowsEveryTextAtOneAndAHalfTimesTheFontAndResizes()
{
    CFakeDeviceTree tree;
    tree.Add("ttyUSB0");
    for (double scale : {1.0, 1.5}) {
        CTextFit fit = CheckTextFit([&] { return std::make_unique<CPortSetupDlg>(nullptr, tree.Roots()); }, scale);
        QVERIFY2(fit.m_cut.isEmpty(), qPrintable(QString::number(scale) + ": " + fit.m_cut.join("; ")));
        QVERIFY(fit.m_bResizable);
    }
}

void PortGuiTest::dialogPreselectsStoredSettings()
{
    CFakeDeviceTree tree;
    tree.Add("ttyS0");
    tree.Add("ttyS1");
    CPortSetupDlg dialog(nullptr, tree.Roots());
    dialog.m_strPort = "COM1";
    dialog.m_strBaud = "19200";
    dialog.m_strDataBits = "8";
    dialog.m_strParity = "N";
    dialog.m_strStopBits = "1";
    dialog.m_strHandshake = "None";
    dialog.InitDialog();
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_PORT)->count(), 2);
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_PORT)->currentText(), QString("COM1"));
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_PORT)->currentIndex(), 0);
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_BAUD)->currentText(), QString("19200"));
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_DATABITS)->currentText(), QString("8"));
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_PARITY)->currentText(), QString("None"));
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_STOPBITS)->currentText(), QString("1"));
    QCOMPARE(dialog.Combo(CPortSetupDlg::IDC_HANDSHAKE)->currentText(), QString("None"));
    // Pre-selection leaves the members in their stored form.
    QCOMPARE(dialog.m_strParity, std::string("N"));

    // The standard rates from 300 to 4000000, ascending.
    QStringList baud;
    for (int i = 0; i < dialog.Combo(CPortSetupDlg::IDC_BAUD)->count(); ++i)
        baud << dialog.Combo(CPortSetupDlg::IDC_BAUD)->itemText(i);
    QCOMPARE(baud, kListedRates);
}

void PortGuiTest::dialogPrefixRule_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("selected");
    QTest::newRow("parity N") << int(CPortSetupDlg::IDC_PARITY) << "N" << "None";
    QTest::newRow("parity O") << int(CPortSetupDlg::IDC_PARITY) << "O" << "Odd";
    QTest::newRow("parity E") << int(CPortSetupDlg::IDC_PARITY) << "E" << "Even";
    QTest::newRow("parity M") << int(CPortSetupDlg::IDC_PARITY) << "M" << "Mark";
    QTest::newRow("parity S") << int(CPortSetupDlg::IDC_PARITY) << "S" << "Space";
    QTest::newRow("parity lower case") << int(CPortSetupDlg::IDC_PARITY) << "o" << "Odd";
    QTest::newRow("parity unknown") << int(CPortSetupDlg::IDC_PARITY) << "X" << "";
    QTest::newRow("stop 1 first of 1 and 1.5") << int(CPortSetupDlg::IDC_STOPBITS) << "1" << "1";
    QTest::newRow("stop 1.5") << int(CPortSetupDlg::IDC_STOPBITS) << "1.5" << "1.5";
    QTest::newRow("baud 1 selects 1200") << int(CPortSetupDlg::IDC_BAUD) << "1" << "1200";
    QTest::newRow("baud with blank selects its rate") << int(CPortSetupDlg::IDC_BAUD) << "9600 " << "9600";
    QTest::newRow("baud 1152000 not its prefix") << int(CPortSetupDlg::IDC_BAUD) << "1152000" << "1152000";
    QTest::newRow("baud typed earlier") << int(CPortSetupDlg::IDC_BAUD) << "250000" << "250000";
    QTest::newRow("handshake RTS") << int(CPortSetupDlg::IDC_HANDSHAKE) << "RTS/CTS" << "RTS/CTS";
    QTest::newRow("handshake empty selects first") << int(CPortSetupDlg::IDC_HANDSHAKE) << "" << "None";
}

void PortGuiTest::dialogPrefixRule()
{
    QFETCH(int, id);
    QFETCH(QString, text);
    QFETCH(QString, selected);
    CFakeDeviceTree tree;
    CPortSetupDlg dialog(nullptr, tree.Roots());
    dialog.m_strBaud = "19200";
    dialog.m_strDataBits = "8";
    dialog.m_strParity = "N";
    dialog.m_strStopBits = "1";
    dialog.m_strHandshake = "None";
    std::string* member = id == CPortSetupDlg::IDC_PARITY ? &dialog.m_strParity
        : id == CPortSetupDlg::IDC_STOPBITS               ? &dialog.m_strStopBits
        : id == CPortSetupDlg::IDC_BAUD                   ? &dialog.m_strBaud
                                                          : &dialog.m_strHandshake;
    *member = text.toStdString();
    dialog.InitDialog();
    QCOMPARE(dialog.Combo(id)->currentText(), selected);
    // A rate not listed is shown in the edit field, no entry selected.
    QCOMPARE(dialog.Combo(id)->currentIndex() < 0, selected.isEmpty() || dialog.Combo(id)->findText(selected) < 0);
}

void PortGuiTest::dialogKeepsNameProbingDidNotList()
{
    CFakeDeviceTree tree;
    tree.Add("ttyUSB10");
    CPortSetupDlg dialog(nullptr, tree.Roots());
    // Not a prefix match: the unplugged ttyUSB1 must not turn into ttyUSB10.
    dialog.m_strPort = "ttyUSB1";
    dialog.InitDialog();
    QComboBox* port = dialog.Combo(CPortSetupDlg::IDC_PORT);
    QCOMPARE(port->currentIndex(), -1);
    QCOMPARE(port->currentText(), QString("ttyUSB1"));
    dialog.accept();
    QCOMPARE(dialog.m_strPort, std::string("ttyUSB1"));
}

void PortGuiTest::dialogShowsDescriptionsButKeepsNames()
{
    CFakeDeviceTree tree;
    tree.Add("ttyS0");
    tree.Add("ttyUSB0", "FT232R USB UART");
    tree.Add("ttyUSB1");
    tree.Hold("ttyUSB1");
    CPortSetupDlg dialog(nullptr, tree.Roots());
    dialog.m_strPort = "COM1";
    OnModalDialog([](CPortSetupDlg& dlg) {
        QComboBox* port = dlg.Combo(CPortSetupDlg::IDC_PORT);
        QCOMPARE(port->itemText(1), QString("ttyUSB0 - FT232R USB UART"));
        QVERIFY(port->itemText(2).startsWith("ttyUSB1"));
        QVERIFY(port->itemText(2).contains("in use"));
        Choose(port, "ttyUSB0 - FT232R USB UART");
        QCOMPARE(port->currentText(), QString("ttyUSB0"));
        QCOMPARE(dlg.m_strPort, std::string("ttyUSB0"));
        ClickButton(dlg, 1);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.m_strPort, std::string("ttyUSB0"));

    if (::geteuid() != 0) {
        // Without permission the entry says why (root opens everything, so only as a user).
        CFakeDeviceTree forbidden;
        forbidden.Add("ttyACM0");
        forbidden.Forbid("ttyACM0");
        CPortSetupDlg other(nullptr, forbidden.Roots());
        other.InitDialog();
        QVERIFY(other.Combo(CPortSetupDlg::IDC_PORT)->itemText(0).contains("dialout"));
    }
}

void PortGuiTest::typedNameReturnedUnchanged()
{
    CFakeDeviceTree tree;
    tree.Add("ttyS0");
    CPortSetupDlg dialog(nullptr, tree.Roots());
    dialog.m_strPort = "COM1";
    OnModalDialog([](CPortSetupDlg& dlg) {
        QLineEdit* edit = dlg.Combo(CPortSetupDlg::IDC_PORT)->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, "COM12");
        ClickButton(dlg, 1);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.m_strPort, std::string("COM12"));

    // Enter in the port field ends the dialog with OK and the typed text, listing nothing new.
    CPortSetupDlg second(nullptr, tree.Roots());
    second.m_strPort = "COM1";
    OnModalDialog([](CPortSetupDlg& dlg) {
        QLineEdit* edit = dlg.Combo(CPortSetupDlg::IDC_PORT)->lineEdit();
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, "/dev/ttyX9");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QCOMPARE(second.exec(), int(QDialog::Accepted));
    QCOMPARE(second.m_strPort, std::string("/dev/ttyX9"));
    QCOMPARE(second.Combo(CPortSetupDlg::IDC_PORT)->count(), 1);
}

void PortGuiTest::typedRateIsCheckedAtOk_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("stored");
    QTest::newRow("a rate not listed") << "250000" << true << "250000";
    QTest::newRow("the lowest") << "50" << true << "50";
    QTest::newRow("too low") << "12" << false << "19200";
    QTest::newRow("too high") << "9000000" << false << "19200";
    QTest::newRow("letters do not go in") << "fast" << true << "19200";
}

void PortGuiTest::typedRateIsCheckedAtOk()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, stored);
    CFakeDeviceTree tree;
    CPortSetupDlg dialog(nullptr, tree.Roots());
    dialog.m_strBaud = "19200";
    bool stayedOpen = false;
    QString error;
    OnModalDialog([&](CPortSetupDlg& dlg) {
        QLineEdit* edit = dlg.Combo(CPortSetupDlg::IDC_BAUD)->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        ClickButton(dlg, 1);
        // A refused rate keeps the dialog open and says why; Cancel ends it.
        stayedOpen = dlg.isVisible();
        error = dlg.BaudError()->isVisible() ? dlg.BaudError()->text() : QString();
        if (stayedOpen)
            ClickButton(dlg, 2);
    });
    QCOMPARE(dialog.exec(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(stayedOpen, !accepted);
    QCOMPARE(dialog.m_strBaud, stored.toStdString());
    QCOMPARE(error, accepted ? QString() : QString("The baud rate must be a whole number from 50 to 4000000."));
}

void PortGuiTest::okStoresNormalisedTextsAndOpensTheClosedPort()
{
    CFakeDeviceTree tree;
    tree.Add("ttyS0");
    CPtyPair pty;
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.LoadPortSettings(store);
    // The port is closed (it failed to open at the start, say): OK opens the one chosen.
    settings.SetPortName(pty.SlavePath());
    int attached = 0;
    int stateChanges = 0;
    CPortMenus menus(settings, store, serial, nullptr, prompt, [&](CSerialPort*) { ++attached; }, nullptr);
    menus.SetPortStateChanged([&] { ++stateChanges; });
    menus.SetProbeRoots(tree.Roots());
    int changes = 0;
    menus.SetSettingsChanged([&] { ++changes; });
    std::string parityReturned;
    bool reconnectShown = false;
    OnModalDialog([&](CPortSetupDlg& dlg) {
        Choose(dlg.Combo(CPortSetupDlg::IDC_PARITY), "Odd");
        Choose(dlg.Combo(CPortSetupDlg::IDC_BAUD), "115200");
        parityReturned = dlg.m_strParity;
        // Reconnecting is on by default; turned off here.
        reconnectShown = dlg.ReconnectBox()->isChecked();
        dlg.ReconnectBox()->click();
        ClickButton(dlg, 1);
    });
    menus.OnPortSetup();
    QCOMPARE(parityReturned, std::string("Odd"));
    QVERIFY(reconnectShown);
    QVERIFY(!settings.m_bReconnect);
    QCOMPARE(store.ReadInt("Reconnect", 1), 0);
    CPortSettings reloaded;
    reloaded.LoadPortSettings(store);
    QVERIFY(!reloaded.m_bReconnect);
    QCOMPARE(settings.m_strParity, std::string("O"));
    QCOMPARE(static_cast<int>(settings.m_line.m_eParity), 1);
    QCOMPARE(static_cast<int>(settings.m_line.m_nBaud), 115200);
    QCOMPARE(Stored(store, "Port"), pty.SlavePath());
    QCOMPARE(Stored(store, "Baud"), std::string("115200"));
    QCOMPARE(Stored(store, "DataBit"), std::string("8"));
    QCOMPARE(Stored(store, "Parity"), std::string("O"));
    QCOMPARE(Stored(store, "StopBit"), std::string("1"));
    QCOMPARE(Stored(store, "Handshake"), std::string("None"));
    QCOMPARE(changes, 1);
    QVERIFY(serial.IsOpen());
    QCOMPARE(attached, 1);
    QCOMPARE(stateChanges, 1);
    // A pseudo-terminal keeps no parity: the one box says what the line runs at.
    QCOMPARE(prompt.Boxes().size(), std::size_t(1));
    QVERIFY(prompt.Boxes()[0].m_strText.rfind(kTextLineRefused, 0) == 0);
    serial.Close();

    // A port that is not there: the box names it under its first line; the port stays closed.
    const std::string missing = (fs::path(tree.Roots().m_strDev) / "ttyGone0").string();
    settings.SetPortName(missing);
    OnModalDialog([](CPortSetupDlg& dlg) { ClickButton(dlg, 1); });
    menus.OnPortSetup();
    QVERIFY(!serial.IsOpen());
    QCOMPARE(stateChanges, 2);
    QCOMPARE(prompt.Boxes().size(), std::size_t(2));
    const std::string box = prompt.Boxes()[1].m_strText;
    QVERIFY2(box.rfind("Port open error!\r\n\r\n" + missing + ": No such file or directory", 0) == 0, box.c_str());
}

void PortGuiTest::cancelReopensOpenPortWithPopupChoice()
{
    CFakeDeviceTree tree;
    CPtyPair pty;
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.LoadPortSettings(store);
    settings.SetPortName(pty.SlavePath());
    int attached = 0;
    const auto attach = [&](CSerialPort* port) { attached += port == &serial ? 1 : 0; };
    QVERIFY(OpenConfiguredPort(serial, settings, nullptr, prompt, std::nullopt, attach));
    QVERIFY(!(FarEndFlags(pty) & CSTOPB));
    QVERIFY(!(FarEndFlags(pty) & CRTSCTS));

    CPortMenus menus(settings, store, serial, nullptr, prompt, attach, nullptr);
    menus.SetProbeRoots(tree.Roots());
    // Two stop bits and hardware handshake from the pop-up (settings a pseudo-terminal holds,
    // unlike parity): stored at once, not yet on the line.
    const auto config = menus.BuildConfigMenu();
    ActionWithId(*config, 32830)->trigger();
    ActionWithId(*config, 32826)->trigger();
    QCOMPARE(Stored(store, "StopBit"), std::string("2"));
    QCOMPARE(Stored(store, "Handshake"), std::string("RTS/CTS"));
    QVERIFY(!(FarEndFlags(pty) & CSTOPB));
    QVERIFY(!(FarEndFlags(pty) & CRTSCTS));

    OnModalDialog([](CPortSetupDlg& dlg) { ClickButton(dlg, 2); });
    menus.OnPortSetup();
    QVERIFY(serial.IsOpen());
    QVERIFY(FarEndFlags(pty) & CSTOPB);
    QVERIFY(FarEndFlags(pty) & CRTSCTS);
    QCOMPARE(attached, 2);
    QVERIFY(prompt.Boxes().empty());
    // Cancel took none of the dialog's texts.
    QCOMPARE(Stored(store, "Parity"), std::string("<missing>"));
    serial.Close();
}

void PortGuiTest::cancelLeavesClosedPortClosed()
{
    CFakeDeviceTree tree;
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.LoadPortSettings(store);
    CPortMenus menus(settings, store, serial, nullptr, prompt, {}, nullptr);
    menus.SetProbeRoots(tree.Roots());
    OnModalDialog([](CPortSetupDlg& dlg) { ClickButton(dlg, 2); });
    menus.OnPortSetup();
    QVERIFY(!serial.IsOpen());
    QVERIFY(prompt.Boxes().empty());
    QCOMPARE(Stored(store, "Port"), std::string("<missing>"));
}

void PortGuiTest::reopenWaitsForRunningDownload()
{
    CFakeDeviceTree tree;
    CPtyPair pty;
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.SetPortName(pty.SlavePath());
    QVERIFY(OpenConfiguredPort(serial, settings, nullptr, prompt, std::nullopt, {}));
    CPortMenus menus(settings, store, serial, nullptr, prompt, {}, nullptr);
    menus.SetProbeRoots(tree.Roots());
    bool busy = true;
    menus.SetBusy([&] { return busy; });
    QVERIFY(menus.OnCommand(32830));
    OnModalDialog([](CPortSetupDlg& dlg) { ClickButton(dlg, 2); });
    menus.OnPortSetup();
    // The job keeps its line untouched until it ends.
    QVERIFY(serial.IsOpen());
    QVERIFY(menus.IsReopenPending());
    QVERIFY(!(FarEndFlags(pty) & CSTOPB));
    busy = false;
    menus.ApplyPendingReopen();
    QVERIFY(!menus.IsReopenPending());
    QVERIFY(serial.IsOpen());
    QVERIFY(FarEndFlags(pty) & CSTOPB);
    QVERIFY(prompt.Boxes().empty());
    serial.Close();
}

void PortGuiTest::portDropDownOpensAndClosesManyTimes()
{
    // A fake tree with a held and a described port, and this machine's own devices: each round
    // probes (a new dialog, the status bar's list) and opens and closes the drop-down.
    CFakeDeviceTree tree;
    tree.Add("ttyS0");
    tree.Add("ttyUSB0", "FT232R USB UART");
    tree.Add("ttyUSB1");
    tree.Hold("ttyUSB1");
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    for (const CProbeRoots& roots : {tree.Roots(), CProbeRoots{}}) {
        CPortMenus menus(settings, store, serial, nullptr, prompt, {}, nullptr);
        menus.SetProbeRoots(roots);
        for (int round = 0; round < 100; ++round) {
            CPortSetupDlg dialog(nullptr, roots);
            dialog.show();
            QComboBox* port = dialog.Combo(CPortSetupDlg::IDC_PORT);
            port->showPopup();
            QTRY_VERIFY(port->view()->isVisible());
            port->hidePopup();
            QTRY_VERIFY(!port->view()->isVisible());
            dialog.reject();
            QVERIFY(menus.BuildPortListMenu());
        }
    }
    QVERIFY(prompt.Boxes().empty());
}

void PortGuiTest::portListShowsTwentyCheckedAndGreyed()
{
    CFakeDeviceTree tree;
    for (int n = 0; n < 25; ++n)
        tree.Add("ttyS" + std::to_string(n));
    tree.Hold("ttyS4");  // COM5: another program
    tree.Hold("ttyS21"); // COM22: beyond the list
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.SetPortName("COM3");
    CPortMenus menus(settings, store, serial, nullptr, prompt, {}, nullptr);
    menus.SetProbeRoots(tree.Roots());
    const auto menu = menus.BuildPortListMenu();
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 20);
    for (int i = 0; i < actions.size(); ++i) {
        const QString name = QString("COM%1").arg(i + 1);
        QVERIFY2(actions[i]->text().startsWith(name), qPrintable(actions[i]->text()));
        QCOMPARE(actions[i]->data().toInt(), 32796 + i);
        QCOMPARE(actions[i]->isChecked(), i == 2);
        QCOMPARE(actions[i]->isEnabled(), i != 4);
    }
    // Exact comparison: "com3" is not the stored "COM3".
    settings.SetPortName("com3");
    const auto again = menus.BuildPortListMenu();
    for (QAction* action : again->actions())
        QVERIFY(!action->isChecked());
}

void PortGuiTest::portListChoosesByPosition()
{
    CFakeDeviceTree tree;
    tree.Add("ttyS0");
    tree.Add("ttyUSB0", "CP2102 & Co");
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    CPortMenus menus(settings, store, serial, nullptr, prompt, {}, nullptr);
    menus.SetProbeRoots(tree.Roots());
    QString pane;
    menus.SetSettingsChanged([&] { pane = QString::fromStdString(settings.PaneText()); });
    const auto menu = menus.BuildPortListMenu();
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions()[1]->text(), QString("ttyUSB0 - CP2102 && Co"));
    menu->actions()[1]->trigger();
    QCOMPARE(settings.m_strPort, std::string("ttyUSB0"));
    QCOMPARE(Stored(store, "Port"), std::string("ttyUSB0"));
    QCOMPARE(pane, QString("ttyUSB0: 19200 8N1 None"));
    // A command beyond the list shown changes nothing.
    QVERIFY(!menus.OnCommand(32799));
    QCOMPARE(settings.m_strPort, std::string("ttyUSB0"));
}

void PortGuiTest::configMenuTextsAndCommands()
{
    CFakeDeviceTree tree;
    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    CPortMenus menus(settings, store, serial, nullptr, prompt, {}, nullptr);
    const auto menu = menus.BuildConfigMenu();
    QCOMPARE(menu->title(), QString("_CONFIG_"));
    const QList<QAction*> top = menu->actions();
    QCOMPARE(top.size(), 6);
    QCOMPARE(top[0]->text(), QString("&Port"));
    QVERIFY(!top[0]->menu());
    QVERIFY(!top[0]->isEnabled());

    struct Sub {
        QString title;
        QStringList items;
        int firstId; // 0: the rates, whose commands are their own table
        int checked; // the current value's entry: 19200 8N1 None
    };
    const Sub expected[] = {
        {"&Baud Rate", kListedRates, 0, 8},
        {"&Data Bits", {"5", "6", "7", "8"}, 32836, 3},
        {"P&arity", {"&None", "&Odd", "&Even", "&Mark", "&Space"}, 32831, 0},
        {"&Stop Bits", {"1", "1.5", "2"}, 32828, 0},
        {"&Handshake", {"&None", "&RTS/CTS (Hardware)", "&XON/XOFF (Software)"}, 32825, 0},
    };
    for (int i = 0; i < 5; ++i) {
        QMenu* sub = top[i + 1]->menu();
        QVERIFY(sub);
        QCOMPARE(sub->title(), expected[i].title);
        QCOMPARE(sub->actions().size(), expected[i].items.size());
        for (int j = 0; j < expected[i].items.size(); ++j) {
            QCOMPARE(sub->actions()[j]->text(), expected[i].items[j]);
            const int id = expected[i].firstId ? expected[i].firstId + j
                                               : CPortSettings::BaudCommand(expected[i].items[j].toInt());
            QCOMPARE(sub->actions()[j]->data().toInt(), id);
            QVERIFY(sub->actions()[j]->isCheckable());
            QCOMPARE(sub->actions()[j]->isChecked(), j == expected[i].checked);
        }
    }
    // The old rates keep their commands; the others have their own.
    QCOMPARE(ActionWithId(*menu, 32820)->text(), QString("19200"));
    QCOMPARE(ActionWithId(*menu, 32920)->text(), QString("300"));
    QCOMPARE(ActionWithId(*menu, 32936)->text(), QString("4000000"));

    // "&Port" does nothing; "&Even" is stored at once.
    top[0]->trigger();
    QCOMPARE(Stored(store, "Port"), std::string("<missing>"));
    ActionWithId(*menu, 32833)->trigger();
    QCOMPARE(settings.m_strParity, std::string("E"));
    QCOMPARE(Stored(store, "Parity"), std::string("E"));
    ActionWithId(*menu, 32826)->trigger();
    QCOMPARE(QString::fromStdString(settings.PaneText()), QString("COM1: 19200 8E1 RTS/CTS"));
    // A rate beyond the old list, and the marks follow what is set.
    ActionWithId(*menu, 32936)->trigger();
    QCOMPARE(Stored(store, "Baud"), std::string("4000000"));
    const auto again = menus.BuildConfigMenu();
    for (int id : {32936, 32833, 32826})
        QVERIFY(ActionWithId(*again, id)->isChecked());
    QVERIFY(!ActionWithId(*again, 32820)->isChecked());
}

void PortGuiTest::screenshots()
{
    // Under a real display (xvfb-run) with QX_SCREENSHOT_DIR set, keep pictures of the dialog
    // and of the port list.
    const QString dir = qEnvironmentVariable("QX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("QX_SCREENSHOT_DIR not set");
    CFakeDeviceTree tree;
    tree.Add("ttyS0");
    tree.Add("ttyS1");
    tree.Add("ttyUSB0", "FT232R USB UART");
    tree.Add("ttyACM0", "Quillorex Debug Probe");
    tree.Hold("ttyS1");
    CPortSetupDlg dialog(nullptr, tree.Roots());
    dialog.m_strPort = "ttyUSB0";
    dialog.m_strBaud = "115200";
    dialog.m_strDataBits = "8";
    dialog.m_strParity = "N";
    dialog.m_strStopBits = "1";
    dialog.m_strHandshake = "None";
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.grab().save(QDir(dir).filePath("port_setup_dialog.png")));
    dialog.hide();

    CMemorySettingsStore store;
    CRecordingPrompt prompt;
    CSerialWnd serial;
    CPortSettings settings;
    settings.SetPortName("ttyUSB0");
    CPortMenus menus(settings, store, serial, nullptr, prompt, {}, nullptr);
    menus.SetProbeRoots(tree.Roots());
    const auto list = menus.BuildPortListMenu();
    list->popup(QPoint(100, 100));
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    QVERIFY(list->grab().save(QDir(dir).filePath("port_list_menu.png")));
    list->hide();
    const auto config = menus.BuildConfigMenu();
    config->popup(QPoint(100, 100));
    QVERIFY(QTest::qWaitForWindowExposed(config.get()));
    QVERIFY(config->grab().save(QDir(dir).filePath("port_config_menu.png")));
    config->hide();
}

QTEST_MAIN(PortGuiTest)
#include "port_gui_test.moc"
