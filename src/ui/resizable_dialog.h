#pragma once
// CResizableDialog: the base of the program's dialogs and of the program window pane. Children
// anchored with SetAnchor/SetAnchorById keep their distances to points of the client area when
// the dialog is resized; an optional size grip; an optional one-pixel flat frame for a dialog
// that sits inside a docking pane; and placement memory through the settings store (the six
// numbers text, stored when the dialog ends or is destroyed). GUI thread only; the dialog owns
// its anchor map, the anchored children are owned by Qt's parent chain.
//
// Use as a top-level dialog: CResizableDialog(parent). As a pane: CResizableDialog(parent,
// CResizableDialog::Child), then SetPaneFrame(true) (a dock's setWidget makes it a child too). Anchor after the children have their initial geometry
// and the dialog its initial size (for example at the end of the constructor after resize()).

#include "ui/anchor_record.h"
#include "ui/window_placement.h"

#include <QDialog>
#include <QHash>
#include <QPointer>

#include <string>

class ISettingsStore;

class CResizableDialog : public QDialog {
    Q_OBJECT
public:
    enum EStyle { Popup, Child };
    explicit CResizableDialog(QWidget* parent = nullptr, EStyle style = Popup);
    ~CResizableDialog() override;

    // Gives a child its dialog identifier (a Qt property), so SetAnchorById and ControlById find it.
    static void SetControlId(QWidget* control, int id);
    static int ControlId(const QWidget* control);
    QWidget* ControlById(int id) const;

    virtual bool SetAnchor(QWidget* child, CAnchorPoint topLeft, CAnchorPoint bottomRight = ANCHOR_NONE);
    bool SetAnchorById(int id, CAnchorPoint topLeft, CAnchorPoint bottomRight = ANCHOR_NONE);
    // Places every anchored child for a client area of cx x cy; negative: the current size.
    virtual void LayoutAnchors(int cx = -1, int cy = -1);
    int AnchorCount() const { return static_cast<int>(m_anchors.size()); }
    const AnchorRecord* AnchorOf(QWidget* child) const;

    void ShowGrip(bool visible);
    bool IsGripVisible() const { return m_bGripVisible; }

    // A one-pixel flat frame around the client area (non-client ring of a pane dialog).
    void SetPaneFrame(bool framed);
    bool HasPaneFrame() const { return m_bPaneFrame; }
    // The client area in widget coordinates: the whole widget, or inside the frame.
    QRect ClientRect() const;

    // Placement memory: key under "Settings" in store; applies a stored placement at once.
    void EnablePlacementMemory(ISettingsStore& store, const std::string& key, bool forceHide);
    bool IsPlacementMemoryEnabled() const { return m_pPlacementStore != nullptr; }
    virtual void RestorePlacement(bool forceHide);
    virtual void StorePlacement();
    // The placement as the stored text carries it; SetPlacement applies one.
    CWindowPlacement GetPlacement() const;
    void SetPlacement(const CWindowPlacement& placement);

    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct CAnchorEntry {
        QPointer<QWidget> m_pChild;
        AnchorRecord m_record;
    };
    void ApplyGrip();

    QHash<QWidget*, CAnchorEntry> m_anchors;
    bool m_bGripVisible = true;
    bool m_bPaneFrame = false;
    ISettingsStore* m_pPlacementStore = nullptr;
    std::string m_strPlacementKey;
    bool m_bPlacementStored = false;
};
