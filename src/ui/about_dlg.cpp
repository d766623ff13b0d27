#include "ui/about_dlg.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

void OpenMakerWebSite()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerWebAddress)));
}

CAboutDlg::CAboutDlg(ISettingsStore& store, QWidget* parent) : CResizableDialog(parent)
{
    setWindowTitle("About Quillorex Programmer");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    QIcon appIcon = QApplication::windowIcon();
    if (appIcon.isNull())
        appIcon = style()->standardIcon(QStyle::SP_ComputerIcon);
    icon->setPixmap(appIcon.pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* version = new QLabel("Quillorex Programmer Version 1.0", this);
    version->setTextFormat(Qt::PlainText);
    auto* notice = new QLabel("Copyright (C) Quillorex. All rights reserved.", this);
    notice->setTextFormat(Qt::PlainText);

    m_wndLink = new QLabel("Visit the Quillorex web site", this);
    m_wndLink->setTextFormat(Qt::PlainText);
    m_wndLink->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont linkFont = QApplication::font();
    linkFont.setUnderline(true);
    m_wndLink->setFont(linkFont);
    QPalette linkPalette = m_wndLink->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_wndLink->setPalette(linkPalette);
    m_wndLink->setCursor(Qt::PointingHandCursor);
    m_wndLink->setToolTip(QString::fromLatin1(kMakerWebAddress));
    m_wndLink->installEventFilter(this);
    SetControlId(m_wndLink, IDC_LINK);

    m_wndOK = new QPushButton("OK", this);
    m_wndOK->setDefault(true);
    SetControlId(m_wndOK, 1);
    connect(m_wndOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(16, 14, 12, 14);
    layout->setHorizontalSpacing(16);
    layout->setVerticalSpacing(8);
    layout->addWidget(icon, 0, 0, 3, 1);
    layout->addWidget(version, 0, 1);
    layout->addWidget(notice, 1, 1);
    layout->addWidget(m_wndLink, 2, 1);
    layout->addWidget(m_wndOK, 0, 2, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(3, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowGrip(false);
    EnablePlacementMemory(store, "AboutDlgPosition", false);
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_wndLink && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_wndLink->rect().contains(mouse->position().toPoint())) {
            OpenMakerWebSite();
            return true;
        }
    }
    return CResizableDialog::eventFilter(watched, event);
}
