#include "ui/resizable_dialog.h"

#include "base/settings_store.h"
#include "ui/flat_frame.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QVariant>

#include <vector>

namespace {
constexpr const char* kControlIdProperty = "qxControlId";

CAnchorRect ToAnchorRect(const QRect& rect)
{
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}
} // namespace

CResizableDialog::CResizableDialog(QWidget* parent, EStyle style) : QDialog(parent)
{
    // QDialog always makes a window; a pane is turned into a plain child afterwards.
    if (style == Child)
        setWindowFlags(Qt::Widget);
    ApplyGrip();
}

CResizableDialog::~CResizableDialog()
{
    // A dialog destroyed while shown (its owner went away) still keeps its placement.
    if (!m_bPlacementStored && isVisible())
        StorePlacement();
}

void CResizableDialog::SetControlId(QWidget* control, int id)
{
    if (control)
        control->setProperty(kControlIdProperty, id);
}

int CResizableDialog::ControlId(const QWidget* control)
{
    const QVariant id = control ? control->property(kControlIdProperty) : QVariant();
    return id.isValid() ? id.toInt() : -1;
}

QWidget* CResizableDialog::ControlById(int id) const
{
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        const QVariant value = child->property(kControlIdProperty);
        if (value.isValid() && value.toInt() == id)
            return child;
    }
    return nullptr;
}

bool CResizableDialog::SetAnchor(QWidget* child, CAnchorPoint topLeft, CAnchorPoint bottomRight)
{
    if (topLeft == ANCHOR_NONE || !child || child == this || !isAncestorOf(child))
        return false;
    const QRect client = ClientRect();
    // The child's rectangle in client coordinates, even when it sits inside a nested widget.
    QRect rect(child->mapTo(this, QPoint(0, 0)), child->size());
    rect.translate(-client.topLeft());
    const auto record = AnchorRecord::Make(topLeft, bottomRight, client.width(), client.height(),
                                           ToAnchorRect(rect));
    if (!record)
        return false;
    m_anchors.insert(child, CAnchorEntry{child, *record});
    return true;
}

bool CResizableDialog::SetAnchorById(int id, CAnchorPoint topLeft, CAnchorPoint bottomRight)
{
    if (topLeft == ANCHOR_NONE)
        return false;
    QWidget* child = ControlById(id);
    if (!child)
        return false;
    return SetAnchor(child, topLeft, bottomRight);
}

const AnchorRecord* CResizableDialog::AnchorOf(QWidget* child) const
{
    const auto it = m_anchors.constFind(child);
    return it == m_anchors.constEnd() ? nullptr : &it->m_record;
}

void CResizableDialog::LayoutAnchors(int cx, int cy)
{
    const QRect client = ClientRect();
    if (cx < 0 || cy < 0) {
        cx = client.width();
        cy = client.height();
    }
    if (m_anchors.isEmpty())
        return;

    // All moves as one batch: one repaint of the dialog instead of one per control.
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    std::vector<QWidget*> gone;
    for (auto it = m_anchors.begin(); it != m_anchors.end(); ++it) {
        QWidget* child = it->m_pChild.data();
        if (!child) {
            gone.push_back(it.key());
            continue;
        }
        const CAnchorRect target = it->m_record.Layout(cx, cy);
        QRect rect(target.left, target.top, target.Width(), target.Height());
        rect.translate(client.topLeft());
        // Anchors are kept in dialog coordinates; a child inside a nested widget is placed in
        // its parent's coordinates.
        if (QWidget* parent = child->parentWidget(); parent && parent != this)
            rect.moveTopLeft(parent->mapFrom(this, rect.topLeft()));
        child->setGeometry(rect);
    }
    setUpdatesEnabled(updates);
    for (QWidget* key : gone)
        m_anchors.remove(key);
}

void CResizableDialog::ShowGrip(bool visible)
{
    if (m_bGripVisible == visible)
        return;
    m_bGripVisible = visible;
    ApplyGrip();
}

void CResizableDialog::ApplyGrip()
{
    // A grip only makes sense on a window of its own; a pane is sized by its dock.
    setSizeGripEnabled(m_bGripVisible && isWindow());
}

