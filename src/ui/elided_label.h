#pragma once
// CElidedLabel: a one-line label that, given less width than its text needs, shows the text's
// start with an ellipsis instead of cutting it; text() stays whole. It asks for its text's width
// and can go down to a few characters. GUI thread only.

#include <QLabel>

class CElidedLabel : public QLabel {
    Q_OBJECT
public:
    // Characters kept before the ellipsis at the narrowest.
    static constexpr int kMinChars = 4;

    explicit CElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);

    // The text does not fit the width it has now.
    bool IsElided() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int Margin() const;
};
