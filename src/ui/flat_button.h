#pragma once
// CFlatButton: a push button with the flat look of the pane controls: a face in the button
// colour, a one-pixel ring, a lighter face under the mouse and a darker one while pressed.
// Behaves as a QPushButton in every other way. GUI thread only.

#include <QPushButton>

class CFlatButton : public QPushButton {
    Q_OBJECT
public:
    explicit CFlatButton(const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
