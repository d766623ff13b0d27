// The namespace over a real temporary folder tree: the places, listing with its flags and
// attributes, the expand-button rule of volumes, cancellation, and selecting a saved path.

#include "browser/desktop_folder.h"
#include "browser/shell_namespace.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

namespace {

std::vector<std::string> Names(const CFolderListing& listing)
{
    std::vector<std::string> names;
    for (const ShellItemData& item : listing.m_items)
        names.push_back(item.m_strName);
    return names;
}

std::vector<std::string> Names(const std::vector<ShellItemData>& chain)
{
    std::vector<std::string> names;
    for (const ShellItemData& item : chain)
        names.push_back(item.m_strName);
    return names;
}

class NamespaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tree.Folder("home/Projects/board2/src");
        m_tree.Folder("home/Projects/board10");
        m_tree.Folder("home/Projects/Empty");
        m_tree.Write("home/Projects/readme.txt", "x");
        m_tree.Write("home/Projects/Alpha.hex", "x");
        m_tree.Write("home/Projects/.secret", "x");
        m_tree.Write("home/Projects/listed-hidden.bin", "x");
        m_tree.Write("home/Projects/.hidden", "listed-hidden.bin\n");
        m_tree.Write("home/Projects/board2/src/main.hex", "x");
        m_tree.Folder("home/Desktop");
        m_tree.Folder("media/stick/docs");
        ::symlink("readme.txt", m_tree.Path("home/Projects/link-to-readme").c_str());
        // The tree's folders are on a fixed disk; the stick is a removable one.
        m_tree.Folder("sys/block/sdz/sdz1");
        m_tree.Write("sys/block/sdz/removable", "1");
        m_tree.Write("mountinfo", "1 0 8:0 / / rw - ext4 /dev/fixed rw\n"
                                 "2 1 8:1 / " + m_tree.Path("media/stick") + " rw - vfat /dev/sdz1 rw\n");
        m_mounts.m_strMountInfo = m_tree.Path("mountinfo");
        m_mounts.m_strSysRoot = m_tree.Path("sys");

        CPlacesConfig config;
        config.m_strHome = m_tree.Path("home");
        config.m_strDesktopDir = m_tree.Path("home/Desktop");
        config.m_strMountInfo = m_mounts.m_strMountInfo;
        config.m_strSysRoot = m_mounts.m_strSysRoot;
        m_desktop = std::make_shared<CDesktopFolder>(config);
        m_root = MakeRootItem(m_desktop, SHELLTREE_FILES);
    }

    CFolderListing List(const ShellItemData& item)
    {
        CLoadingProgress progress;
        return EnumerateChildren(item, progress, m_mounts);
    }

    ShellItemData Child(const ShellItemData& parent, const std::string& name)
    {
        for (ShellItemData& item : List(parent).m_items) {
            if (item.m_strName == name)
                return item;
        }
        ADD_FAILURE() << "no child " << name;
        return {};
    }

    CTempDir m_tree;
    CMountSource m_mounts;
    std::shared_ptr<CDesktopFolder> m_desktop;
    ShellItemData m_root;
};

} // namespace

TEST_F(NamespaceTest, DesktopListsThePlaces)
{
    EXPECT_EQ(m_root.m_strName, "Desktop");
    const CFolderListing places = List(m_root);
    EXPECT_TRUE(places.m_bListed);
    EXPECT_EQ(places.m_nPopulate, 1) << "the desktop has no drive";
    EXPECT_EQ(Names(places), (std::vector<std::string>{"Home", "Desktop", "File System"}))
        << "the stick is not below /media of this system";
    EXPECT_EQ(GetPidlPath(places.m_items[0].m_pidl), m_tree.Path("home"));
    EXPECT_EQ(GetPidlPath(places.m_items[2].m_pidl), "/");
}

TEST_F(NamespaceTest, ListingIsSortedWithFoldersFirstAndHiddenLeftOut)
{
    const ShellItemData projects = Child(Child(m_root, "Home"), "Projects");
    const CFolderListing listing = List(projects);
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"board2", "board10", "Empty", "Alpha.hex",
                                                         "link-to-readme", "readme.txt"}));
    EXPECT_EQ(listing.m_nPopulate, 1) << "a fixed disk";
    const ShellItemData& link = listing.m_items[4];
    EXPECT_NE(link.m_nAttributes & SFGAO_LINK, 0u);
    EXPECT_EQ(link.m_nAttributes & SFGAO_FOLDER, 0u);
    EXPECT_TRUE(link.m_identity.m_bValid);
    EXPECT_EQ(ShellItemChildren(listing.m_items[2]), 1) << "with files shown every folder has a button";
    EXPECT_EQ(ShellItemChildren(listing.m_items[3]), 0) << "a file has none";
}

