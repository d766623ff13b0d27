#include "app/user_guide.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

TEST(UserGuide, TheInstalledCopyComesFirstThenTheBuildTreesThenNone)
{
    CTempDir dir;
    const std::string bin = dir.Folder("usr/bin");
    const std::string buildDoc = dir.Folder("build/doc");
    const std::string installed = dir.Path("usr/share/doc/quillorex-programmer/guide.html");
    EXPECT_EQ(InstalledUserGuidePath(bin), installed);

    EXPECT_EQ(FindUserGuide(bin, buildDoc), "");
    dir.Write("build/doc/guide.html", "<html/>");
    EXPECT_EQ(FindUserGuide(bin, buildDoc), buildDoc + "/guide.html");
    dir.Write("usr/share/doc/quillorex-programmer/guide.html", "<html/>");
    EXPECT_EQ(FindUserGuide(bin, buildDoc), installed);
    EXPECT_EQ(FindUserGuide("", buildDoc), buildDoc + "/guide.html");
    // A folder by the guide's name is not a guide.
    CTempDir other;
    other.Folder("doc/guide.html");
    EXPECT_EQ(FindUserGuide("", other.Path("doc")), "");
}
