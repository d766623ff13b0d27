#include "app/frame_bars.h"

#include "app/command_table.h"
#include "app/dock_layout.h"
#include "app/download_presenter.h"
#include "app/lock_keys.h"
#include "app/port_pane_label.h"
#include "base/commands.h"
#include "terminal/terminal_controller.h"
#include "ui/about_dlg.h"
#include "ui/elided_label.h"
#include "ui/percent_progress_ctrl.h"
#include "ui/status_panes.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {
QString Latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The menu text up to its tab, without mnemonics: a bar's title.
QString PlainTitle(int id)
{
    const CCommandInfo* info = FindCommand(id);
    QString text = info ? Latin1(info->m_strMenuText) : QString();
    text = text.section(QLatin1Char('\t'), 0, 0);
    text.remove(QLatin1Char('&'));
    return text;
}
} // namespace

CFrameBars::CFrameBars(QMainWindow& window, CHost host) : m_window(window), m_host(std::move(host))
{
}

void CFrameBars::Create()
{
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
}

void CFrameBars::StartIndicators()
{
    m_pIndicatorTimer = new QTimer(this);
    connect(m_pIndicatorTimer, &QTimer::timeout, this, &CFrameBars::UpdateLockIndicators);
    m_pIndicatorTimer->start(kIndicatorMs);
    UpdateLockIndicators();
}

QAction* CFrameBars::Action(int id) const
{
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CFrameBars::CreateActions()
{
    for (const CCommandInfo& info : CommandTable()) {
        const int id = info.m_nID;
        auto* action = new QAction(&m_window);
        action->setText(info.m_strMenuText.empty() ? Latin1(info.m_strToolTip) : Latin1(info.m_strMenuText));
        action->setStatusTip(Latin1(info.m_strPrompt));
        action->setToolTip(Latin1(info.m_strToolTip));
        if (id == cmd::ID_HELP_VISIT) {
            // "&Visit " and the maker's web address, in the menu, the prompt and the tool tip.
            QString address = QString::fromLatin1(kMakerWebAddress);
            address.remove(QRegularExpression(QStringLiteral("^[a-z]+://")));
            action->setText(action->text() + address);
            action->setStatusTip(action->statusTip() + address);
            action->setToolTip(action->toolTip() + address);
        }
        if (!info.m_strIcon.empty()) {
            const QIcon own(QStringLiteral(":/icons/%1.svg").arg(Latin1(info.m_strIcon)));
            action->setIcon(info.m_strThemeIcon.empty() ? own : QIcon::fromTheme(Latin1(info.m_strThemeIcon), own));
        }
        if (!info.m_strKey.empty())
            action->setShortcut(QKeySequence(Latin1(info.m_strKey), QKeySequence::PortableText));
        action->setShortcutContext(Qt::WindowShortcut);
        action->setCheckable(CDockLayout::IsPaneCommand(id) || CTerminalController::ShowsState(id));
        action->setData(id);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        connect(action, &QAction::triggered, this, [this, id] { m_host.m_execute(id); });
        // Actions belong to the window so their keys work while the menu bar is hidden.
        m_window.addAction(action);
        m_actions.emplace(id, action);
    }
    // One of a set: shown as radio items.
    for (std::initializer_list<int> set : {std::initializer_list<int>{cmd::ID_TERMINAL_LOG_BYTES, cmd::ID_TERMINAL_LOG_LINES},
                                           {cmd::ID_TERMINAL_ENTER_CR, cmd::ID_TERMINAL_ENTER_LF, cmd::ID_TERMINAL_ENTER_CRLF}}) {
        auto* group = new QActionGroup(&m_window);
        for (int id : set)
            group->addAction(m_actions.at(id));
    }
}

void CFrameBars::CreateMenus()
{
    QMenuBar* bar = m_window.menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    for (const CMenuLayout& layout : MainMenuLayout()) {
        QMenu* menu = bar->addMenu(Latin1(layout.m_strTitle));
        for (int id : layout.m_ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(m_actions.at(id));
        }
        connect(menu, &QMenu::aboutToShow, this, [this] { m_host.m_updateCommandUI(); });
    }
}

void CFrameBars::CreateToolBar()
{
    m_wndToolBar = new QToolBar(PlainTitle(cmd::ID_VIEW_TOOLBAR), &m_window);
    m_wndToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int id : ToolBarLayout()) {
        if (id == 0)
            m_wndToolBar->addSeparator();
        else
            m_wndToolBar->addAction(m_actions.at(id));
    }
    m_window.addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    connect(m_wndToolBar, &QToolBar::visibilityChanged, this, [this] { m_host.m_requestCommandUpdate(); });
}

void CFrameBars::CreateStatusBar()
{
    QStatusBar* bar = m_window.statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));

    // The message takes the free width: its own width asks nothing, the panes beside it give
    // way to its text (eliding theirs) before it is cut.
    m_wndMessagePane = new CElidedLabel(QString::fromLatin1(CDownloadPresenter::kTextReady), bar);
    m_wndMessagePane->setObjectName(QStringLiteral("MessagePane"));
    m_wndMessagePane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_wndMessagePane, 1);
    auto* panes = new CStatusPanes(*bar, *m_wndMessagePane);
    panes->setObjectName(QStringLiteral("StatusPanes"));
    // The terminal controller adds its log and counters panes after the port's.
    m_wndStatusPanes = panes;

    m_wndPortPane = new CPortPaneLabel(panes);
    m_wndPortPane->setObjectName(QStringLiteral("PortPane"));
    panes->AddPane(m_wndPortPane);
    connect(m_wndPortPane, &CPortPaneLabel::leftClicked, this, [this] { m_host.m_execute(cmd::ID_PORT_LIST_MENU); });
    connect(m_wndPortPane, &CPortPaneLabel::rightClicked, this,
            [this] { m_host.m_execute(cmd::ID_PORT_CONFIG_MENU); });

    bar->addPermanentWidget(panes);

    m_wndStatusProgress = new CPercentProgressCtrl(bar);
    m_wndStatusProgress->setObjectName(QStringLiteral("StatusProgress"));
    const QFontMetrics fm(bar->font());
    m_wndStatusProgress->setFixedSize(fm.horizontalAdvance(QString::fromLatin1(kProgressPaneSizing)) + 8,
                                      fm.height() + 2);
    CDownloadPresenter::SetProgressIdle(*m_wndStatusProgress);
    bar->addPermanentWidget(m_wndStatusProgress);

    const char* texts[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(bar);
        label->setAlignment(Qt::AlignCenter);
        label->setFixedWidth(fm.horizontalAdvance(QString::fromLatin1(texts[i])) + 8);
        label->setProperty("indicatorText", QString::fromLatin1(texts[i]));
        bar->addPermanentWidget(label);
        m_wndIndicators[i] = label;
    }
}

void CFrameBars::UpdateLockIndicators()
{
    const CLockKeys keys = ReadLockKeys();
    const bool on[3] = {keys.m_bCaps, keys.m_bNum, keys.m_bScroll};
    for (int i = 0; i < 3; ++i)
        m_wndIndicators[i]->setText(on[i] ? m_wndIndicators[i]->property("indicatorText").toString() : QString());
}
