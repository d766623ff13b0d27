#pragma once
// CCommandLine: the line under the terminal where a whole command is typed and edited before it
// goes: Enter hands it on (lineEntered), Up / Down walk the history, Ctrl+R finds the next older
// line holding what is typed, and the "Escapes" box says whether \xHH, \r, \n, \t and \\ are
// read. It only edits; the terminal controller sends, keeps the history and clears the line once
// it went. GUI thread only; the history outlives the widget.

#include <QWidget>

#include <optional>
#include <string>

class CCommandHistory;
class QCheckBox;
class QLineEdit;

class CCommandLine : public QWidget {
    Q_OBJECT
public:
    CCommandLine(CCommandHistory& history, QWidget* parent = nullptr);

    QLineEdit& Edit() { return *m_pEdit; }
    QCheckBox& EscapesBox() { return *m_pEscapes; }
    void SetEscapes(bool on);
    bool Escapes() const;
    // The line went: it is emptied and the history walk starts again from the end.
    void Sent();

signals:
    void lineEntered(const QString& text);
    void escapesToggled(bool on);
    // A short notice for the status bar (a search that found nothing).
    void statusMessage(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Show(const std::optional<std::string>& line);

    CCommandHistory& m_history;
    QLineEdit* m_pEdit = nullptr;
    QCheckBox* m_pEscapes = nullptr;
    // The text a run of Ctrl+R looks for (empty: no search under way).
    QString m_strSearch;
    bool m_bSettingText = false;
};
