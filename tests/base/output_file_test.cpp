// The one way the terminal log and the board image write a file: what it leaves on disk, and
// that a failure of the disk reaches the caller.

#include "base/output_file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace fs = std::filesystem;

TEST(OutputFile, WritesFromTheStartWithThePermissionsAsked)
{
    CTempDir dir;
    const mode_t mask = ::umask(022);
    struct Case {
        const char* name;
        std::string before; // empty: no file yet
        fs::perms permissions;
        fs::perms expected; // for a new file, after the mask
    };
    const Case cases[] = {
        {"new, everyone may write", "", fs::perms(0666), fs::perms(0644)},
        {"new, owner only", "", fs::perms(0600), fs::perms(0600)},
        {"an older, longer file is emptied first", std::string(100, 'x'), fs::perms(0600), fs::perms(0644)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.before.empty() ? dir.Path(c.name) : dir.Write(c.name, c.before);
        COutputFile file;
        ASSERT_FALSE(file.Create(path, c.permissions));
        EXPECT_TRUE(file.IsOpen());
        EXPECT_FALSE(file.WriteAll("abc", 3));
        std::error_code error;
        EXPECT_EQ(file.WriteSome("de", 2, error), 2u);
        EXPECT_FALSE(error);
        EXPECT_FALSE(file.Close());
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(dir.Read(c.name), "abcde");
        EXPECT_EQ(fs::status(path).permissions(), c.expected);
    }
    ::umask(mask);
}

TEST(OutputFile, FailuresAreReported)
{
    COutputFile file;
    EXPECT_EQ(file.Create("/nonexistent-folder/log.txt"), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(file.IsOpen());
    // A full disk refuses the bytes.
    ASSERT_FALSE(file.Create("/dev/full"));
    EXPECT_EQ(file.WriteAll("abc", 3), std::errc::no_space_on_device);
    std::error_code error;
    EXPECT_EQ(file.WriteSome("abc", 3, error), 0u);
    EXPECT_EQ(error, std::errc::no_space_on_device);
    EXPECT_FALSE(file.Close());
}
