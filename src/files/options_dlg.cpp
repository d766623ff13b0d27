#include "files/options_dlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    // Dialog units of the template: a quarter of the average character width, an eighth of
    // the line height.
    const QFontMetrics fm(font());
    const double ux = fm.averageCharWidth() / 4.0;
    const double uy = fm.height() / 8.0;
    auto place = [&](QWidget* w, int id, int x, int y, int cx, int cy) {
        w->setGeometry(qRound(x * ux), qRound(y * uy), qRound(cx * ux), qRound(cy * uy));
        if (id != 0) {
            SetControlId(w, id);
            w->setObjectName(QString::number(id));
        }
    };
    auto label = [&](const char* text, int id, int x, int y, int cx, int cy) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        place(l, id, x, y, cx, cy);
        return l;
    };
    auto edit = [&](int id, int x, int y, int cx, int cy) {
        auto* e = new QLineEdit(this);
        place(e, id, x, y, cx, qMax(cy, 0));
        e->setMinimumHeight(0);
        return e;
    };
    auto check = [&](const char* text, int id, int x, int y, int cx, int cy) {
        auto* c = new QCheckBox(QString::fromLatin1(text), this);
        place(c, id, x, y, cx, cy);
        return c;
    };
    auto button = [&](const char* text, int id, int x, int y, int cx, int cy) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        place(b, id, x, y, cx, cy);
        return b;
    };

    QLabel* builderLabel = label("&Builder:", 0, 7, 9, 39, 8);
    m_pBuilder = edit(IDC_BUILDER, 50, 7, 160, 12);
    QPushButton* browseBuilder = button("...", IDC_BROWSE_BUILDER, 215, 7, 13, 12);
    m_pRemoveExt = check("&Remove extension", IDC_REMOVE_EXT, 50, 23, 75, 10);
    m_pChangeDir = check("Change &working directory to target files'", IDC_CHANGE_DIR, 50, 37, 146, 10);
    QLabel* debuggerLabel = label("&Debugger:", 0, 7, 53, 39, 8);
    m_pDebugger = edit(IDC_DEBUGGER, 50, 53, 160, 12);
    QPushButton* browseDebugger = button("...", IDC_BROWSE_DEBUGGER, 215, 53, 13, 12);
    QLabel* editorLabel = label("&Editor:", 0, 7, 73, 39, 8);
    m_pEditor = edit(IDC_EDITOR, 50, 69, 160, 12);
    m_pEditor->setPlaceholderText(QStringLiteral("the desktop's text editor"));
    QPushButton* browseEditor = button("...", IDC_BROWSE_EDITOR, 215, 69, 13, 12);
    m_pUseAssoc = check("Use &system associated application first", IDC_USE_ASSOC, 50, 85, 145, 10);
    m_pUsePgmCmd = check("&Use Quillorex program commands", IDC_USE_PGM_CMD, 16, 105, 129, 10);
    m_pProgramCmdLabel = label("&Program download command (default: L):", IDC_PROGRAM_CMD_LABEL, 26, 122, 140, 8);
    m_pProgramCmd = edit(IDC_PROGRAM_CMD, 171, 120, 20, 12);
    m_pCmdAfterLabel = label("&Command after program finished (default: R):", IDC_CMD_AFTER_LABEL, 26, 138, 140, 8);
    m_pCmdAfter = edit(IDC_CMD_AFTER, 171, 136, 20, 12);
    QPushButton* ok = button("OK", IDC_OK, 121, 166, 50, 14);
    QPushButton* cancel = button("Cancel", IDC_CANCEL, 178, 166, 50, 14);

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

    setFixedSize(qRound(235 * ux), qRound(187 * uy));
    ShowGrip(false);
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
        int* m_pValue;
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
            *f.m_pValue = f.m_pCheck->isChecked() ? 1 : 0;
        else
            f.m_pCheck->setChecked(*f.m_pValue != 0);
    }
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
    // The tool keys first, then the board commands: the stored order of the nine keys.
    settings.SaveToolSettings(store);
    commands.SaveBoardCommands(store);
    return true;
}
