// Deleting and moving on real files: what the user saw is what is acted on, a move never
// replaces a file, and across file systems a file is copied then deleted while a folder fails.

#include "browser/shell_file_ops.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

CFileIdentity IdentityOf(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    return CFileIdentity{st.st_dev, st.st_ino, true};
}

bool SameFileSystem(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

} // namespace

TEST(ShellFileOps, DeleteRemovesAFileAndRefusesAFolder)
{
    CTempDir tree;
    tree.Write("a.hex", "x");
    tree.Folder("dir");
    EXPECT_FALSE(DeleteShellFile(tree.Path("a.hex"), IdentityOf(tree.Path("a.hex"))));
    EXPECT_FALSE(tree.Exists("a.hex"));

    const std::error_code folder = DeleteShellFile(tree.Path("dir"), IdentityOf(tree.Path("dir")));
    EXPECT_EQ(folder, std::errc::is_a_directory);
    EXPECT_TRUE(tree.Exists("dir"));
    EXPECT_EQ(DeleteShellFile("", {}), std::errc::no_such_file_or_directory) << "an item without a path";
}

TEST(ShellFileOps, DeleteOfALinkLeavesItsTarget)
{
    CTempDir tree;
    tree.Write("target.bin", "keep");
    ::symlink("target.bin", tree.Path("link").c_str());
    EXPECT_FALSE(DeleteShellFile(tree.Path("link"), IdentityOf(tree.Path("link"))));
    EXPECT_FALSE(tree.Exists("link"));
    EXPECT_EQ(tree.Read("target.bin"), "keep");
}

TEST(ShellFileOps, StaleItemIsRefused)
{
    CTempDir tree;
    tree.Write("seen.hex", "old");
    const CFileIdentity seen = IdentityOf(tree.Path("seen.hex"));
    // Replaced on disk after the listing: another file under the same name.
    tree.Write("other.hex", "new");
    ASSERT_EQ(::rename(tree.Path("other.hex").c_str(), tree.Path("seen.hex").c_str()), 0);
    tree.Folder("dest");

    EXPECT_EQ(DeleteShellFile(tree.Path("seen.hex"), seen), EBrowserError::StaleItem);
    EXPECT_EQ(MoveShellFile(tree.Path("seen.hex"), tree.Path("dest/seen.hex"), seen), EBrowserError::StaleItem);
    EXPECT_EQ(tree.Read("seen.hex"), "new") << "the other file is untouched";
    EXPECT_FALSE(tree.Exists("dest/seen.hex"));

    ASSERT_EQ(::unlink(tree.Path("seen.hex").c_str()), 0);
    EXPECT_EQ(DeleteShellFile(tree.Path("seen.hex"), seen), EBrowserError::StaleItem) << "gone since listed";
    EXPECT_NE(std::error_code(EBrowserError::StaleItem).message().find("changed on disk"), std::string::npos);
}

TEST(ShellFileOps, MoveWithinAFileSystem)
{
    CTempDir tree;
    tree.Write("a.hex", "data");
    tree.Folder("src/inner");
    tree.Write("src/inner/f", "f");
    tree.Folder("dest");
    EXPECT_FALSE(MoveShellFile(tree.Path("a.hex"), tree.Path("dest/a.hex"), IdentityOf(tree.Path("a.hex"))));
    EXPECT_EQ(tree.Read("dest/a.hex"), "data");
    EXPECT_FALSE(tree.Exists("a.hex"));
    EXPECT_FALSE(MoveShellFile(tree.Path("src"), tree.Path("dest/src"), IdentityOf(tree.Path("src"))))
        << "a whole folder";
    EXPECT_EQ(tree.Read("dest/src/inner/f"), "f");
}

TEST(ShellFileOps, MoveNeverReplacesAnExistingFile)
{
    CTempDir tree;
    tree.Write("a.hex", "mine");
    tree.Folder("dest");
    tree.Write("dest/a.hex", "theirs");
    EXPECT_EQ(MoveShellFile(tree.Path("a.hex"), tree.Path("dest/a.hex"), IdentityOf(tree.Path("a.hex"))),
              std::errc::file_exists);
    EXPECT_EQ(tree.Read("dest/a.hex"), "theirs");
    EXPECT_EQ(tree.Read("a.hex"), "mine");
}

TEST(ShellFileOps, MoveAcrossFileSystems)
{
    CTempDir disk("/tmp");
    // A system without a usable /dev/shm skips rather than fails.
    std::unique_ptr<CTempDir> ramDir;
    try {
        ramDir = std::make_unique<CTempDir>("/dev/shm");
    } catch (const std::exception&) {
    }
    if (!ramDir || SameFileSystem(disk.Path(), ramDir->Path()))
        GTEST_SKIP() << "needs /tmp and /dev/shm on different file systems";
    const CTempDir& ram = *ramDir;
    std::string big(300000, 'q');
    big[12345] = 'Z';
    disk.Write("big.bin", big);
    ::chmod(disk.Path("big.bin").c_str(), 0640);
    disk.Folder("folder");
    ::symlink("big.bin", disk.Path("link").c_str());

    EXPECT_FALSE(MoveShellFile(disk.Path("big.bin"), ram.Path("big.bin"), IdentityOf(disk.Path("big.bin"))))
        << "a file is copied, then deleted";
    EXPECT_EQ(ram.Read("big.bin"), big);
    EXPECT_FALSE(disk.Exists("big.bin"));
    struct stat st {};
    ASSERT_EQ(::stat(ram.Path("big.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    EXPECT_FALSE(MoveShellFile(disk.Path("link"), ram.Path("link"), IdentityOf(disk.Path("link"))));
    char target[64] = {};
    EXPECT_EQ(::readlink(ram.Path("link").c_str(), target, sizeof target - 1), 7);
    EXPECT_STREQ(target, "big.bin");

    EXPECT_EQ(MoveShellFile(disk.Path("folder"), ram.Path("folder"), IdentityOf(disk.Path("folder"))),
              std::errc::cross_device_link);
    EXPECT_TRUE(disk.Exists("folder"));
    EXPECT_FALSE(ram.Exists("folder"));

    disk.Write("again.bin", "a");
    ram.Write("again.bin", "b");
    EXPECT_EQ(MoveShellFile(disk.Path("again.bin"), ram.Path("again.bin"), IdentityOf(disk.Path("again.bin"))),
              std::errc::file_exists);
    EXPECT_EQ(ram.Read("again.bin"), "b");
    EXPECT_EQ(disk.Read("again.bin"), "a") << "the source stays when the copy cannot be made";
}
