// The browser pane on a real temporary folder tree (offscreen): lazy listing, expand buttons,
// collapse, F5, Delete, moves through the tree's own drop handling, stale items, the context
// menu, a folder that blocks, and "LastBrowse" through a real settings file.

#include "browser/file_browser_tree.h"
#include "browser/shell_tree_item.h"

#include "base/qt_settings_store.h"
#include "blocking_folder.h"
#include "browser/shell_icons.h"
#include "fifo_reader.h"
#include "recording_prompt.h"
#include "temp_dir.h"

#include <QClipboard>
#include <QDrag>
#include <QInputDialog>
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
#include <filesystem>
#include <fstream>
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

// The entry of a menu (or of one of its sub-menus) with text; null when there is none.
QAction* ActionNamed(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
        if (action->menu() != nullptr) {
            if (QAction* inner = ActionNamed(*action->menu(), text))
                return inner;
        }
    }
    return nullptr;
}

// Only black, white and transparent pixels.
bool IsMonochrome(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            if (qAlpha(pixel) != 255 || ((pixel & 0xFFFFFF) != 0 && (pixel & 0xFFFFFF) != 0xFFFFFF))
                return false;
        }
    }
    return true;
}

} // namespace

class BrowserGuiTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CTempDir> m_disk;
    CMountSource m_mounts;
    std::unique_ptr<CRecordingPrompt> m_prompt;
    std::unique_ptr<CQtSettingsStore> m_store;
    std::vector<std::string> m_added;
    // The desktop this test sets up: its applications write to m_launched.
    std::unique_ptr<CTempDir> m_xdg;
    std::unique_ptr<CFifoReader> m_launched;

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

    // Over the tree at pos during a drag of item: whether a drop would be taken, and as what.
    static Qt::DropAction DragOver(CFileBrowserTree& tree, const QMimeData& data, const QPoint& pos, bool enter)
    {
        if (enter) {
            QDragEnterEvent event(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(tree.viewport(), &event);
        }
        QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &move);
        return move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
    }

    static bool DropAt(CFileBrowserTree& tree, const QMimeData& data, const QPoint& pos)
    {
        QDropEvent event(QPointF(pos), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &event);
        return event.isAccepted();
    }

    // Runs a command of item's menu and waits until folder has been listed again.
    bool RunCommand(CFileBrowserTree& tree, QTreeWidgetItem* item, const QString& text, QTreeWidgetItem* folder)
    {
        QMenu menu;
        tree.BuildContextMenu(menu, item);
        QAction* action = ActionNamed(menu, text);
        if (action == nullptr || !action->data().isValid())
            return false;
        QSignalSpy listed(&tree, &CLazyTreeCtrl::LoadFinished);
        tree.OnShellCommand(action->data().toUInt());
        for (int i = 0; i < listed.count(); ++i) {
            if (listed.at(i).front().value<QTreeWidgetItem*>() == folder)
                return true;
        }
        while (listed.wait(5000)) {
            if (listed.back().front().value<QTreeWidgetItem*>() == folder)
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        // The desktop's applications and associations come from folders of this test only:
        // "QxOpen" is the default for text files and folders, "QxOther" is offered as well;
        // both write what they were given to a pipe. The trash goes there too.
        m_xdg = std::make_unique<CTempDir>();
        m_xdg->Folder("data/applications");
        m_xdg->Folder("config");
        m_xdg->Folder("sys");
        std::filesystem::create_directory_symlink("/usr/share/mime", m_xdg->Path("sys/mime"));
        m_launched = std::make_unique<CFifoReader>(m_xdg->Path("launched.fifo"));
        for (const char* tag : {"open", "other"}) {
            const std::string script = m_xdg->Path(std::string(tag) + ".sh");
            m_xdg->Write(std::string(tag) + ".sh", "#!/bin/sh\nprintf '" + std::string(tag) + ":%s\\n' \"$@\" > '" +
                                                      m_launched->Path() + "'\n");
            std::filesystem::permissions(script, std::filesystem::perms::owner_all);
            m_xdg->Write(std::string("data/applications/qxtest-") + tag + ".desktop",
                        std::string("[Desktop Entry]\nType=Application\nName=") + (tag == std::string("open") ? "QxOpen" : "QxOther") +
                            "\nExec=" + script + " %f\nMimeType=text/plain;inode/directory;\n");
        }
        // The index a desktop keeps of its applications' types (update-desktop-database).
        m_xdg->Write("data/applications/mimeinfo.cache",
                    "[MIME Cache]\ntext/plain=qxtest-open.desktop;qxtest-other.desktop;\n"
                    "inode/directory=qxtest-open.desktop;qxtest-other.desktop;\n");
        m_xdg->Write("config/mimeapps.list", "[Default Applications]\ntext/plain=qxtest-open.desktop\n"
                                             "inode/directory=qxtest-open.desktop\n");
        qputenv("HOME", QByteArray::fromStdString(m_xdg->Path()));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_xdg->Path("data")));
        qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(m_xdg->Path("sys")));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_xdg->Path("config")));
        qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(m_xdg->Path("config")));
    }

    void cleanupTestCase()
    {
        m_launched.reset();
        m_xdg.reset();
    }

    void init()
    {
        m_disk = std::make_unique<CTempDir>();
        m_disk->Folder("home/Projects/board2/src");
        m_disk->Folder("home/Projects/board10");
        m_disk->Folder("home/Projects/Empty");
        m_disk->Write("home/Projects/readme.txt", "read me");
        m_disk->Write("home/Projects/Alpha.hex", ":00000001FF\n");
        m_disk->Write("home/Projects/.hidden-file", "x");
        m_disk->Write("home/Projects/board2/src/main.hex", "x");
        m_disk->Write("mountinfo", "1 0 8:0 / / rw - ext4 /dev/fixed rw\n");
        m_mounts.m_strMountInfo = m_disk->Path("mountinfo");
        m_mounts.m_strSysRoot = m_disk->Path("nosys");
        m_prompt = std::make_unique<CRecordingPrompt>(kAnswerYes);
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
        m_disk->Write("sys/block/sdz/removable", "1");
        m_disk->Write("mountinfo", "1 0 8:0 / / rw - ext4 /dev/fixed rw\n"
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
        m_disk->Write("home/Projects/later.hex", "x");
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
        m_disk->Write("home/Projects/new.hex", "x");
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
        QCOMPARE(m_prompt->Boxes()[0].m_nType, kBoxYesNo);
        QVERIFY(!m_disk->Exists("home/Projects/Alpha.hex"));
        QVERIFY(ChildNamed(projects, "Alpha.hex") == nullptr);

        // Answering No keeps the file.
        m_prompt->SetAnswer(kAnswerNo);
        tree->setCurrentItem(ChildNamed(projects, "readme.txt"));
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        QVERIFY(m_disk->Exists("home/Projects/readme.txt"));

        // A folder: confirmation, then the error.
        m_prompt->SetAnswer(kAnswerYes);
        tree->setCurrentItem(ChildNamed(projects, "board10"));
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        const std::vector<std::string> texts = m_prompt->Texts();
        QCOMPARE(texts.size(), std::size_t(4));
        QVERIFY2(texts[3].rfind("An error occured while deleting the file.\r\n\r\n", 0) == 0, texts[3].c_str());
        // The folder's path stands before the reason.
        QVERIFY2(texts[3].find(m_disk->Path("home/Projects/board10") + ": ") != std::string::npos, texts[3].c_str());
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

    void destroyingTheTreeBeforeItsMoveRunsMovesNothing()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        // The move waits for the drag to end; a tree gone by then takes its move with it.
        QVERIFY(Drop(*tree, ChildNamed(projects, "readme.txt"), ChildNamed(projects, "board10")));
        tree.reset();
        QCoreApplication::processEvents();
        QVERIFY(m_disk->Exists("home/Projects/readme.txt"));
        QVERIFY(!m_disk->Exists("home/Projects/board10/readme.txt"));
    }

    void moveOntoAnExistingNameKeepsBothFiles()
    {
        m_disk->Write("home/Projects/board10/readme.txt", "theirs");
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QSignalSpy moved(tree.get(), &CFileBrowserTree::MoveFinished);
        QVERIFY(Drop(*tree, ChildNamed(projects, "readme.txt"), ChildNamed(projects, "board10")));
        QVERIFY(moved.wait(5000));
        QCOMPARE(moved.front().front().toBool(), false);
        QCOMPARE(m_prompt->Texts().size(), std::size_t(1));
        QVERIFY(m_prompt->Texts()[0].rfind("An error occured while moving the file.\r\n\r\n", 0) == 0);
        QVERIFY(m_prompt->Texts()[0].find(m_disk->Path("home/Projects/readme.txt") + ": ") != std::string::npos);
        QCOMPARE(m_disk->Read("home/Projects/board10/readme.txt"), std::string("theirs"));
        QCOMPARE(m_disk->Read("home/Projects/readme.txt"), std::string("read me"));
    }

    void staleItemIsRefusedWithAnError()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        // Another file takes the name after the listing.
        m_disk->Write("home/Projects/replacement", "new content");
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
        // The context menu's first entry does the same for a file; a folder has none.
        QMenu menu;
        QVERIFY(tree->BuildContextMenu(menu, ChildNamed(projects, "Alpha.hex")));
        QAction* add = menu.actions().front();
        QCOMPARE(add->text(), QStringLiteral("&Add to File List"));
        QVERIFY(!add->statusTip().isEmpty());
        add->trigger();
        QCOMPARE(m_added, (std::vector<std::string>{m_disk->Path("home/Projects/Alpha.hex"),
                                                     m_disk->Path("home/Projects/Alpha.hex")}));
        QMenu folderMenu;
        QVERIFY(tree->BuildContextMenu(folderMenu, ChildNamed(projects, "board2")));
        for (QAction* action : folderMenu.actions())
            QVERIFY(action->text() != QStringLiteral("&Add to File List"));
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

    void dragCursorsSayWhatADropWouldDo()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QTreeWidgetItem* readme = ChildNamed(projects, "readme.txt");
        QTreeWidgetItem* board2 = ChildNamed(projects, "board2");
        QTreeWidgetItem* board10 = ChildNamed(projects, "board10");
        QVERIFY(ExpandAndWait(*tree, board2));
        QTreeWidgetItem* src = ChildNamed(board2, "src");

        // The file list takes a file as a copy: the add-to-list cursor; a folder on this tree
        // takes the item as a move: the move-here cursor. Both are the program's own.
        std::unique_ptr<QDrag> drag(tree->CreateDrag(readme));
        QVERIFY(drag != nullptr);
        const QPixmap addToList = drag->dragCursor(CFileBrowserTree::kAddToListAction);
        const QPixmap moveHere = drag->dragCursor(CFileBrowserTree::kMoveHereAction);
        QCOMPARE(CFileBrowserTree::kAddToListAction, Qt::CopyAction);
        QCOMPARE(addToList.cacheKey(), CShellIcons::AddToListCursor().cacheKey());
        QCOMPARE(moveHere.cacheKey(), CShellIcons::MoveHereCursor().cacheKey());
        for (const QPixmap& cursor : {addToList, moveHere}) {
            QCOMPARE(cursor.size(), QSize(32, 32));
            QVERIFY(IsMonochrome(cursor));
            // The pointer's tip is the hot spot of a pixmap cursor: its centre.
            QCOMPARE(cursor.toImage().pixel(16, 16) & 0xFFFFFF, 0u);
        }
        QVERIFY(addToList.toImage() != moveHere.toImage());
        // A refused drop shows the system's no-entry cursor.
        QCOMPARE(drag->dragCursor(Qt::IgnoreAction).toImage(),
                 QDrag(tree.get()).dragCursor(Qt::IgnoreAction).toImage());

        // Within the tree: the move-here cursor over a folder that takes the item, no-entry
        // elsewhere, with the target highlighted only when it takes the item.
        const QPoint emptySpace(10, tree->viewport()->height() - 5);
        QVERIFY(tree->itemAt(emptySpace) == nullptr);
        struct Row {
            const char* m_name;
            QTreeWidgetItem* m_pDrag;
            QTreeWidgetItem* m_pTarget;
            Qt::DropAction m_expected;
        };
        const Row rows[] = {
            {"file onto a folder", readme, board10, Qt::MoveAction},
            {"folder onto a folder", board10, board2, Qt::MoveAction},
            {"file onto a folder further down", readme, src, Qt::MoveAction},
            {"onto itself", readme, readme, Qt::IgnoreAction},
            {"onto a file", readme, ChildNamed(projects, "Alpha.hex"), Qt::IgnoreAction},
            {"onto its own folder", readme, projects, Qt::IgnoreAction},
            {"folder into its own sub-folder", board2, src, Qt::IgnoreAction},
            {"empty space", readme, nullptr, Qt::IgnoreAction},
        };
        for (const Row& row : rows) {
            std::unique_ptr<QMimeData> data(tree->MimeDataFor(row.m_pDrag));
            const QPoint pos = row.m_pTarget != nullptr ? tree->visualItemRect(row.m_pTarget).center() : emptySpace;
            QCOMPARE(DragOver(*tree, *data, pos, true), row.m_expected);
            QVERIFY2(tree->DropItem() == (row.m_expected == Qt::MoveAction ? row.m_pTarget : nullptr), row.m_name);
            QDragLeaveEvent leave;
            QApplication::sendEvent(tree->viewport(), &leave);
            QVERIFY(tree->DropItem() == nullptr);
        }
        // Data of another tree (or program) is never taken.
        std::unique_ptr<QMimeData> foreign(tree->MimeDataFor(readme));
        foreign->setData(QString::fromLatin1(CFileBrowserTree::kItemMimeType), "1:beef\n" +
                         foreign->data(QString::fromLatin1(CFileBrowserTree::kItemMimeType)).split('\n').value(1));
        QCOMPARE(DragOver(*tree, *foreign, tree->visualItemRect(board10).center(), true), Qt::IgnoreAction);
    }

    void escapeCancelsADragWithoutAMove()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QTreeWidgetItem* board10 = ChildNamed(projects, "board10");
        std::unique_ptr<QMimeData> data(tree->MimeDataFor(ChildNamed(projects, "readme.txt")));
        const QPoint over = tree->visualItemRect(board10).center();

        QVERIFY(!tree->IsDragging());
        QCOMPARE(DragOver(*tree, *data, over, true), Qt::MoveAction);
        QVERIFY(tree->IsDragging());
        QCOMPARE(tree->DropItem(), board10);
        // Escape is the tree's own during a drag: the frame's shortcut does not take it.
        QKeyEvent shortcut(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(tree.get(), &shortcut);
        QVERIFY(shortcut.isAccepted());
        QTest::keyClick(tree.get(), Qt::Key_Escape);
        QVERIFY(!tree->IsDragging());
        QVERIFY(tree->DropItem() == nullptr);
        // The rest of that drag is refused: no highlight, no drop, nothing moved.
        QCOMPARE(DragOver(*tree, *data, over, false), Qt::IgnoreAction);
        QVERIFY(tree->DropItem() == nullptr);
        QSignalSpy moved(tree.get(), &CFileBrowserTree::MoveFinished);
        QVERIFY(!DropAt(*tree, *data, over));
        QCoreApplication::processEvents();
        QCOMPARE(moved.count(), 0);
        QVERIFY(m_disk->Exists("home/Projects/readme.txt"));
        QVERIFY(!m_disk->Exists("home/Projects/board10/readme.txt"));
        // Escaping twice changes nothing; outside a drag Escape is not the tree's.
        tree->CancelDrag();
        QKeyEvent idle(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);
        idle.ignore();
        QApplication::sendEvent(tree.get(), &idle);
        QVERIFY(!idle.isAccepted());

        // The next drag is taken again.
        QCOMPARE(DragOver(*tree, *data, over, true), Qt::MoveAction);
        QVERIFY(DropAt(*tree, *data, over));
        QVERIFY(moved.wait(5000));
        QVERIFY(m_disk->Exists("home/Projects/board10/readme.txt"));
    }

    void f5DuringADragCancelsItThenReloads()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QTreeWidgetItem* readme = ChildNamed(projects, "readme.txt");
        tree->setCurrentItem(readme);
        std::unique_ptr<QMimeData> data(tree->MimeDataFor(readme));
        const QPoint over = tree->visualItemRect(ChildNamed(projects, "board10")).center();
        QCOMPARE(DragOver(*tree, *data, over, true), Qt::MoveAction);

        m_disk->Write("home/Projects/new.hex", "x");
        QSignalSpy listed(tree.get(), &CLazyTreeCtrl::LoadFinished);
        QTest::keyClick(tree.get(), Qt::Key_F5);
        QVERIFY(!tree->IsDragging());
        QVERIFY(tree->DropItem() == nullptr);
        QVERIFY(listed.wait(5000));
        QCOMPARE(listed.front().front().value<QTreeWidgetItem*>(), projects);
        QVERIFY(ChildNamed(projects, "new.hex") != nullptr);
        // The drag's item was listed afresh; the rest of the drag moves nothing.
        QSignalSpy moved(tree.get(), &CFileBrowserTree::MoveFinished);
        QVERIFY(!DropAt(*tree, *data, tree->visualItemRect(ChildNamed(projects, "board10")).center()));
        QCoreApplication::processEvents();
        QCOMPARE(moved.count(), 0);
        QVERIFY(m_disk->Exists("home/Projects/readme.txt"));
    }

    void openCommandsRunTheDesktopsApplications()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        const std::string readme = m_disk->Path("home/Projects/readme.txt");

        // One Open With entry per application for the type.
        QMenu menu;
        QVERIFY(tree->BuildContextMenu(menu, ChildNamed(projects, "readme.txt")));
        QAction* openWith = ActionNamed(menu, "Open &With");
        QVERIFY(openWith != nullptr && openWith->menu() != nullptr);
        QStringList apps;
        for (QAction* action : openWith->menu()->actions()) {
            apps << action->text();
            QCOMPARE(action->statusTip(), QStringLiteral("Opens the item with ") + action->text());
        }
        apps.sort();
        QCOMPARE(apps, (QStringList{"QxOpen", "QxOther"}));

        // Each command runs for the item; the selected item's folder is listed again after it.
        struct Row {
            const char* m_command;
            std::string m_expected;
        };
        const Row rows[] = {
            {"QxOther", "other:" + readme + "\n"},
            {"QxOpen", "open:" + readme + "\n"},
            {"&Open", "open:" + readme + "\n"},
            {"Open Containing &Folder", "open:" + m_disk->Path("home/Projects") + "\n"},
        };
        for (const Row& row : rows) {
            tree->setCurrentItem(ChildNamed(projects, "Alpha.hex"));
            QVERIFY2(RunCommand(*tree, ChildNamed(projects, "readme.txt"), QString::fromLatin1(row.m_command), projects),
                     row.m_command);
            QCOMPARE(QString::fromStdString(m_launched->Read(10000)), QString::fromStdString(row.m_expected));
            QVERIFY(m_prompt->Boxes().empty());
        }
    }

    void copyPathAndPropertiesDescribeTheItem()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        QApplication::clipboard()->clear();
        // Chosen from the menu of a right click on readme.txt while Alpha.hex is selected.
        tree->setCurrentItem(ChildNamed(projects, "Alpha.hex"));
        const QRect cell = tree->visualItemRect(ChildNamed(projects, "readme.txt"));
        const QPoint onLabel(cell.left() + 24, cell.center().y());
        QTimer::singleShot(0, tree.get(), [] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(popup != nullptr);
            popup->setActiveAction(ActionNamed(*popup, "&Copy Path"));
            QTest::keyClick(popup, Qt::Key_Return);
        });
        QSignalSpy listed(tree.get(), &CLazyTreeCtrl::LoadFinished);
        QContextMenuEvent click(QContextMenuEvent::Mouse, onLabel, tree->viewport()->mapToGlobal(onLabel));
        QApplication::sendEvent(tree->viewport(), &click);
        // The item's folder is the selected item's: it is listed once, not twice.
        QCOMPARE(tree->WorkerCount(), 1);
        QVERIFY(listed.wait(5000));
        QCOMPARE(listed.front().front().value<QTreeWidgetItem*>(), projects);
        tree->setCurrentItem(ChildNamed(projects, "readme.txt"));
        QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(m_disk->Path("home/Projects/readme.txt")));

        QVERIFY(RunCommand(*tree, ChildNamed(projects, "readme.txt"), "P&roperties", projects));
        QCOMPARE(m_prompt->Boxes().size(), std::size_t(1));
        const std::string text = m_prompt->Boxes()[0].m_strText;
        QCOMPARE(m_prompt->Boxes()[0].m_strCaption, std::string("Properties"));
        for (const std::string& line : {std::string("Name: readme.txt"), "Location: " + m_disk->Path("home/Projects"),
                                        std::string("Type: text/plain"), std::string("Size: 7 bytes"),
                                        std::string("Permissions: rw")})
            QVERIFY2(text.find(line) != std::string::npos, text.c_str());
    }

    void renameRenamesOnDiskAndRefusesAStaleItem()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        // Answers the name dialog, which offers the item's current name.
        auto answerWith = [](const QString& shown, const QString& name) {
            QTimer::singleShot(0, [shown, name] {
                auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog != nullptr);
                QCOMPARE(dialog->textValue(), shown);
                dialog->setTextValue(name);
                dialog->accept();
            });
        };
        tree->setCurrentItem(ChildNamed(projects, "Alpha.hex"));
        answerWith("readme.txt", "notes.txt");
        QVERIFY(RunCommand(*tree, ChildNamed(projects, "readme.txt"), "Rena&me...", projects));
        QCOMPARE(m_disk->Read("home/Projects/notes.txt"), std::string("read me"));
        QVERIFY(!m_disk->Exists("home/Projects/readme.txt"));
        QVERIFY(ChildNamed(projects, "notes.txt") != nullptr);
        QVERIFY(ChildNamed(projects, "readme.txt") == nullptr);
        QVERIFY(m_prompt->Boxes().empty());

        // Another file has taken the name since the listing: an error, nothing renamed.
        m_disk->Write("elsewhere", "other content");
        QCOMPARE(std::rename(m_disk->Path("elsewhere").c_str(), m_disk->Path("home/Projects/notes.txt").c_str()), 0);
        answerWith("notes.txt", "renamed.txt");
        QVERIFY(RunCommand(*tree, ChildNamed(projects, "notes.txt"), "Rena&me...", projects));
        QCOMPARE(m_prompt->Boxes().size(), std::size_t(1));
        QVERIFY2(m_prompt->Texts()[0].rfind("An error occured while renaming the file.", 0) == 0, m_prompt->Texts()[0].c_str());
        QCOMPARE(m_disk->Read("home/Projects/notes.txt"), std::string("other content"));
        QVERIFY(!m_disk->Exists("home/Projects/renamed.txt"));

        // A name another file has: refused, neither file touched.
        answerWith("Alpha.hex", "notes.txt");
        QVERIFY(RunCommand(*tree, ChildNamed(projects, "Alpha.hex"), "Rena&me...", projects));
        QCOMPARE(m_prompt->Boxes().size(), std::size_t(2));
        QVERIFY2(m_prompt->Texts()[1].rfind("An error occured while renaming the file.", 0) == 0, m_prompt->Texts()[1].c_str());
        QCOMPARE(m_disk->Read("home/Projects/notes.txt"), std::string("other content"));
        QCOMPARE(m_disk->Read("home/Projects/Alpha.hex"), std::string(":00000001FF\n"));
    }

    void trashMovesTheFileToTheDesktopsTrash()
    {
        auto tree = MakeTree();
        QTreeWidgetItem* projects = OpenProjects(*tree);
        QVERIFY(projects != nullptr);
        tree->setCurrentItem(ChildNamed(projects, "Alpha.hex"));
        QVERIFY(RunCommand(*tree, ChildNamed(projects, "readme.txt"), "Move to &Trash", projects));
        QVERIFY2(m_prompt->Boxes().empty(), m_prompt->Texts().empty() ? "" : m_prompt->Texts()[0].c_str());
        QVERIFY(!m_disk->Exists("home/Projects/readme.txt"));
        QVERIFY(ChildNamed(projects, "readme.txt") == nullptr);
        std::ifstream trashed(m_xdg->Path("data/Trash/files/readme.txt"));
        QVERIFY(trashed.good());
        std::filesystem::remove(m_xdg->Path("data/Trash/files/readme.txt"));

        // A name that stands for another file since the listing: refused, the file stays.
        m_disk->Write("elsewhere", "other content");
        QCOMPARE(std::rename(m_disk->Path("elsewhere").c_str(), m_disk->Path("home/Projects/Alpha.hex").c_str()), 0);
        QSignalSpy listed(tree.get(), &CLazyTreeCtrl::LoadFinished);
        QMenu menu;
        QVERIFY(tree->BuildContextMenu(menu, ChildNamed(projects, "Alpha.hex")));
        tree->OnShellCommand(ActionNamed(menu, "Move to &Trash")->data().toUInt());
        QCOMPARE(m_prompt->Boxes().size(), std::size_t(1));
        QVERIFY(m_prompt->Texts()[0].rfind("An error occured while moving the file to the trash.", 0) == 0);
        QCOMPARE(m_disk->Read("home/Projects/Alpha.hex"), std::string("other content"));
        QVERIFY(listed.wait(5000));
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
            QCOMPARE(fresh.ReadString("LastBrowse", ""), std::string("Desktop/Home/Projects/board2/src"));
        }
        {
            // Nothing selected: the stored value stays.
            auto tree = MakeTree();
            tree->setCurrentItem(nullptr);
            tree->SaveLastBrowse();
            m_store->Sync();
            QCOMPARE(CQtSettingsStore().ReadString("LastBrowse", ""), std::string("Desktop/Home/Projects/board2/src"));
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
