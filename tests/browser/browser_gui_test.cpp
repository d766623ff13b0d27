// The browser pane on a real temporary folder tree (offscreen): lazy listing, expand buttons,
// collapse, F5, Delete, moves through the tree's own drop handling, stale items, the context
// menu, a folder that blocks, and "LastBrowse" through a real settings file.

#include "browser/file_browser_tree.h"
#include "browser/shell_tree_item.h"

#include "app/qt_settings_store.h"
#include "blocking_folder.h"
#include "recording_prompt.h"
#include "temp_tree.h"

#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

QStringList ChildTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const QString& name)
{
    for (int i = 0; item != nullptr && i < item->childCount(); ++i) {
        if (item->child(i)->text(0) == name)
            return item->child(i);
    }
    return nullptr;
}

} // namespace

class BrowserGuiTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CTempTree> m_disk;
    CMountSource m_mounts;
    std::unique_ptr<CRecordingPrompt> m_prompt;
    std::unique_ptr<CQtSettingsStore> m_store;
    std::vector<std::string> m_added;

    CPlacesConfig Places() const
    {
        CPlacesConfig config;
        config.m_strHome = m_disk->Path("home");
        config.m_strDesktopDir = m_disk->Path("home/NoDesktop");
        config.m_strMountInfo = m_mounts.m_strMountInfo;
        config.m_strSysRoot = m_mounts.m_strSysRoot;
        return config;
    }

    std::unique_ptr<CFileBrowserTree> MakeTree(std::shared_ptr<IShellFolder> desktop = {})
    {
        if (!desktop)
            desktop = std::make_shared<CDesktopFolder>(Places());
        auto tree = std::make_unique<CFileBrowserTree>(
            *m_store, *m_prompt, [this](const std::string& path) { m_added.push_back(path); }, nullptr,
            desktop, m_mounts);
        tree->resize(400, 600);
        tree->FillRoot(SHELLTREE_FILES);
        tree->show();
        return tree;
    }

    static bool ExpandAndWait(CFileBrowserTree& tree, QTreeWidgetItem* item)
    {
        if (item == nullptr)
            return false;
        QSignalSpy spy(&tree, &CLazyTreeCtrl::LoadFinished);
        item->setExpanded(true);
        return !tree.IsLoading(item) || spy.wait(5000);
    }

    // Desktop > Home > Projects, expanded.
    QTreeWidgetItem* OpenProjects(CFileBrowserTree& tree)
    {
        QTreeWidgetItem* root = tree.topLevelItem(0);
        if (!ExpandAndWait(tree, root))
            return nullptr;
        QTreeWidgetItem* home = ChildNamed(root, "Home");
        if (!ExpandAndWait(tree, home))
            return nullptr;
        QTreeWidgetItem* projects = ChildNamed(home, "Projects");
        return ExpandAndWait(tree, projects) ? projects : nullptr;
    }

    static bool Drop(CFileBrowserTree& tree, QTreeWidgetItem* drag, QTreeWidgetItem* drop)
    {
        std::unique_ptr<QMimeData> data(tree.MimeDataFor(drag));
        const QPoint pos = tree.visualItemRect(drop).center();
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &enter);
        QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &move);
        QDropEvent dropEvent(QPointF(pos), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &dropEvent);
        return dropEvent.isAccepted();
    }

