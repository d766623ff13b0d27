#include "programming/program_dlg.h"

#include "base/commands.h"
#include "ui/percent_progress_ctrl.h"

#include <QLabel>
#include <QPainter>
#include <QKeyEvent>
#include <QPushButton>

namespace {
// The pane's template in dialog units: x, y, width, height.
struct CDlgRect {
    int x, y, cx, cy;
};
constexpr CDlgRect kDialog{0, 0, 240, 57};
constexpr CDlgRect kLabel{6, 9, 30, 8};
constexpr CDlgRect kProgress{43, 6, 131, 14};
constexpr CDlgRect kButton{181, 6, 50, 14};
constexpr CDlgRect kFigures{6, 26, 225, 10};
} // namespace

CProgramDlg::CProgramDlg(QWidget* parent) : CResizableDialog(parent, CResizableDialog::Child)
{
    // Dialog units from the font's average character width and height, as dialog templates
    // are laid out.
    const QFontMetrics fm(font());
    const int baseX = qMax(1, fm.horizontalAdvance(
                                  QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52);
    const int baseY = qMax(1, fm.height());
    auto toPixels = [&](const CDlgRect& r) {
        return QRect((r.x * baseX + 2) / 4, (r.y * baseY + 4) / 8, (r.cx * baseX + 2) / 4, (r.cy * baseY + 4) / 8);
    };

    auto* label = new QLabel(QStringLiteral("Progress"), this);
    label->setGeometry(toPixels(kLabel).adjusted(0, -2, 0, 2));

    m_wndProgress = new CPercentProgressCtrl(this);
    m_wndProgress->SetCaption(QString());
    m_wndProgress->setGeometry(toPixels(kProgress));
    SetControlId(m_wndProgress, IDC_PROGRESS);

    m_btnProgram = new QPushButton(QStringLiteral("Program"), this);
    m_btnProgram->setGeometry(toPixels(kButton));
    m_btnProgram->setFocusPolicy(Qt::TabFocus);
    // A flat button: the ring around it is painted by the pane.
    m_btnProgram->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; background: palette(button); padding: 0px 6px; }"
        "QPushButton:hover { background: palette(light); }"
        "QPushButton:pressed { background: palette(mid); }"
        "QPushButton:disabled { color: palette(mid); }"));
    SetControlId(m_btnProgram, IDC_PROGRAM);
    connect(m_btnProgram, &QPushButton::clicked, this, [this] { emit commandIssued(cmd::ID_TOOLS_PROGRAM); });

    m_wndFigures = new QLabel(this);
    m_wndFigures->setGeometry(toPixels(kFigures));
    m_wndFigures->setObjectName(QStringLiteral("Figures"));
    SetControlId(m_wndFigures, IDC_FIGURES);

    SetPaneFrame(true);
    const QRect dialog = toPixels(kDialog);
    resize(dialog.size());
    // However small the window, the bar and the figures stay in view (a pane squeezed to nothing
    // would not come back when the window grows again).
    setMinimumSize(0, toPixels(kFigures).bottom() + 4);
    SetAnchorById(IDC_PROGRESS, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT);
    SetAnchorById(IDC_PROGRAM, ANCHOR_TOP_RIGHT, ANCHOR_NONE);
    SetAnchorById(IDC_FIGURES, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT);
}

void CProgramDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape anywhere in the pane stops a running download (the frame ignores it otherwise)
    // instead of closing the pane as a dialog would.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        emit commandIssued(cmd::ID_TOOLS_STOP_PROGRAMMING);
        event->accept();
        return;
    }
    CResizableDialog::keyPressEvent(event);
}

void CProgramDlg::paintEvent(QPaintEvent* event)
{
    CResizableDialog::paintEvent(event);
    // One-pixel flat rings around the bar and the button, just outside their client areas.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(Qt::NoBrush);
    for (QWidget* control : {static_cast<QWidget*>(m_wndProgress), static_cast<QWidget*>(m_btnProgram)})
        painter.drawRect(control->geometry().adjusted(-1, -1, 0, 0));
}
