#include "files/options_dlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
QString FromBytes(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
} // namespace

COptionsDlg::COptionsDlg(const COptionsValues& values, QWidget* parent)
    : CResizableDialog(parent), m_values(values)
{
    setWindowTitle(QStringLiteral("Options"));
    // The template's order and texts in Qt layouts: every text gets the width it needs at any
    // font size, and the dialog can be made larger (the fields take the width).
    auto named = [](QWidget* w, int id) {
        if (id != 0) {
            SetControlId(w, id);
            w->setObjectName(QString::number(id));
        }
        return w;
    };
    auto label = [&](const char* text, int id) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        named(l, id);
        return l;
    };
    auto edit = [&](int id) {
        auto* e = new QLineEdit(this);
        named(e, id);
        return e;
    };
    auto check = [&](const char* text, int id) {
        auto* c = new QCheckBox(QString::fromLatin1(text), this);
        named(c, id);
        return c;
    };
    auto button = [&](const char* text, int id) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        named(b, id);
        return b;
    };
    // The browse buttons are as narrow as their three dots allow.
    auto browse = [&](int id) {
        QPushButton* b = button("...", id);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        b->setFixedWidth(qMax(b->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16,
                              b->fontMetrics().height() + 8));
        return b;
    };

    QLabel* builderLabel = label("&Builder:", 0);
    m_pBuilder = edit(IDC_BUILDER);
    QPushButton* browseBuilder = browse(IDC_BROWSE_BUILDER);
    m_pRemoveExt = check("&Remove extension", IDC_REMOVE_EXT);
    m_pChangeDir = check("Change &working directory to target files'", IDC_CHANGE_DIR);
    QLabel* debuggerLabel = label("&Debugger:", 0);
    m_pDebugger = edit(IDC_DEBUGGER);
    QPushButton* browseDebugger = browse(IDC_BROWSE_DEBUGGER);
    QLabel* editorLabel = label("&Editor:", 0);
    m_pEditor = edit(IDC_EDITOR);
    m_pEditor->setPlaceholderText(QStringLiteral("the desktop's text editor"));
    QPushButton* browseEditor = browse(IDC_BROWSE_EDITOR);
    m_pUseAssoc = check("Use &system associated application first", IDC_USE_ASSOC);
    m_pUsePgmCmd = check("&Use Quillorex program commands", IDC_USE_PGM_CMD);
    m_pProgramCmdLabel = label("&Program download command (default: L):", IDC_PROGRAM_CMD_LABEL);
    m_pProgramCmd = edit(IDC_PROGRAM_CMD);
    m_pCmdAfterLabel = label("&Command after program finished (default: R):", IDC_CMD_AFTER_LABEL);
    m_pCmdAfter = edit(IDC_CMD_AFTER);
    m_pCheckHex = check("Check &Intel HEX files before programming", IDC_CHECK_HEX);
    QPushButton* ok = button("OK", IDC_OK);
    QPushButton* cancel = button("Cancel", IDC_CANCEL);
    // A command is a letter or a short word: room for about ten characters.
    for (QLineEdit* e : {m_pProgramCmd, m_pCmdAfter})
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 10);

    auto* tools = new QGridLayout;
    tools->setColumnStretch(1, 1);
    tools->addWidget(builderLabel, 0, 0);
    tools->addWidget(m_pBuilder, 0, 1);
    tools->addWidget(browseBuilder, 0, 2);
    tools->addWidget(m_pRemoveExt, 1, 1, 1, 2);
    tools->addWidget(m_pChangeDir, 2, 1, 1, 2);
    tools->addWidget(debuggerLabel, 3, 0);
    tools->addWidget(m_pDebugger, 3, 1);
    tools->addWidget(browseDebugger, 3, 2);
    tools->addWidget(editorLabel, 4, 0);
    tools->addWidget(m_pEditor, 4, 1);
    tools->addWidget(browseEditor, 4, 2);
    tools->addWidget(m_pUseAssoc, 5, 1, 1, 2);

    // The two commands sit indented under their check box.
    auto* commands = new QGridLayout;
    commands->setContentsMargins(style()->pixelMetric(QStyle::PM_IndicatorWidth) + 6, 0, 0, 0);
    commands->setColumnStretch(1, 1);
    commands->addWidget(m_pProgramCmdLabel, 0, 0);
    commands->addWidget(m_pProgramCmd, 0, 1);
    commands->addWidget(m_pCmdAfterLabel, 1, 0);
    commands->addWidget(m_pCmdAfter, 1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addSpacing(6);
    layout->addWidget(m_pUsePgmCmd);
    layout->addLayout(commands);
    layout->addSpacing(6);
    layout->addWidget(m_pCheckHex);
    layout->addStretch(1);
    layout->addLayout(buttons);

    builderLabel->setBuddy(m_pBuilder);
    debuggerLabel->setBuddy(m_pDebugger);
    editorLabel->setBuddy(m_pEditor);
    m_pProgramCmdLabel->setBuddy(m_pProgramCmd);
    m_pCmdAfterLabel->setBuddy(m_pCmdAfter);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    for (QPushButton* b : {browseBuilder, browseDebugger, browseEditor, cancel})
        b->setAutoDefault(false);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(browseBuilder, &QPushButton::clicked, this, [this] { OnBrowse(IDC_BROWSE_BUILDER); });
    connect(browseDebugger, &QPushButton::clicked, this, [this] { OnBrowse(IDC_BROWSE_DEBUGGER); });
    connect(browseEditor, &QPushButton::clicked, this, [this] { OnBrowse(IDC_BROWSE_EDITOR); });
    connect(m_pUsePgmCmd, &QCheckBox::clicked, this, &COptionsDlg::OnUseProgramCommands);

    ShowGrip(true);
    UpdateData(false);
    OnUseProgramCommands();
}