private slots:
    void init()
    {
        m_disk = std::make_unique<CTempTree>();
        m_disk->Folder("home/Projects/board2/src");
        m_disk->Folder("home/Projects/board10");
        m_disk->Folder("home/Projects/Empty");
        m_disk->File("home/Projects/readme.txt", "read me");
        m_disk->File("home/Projects/Alpha.hex", ":00000001FF\n");
        m_disk->File("home/Projects/.hidden-file");
        m_disk->File("home/Projects/board2/src/main.hex");
        m_disk->File("mountinfo", "1 0 8:0 / / rw - ext4 /dev/fixed rw\n");
        m_mounts.m_strMountInfo = m_disk->Path("mountinfo");
        m_mounts.m_strSysRoot = m_disk->Path("nosys");
        m_prompt = std::make_unique<CRecordingPrompt>(IDYES);
        m_store = std::make_unique<CQtSettingsStore>();
        m_added.clear();
    }

    void cleanup()
    {
        m_store.reset();
        m_disk.reset();
    }

    void expandingShowsThePlaceholderThenTheSortedChildren()
    {
        auto gate = std::make_shared<CListingGate>(std::chrono::seconds(10));
        auto tree = MakeTree(std::make_shared<CSlowHomeDesktop>(Places(), gate));
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("Desktop"));
        QVERIFY(ExpandAndWait(*tree, root));
        QCOMPARE(ChildTexts(root), (QStringList{"Home", "File System"}));

        QTreeWidgetItem* home = ChildNamed(root, "Home");
        QSignalSpy finished(tree.get(), &CLazyTreeCtrl::LoadFinished);
        home->setExpanded(true);
        QVERIFY(tree->IsLoading(home));
        QCOMPARE(ChildTexts(home), QStringList{"Loading..."});
        QTreeWidgetItem* placeholder = tree->PlaceholderOf(home);
        QVERIFY(placeholder != nullptr);
        QCOMPARE(tree->LoadingBarOf(placeholder), 0);
        // The GUI thread keeps running: the hourglass turns while the listing is blocked.
        QVERIFY(gate->WaitForListing(std::chrono::seconds(5)));
        const int firstStep = tree->HourglassStepOf(placeholder);
        QTRY_VERIFY_WITH_TIMEOUT(tree->HourglassStepOf(placeholder) != firstStep, 2000);
        gate->Open();
        QVERIFY(finished.wait(5000));
        QCOMPARE(ChildTexts(home), QStringList{"Projects"});

        QTreeWidgetItem* projects = ChildNamed(home, "Projects");
        QVERIFY(ExpandAndWait(*tree, projects));
        QCOMPARE(ChildTexts(projects), (QStringList{"board2", "board10", "Empty", "Alpha.hex", "readme.txt"}));
    }

    void emptyFolderLosesItsExpandButton()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QTreeWidgetItem* empty = ChildNamed(projects, "Empty");
        QCOMPARE(empty->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(ChildNamed(projects, "readme.txt")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QVERIFY(ExpandAndWait(*tree, empty));
        QCOMPARE(empty->childCount(), 0);
        QCOMPARE(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    }

    void emptyRemovableVolumeKeepsItsButtonAndShowsCollapsed()
    {
        // Projects/Empty is a stick's mount point in this system's table.
        m_disk->Folder("sys/block/sdz/sdz1");
        m_disk->File("sys/block/sdz/removable", "1");
        m_disk->File("mountinfo", "1 0 8:0 / / rw - ext4 /dev/fixed rw\n"
                                  "2 1 8:1 / " + m_disk->Path("home/Projects/Empty") + " rw - vfat /dev/sdz1 rw\n");
        m_mounts.m_strSysRoot = m_disk->Path("sys");
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QTreeWidgetItem* stick = ChildNamed(projects, "Empty");
        QVERIFY(ExpandAndWait(*tree, stick));
        QCOMPARE(stick->childCount(), 0);
        QCOMPARE(stick->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QVERIFY(!stick->isExpanded());
    }

    void collapseDiscardsChildren()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QCOMPARE(projects->childCount(), 5);
        projects->setExpanded(false);
        QCOMPARE(projects->childCount(), 0);
        QCOMPARE(projects->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        // Expanding again lists the folder as it is now.
        m_disk->File("home/Projects/later.hex");
        QVERIFY(ExpandAndWait(*tree, projects));
        QVERIFY(ChildNamed(projects, "later.hex") != nullptr);
    }

    void collapsingWhileListingCancelsAndDropsTheResults()
    {
        auto gate = std::make_shared<CListingGate>(std::chrono::seconds(10));
        auto tree = MakeTree(std::make_shared<CSlowHomeDesktop>(Places(), gate));
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QVERIFY(ExpandAndWait(*tree, root));
        QTreeWidgetItem* home = ChildNamed(root, "Home");
        home->setExpanded(true);
        QVERIFY(tree->IsLoading(home));
        QVERIFY(gate->WaitForListing(std::chrono::seconds(5)));
        home->setExpanded(false);
        QVERIFY(!tree->IsLoading());
        QCOMPARE(home->childCount(), 0);
        QSignalSpy finished(tree.get(), &CLazyTreeCtrl::LoadFinished);
        gate->Open();
        // The cancelled worker ends and is joined; its listing is never inserted.
        QTRY_COMPARE_WITH_TIMEOUT(tree->WorkerCount(), 0, 5000);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(home->childCount(), 0);
        QCOMPARE(home->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    }

    void refreshWhileListingStartsAfreshAndInsertsOnce()
    {
        auto gate = std::make_shared<CListingGate>(std::chrono::seconds(10));
        auto tree = MakeTree(std::make_shared<CSlowHomeDesktop>(Places(), gate));
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QVERIFY(ExpandAndWait(*tree, root));
        QTreeWidgetItem* home = ChildNamed(root, "Home");
        home->setExpanded(true);
        QVERIFY(gate->WaitForListing(std::chrono::seconds(5)));
        tree->setCurrentItem(home);
        QSignalSpy finished(tree.get(), &CLazyTreeCtrl::LoadFinished);
        QTest::keyClick(tree.get(), Qt::Key_F5);
        QVERIFY(tree->IsLoading(home));
        QCOMPARE(tree->WorkerCount(), 2);
        QCOMPARE(ChildTexts(home), QStringList{"Loading..."});
        gate->Open();
        QVERIFY(finished.wait(5000));
        QTRY_COMPARE_WITH_TIMEOUT(tree->WorkerCount(), 0, 5000);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(ChildTexts(home), QStringList{"Projects"});
    }

    void destroyingTheTreeWhileAListingBlocksJoinsTheWorker()
    {
        // The stand-in mount answers after 300 ms: destruction waits for it, then nothing runs.
        auto gate = std::make_shared<CListingGate>(std::chrono::milliseconds(300));
        auto tree = MakeTree(std::make_shared<CSlowHomeDesktop>(Places(), gate));
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QVERIFY(ExpandAndWait(*tree, root));
        ChildNamed(root, "Home")->setExpanded(true);
        QVERIFY(gate->WaitForListing(std::chrono::seconds(5)));
        tree.reset();
        // Whatever the worker posted died with the tree.
        QCoreApplication::processEvents();
    }

    void selectPathWaitsForASlowLevelAndYieldsToTheUser()
    {
        auto gate = std::make_shared<CListingGate>(std::chrono::seconds(10));
        auto tree = MakeTree(std::make_shared<CSlowHomeDesktop>(Places(), gate));
        QSignalSpy done(tree.get(), &CShellTreeCtrl::SelectPathFinished);
        QVERIFY(tree->SelectPath("Desktop/Home/Projects/board2", "/"));
        // The desktop's listing completes through the event loop; then Home blocks.
        QTRY_VERIFY_WITH_TIMEOUT(gate->WaitForListing(std::chrono::milliseconds(0)), 5000);
        QVERIFY(tree->IsSelectingPath());
        QCOMPARE(done.count(), 0);
        gate->Open();
        QVERIFY(done.wait(5000));
        QCOMPARE(tree->ItemNamePath(done.front().front().value<QTreeWidgetItem*>(), '/'),
                 QStringLiteral("Desktop/Home/Projects/board2"));
        QCOMPARE(tree->currentItem(), done.front().front().value<QTreeWidgetItem*>());

        // A click of the user's own ends a walk that still waits.
        auto gate2 = std::make_shared<CListingGate>(std::chrono::seconds(10));
        auto tree2 = MakeTree(std::make_shared<CSlowHomeDesktop>(Places(), gate2));
        QVERIFY(tree2->SelectPath("Desktop/Home/Projects", "/"));
        QTRY_VERIFY_WITH_TIMEOUT(gate2->WaitForListing(std::chrono::milliseconds(0)), 5000);
        QTreeWidgetItem* root = tree2->topLevelItem(0);
        QTest::mouseClick(tree2->viewport(), Qt::LeftButton, {}, tree2->visualItemRect(root).center());
        QVERIFY(!tree2->IsSelectingPath());
        gate2->Open();
        QTRY_COMPARE_WITH_TIMEOUT(tree2->WorkerCount(), 0, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(tree2->currentItem(), root);
    }

    void f5ShowsAFileThatAppeared()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        tree->setCurrentItem(ChildNamed(projects, "readme.txt"));
        m_disk->File("home/Projects/new.hex");
        QSignalSpy finished(tree.get(), &CLazyTreeCtrl::LoadFinished);
        QTest::keyClick(tree.get(), Qt::Key_F5);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.front().front().value<QTreeWidgetItem*>(), projects);
        QCOMPARE(ChildTexts(projects), (QStringList{"board2", "board10", "Empty", "Alpha.hex", "new.hex", "readme.txt"}));
    }

    void deleteAsksThenDeletesTheFile()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        tree->setCurrentItem(ChildNamed(projects, "Alpha.hex"));
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        QCOMPARE(m_prompt->Boxes().size(), std::size_t(1));
        QCOMPARE(m_prompt->Boxes()[0].m_strText, std::string("Are you sure?"));
        QCOMPARE(m_prompt->Boxes()[0].m_strCaption, std::string("Confirm to delete the file"));
        QCOMPARE(m_prompt->Boxes()[0].m_nType, MB_YESNO);
        QVERIFY(!m_disk->Exists("home/Projects/Alpha.hex"));
        QVERIFY(ChildNamed(projects, "Alpha.hex") == nullptr);

        // Answering No keeps the file.
        m_prompt->SetAnswer(IDNO);
        tree->setCurrentItem(ChildNamed(projects, "readme.txt"));
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        QVERIFY(m_disk->Exists("home/Projects/readme.txt"));

        // A folder: confirmation, then the error.
        m_prompt->SetAnswer(IDYES);
        tree->setCurrentItem(ChildNamed(projects, "board10"));
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        const std::vector<std::string> texts = m_prompt->Texts();
        QCOMPARE(texts.size(), std::size_t(4));
        QVERIFY2(texts[3].rfind("An error occured while deleting the file.\r\n\r\n", 0) == 0, texts[3].c_str());
        QVERIFY(m_disk->Exists("home/Projects/board10"));
        QVERIFY(ChildNamed(projects, "board10") != nullptr);
    }

    void deleteWithNothingSelectedDoesNothing()
    {
        auto tree = MakeTree();
        tree->setCurrentItem(nullptr);
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        QVERIFY(m_prompt->Boxes().empty());
    }

    void dropMovesTheFileAndReloadsTheTarget()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QTreeWidgetItem* board10 = ChildNamed(projects, "board10");
        QVERIFY(ExpandAndWait(*tree, board10));
        QTreeWidgetItem* readme = ChildNamed(projects, "readme.txt");

        // Refused targets: the item itself, a file, its own folder.
        QVERIFY(!tree->IsValidDropTarget(readme, readme));
        QVERIFY(!tree->IsValidDropTarget(readme, ChildNamed(projects, "Alpha.hex")));
        QVERIFY(!tree->IsValidDropTarget(readme, projects));
        QVERIFY(!tree->IsValidDropTarget(projects, ChildNamed(projects, "board2")));
        QVERIFY(!Drop(*tree, readme, ChildNamed(projects, "Alpha.hex")));

        QSignalSpy moved(tree.get(), &CFileBrowserTree::MoveFinished);
        QSignalSpy listed(tree.get(), &CLazyTreeCtrl::LoadFinished);
        QVERIFY(Drop(*tree, readme, board10));
        QVERIFY(moved.wait(5000));
        QCOMPARE(moved.front().front().toBool(), true);
        QCOMPARE(m_disk->Read("home/Projects/board10/readme.txt"), std::string("read me"));
        QVERIFY(!m_disk->Exists("home/Projects/readme.txt"));
        QVERIFY(ChildNamed(projects, "readme.txt") == nullptr);
        QVERIFY(listed.count() > 0 || listed.wait(5000));
        QCOMPARE(ChildTexts(board10), QStringList{"readme.txt"});
    }

    void moveOntoAnExistingNameKeepsBothFiles()
    {
        m_disk->File("home/Projects/board10/readme.txt", "theirs");
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QSignalSpy moved(tree.get(), &CFileBrowserTree::MoveFinished);
        QVERIFY(Drop(*tree, ChildNamed(projects, "readme.txt"), ChildNamed(projects, "board10")));
        QVERIFY(moved.wait(5000));
        QCOMPARE(moved.front().front().toBool(), false);
        QCOMPARE(m_prompt->Texts().size(), std::size_t(1));
        QVERIFY(m_prompt->Texts()[0].rfind("An error occured while moving the file.\r\n\r\n", 0) == 0);
        QCOMPARE(m_disk->Read("home/Projects/board10/readme.txt"), std::string("theirs"));
        QCOMPARE(m_disk->Read("home/Projects/readme.txt"), std::string("read me"));
    }

    void staleItemIsRefusedWithAnError()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        // Another file takes the name after the listing.
        m_disk->File("home/Projects/replacement", "new content");
        QCOMPARE(std::rename(m_disk->Path("home/Projects/replacement").c_str(),
                             m_disk->Path("home/Projects/readme.txt").c_str()), 0);

        tree->setCurrentItem(ChildNamed(projects, "readme.txt"));
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        QCOMPARE(m_prompt->Texts().size(), std::size_t(2));
        QVERIFY(m_prompt->Texts()[1].find("changed on disk") != std::string::npos);
        QCOMPARE(m_disk->Read("home/Projects/readme.txt"), std::string("new content"));

        QSignalSpy moved(tree.get(), &CFileBrowserTree::MoveFinished);
        QVERIFY(Drop(*tree, ChildNamed(projects, "readme.txt"), ChildNamed(projects, "board10")));
        QVERIFY(moved.wait(5000));
        QCOMPARE(moved.front().front().toBool(), false);
        QVERIFY(m_prompt->Texts().back().rfind("An error occured while moving the file.", 0) == 0);
        QVERIFY(!m_disk->Exists("home/Projects/board10/readme.txt"));
    }

    void doubleClickOnAFileAddsItToTheList()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        emit tree->itemDoubleClicked(ChildNamed(projects, "Alpha.hex"), 0);
        emit tree->itemDoubleClicked(ChildNamed(projects, "board2"), 0);
        QCOMPARE(m_added, std::vector<std::string>{m_disk->Path("home/Projects/Alpha.hex")});
        std::unique_ptr<QMimeData> data(tree->MimeDataFor(ChildNamed(projects, "Alpha.hex")));
        QCOMPARE(data->urls(), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(m_disk->Path("home/Projects/Alpha.hex")))});
    }

    void contextMenuOffersTheDesktopCommands()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QMenu menu;
        QVERIFY(tree->BuildContextMenu(menu, ChildNamed(projects, "readme.txt")));
        QStringList texts;
        int firstId = -1;
        for (QAction* action : menu.actions()) {
            if (action->isSeparator())
                continue;
            texts << action->text();
            if (firstId < 0 && action->data().isValid())
                firstId = action->data().toInt();
            if (action->menu() == nullptr)
                QVERIFY2(!action->statusTip().isEmpty(), qPrintable(action->text()));
        }
        QCOMPARE(firstId, 20000);
        for (const char* text : {"&Open", "Open Containing &Folder", "&Copy Path", "Rena&me...", "Move to &Trash",
                                 "&Delete", "P&roperties"})
            QVERIFY2(texts.contains(QString::fromLatin1(text)), text);
        QVERIFY(menu.actions().back()->isSeparator());

        // Delete from the menu: confirmation, deletion, and the folder is listed again.
        QAction* deleteAction = nullptr;
        for (QAction* action : menu.actions()) {
            if (action->text() == QLatin1String("&Delete"))
                deleteAction = action;
        }
        QVERIFY(deleteAction != nullptr);
        tree->setCurrentItem(ChildNamed(projects, "Alpha.hex"));
        QSignalSpy listed(tree.get(), &CLazyTreeCtrl::LoadFinished);
        tree->OnShellCommand(deleteAction->data().toUInt());
        QVERIFY(!m_disk->Exists("home/Projects/readme.txt"));
        QVERIFY(listed.wait(5000));
        QVERIFY(ChildNamed(projects, "readme.txt") == nullptr);

        // The desktop item has no path: only the separator.
        QMenu rootMenu;
        QVERIFY(!tree->BuildContextMenu(rootMenu, tree->topLevelItem(0)));
        QCOMPARE(rootMenu.actions().size(), 1);
    }

    void rightClickHighlightsTheItemWhileTheSelectionStays()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QTreeWidgetItem* readme = ChildNamed(projects, "readme.txt");
        QTreeWidgetItem* alpha = ChildNamed(projects, "Alpha.hex");
        tree->setCurrentItem(readme);
        const QRect cell = tree->visualItemRect(alpha);
        const QPoint onLabel(cell.left() + 24, cell.center().y());

        bool sawMenu = false;
        QTimer::singleShot(0, tree.get(), [&] {
            QWidget* popup = QApplication::activePopupWidget();
            sawMenu = popup != nullptr;
            QCOMPARE(tree->MenuItem(), alpha);
            QVERIFY(alpha->isSelected());
            QVERIFY(!readme->isSelected());
            QCOMPARE(tree->currentItem(), readme);
            if (popup != nullptr)
                popup->close();
        });
        QContextMenuEvent click(QContextMenuEvent::Mouse, onLabel, tree->viewport()->mapToGlobal(onLabel));
        QApplication::sendEvent(tree->viewport(), &click);
        QVERIFY(sawMenu);
        QVERIFY(tree->MenuItem() == nullptr);
        QVERIFY(readme->isSelected());
        QVERIFY(!alpha->isSelected());

        // Empty space below the items, and the menu key: no menu.
        const QPoint below(10, tree->viewport()->height() - 5);
        QVERIFY(tree->itemAt(below) == nullptr);
        for (QContextMenuEvent::Reason reason : {QContextMenuEvent::Mouse, QContextMenuEvent::Keyboard}) {
            const QPoint at = reason == QContextMenuEvent::Mouse ? below : onLabel;
            bool opened = false;
            QTimer::singleShot(0, tree.get(), [&] {
                if (QWidget* popup = QApplication::activePopupWidget()) {
                    opened = true;
                    popup->close();
                }
            });
            QContextMenuEvent event(reason, at, tree->viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree->viewport(), &event);
            QCoreApplication::processEvents();
            QVERIFY(!opened);
        }
    }

    void menuEntriesShowTheirHelpInTheStatusBar()
    {
        QMainWindow frame;
        auto tree = MakeTree();
        CFileBrowserTree* pane = tree.release();
        frame.setCentralWidget(pane);
        frame.statusBar()->showMessage(QStringLiteral("Ready"));
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTreeWidgetItem* projects = OpenProjects(*pane);
        QVERIFY(projects != nullptr);

        QMenu menu(pane);
        QVERIFY(pane->BuildContextMenu(menu, ChildNamed(projects, "Alpha.hex")));
        menu.popup(frame.mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QAction* copyPath = nullptr;
        for (QAction* action : menu.actions()) {
            if (action->text() == QLatin1String("&Copy Path"))
                copyPath = action;
        }
        QVERIFY(copyPath != nullptr);
        QTest::mouseMove(&menu, menu.actionGeometry(copyPath).center());
        QTRY_COMPARE(frame.statusBar()->currentMessage(), copyPath->statusTip());
        QVERIFY(menu.actionGeometry(menu.actions().back()).height() > 0);
        QTest::mouseMove(&menu, menu.actionGeometry(menu.actions().back()).center());
        QTRY_COMPARE(frame.statusBar()->currentMessage(), QString());
        menu.close();
    }

    void lastBrowseRoundTripsThroughTheSettingsFile()
    {
        {
            auto tree = MakeTree();
            QSignalSpy done(tree.get(), &CShellTreeCtrl::SelectPathFinished);
            QVERIFY(tree->SelectPath("Desktop/Home/projects/BOARD2/src", "/"));
            QVERIFY(done.wait(5000));
            QCOMPARE(tree->currentItem()->text(0), QStringLiteral("src"));
            tree->SaveLastBrowse();
            m_store->Sync();
        }
        {
            CQtSettingsStore fresh;
            QCOMPARE(fresh.GetProfileString("LastBrowse", ""), std::string("Desktop/Home/Projects/board2/src"));
        }
        {
            // Nothing selected: the stored value stays.
            auto tree = MakeTree();
            tree->setCurrentItem(nullptr);
            tree->SaveLastBrowse();
            m_store->Sync();
            QCOMPARE(CQtSettingsStore().GetProfileString("LastBrowse", ""), std::string("Desktop/Home/Projects/board2/src"));
        }
        {
            m_store = std::make_unique<CQtSettingsStore>();
            auto tree = MakeTree();
            QSignalSpy done(tree.get(), &CShellTreeCtrl::SelectPathFinished);
            tree->RestoreLastBrowse();
            QVERIFY(done.wait(5000));
            QCOMPARE(tree->ItemNamePath(tree->currentItem(), '/'), QStringLiteral("Desktop/Home/Projects/board2/src"));
        }
        {
            // The saved folder is gone: the deepest folder that still matches is selected.
            std::filesystem::remove_all(m_disk->Path("home/Projects/board2"));
            auto tree = MakeTree();
            QSignalSpy done(tree.get(), &CShellTreeCtrl::SelectPathFinished);
            tree->RestoreLastBrowse();
            QVERIFY(done.wait(5000));
            QCOMPARE(tree->ItemNamePath(tree->currentItem(), '/'), QStringLiteral("Desktop/Home/Projects"));
        }
        {
            auto tree = MakeTree();
            QSignalSpy done(tree.get(), &CShellTreeCtrl::SelectPathFinished);
            QVERIFY(tree->SelectPath("Laptop/Home", "/"));
            QCOMPARE(done.count(), 1);
            QVERIFY(done.front().front().value<QTreeWidgetItem*>() == nullptr);
            QVERIFY(!tree->SelectPath("", "/"));
        }
    }
};

QTEST_MAIN(BrowserGuiTest)
#include "browser_gui_test.moc"
