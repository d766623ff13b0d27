// The shell's order: folders before files, then names by a numeric-aware, case-insensitive
// collation; the desktop keeps its places in their fixed order.

#include "browser/desktop_folder.h"
#include "browser/file_system_folder.h"
#include "browser/shell_namespace.h"

#include <gtest/gtest.h>

namespace {

struct OrderRow {
    const char* a;
    const char* b;
    int expected;
};

ShellItemData Item(const std::shared_ptr<IShellFolder>& folder, const char* name, bool isFolder)
{
    ShellItemData item;
    item.m_pFolder = folder;
    item.m_pidl = CPidl::FileEntry(name);
    item.m_strName = name;
    item.m_nAttributes = isFolder ? SFGAO_FOLDER : 0;
    return item;
}

} // namespace

TEST(ShellOrder, NamesCompareNumericallyAndWithoutCase)
{
    const OrderRow rows[] = {
        {"file2", "file10", -1},
        {"file10", "file2", 1},
        {"File10", "file9", 1},
        {"a", "B", -1},
        {"B", "a", 1},
        {"abc", "ABC", 1}, // equal under the collation: bytes decide, stably
        {"x007", "x7", -1}, // same value: the bytes put "x007" first
        {"x10y2", "x10y10", -1},
        {"readme", "readme.txt", -1},
        {"board-1.hex", "board-01.hex", 1},
        {"same", "same", 0},
        {"99", "100", -1},
        {"", "a", -1},
        {"123456789012345678901234567890", "123456789012345678901234567891", -1},
    };
    for (const OrderRow& row : rows) {
        const int r = CompareNamesNatural(row.a, row.b);
        EXPECT_EQ((r > 0) - (r < 0), row.expected) << row.a << " vs " << row.b;
    }
}

TEST(ShellOrder, FoldersComeBeforeFiles)
{
    auto folder = std::make_shared<CFileSystemFolder>("/tmp");
    const struct {
        const char* a;
        bool aFolder;
        const char* b;
        bool bFolder;
        int expected;
    } rows[] = {
        {"zeta", true, "alpha", false, -1},
        {"alpha", false, "zeta", true, 1},
        {"a2", true, "a10", true, -1},
        {"a10", false, "a2", false, 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CompareShellItems(Item(folder, row.a, row.aFolder), Item(folder, row.b, row.bFolder)),
                  row.expected)
            << row.a << " vs " << row.b;
    }
}

TEST(ShellOrder, DesktopKeepsItsPlacesInTheirOrder)
{
    auto desktop = std::make_shared<CDesktopFolder>(CPlacesConfig{});
    auto place = [&](EPlaceType type, const char* path, const char* name) {
        ShellItemData item;
        item.m_pFolder = desktop;
        item.m_pidl = CPidl::PlaceEntry(type, kDriveFixed, path);
        item.m_strName = name;
        item.m_nAttributes = SFGAO_FOLDER;
        return item;
    };
    std::vector<ShellItemData> items = {
        place(EPlaceType::Volume, "/media/u/Zip", "Zip"),
        place(EPlaceType::FileSystem, "/", "File System"),
        place(EPlaceType::Volume, "/mnt/Home", "Home"),
        place(EPlaceType::Desktop, "/home/u/Desktop", "Desktop"),
        place(EPlaceType::Home, "/home/u", "Home"),
        place(EPlaceType::Volume, "/media/u/Alpha", "Alpha"),
    };
    std::stable_sort(items.begin(), items.end(),
                     [](const ShellItemData& a, const ShellItemData& b) { return CompareShellItems(a, b) < 0; });
    std::vector<std::string> paths;
    for (const ShellItemData& item : items)
        paths.push_back(GetPidlPath(CPidl::Concat(CPidl::Empty(), item.m_pidl)));
    EXPECT_EQ(paths, (std::vector<std::string>{"/home/u", "/home/u/Desktop", "/", "/media/u/Alpha",
                                               "/mnt/Home", "/media/u/Zip"}));
}
