// The one way files are read for the list, the download and Send File: what it refuses, and
// that what it reads is the file.

#include "base/regular_file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(RegularFile, RefusesWhatIsNoRegularFileWithoutBlocking)
{
    CTempDir dir;
    const std::string fifo = dir.Path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::error_code expected;
    };
    const Case cases[] = {
        {dir.Path("missing"), std::make_error_code(std::errc::no_such_file_or_directory)},
        {dir.Path(), std::make_error_code(std::errc::is_a_directory)},
        // Nobody writes to it: an open that waited for a writer would never return.
        {fifo, CRegularFile::NotRegular()},
        {"/dev/zero", CRegularFile::NotRegular()},
        {"/proc/self/status", CRegularFile::NotRegular()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CRegularFile file;
        const std::error_code code = file.Open(c.path);
        EXPECT_TRUE(code == c.expected || code == c.expected.default_error_condition()) << code.message();
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(CRegularFile::NotRegular().message(), "not a regular file");
}

TEST(RegularFile, ReadsEveryByteWholeOrInPieces)
{
    CTempDir dir;
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    const std::string path = dir.Write("image.bin", content);

    CRegularFile whole;
    ASSERT_FALSE(whole.Open(path));
    EXPECT_EQ(whole.Size(), content.size());
    std::vector<std::uint8_t> data;
    ASSERT_FALSE(whole.ReadAll(data));
    EXPECT_EQ(std::string(data.begin(), data.end()), content);

    CRegularFile pieces;
    ASSERT_FALSE(pieces.Open(path));
    std::string got;
    char buffer[4096];
    for (;;) {
        std::error_code error;
        const std::size_t n = pieces.Read(buffer, sizeof buffer, error);
        ASSERT_FALSE(error);
        if (n == 0)
            break;
        got.append(buffer, n);
    }
    EXPECT_EQ(got, content);

    CRegularFile empty;
    ASSERT_FALSE(empty.Open(dir.Write("empty.hex", "")));
    EXPECT_EQ(empty.Size(), 0u);
    ASSERT_FALSE(empty.ReadAll(data));
    EXPECT_TRUE(data.empty());
}
