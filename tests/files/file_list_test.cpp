// The file list's rules on real files: adding and the duplicate rule, full paths, the list file
// on disk (line ends, blanks, missing files, bytes that are not UTF-8) and the command states.

#include "base/commands.h"
#include "files/file_list.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
std::vector<std::string> Paths(const CFileList& list)
{
    std::vector<std::string> paths;
    for (int i = 0; i < list.Count(); ++i)
        paths.push_back(list.GetEntryPath(i));
    return paths;
}

TEST(FileListAdd, TheSameFileTwiceGivesOneRow)
{
    CTempDir dir;
    std::string path = dir.Write("a.hex", "12345");
    CFileList list;
    EXPECT_EQ(list.AddFile(path), 0);
    EXPECT_EQ(list.AddFile(path), -1);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0), (CFileEntry{"a.hex", dir.Path(), 5}));
}

TEST(FileListAdd, NameIgnoresCaseFolderDoesNot)
{
    CFileList list;
    EXPECT_GE(list.AddFile("/nowhere/work/a.hex"), 0);
    // Same folder, name in another case: the same file.
    EXPECT_EQ(list.AddFile("/nowhere/work/A.HEX"), -1);
    // Folder in another case: another file.
    EXPECT_GE(list.AddFile("/nowhere/WORK/A.HEX"), 0);
    EXPECT_EQ(list.Count(), 2);
}

TEST(FileListAdd, SameNameInTwoFoldersGivesTwoRows)
{
    CTempDir one, two;
    CFileList list;
    list.AddFile(one.Write("a.hex", "1"));
    list.AddFile(two.Write("a.hex", "22"));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Entry(0).m_strName, "a.hex");
    EXPECT_EQ(list.Entry(1).m_strName, "a.hex");
    EXPECT_NE(list.Entry(0).m_strFolder, list.Entry(1).m_strFolder);
}

TEST(FileListAdd, RootFolderKeepsItsSeparatorOnce)
{
    CFileList list;
    list.AddFile("/boot.bin");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).m_strFolder, "/");
    EXPECT_EQ(list.GetEntryPath(0), "/boot.bin");
    EXPECT_EQ(CFileList::GetEntryPath(CFileEntry{"a.hex", "/work/", {}}), "/work/a.hex");
    EXPECT_EQ(CFileList::GetEntryPath(CFileEntry{"a.hex", "/work", {}}), "/work/a.hex");
}

TEST(FileListAdd, DirectoriesEmptyPathsAndMissingFiles)
{
    CTempDir dir;
    CFileList list;
    EXPECT_EQ(list.AddFile(""), -1);
    EXPECT_EQ(list.AddFile(dir.Path()), -1);
    EXPECT_EQ(list.AddFile(dir.Path() + "/"), -1);
    EXPECT_EQ(list.AddFile(dir.Path("gone.hex")), 0);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_FALSE(list.Entry(0).m_nSize.has_value());
    // An empty file has a size, 0.
    list.AddFile(dir.Write("empty.bin", ""));
    EXPECT_EQ(list.Entry(0).m_nSize, std::optional<std::int64_t>(0));
}

TEST(FileListAdd, RowsStaySortedByNameIgnoringCase)
{
    CFileList list;
    for (const char* path : {"/x/c.hex", "/x/B.hex", "/x/a.hex", "/y/b.bin"})
        list.AddFile(path);
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/x/a.hex", "/y/b.bin", "/x/B.hex", "/x/c.hex"}));
    EXPECT_EQ(list.AddFile("/z/aa.hex"), 1);
    list.RemoveAt(0);
    EXPECT_EQ(list.GetEntryPath(0), "/z/aa.hex");
    list.RemoveAll();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ListFile, ReadDropsLineEndsTrailingBlanksAndEmptyLines)
{
    CTempDir dir;
    std::string existing = dir.Write("a.hex", "abc");
    std::string listFile = dir.Write(CFileList::kListFileName,
                                     existing + " \t \r\n\r\n   \n" + dir.Path("missing.hex") + "\r\n/lone.bin");
    EXPECT_EQ(ReadListFile(listFile).m_paths, (std::vector<std::string>{existing, dir.Path("missing.hex"), "/lone.bin"}));
    CFileList list;
    EXPECT_FALSE(list.LoadFileList(listFile));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(0).m_nSize, std::optional<std::int64_t>(3));
    EXPECT_FALSE(list.Entry(2).m_nSize.has_value()); // missing.hex still listed
}