void COptionsDlg::UpdateData(bool save)
{
    struct Text {
        QLineEdit* m_pEdit;
        std::string* m_pValue;
    } texts[] = {
        {m_pBuilder, &m_values.m_strBuilder}, {m_pDebugger, &m_values.m_strDebugger},
        {m_pEditor, &m_values.m_strEditor},   {m_pProgramCmd, &m_values.m_strProgramCmd},
        {m_pCmdAfter, &m_values.m_strCmdAfterProgram},
    };
    struct Flag {
        QCheckBox* m_pCheck;
        bool* m_pValue;
    } flags[] = {
        {m_pUseAssoc, &m_values.m_bUseAssocApp},
        {m_pRemoveExt, &m_values.m_bRemoveExtension},
        {m_pChangeDir, &m_values.m_bChangeWorkingDir},
        {m_pUsePgmCmd, &m_values.m_bUsePrePostPgmCmd},
    };
    for (const Text& t : texts) {
        if (save)
            *t.m_pValue = ToBytes(t.m_pEdit->text());
        else
            t.m_pEdit->setText(FromBytes(*t.m_pValue));
    }
    for (const Flag& f : flags) {
        if (save)
            *f.m_pValue = f.m_pCheck->isChecked();
        else
            f.m_pCheck->setChecked(*f.m_pValue);
    }
    if (save)
        m_values.m_bCheckHexFile = m_pCheckHex->isChecked() ? 1 : 0;
    else
        m_pCheckHex->setChecked(m_values.m_bCheckHexFile != 0);
}

void COptionsDlg::OnUseProgramCommands()
{
    UpdateData(true);
    const bool on = m_values.m_bUsePrePostPgmCmd != 0;
    for (QWidget* w : {static_cast<QWidget*>(m_pProgramCmdLabel), static_cast<QWidget*>(m_pCmdAfterLabel),
                       static_cast<QWidget*>(m_pProgramCmd), static_cast<QWidget*>(m_pCmdAfter)})
        w->setEnabled(on);
}

QString COptionsDlg::ChooseExecutable()
{
    // Executables here have no extension, so all files come first.
    const QStringList filters = {
        QStringLiteral("All Files (*)"),
        QStringLiteral("All Executables (*.exe *.bat)"),
        QStringLiteral("Executable Files (*.exe)"),
        QStringLiteral("Batch Files (*.bat)"),
    };
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void COptionsDlg::OnBrowse(int id)
{
    QString path = ChooseExecutable();
    if (path.isEmpty())
        return;
    UpdateData(true);
    std::string chosen = ToBytes(path);
    switch (id) {
    case IDC_BROWSE_BUILDER: m_values.m_strBuilder = chosen; break;
    case IDC_BROWSE_DEBUGGER: m_values.m_strDebugger = chosen; break;
    case IDC_BROWSE_EDITOR: m_values.m_strEditor = chosen; break;
    default: break;
    }
    UpdateData(false);
}

void COptionsDlg::done(int result)
{
    if (result == QDialog::Accepted)
        UpdateData(true);
    CResizableDialog::done(result);
}

bool COptionsDlg::OnOptions(QWidget* parent, CToolSettings& settings, CBoardCommands& commands, ISettingsStore& store)
{
    COptionsValues values;
    static_cast<CToolSettingsValues&>(values) = settings.Get();
    static_cast<CBoardCommandValues&>(values) = commands.Get();
    COptionsDlg dialog(values, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings.Set(dialog.Values());
    commands.Set(dialog.Values());
    // The tool keys first, then the board commands: the stored order of the ten keys.
    settings.SaveToolSettings(store);
    commands.SaveBoardCommands(store);
    return true;
}
