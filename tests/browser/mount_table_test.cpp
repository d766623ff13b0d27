// Drive types from a sample mount table and a sample /sys, both in a temporary folder.

#include "browser/mount_table.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {

const char* kMountInfo =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "30 27 8:1 / /home rw,relatime shared:2 master:1 - ext4 /dev/sda1 rw\n"
    "31 27 8:17 / /media/user/USB\\040STICK rw - vfat /dev/sdb1 rw\n"
    "32 27 11:0 / /media/user/DVD ro - iso9660 /dev/sr0 ro\n"
    "33 27 0:40 / /mnt/share rw - cifs //server/share rw\n"
    "34 27 0:41 / /mnt/nfs rw - nfs4 server:/export rw\n"
    "35 27 0:42 / /tmp rw - tmpfs tmpfs rw\n"
    "36 27 0:43 / /mnt/remote rw - fuse.sshfs user@host: rw\n"
    "37 27 179:1 / /media/user/SDCARD rw - exfat /dev/mmcblk0p1 rw\n"
    "38 27 8:33 / /media/user/DISK rw - ext4 /dev/sdc1 rw\n"
    "39 27 7:0 / /mnt/image ro - udf /dev/loop0 ro\n"
    "malformed line without the separator\n";

} // namespace

TEST(MountTable, ParsesFieldsAndEscapes)
{
    const auto entries = CMountTable::Parse(kMountInfo);
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(entries[1].m_strMountPoint, "/");
    EXPECT_EQ(entries[2].m_strFsType, "ext4") << "optional fields before the dash are skipped";
    EXPECT_EQ(entries[2].m_strSource, "/dev/sda1");
    EXPECT_EQ(entries[3].m_strMountPoint, "/media/user/USB STICK");
}

TEST(MountTable, DriveTypeOfPaths)
{
    CTempDir sys;
    sys.Folder("block/sda/sda1");
    sys.Write("block/sda/removable", "0\n");
    sys.Folder("block/sdb/sdb1");
    sys.Write("block/sdb/removable", "1\n");
    sys.Folder("block/mmcblk0/mmcblk0p1");
    sys.Write("block/mmcblk0/removable", "1\n");
    sys.Folder("block/sdc/sdc1");
    sys.Write("block/sdc/removable", "0\n");
    const CMountTable table(CMountTable::Parse(kMountInfo), sys.Path());

    const struct {
        const char* path;
        int type;
    } rows[] = {
        {"/", kDriveFixed},
        {"/usr/lib", kDriveFixed},
        {"/home/user/work", kDriveFixed},
        {"/homework", kDriveFixed}, // a prefix by text only is not the /home mount
        {"/media/user/USB STICK/files", kDriveRemovable},
        {"/media/user/SDCARD", kDriveRemovable},
        {"/media/user/DISK", kDriveFixed},
        {"/media/user/DVD", kDriveCdRom},
        {"/mnt/image", kDriveCdRom},
        {"/mnt/share/docs", kDriveRemote},
        {"/mnt/nfs", kDriveRemote},
        {"/mnt/remote", kDriveRemote},
        {"/tmp/x", kDriveRamDisk},
        {"relative/path", kDriveNoRootDir},
        {"", kDriveNoRootDir},
    };
    for (const auto& row : rows)
        EXPECT_EQ(table.DriveTypeOf(row.path), row.type) << row.path;
}

TEST(MountTable, UnreadableTableKnowsNothing)
{
    const CMountTable table = CMountTable::Load("/nonexistent/mountinfo", "/nonexistent");
    EXPECT_TRUE(table.Entries().empty());
    EXPECT_EQ(table.DriveTypeOf("/"), kDriveUnknown);
}

TEST(MountTable, LaterMountOnTheSamePointWins)
{
    const CMountTable table(CMountTable::Parse("1 0 8:1 / /data rw - ext4 /dev/sda1 rw\n"
                                               "2 0 0:5 / /data rw - nfs srv:/d rw\n"),
                            "/nonexistent");
    EXPECT_EQ(table.DriveTypeOf("/data/file"), kDriveRemote);
}