TEST(ListFile, LinesHoldingANulByteAreSkipped)
{
    // Rows found by fuzzing first: no file name holds a NUL, so the line names no file.
    const std::string rows[] = {std::string("\0\x04", 2), std::string("/w/a.hex\0.txt\r\n/w/b.hex", 23)};
    const std::vector<std::string> paths[] = {{}, {"/w/b.hex"}};
    CTempDir dir;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        std::string listFile = dir.Write(CFileList::kListFileName, rows[i]);
        EXPECT_EQ(ReadListFile(listFile).m_paths, paths[i]) << i;
    }
}

TEST(ListFile, MissingListFileGivesEmptyList)
{
    CTempDir dir;
    CFileList list;
    EXPECT_FALSE(list.LoadFileList(dir.Path("nothing.lst")));
    EXPECT_EQ(list.Count(), 0);
}

TEST(ListFile, RoundTripKeepsBytesAndWritesCrLfInDisplayOrder)
{
    CTempDir dir;
    // A name that is not UTF-8 (Latin-1 e-acute) and a folder with a blank.
    std::string odd = std::string("caf\xE9") + ".hex";
    std::filesystem::create_directory(dir.Path("a b"));
    std::string first = dir.Write("a b/" + odd, "1234");
    std::string second = dir.Write("B.bin", "");
    CFileList list;
    list.AddFile(first);
    list.AddFile(second);
    list.AddFile("/boot.bin");
    std::string listFile = dir.Path(CFileList::kListFileName);
    ASSERT_FALSE(list.SaveFileList(listFile));
    EXPECT_EQ(ReadWholeFile(listFile), second + "\r\n/boot.bin\r\n" + first + "\r\n");

    CFileList again;
    again.LoadFileList(listFile);
    EXPECT_EQ(again.Entries(), list.Entries());
    // Nothing but the list file is left in the folder (the temporary file is renamed).
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        count += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(count, 2); // B.bin and lastfiles.lst
}

TEST(ListFile, WriteFailingMidwayKeepsTheOldList)
{
    CTempDir dir;
    std::string listFile = dir.Write(CFileList::kListFileName, "/old.hex\r\n");
    // Files may grow to 64 bytes only: the new list breaks off in the middle of its writing.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    bool written = !WriteListFile(listFile, {std::string(50, 'a'), std::string(50, 'b')});
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(dir.Read(CFileList::kListFileName), "/old.hex\r\n");
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        count += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(count, 1) << "the broken temporary file must be gone";
}

TEST(ListFile, WriteIntoAMissingFolderFails)
{
    CTempDir dir;
    EXPECT_EQ(WriteListFile(dir.Path("no/such/folder/lastfiles.lst"), {"/a.hex"}), std::errc::no_such_file_or_directory);
}

TEST(ListFile, AListFileThatCannotBeReadIsAnErrorAMissingOneIsNot)
{
    CTempDir dir;
    std::filesystem::create_directory(dir.Path("folder.lst"));
    mkfifo(dir.Path("fifo.lst").c_str(), 0600);
    std::string locked = dir.Write("locked.lst", "/a.hex\r\n");
    chmod(locked.c_str(), 0);
    const struct {
        std::string m_path;
        std::string m_reason; // empty: no error
    } rows[] = {
        {dir.Path("missing.lst"), ""},
        {dir.Path("folder.lst"), std::make_error_code(std::errc::is_a_directory).message()},
        {dir.Path("fifo.lst"), "not a regular file"},
        // Only a user without the power to read everything is kept out by the mode.
        {locked, geteuid() == 0 ? "" : std::make_error_code(std::errc::permission_denied).message()},
    };
    for (const auto& row : rows) {
        CListFileRead read = ReadListFile(row.m_path);
        EXPECT_EQ(read.m_error ? read.m_error.message() : "", row.m_reason) << row.m_path;
        CFileList list;
        EXPECT_EQ(list.LoadFileList(row.m_path), read.m_error) << row.m_path;
    }
}

