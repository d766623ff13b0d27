#pragma once
// CPortSetupDlg: the Port Setup dialog (dialog 132). Six combo boxes edit six texts; the
// caller copies the port settings in before and normalises what comes out after OK; the dialog
// checks only a typed baud rate (a whole number in the range a line can be asked for). The port box is editable and lists the ports probed at opening,
// each with its description and, for a port the user may not open, why; the value kept is
// always the port's name (or whatever was typed). GUI thread only; created for one run.

#include "port/com_port_probe.h"
#include "ui/resizable_dialog.h"

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class CPortSetupDlg : public CResizableDialog {
    Q_OBJECT
public:
    enum {
        IDD = 132,
        IDC_PORT = 1009,
        IDC_BAUD = 1010,
        IDC_DATABITS = 1011,
        IDC_PARITY = 1012,
        IDC_STOPBITS = 1013,
        IDC_HANDSHAKE = 1014,
        IDC_RECONNECT = 1015,
    };

    explicit CPortSetupDlg(QWidget* parent = nullptr, CProbeRoots roots = {});

    // Fills the port list by probing and pre-selects every box from the six texts; runs when
    // the dialog is shown (exec or open) if not called before.
    void InitDialog();
    // Copies the window text of one box into its member (a selection change).
    void OnSelChange(int id);

    QComboBox* Combo(int id) const;
    QCheckBox* ReconnectBox() const { return m_wndReconnect; }
    // Says why a typed rate was refused (hidden until then).
    QLabel* BaudError() const { return m_wndBaudError; }
    // The probed ports as listed, in order.
    const std::vector<CComPortInfo>& ProbedPorts() const { return m_ports; }

    void accept() override;

    std::string m_strPort;
    std::string m_strBaud;
    std::string m_strDataBits;
    std::string m_strParity;
    std::string m_strStopBits;
    std::string m_strHandshake;
    // "Reconnect when the device comes back": the check box's state.
    bool m_bReconnect = true;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The box's item that the text selects: the first whose text begins with it, ignoring case.
    static int FindPrefix(const QComboBox* combo, const std::string& text);
    QComboBox* AddCombo(int id, const char* label, const QStringList& items, int row);
    void SelectPort();

    CProbeRoots m_roots;
    std::vector<CComPortInfo> m_ports;
    bool m_bInitialised = false;
    QComboBox* m_wndPort = nullptr;
    QComboBox* m_wndBaud = nullptr;
    QComboBox* m_wndDataBits = nullptr;
    QComboBox* m_wndParity = nullptr;
    QComboBox* m_wndStopBits = nullptr;
    QComboBox* m_wndHandshake = nullptr;
    QCheckBox* m_wndReconnect = nullptr;
    QLabel* m_wndBaudError = nullptr;
    QPushButton* m_wndOK = nullptr;
    QPushButton* m_wndCancel = nullptr;
    class QGridLayout* m_pGrid = nullptr;
};
