// Browser figures: the time to list and show a folder of 10 000 files, and how long the GUI
// thread's event loop waits while a folder that blocks for 5 seconds is being listed (a stand-in
// for a slow network mount). Prints its figures; asserts nothing.

#include "browser/file_browser_tree.h"

#include "base/memory_settings_store.h"
#include "blocking_folder.h"
#include "temp_tree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class CSilentPrompt : public IUserPrompt {
public:
    int ShowBox(const std::string&, const std::string&, unsigned) override { return kAnswerOk; }
};

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const QString& name)
{
    for (int i = 0; item != nullptr && i < item->childCount(); ++i) {
        if (item->child(i)->text(0) == name)
            return item->child(i);
    }
    return nullptr;
}

// Expands item and runs the event loop until its listing is in; milliseconds taken.
double ExpandAndWait(CFileBrowserTree& tree, QTreeWidgetItem* item)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    const auto connection = QObject::connect(&tree, &CLazyTreeCtrl::LoadFinished, &loop,
                                             [&](QTreeWidgetItem* done) {
                                                 if (done == item)
                                                     loop.quit();
                                             });
    item->setExpanded(true);
    if (tree.IsLoading(item))
        loop.exec();
    QObject::disconnect(connection);
    // Shown: the rows are laid out and painted once.
    tree.viewport()->repaint();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CTempTree disk;
    constexpr int kFiles = 10000;
    disk.Folder("home/big");
    for (int i = 0; i < kFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "home/big/target%05d.hex", i);
        disk.File(name, ":00000001FF\n");
    }
    disk.File("mountinfo", "1 0 8:0 / / rw - ext4 /dev/fixed rw\n");
    CMountSource mounts{disk.Path("mountinfo"), disk.Path("nosys")};
    CPlacesConfig places;
    places.m_strHome = disk.Path("home");
    places.m_strMountInfo = mounts.m_strMountInfo;
    places.m_strSysRoot = mounts.m_strSysRoot;

    CMemorySettingsStore store;
    CSilentPrompt prompt;

    // 1. A folder of 10 000 files, listed and shown.
    {
        CFileBrowserTree tree(store, prompt, {}, nullptr, std::make_shared<CDesktopFolder>(places), mounts);
        tree.resize(300, 700);
        tree.FillRoot(SHELLTREE_FILES);
        tree.show();
        QTreeWidgetItem* root = tree.topLevelItem(0);
        ExpandAndWait(tree, root);
        QTreeWidgetItem* home = ChildNamed(root, "Home");
        ExpandAndWait(tree, home);
        QTreeWidgetItem* big = ChildNamed(home, "big");
        std::vector<double> runs;
        for (int run = 0; run < 7; ++run) {
            runs.push_back(ExpandAndWait(tree, big));
            if (big->childCount() != kFiles)
                std::printf("unexpected: %d children\n", big->childCount());
            big->setExpanded(false); // discards the children
        }
        std::printf("list and show %d files: first %.1f ms, median %.1f ms, best %.1f ms (target < 300 ms)\n",
                    kFiles, runs.front(), Median(runs), *std::min_element(runs.begin(), runs.end()));

        ShellItemData bigItem;
        bigItem.m_pFolder = std::make_shared<CFileSystemFolder>(disk.Path("home"));
        bigItem.m_pidl = CPidl::Concat(CPidl::Concat(CPidl::Empty(), CPidl::PlaceEntry(EPlaceType::Home, 3, disk.Path("home"))),
                                       CPidl::FileEntry("big"));
        bigItem.m_nFlags = SHELLTREE_FILES;
        QElapsedTimer clock;
        clock.start();
        CLoadingProgress progress;
        const CFolderListing listing = EnumerateChildren(bigItem, progress, mounts);
        std::printf("  of which listing on the worker (read, describe, sort %zu items): %.1f ms\n",
                    listing.m_items.size(), static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }

    // 2. A folder that blocks for 5 seconds: the event loop's latency meanwhile.
    {
        auto gate = std::make_shared<CListingGate>(std::chrono::seconds(5));
        CFileBrowserTree tree(store, prompt, {}, nullptr, std::make_shared<CSlowHomeDesktop>(places, gate), mounts);
        tree.resize(300, 700);
        tree.FillRoot(SHELLTREE_FILES);
        tree.show();
        QTreeWidgetItem* root = tree.topLevelItem(0);
        ExpandAndWait(tree, root);
        QTreeWidgetItem* home = ChildNamed(root, "Home");

        // A 10 ms timer on the GUI thread: how late each of its ticks comes shows how long the
        // event loop was held.
        std::vector<double> lateness;
        QElapsedTimer tickClock;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const double elapsed = static_cast<double>(tickClock.nsecsElapsed()) / 1e6;
            lateness.push_back(std::max(0.0, elapsed - 10.0));
            tickClock.restart();
        });
        int hourglassSteps = 0;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            static int last = -1;
            const int step = tree.HourglassStepOf(tree.PlaceholderOf(home));
            if (step >= 0 && step != last)
                ++hourglassSteps;
            last = step;
        });
        tickClock.start();
        probe.start(10);
        const double total = ExpandAndWait(tree, home);
        probe.stop();
        std::sort(lateness.begin(), lateness.end());
        const double worst = lateness.empty() ? 0 : lateness.back();
        const double p99 = lateness.empty() ? 0 : lateness[lateness.size() * 99 / 100];
        std::printf("blocking folder (5 s): listed after %.0f ms; GUI event loop ran %zu probe ticks, "
                    "worst lateness %.1f ms, p99 %.1f ms; hourglass advanced %d steps\n",
                    total, lateness.size(), worst, p99, hourglassSteps);
    }
    return 0;
}