TEST(ListFile, ALinkIsWrittenThroughAndStays)
{
    CTempDir dir;
    std::filesystem::create_directory(dir.Path("real"));
    dir.Write("real/list.lst", "/old.hex\r\n");
    // A relative link to a relative link, and a link whose file does not exist yet.
    std::filesystem::create_symlink("real/list.lst", dir.Path("inner.lst"));
    std::filesystem::create_symlink("inner.lst", dir.Path(CFileList::kListFileName));
    std::filesystem::create_symlink(dir.Path("real/new.lst"), dir.Path("dangling.lst"));
    ASSERT_FALSE(WriteListFile(dir.Path(CFileList::kListFileName), {"/a.hex"}));
    ASSERT_FALSE(WriteListFile(dir.Path("dangling.lst"), {"/b.hex"}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path(CFileList::kListFileName)));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("inner.lst")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("dangling.lst")));
    EXPECT_EQ(ReadWholeFile(dir.Path("real/list.lst")), "/a.hex\r\n");
    EXPECT_EQ(ReadWholeFile(dir.Path("real/new.lst")), "/b.hex\r\n");
}

TEST(FileListAdd, ManyAtOnceGiveWhatOneByOneGives)
{
    CTempDir dir;
    std::string real = dir.Write("Real.hex", "12");
    std::filesystem::create_directory(dir.Path("sub.hex"));
    const std::vector<std::string> before = {"/x/b.hex", "/x/D.hex"};
    const std::vector<std::string> paths = {
        "/x/c.hex", "/x/B.HEX", "/y/b.hex", "", "/x/a.hex", "/x/A.hex", dir.Path("sub.hex"), real, "/x/",
        "/z/b.hex", "/y/b.hex", "/x/d.hex", "/x/a.hex", "/w/B.hex", dir.Path("real.HEX"), "/x/\xE9.bin", "/x/\xC9.bin",
    };
    CFileList one;
    CFileList many;
    for (const std::string& path : before) {
        one.AddFile(path);
        many.AddFile(path);
    }
    int added = 0;
    for (const std::string& path : paths)
        added += one.AddFile(path) >= 0 ? 1 : 0;
    EXPECT_EQ(many.AddFiles(paths), added);
    EXPECT_EQ(many.Entries(), one.Entries());
    EXPECT_EQ(many.AddFiles(paths), 0);

    // Without looking at the files first: each probe result completes its row, folders go.
    CFileList later;
    for (const std::string& path : before)
        later.AddFile(path);
    later.AddFiles(paths, false);
    std::vector<std::string> pending;
    for (const CFileEntry& entry : later.Entries())
        if (entry.m_bPending)
            pending.push_back(CFileList::GetEntryPath(entry));
    for (const std::string& path : pending) {
        CFileProbe probe = CFileList::ProbeFile(path);
        int row = later.ApplyProbe(path, probe);
        ASSERT_GE(row, 0) << path;
        if (probe.m_bDirectory)
            later.RemoveAt(row);
    }
    EXPECT_EQ(later.ApplyProbe(real, CFileList::ProbeFile(real)), -1) << "no row is pending twice";
    EXPECT_EQ(later.Entries(), one.Entries());
}

TEST(ListFile, EmptyListWritesAnEmptyFile)
{
    CTempDir dir;
    std::string listFile = dir.Write(CFileList::kListFileName, "/old.hex\r\n");
    ASSERT_FALSE(CFileList().SaveFileList(listFile));
    EXPECT_EQ(ReadWholeFile(listFile), "");
}