TEST_F(NamespaceTest, HiddenFlagListsDotNamesAndTheHiddenListAsGhosted)
{
    ShellItemData projects = Child(Child(m_root, "Home"), "Projects");
    projects.m_nFlags = SHELLTREE_FILES | SHELLTREE_HIDDEN;
    const CFolderListing listing = List(projects);
    for (const char* name : {".secret", "listed-hidden.bin", ".hidden"}) {
        bool found = false;
        for (const ShellItemData& item : listing.m_items) {
            if (item.m_strName == name) {
                found = true;
                EXPECT_NE(item.m_nAttributes & SFGAO_GHOST, 0u) << name;
            }
        }
        EXPECT_TRUE(found) << name;
    }
}

TEST_F(NamespaceTest, FoldersOnlyWhenFilesAreNotShown)
{
    ShellItemData projects = Child(Child(m_root, "Home"), "Projects");
    projects.m_nFlags = 0;
    const CFolderListing listing = List(projects);
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"board2", "board10", "Empty"}));
    EXPECT_EQ(ShellItemChildren(listing.m_items[0]), 1) << "board2 holds a sub-folder";
    EXPECT_EQ(ShellItemChildren(listing.m_items[2]), 0) << "Empty holds none";
}

TEST_F(NamespaceTest, LinkToAFolderIsAFolderAndASubFolder)
{
    m_tree.Folder("home/Links");
    ::symlink("../Projects/board2", m_tree.Path("home/Links/to-board").c_str());
    ::symlink("gone", m_tree.Path("home/Links/dangling").c_str());
    ShellItemData home = Child(m_root, "Home");
    home.m_nFlags = 0;
    const ShellItemData links = Child(home, "Links");
    EXPECT_EQ(ShellItemChildren(links), 1) << "a folder whose only sub-folder is a link";
    const CFolderListing listing = List(links);
    ASSERT_EQ(Names(listing), (std::vector<std::string>{"to-board"})) << "a dangling link is no folder";
    EXPECT_EQ(listing.m_items[0].m_nAttributes & (SFGAO_FOLDER | SFGAO_LINK), SFGAO_FOLDER | SFGAO_LINK);
    EXPECT_EQ(ShellItemChildren(listing.m_items[0]), 1) << "board2 holds src";
}

TEST_F(NamespaceTest, RemovableVolumeKeepsItsExpandButton)
{
    ShellItemData stick = m_root;
    stick.m_pidl = CPidl::Concat(CPidl::Empty(),
                                 CPidl::PlaceEntry(EPlaceType::Volume, kDriveRemovable, m_tree.Path("media/stick")));
    const CFolderListing listing = List(stick);
    EXPECT_TRUE(listing.m_bListed);
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"docs"}));
    EXPECT_EQ(listing.m_nPopulate, 0);
}

TEST_F(NamespaceTest, FolderThatCannotBeListed)
{
    ShellItemData gone = Child(Child(m_root, "Home"), "Projects");
    gone.m_pidl = CPidl::Concat(gone.m_pidl, CPidl::FileEntry("vanished"));
    const CFolderListing listing = List(gone);
    EXPECT_FALSE(listing.m_bListed);
    EXPECT_TRUE(listing.m_items.empty());
    EXPECT_EQ(listing.m_nPopulate, 1) << "on a fixed disk the button goes";
}

