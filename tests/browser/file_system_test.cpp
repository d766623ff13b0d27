// The browser's file-system calls on a real folder: what a listing and a look say of files,
// folders and links (followed or not), and the failures the callers turn into texts.

#include "browser/file_system.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <map>

using file_system::EKind;

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tree.Write("file.hex", "12345");
        m_tree.Folder("folder/inner");
        ASSERT_FALSE(file_system::MakeLink("folder", m_tree.Path("link-to-folder")));
        ASSERT_FALSE(file_system::MakeLink("file.hex", m_tree.Path("link-to-file")));
        ASSERT_FALSE(file_system::MakeLink("missing", m_tree.Path("dangling")));
    }

    CTempDir m_tree;
};

TEST_F(FileSystemTest, ListingNamesEveryEntryOnceWithoutFollowingLinks)
{
    const std::map<std::string, EKind> expected = {
        {"file.hex", EKind::Regular}, {"folder", EKind::Directory}, {"link-to-folder", EKind::Link},
        {"link-to-file", EKind::Link}, {"dangling", EKind::Link}};
    std::map<std::string, EKind> listed;
    EXPECT_FALSE(file_system::ListFolder(m_tree.Path(), [&](std::string&& name, EKind kind) {
        EXPECT_TRUE(listed.emplace(name, kind).second) << name;
        return true;
    }));
    ASSERT_EQ(listed.size(), expected.size());
    for (const auto& [name, kind] : expected) {
        ASSERT_EQ(listed.count(name), 1u) << name;
        // A file system that does not record kinds may say Unknown.
        EXPECT_TRUE(listed.at(name) == kind || listed.at(name) == EKind::Unknown) << name;
    }

    int calls = 0;
    EXPECT_FALSE(file_system::ListFolder(m_tree.Path(), [&](std::string&&, EKind) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2) << "false from the callback stops the listing";

    EXPECT_EQ(file_system::ListFolder(m_tree.Path("nothing"), [](std::string&&, EKind) { return true; }),
              std::errc::no_such_file_or_directory);
    EXPECT_EQ(file_system::ListFolder(m_tree.Path("file.hex"), [](std::string&&, EKind) { return true; }),
              std::errc::not_a_directory);
}

TEST_F(FileSystemTest, LookAtAPathWithAndWithoutFollowingLinks)
{
    const struct {
        const char* name;
        EKind entry;    // LinkStatus
        EKind followed; // Status; Unknown: it fails with ENOENT
        bool directory; // IsDirectory
    } rows[] = {
        {"file.hex", EKind::Regular, EKind::Regular, false},
        {"folder", EKind::Directory, EKind::Directory, true},
        {"link-to-folder", EKind::Link, EKind::Directory, true},
        {"link-to-file", EKind::Link, EKind::Regular, false},
        {"dangling", EKind::Link, EKind::Unknown, false},
        {"nothing", EKind::Unknown, EKind::Unknown, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = m_tree.Path(row.name);
        file_system::CStatus entry;
        const std::error_code entryError = file_system::LinkStatus(path, entry);
        if (row.entry == EKind::Unknown)
            EXPECT_EQ(entryError, std::errc::no_such_file_or_directory);
        else
            EXPECT_EQ(entry.m_kind, row.entry);
        file_system::CStatus followed;
        const std::error_code followedError = file_system::Status(path, followed);
        if (row.followed == EKind::Unknown)
            EXPECT_EQ(followedError, std::errc::no_such_file_or_directory);
        else
            EXPECT_EQ(followed.m_kind, row.followed);
        EXPECT_EQ(file_system::IsDirectory(path), row.directory);
    }
    EXPECT_FALSE(file_system::IsDirectory(""));

    file_system::CStatus link;
    file_system::CStatus target;
    ASSERT_FALSE(file_system::LinkStatus(m_tree.Path("link-to-file"), link));
    ASSERT_FALSE(file_system::Status(m_tree.Path("link-to-file"), target));
    EXPECT_NE(link.m_nInode, target.m_nInode) << "the link's identity is its own";
    EXPECT_EQ(target.m_nSize, 5u);
    std::string text;
    EXPECT_FALSE(file_system::ReadLink(m_tree.Path("dangling"), text));
    EXPECT_EQ(text, "missing");
    EXPECT_EQ(file_system::ReadLink(m_tree.Path("file.hex"), text), std::errc::invalid_argument);
}

TEST_F(FileSystemTest, RenameNeverReplacesAndRemoveLeavesFolders)
{
    m_tree.Write("other.hex", "other");
    EXPECT_EQ(file_system::RenameNoReplace(m_tree.Path("file.hex"), m_tree.Path("other.hex")),
              std::errc::file_exists);
    EXPECT_EQ(m_tree.Read("other.hex"), "other");
    EXPECT_FALSE(file_system::RenameNoReplace(m_tree.Path("file.hex"), m_tree.Path("moved.hex")));
    EXPECT_EQ(m_tree.Read("moved.hex"), "12345");

    EXPECT_EQ(file_system::RemoveFile(m_tree.Path("folder")), std::errc::is_a_directory);
    EXPECT_TRUE(m_tree.Exists("folder"));
    EXPECT_FALSE(file_system::RemoveFile(m_tree.Path("link-to-folder")));
    EXPECT_FALSE(m_tree.Exists("link-to-folder"));
    EXPECT_TRUE(m_tree.Exists("folder/inner")) << "a link goes, never what it points to";

    EXPECT_EQ(file_system::CopyRegularFile(m_tree.Path("moved.hex"), m_tree.Path("other.hex")),
              std::errc::file_exists);
    EXPECT_EQ(m_tree.Read("other.hex"), "other") << "a copy never replaces";
}
