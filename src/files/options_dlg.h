#pragma once
// COptionsDlg: the modal "Options" dialog over the ten tool settings (the six tool keys, the
// three board commands and the Intel HEX check). The settings are copied in, edited, and copied back and written to the
// store only on OK (OnOptions); Cancel changes nothing. GUI thread only.

#include "base/settings_store.h"
#include "files/tool_settings.h"
#include "programming/board_commands.h"
#include "ui/resizable_dialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What the dialog edits: the tool settings and the board commands.
struct COptionsValues : CToolSettingsValues, CBoardCommandValues {
    bool operator==(const COptionsValues&) const = default;
};

class COptionsDlg : public CResizableDialog {
    Q_OBJECT
public:
    // Control identifiers of the template.
    enum {
        IDC_BUILDER = 1002, IDC_DEBUGGER = 1003, IDC_EDITOR = 1004,
        IDC_BROWSE_BUILDER = 1005, IDC_BROWSE_DEBUGGER = 1006, IDC_BROWSE_EDITOR = 1007,
        IDC_USE_ASSOC = 1008, IDC_REMOVE_EXT = 1009, IDC_CHANGE_DIR = 1010, IDC_USE_PGM_CMD = 1011,
        IDC_PROGRAM_CMD = 1017, IDC_CMD_AFTER = 1018, IDC_PROGRAM_CMD_LABEL = 1019, IDC_CMD_AFTER_LABEL = 1020,
        IDC_CHECK_HEX = 1021,
        IDC_OK = 1, IDC_CANCEL = 2
    };

    explicit COptionsDlg(const COptionsValues& values, QWidget* parent = nullptr);

    // Runs the dialog on the settings; on OK copies the values back and writes all ten keys.
    // True on OK.
    static bool OnOptions(QWidget* parent, CToolSettings& settings, CBoardCommands& commands, ISettingsStore& store);

    // The members (after OK: what the controls held).
    const COptionsValues& Values() const { return m_values; }

    // Reads the controls into the members (true) or shows the members in the controls (false).
    void UpdateData(bool save);
    void OnUseProgramCommands();
    void OnBrowse(int id);

    void done(int result) override;

protected:
    // The open-file dialog for an executable; empty when cancelled. Tests replace it.
    virtual QString ChooseExecutable();

private:
    COptionsValues m_values;
    QLineEdit* m_pBuilder;
    QLineEdit* m_pDebugger;
    QLineEdit* m_pEditor;
    QLineEdit* m_pProgramCmd;
    QLineEdit* m_pCmdAfter;
    QCheckBox* m_pUseAssoc;
    QCheckBox* m_pRemoveExt;
    QCheckBox* m_pChangeDir;
    QCheckBox* m_pUsePgmCmd;
    QCheckBox* m_pCheckHex;
    QLabel* m_pProgramCmdLabel;
    QLabel* m_pCmdAfterLabel;
};