TEST_F(NamespaceTest, CancelledListingDropsItsResults)
{
    for (int i = 0; i < 2000; ++i)
        m_tree.Write("home/Projects/Empty/f" + std::to_string(i), "x");
    const ShellItemData empty = Child(Child(Child(m_root, "Home"), "Projects"), "Empty");
    std::atomic<bool> started{false};
    CLoadingProgress progress([&] { started.store(true); });
    CFolderListing listing;
    std::thread worker([&] { listing = EnumerateChildren(empty, progress, m_mounts); });
    // The GUI side reads the counts while the worker writes them, then cancels.
    int total = 0;
    while (!started.load())
        std::this_thread::yield();
    (void)progress.GetLoadingProgress(&total);
    progress.Cancel();
    worker.join();
    if (listing.m_bCancelled)
        EXPECT_TRUE(listing.m_items.empty());
    else
        EXPECT_EQ(listing.m_items.size(), 2000u) << "finished before the cancel";
}

TEST_F(NamespaceTest, SelectPathFindsTheDeepestMatchWithoutRegardToCase)
{
    const struct {
        const char* name;
        const char* path;
        std::vector<std::string> chain;
    } rows[] = {
        {"full path", "Desktop/Home/Projects/board2/src/main.hex",
         {"Desktop", "Home", "Projects", "board2", "src", "main.hex"}},
        {"other case", "desktop/HOME/projects/BOARD2",
         {"Desktop", "Home", "Projects", "board2"}},
        {"deepest existing folder", "Desktop/Home/Projects/gone/deeper",
         {"Desktop", "Home", "Projects"}},
        {"path running past a file", "Desktop/Home/Projects/readme.txt/more",
         {"Desktop", "Home", "Projects", "readme.txt"}},
        {"second name matches nothing", "Desktop/Nowhere", {"Desktop"}},
        {"separators doubled", "//Desktop//Home/", {"Desktop", "Home"}},
        {"first name matches nothing", "Laptop/Home/Projects", {}},
        {"empty path", "", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Names(FindBrowsePath(m_root, row.path, "/", m_mounts)), row.chain) << row.name;
}

TEST(DesktopPlaces, VolumesBelowTheMediaFoldersWithTheirDriveTypes)
{
    CTempDir tree;
    tree.Folder("home");
    tree.Folder("sys/block/sdz/sdz1");
    tree.Write("sys/block/sdz/removable", "1");
    tree.Write("mountinfo", "1 0 8:0 / / rw - ext4 /dev/fixed rw\n"
                           "2 1 8:1 / /media/user/USB rw - vfat /dev/sdz1 rw\n"
                           "3 1 0:9 / /mnt/nfs rw - nfs srv:/x rw\n"
                           "4 1 11:0 / /run/media/u/DVD ro - iso9660 /dev/sr0 ro\n"
                           "5 1 0:3 / /media rw - tmpfs tmpfs rw\n"
                           "6 1 0:4 / /mntx rw - ext4 /dev/fixed rw\n"
                           "7 1 8:1 / /media/user/USB rw - vfat /dev/sdz1 rw\n");
    CPlacesConfig config;
    config.m_strHome = tree.Path("home");
    config.m_strMountInfo = tree.Path("mountinfo");
    config.m_strSysRoot = tree.Path("sys");
    auto desktop = std::make_shared<CDesktopFolder>(config);
    std::vector<std::string> names;
    std::vector<int> types;
    std::vector<bool> removable;
    desktop->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, [&](CPidl&& child) {
        names.push_back(desktop->GetDisplayNameOf(child));
        types.push_back(PidlPlaceDriveType(PidlLastEntry(child)));
        removable.push_back((desktop->GetAttributesOf(child, SFGAO_REMOVABLE | SFGAO_FOLDER) & SFGAO_REMOVABLE) != 0);
        return true;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"Home", "File System", "USB", "nfs", "DVD"}));
    EXPECT_EQ(types, (std::vector<int>{kDriveUnknown, kDriveFixed, kDriveRemovable, kDriveRemote, kDriveCdRom}));
    EXPECT_EQ(removable, (std::vector<bool>{false, false, true, true, true}));
}

TEST(BrowsePath, SplitAndJoinRoundTrip)
{
    const std::vector<std::string> names = {"Desktop", "File System", "tmp", "a b\\c"};
    const std::string path = JoinBrowsePath(names, '/');
    EXPECT_EQ(path, "Desktop/File System/tmp/a b\\c");
    EXPECT_EQ(SplitBrowsePath(path, "/"), names);
    EXPECT_EQ(FindBrowseName({"abc", "ABC", "x"}, "Abc"), 0) << "the first in display order";
    EXPECT_EQ(FindBrowseName({"abc"}, "abd"), -1);
}
