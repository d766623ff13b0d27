#include "terminal/command_line.h"

#include "terminal/command_history.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>

namespace {
// One character per byte, as the terminal's keys are.
std::string Latin1(const QString& text)
{
    return text.toLatin1().toStdString();
}
} // namespace

CCommandLine::CCommandLine(CCommandHistory& history, QWidget* parent) : QWidget(parent), m_history(history)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    m_pEdit = new QLineEdit(this);
    m_pEdit->setObjectName(QStringLiteral("CommandLineEdit"));
    m_pEdit->setPlaceholderText(tr("Command line: Enter sends, Up/Down history, Ctrl+R search"));
    m_pEdit->setClearButtonEnabled(false);
    m_pEdit->installEventFilter(this);
    m_pEscapes = new QCheckBox(tr("Escapes"), this);
    m_pEscapes->setObjectName(QStringLiteral("CommandLineEscapes"));
    m_pEscapes->setToolTip(tr("Read \\xHH, \\r, \\n, \\t and \\\\ in the line as the bytes they stand for"));
    layout->addWidget(m_pEdit, 1);
    layout->addWidget(m_pEscapes);
    setFocusProxy(m_pEdit);
    connect(m_pEscapes, &QCheckBox::toggled, this, &CCommandLine::escapesToggled);
    // Typing ends a walk or a search: Up starts again from the newest line.
    connect(m_pEdit, &QLineEdit::textEdited, this, [this] {
        if (m_bSettingText)
            return;
        m_history.ResetCursor();
        m_strSearch.clear();
    });
    connect(m_pEdit, &QLineEdit::returnPressed, this, [this] { emit lineEntered(m_pEdit->text()); });
}

void CCommandLine::SetEscapes(bool on)
{
    m_pEscapes->setChecked(on);
}

bool CCommandLine::Escapes() const
{
    return m_pEscapes->isChecked();
}

void CCommandLine::Sent()
{
    m_bSettingText = true;
    m_pEdit->clear();
    m_bSettingText = false;
    m_history.ResetCursor();
    m_strSearch.clear();
}

void CCommandLine::Show(const std::optional<std::string>& line)
{
    if (!line)
        return;
    m_bSettingText = true;
    m_pEdit->setText(QString::fromLatin1(line->data(), static_cast<qsizetype>(line->size())));
    m_bSettingText = false;
}

bool CCommandLine::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_pEdit || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier && key->key() == Qt::Key_Up) {
        m_strSearch.clear();
        Show(m_history.Older(Latin1(m_pEdit->text())));
        return true;
    }
    if (mods == Qt::NoModifier && key->key() == Qt::Key_Down) {
        m_strSearch.clear();
        Show(m_history.Newer());
        return true;
    }
    if (mods == Qt::ControlModifier && key->key() == Qt::Key_R) {
        // The first Ctrl+R looks for what is typed; each further one for the same, further back.
        if (m_strSearch.isEmpty())
            m_strSearch = m_pEdit->text();
        if (m_strSearch.isEmpty())
            return true;
        const std::optional<std::string> found = m_history.SearchOlder(Latin1(m_strSearch), Latin1(m_pEdit->text()));
        if (found)
            Show(found);
        else
            emit statusMessage(tr("No earlier command line holds \"%1\"").arg(m_strSearch));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