TEST(UriList, LocalFilesComeThroughAsBytes)
{
    struct Row {
        const char* m_name;
        std::string m_list;
        std::vector<std::string> m_paths;
    } rows[] = {
        {"one", "file:///home/u/a.hex\r\n", {"/home/u/a.hex"}},
        {"escapes", "file:///home/u/My%20Work/%24(touch%20pwned).hex", {"/home/u/My Work/$(touch pwned).hex"}},
        {"not_utf8", "file:///w/caf%E9.hex\r\nfile:///w/b.bin", {"/w/caf\xE9.hex", "/w/b.bin"}},
        {"localhost", "file://localhost/w/a.hex", {"/w/a.hex"}},
        {"other_host_scheme_comment", "# comment\r\nfile://far/w/a.hex\r\nhttp://x/y\r\n\r\n", {}},
        {"broken_escape_kept", "file:///w/100%.hex", {"/w/100%.hex"}},
        // No file name holds a NUL: the path would name the file before it. Found by fuzzing.
        {"escaped_nul_left_out", "file:///w/a.hex%00.txt\r\nfile:///w/b.hex", {"/w/b.hex"}},
        {"fuzzed_plain_nul_left_out", std::string("file:///%\xcc:\xd0/%\xcc:1\x8b\0%\r", 21), {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PathsFromUriList(row.m_list), row.m_paths) << row.m_name;
}

struct UpdateRow {
    int m_nID;
    int m_nSelected;
    int m_nRows;
    bool m_bEnabled;
    std::optional<std::string> m_strText;
};

TEST(FileListUpdate, EnablingAndTextsForZeroOneAndTwoSelectedRows)
{
    using namespace cmd;
    const std::optional<std::string> same; // text left as it was
    const UpdateRow rows[] = {
        {ID_TOOLS_PROGRAM, 0, 3, false, same},
        {ID_TOOLS_BUILD, 0, 3, false, same},
        {ID_TOOLS_DEBUG, 0, 3, false, same},
        {ID_TOOLS_EDIT, 0, 3, false, same},
        {ID_FILE_REMOVE, 0, 3, false, same},
        {ID_FILE_REMOVE_ALL, 0, 3, true, same},
        {ID_FILE_REMOVE_ALL, 0, 0, false, same},
        {ID_TOOLS_PROGRAM, 1, 3, true, "&Program 'a.hex'"},
        {ID_TOOLS_BUILD, 1, 3, true, "&Build 'a.hex'"},
        {ID_TOOLS_DEBUG, 1, 3, true, "&Debug 'a.hex'"},
        {ID_TOOLS_EDIT, 1, 3, true, "&Edit 'a.hex'"},
        {ID_FILE_REMOVE, 1, 3, true, "&Remove 'a.hex'"},
        {ID_FILE_REMOVE_ALL, 1, 3, true, same},
        {ID_TOOLS_PROGRAM, 2, 3, false, same},
        {ID_TOOLS_BUILD, 2, 3, false, same},
        {ID_TOOLS_DEBUG, 2, 3, false, same},
        {ID_TOOLS_EDIT, 2, 3, false, same},
        {ID_FILE_REMOVE, 2, 3, true, same},
        {ID_FILE_REMOVE_ALL, 2, 3, true, same},
    };
    for (const UpdateRow& row : rows) {
        CCmdUI ui;
        ui.m_nID = row.m_nID;
        ASSERT_TRUE(UpdateFileListCommand(ui, row.m_nSelected, row.m_nRows, row.m_nSelected == 1 ? "a.hex" : ""));
        EXPECT_EQ(ui.m_bEnabled, row.m_bEnabled) << row.m_nID << " with " << row.m_nSelected << " selected";
        EXPECT_EQ(ui.m_strText, row.m_strText) << row.m_nID << " with " << row.m_nSelected << " selected";
    }
    CCmdUI other;
    other.m_nID = ID_TOOLS_OPTIONS;
    EXPECT_FALSE(UpdateFileListCommand(other, 1, 1, "a.hex"));
}
} // namespace
