#pragma once
// Whether a dialog shows all of its texts: it is built with the application's font scaled, shown
// at the size it takes by itself, and every label, check box and button is measured against the
// width its text needs. GUI thread only; header-only, for the Qt tests (which link Qt Widgets).

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <QtTest>

#include <functional>
#include <memory>

struct CTextFit {
    // "text: shown N of M pixels" for each text cut off; empty when all show in full.
    QStringList m_cut;
    // The dialog could be made larger and smaller than it opened.
    bool m_bResizable = false;
};

inline CTextFit CheckTextFit(const std::function<std::unique_ptr<QDialog>()>& make, double scale)
{
    const QFont saved = QApplication::font();
    QFont scaled = saved;
    scaled.setPointSizeF(saved.pointSizeF() * scale);
    QApplication::setFont(scaled);
    CTextFit fit;
    {
        std::unique_ptr<QDialog> dialog = make();
        dialog->show();
        if (QTest::qWaitForWindowExposed(dialog.get())) {
            auto check = [&](QWidget* w, const QString& text, int needed) {
                if (w->isVisible() && w->width() < needed)
                    fit.m_cut << QStringLiteral("%1: shown %2 of %3 pixels").arg(text).arg(w->width()).arg(needed);
            };
            // Labels and check boxes need their size hint; a push button its text (its hint
            // holds the style's minimum width, which a "..." button may go below).
            for (QLabel* label : dialog->findChildren<QLabel*>())
                check(label, label->text(), label->sizeHint().width());
            for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
                QString shown = button->text();
                shown.remove(QLatin1Char('&'));
                const bool push = button->inherits("QPushButton");
                check(button, button->text(),
                      push ? button->fontMetrics().horizontalAdvance(shown) + 4 : button->sizeHint().width());
            }
            const QSize opened = dialog->size();
            dialog->resize(opened + QSize(120, 60));
            QCoreApplication::processEvents();
            fit.m_bResizable = dialog->size() == opened + QSize(120, 60) && dialog->minimumSize() != dialog->maximumSize();
        }
    }
    QApplication::setFont(saved);
    return fit;
}