void CResizableDialog::SetPaneFrame(bool framed)
{
    if (m_bPaneFrame == framed)
        return;
    m_bPaneFrame = framed;
    update();
    LayoutAnchors();
}

QRect CResizableDialog::ClientRect() const
{
    return m_bPaneFrame ? FlatFrameClient(rect()) : rect();
}

void CResizableDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const QRect client = ClientRect();
    LayoutAnchors(client.width(), client.height());
}

void CResizableDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!m_bPaneFrame)
        return;
    QPainter painter(this);
    PaintFlatFrame(painter, rect(), palette());
}

void CResizableDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ParentChange)
        ApplyGrip();
}

void CResizableDialog::keyPressEvent(QKeyEvent* event)
{
    // A pane is not ended by Escape: it would vanish from its dock.
    if (!isWindow() && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CResizableDialog::EnablePlacementMemory(ISettingsStore& store, const std::string& key, bool forceHide)
{
    m_pPlacementStore = &store;
    m_strPlacementKey = key;
    m_bPlacementStored = false;
    RestorePlacement(forceHide);
}

void CResizableDialog::RestorePlacement(bool forceHide)
{
    if (!m_pPlacementStore)
        return;
    const std::string text = m_pPlacementStore->ReadString(m_strPlacementKey, {});
    if (text.empty())
        return;
    if (auto placement = CWindowPlacement::Parse(text)) {
        if (forceHide)
            placement->m_nShowCmd = kShowHide;
        SetPlacement(*placement);
    }
    update();
}

void CResizableDialog::StorePlacement()
{
    if (!m_pPlacementStore)
        return;
    m_pPlacementStore->WriteString(m_strPlacementKey, GetPlacement().Format());
    m_bPlacementStored = true;
}

CWindowPlacement CResizableDialog::GetPlacement() const
{
    // The normal rectangle: the restored geometry in screen coordinates, exclusive corner.
    const QRect normal = (isMaximized() || isMinimized()) && normalGeometry().isValid()
                             ? normalGeometry()
                             : geometry();
    QRect screenRect = normal;
    if (!isWindow() && parentWidget())
        screenRect.moveTopLeft(parentWidget()->mapToGlobal(normal.topLeft()));
    CWindowPlacement placement;
    placement.m_nLeft = screenRect.left();
    placement.m_nTop = screenRect.top();
    placement.m_nRight = screenRect.left() + screenRect.width();
    placement.m_nBottom = screenRect.top() + screenRect.height();
    if (!isVisible())
        placement.m_nShowCmd = kShowHide;
    else if (isMinimized())
        placement.m_nShowCmd = kShowMinimized;
    else if (isMaximized())
        placement.m_nShowCmd = kShowMaximized;
    else
        placement.m_nShowCmd = kShowNormal;
    placement.m_nFlags = isMinimized() && (windowState() & Qt::WindowMaximized) ? kRestoreToMaximized : 0;
    return placement;
}

void CResizableDialog::SetPlacement(const CWindowPlacement& placement)
{
    // Applied as stored, without range tests: a rectangle off every screen stays off screen.
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    QRect rect(placement.m_nLeft, placement.m_nTop, placement.m_nRight - placement.m_nLeft,
               placement.m_nBottom - placement.m_nTop);
    if (!isWindow() && parentWidget())
        rect.moveTopLeft(parentWidget()->mapFromGlobal(rect.topLeft()));
    setGeometry(rect);
    switch (placement.m_nShowCmd) {
    case kShowHide:
        hide();
        break;
    case kShowMinimized:
        setWindowState(windowState() | Qt::WindowMinimized);
        break;
    case kShowMaximized:
        setWindowState(windowState() | Qt::WindowMaximized);
        break;
    default:
        break;
    }
}

void CResizableDialog::done(int result)
{
    // The dialog's window goes away here in the original design; the placement is taken while
    // the dialog is still shown.
    if (m_pPlacementStore)
        StorePlacement();
    QDialog::done(result);
}
