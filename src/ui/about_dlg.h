#pragma once
// CAboutDlg: the about box (dialog 100): the program's name and version, a notice line, OK,
// and a link that opens the maker's web site in the desktop's browser. It reopens where it was
// last closed ("AboutDlgPosition"). GUI thread only; created and destroyed for each showing.
//
//   CAboutDlg about(store, mainWindow);  // command 57664
//   about.exec();
//   OpenMakerWebSite();                  // command 32795 and a click on the link

#include "ui/resizable_dialog.h"

class QLabel;
class QPushButton;
class ISettingsStore;

// The maker's web address (a reserved example domain).
inline constexpr const char* kMakerWebAddress = "https://www.example.com/quillorex";

// Opens kMakerWebAddress with the desktop's default browser; the result is not checked.
void OpenMakerWebSite();

class CAboutDlg : public CResizableDialog {
    Q_OBJECT
public:
    enum { IDD = 100, IDC_LINK = 1013 };

    explicit CAboutDlg(ISettingsStore& store, QWidget* parent = nullptr);

    QLabel* LinkLabel() const { return m_wndLink; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_wndLink = nullptr;
    QPushButton* m_wndOK = nullptr;
};
