#pragma once
// The mount table of this process (/proc/self/mountinfo): which device a directory lives on.

#include <istream>
#include <string>
#include <vector>

namespace platform {

struct MountEntry {
    unsigned major = 0; // device number of the mounted file system
    unsigned minor = 0;
    std::string mountPoint; // with the table's octal escapes (\040 for a blank, ...) undone
    std::string source;     // what was mounted, for a disk file system its block device
    std::string type;       // the file system's type: "ext4", "ntfs3", "fuseblk", ...
};

// The entries of a mountinfo text in table order; lines that do not parse are left out.
std::vector<MountEntry> ParseMountInfo(std::istream& text);

// The entry of the file system that holds directory (absolute, without "." or ".." steps), whose
// device number is major:minor, or null when no entry's mount point contains it. Among the
// mount points that contain directory, one of the same device wins over others (a btrfs
// subvolume reports a device number of its own), then the longest one, then the one mounted last
// (it hides the earlier ones).
const MountEntry* FindMount(const std::vector<MountEntry>& table, unsigned major, unsigned minor,
                            const std::string& directory);

} // namespace platform
