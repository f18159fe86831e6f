#include "platform/posix/MountInfo.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using platform::FindMount;
using platform::MountEntry;
using platform::ParseMountInfo;

const char* const kTable = "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                           "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                           "broken line\n"
                           "40 27 8:17 / /mnt/my\\040disk rw shared:5 master:2 - ntfs3 /dev/sdb1 rw\n"
                           "41 27 0:45 /sub /home rw - btrfs /dev/sdc2 rw\n"
                           "42 27 8:33 / /mnt/a rw - ext4 /dev/sdc1 rw\n"
                           "43 42 8:34 / /mnt/a/b rw - ext4 /dev/sdc3 rw\n"
                           "44 27 8:35 / /mnt/a rw - xfs /dev/sdd1 rw\n";

std::vector<MountEntry> Table() {
    std::istringstream text(kTable);
    return ParseMountInfo(text);
}

// Fields, escapes ("\\040") and broken lines show in which entry a directory is found.
TEST(MountInfoTest, FindsTheFileSystemHoldingADirectory) {
    const auto table = Table();
    struct Case {
        unsigned major, minor;
        const char* directory;
        const char* source; // null: no entry
    };
    const Case cases[] = {
        {254, 0, "/", "/dev/vda"},
        {254, 0, "/work/main", "/dev/vda"},
        {254, 0, "/procfs", "/dev/vda"},            // a name that only begins like a mount point
        {8, 17, "/mnt/my disk/cases", "/dev/sdb1"}, //
        {0, 99, "/home/ana", "/dev/sdc2"},          // device number of a subvolume: longest mount point
        {8, 34, "/mnt/a/b/c", "/dev/sdc3"},         // opened before /mnt/a was mounted over
        {8, 35, "/mnt/a/x", "/dev/sdd1"},           // the later mount hides the earlier one
        {1, 1, "/mnt/a/x", "/dev/sdd1"},
    };
    for (const Case& c : cases) {
        const MountEntry* mount = FindMount(table, c.major, c.minor, c.directory);
        ASSERT_NE(mount, nullptr) << c.directory;
        EXPECT_EQ(mount->source, c.source) << c.directory;
    }
    EXPECT_EQ(FindMount(table, 254, 0, "relative/dir"), nullptr);
    EXPECT_EQ(FindMount({}, 254, 0, "/"), nullptr);
}

} // namespace
