#pragma once
// Which volume a run reads: the -d value or the drive of the current directory.

#include "platform/ErrorCode.h"

#include <string>

namespace platform {

struct Drive {
    std::wstring text;       // what the drive column shows, and what messages name
    std::wstring devicePath; // the volume to open, a drive text for platform::DevicePathForDrive
    wchar_t letter = 0;      // the drive letter junction targets on the volume name; 0 for none
};

struct CurrentDriveResult {
    std::wstring value; // a -d value for the drive, when error is 0
    ErrorCode error = 0;
    // The type of the file system that holds the directory when it certainly is not NTFS ("ext4",
    // "xfs", ...); empty when it is or may be. Windows: always empty.
    std::string otherFileSystem;
};

// The drive of the current directory, as a -d value.
// POSIX: the source of the file system holding the current directory (normally its block device,
// found in /proc/self/mountinfo); ENODEV when the table has no entry for it.
// Windows: the current drive's letter and a colon.
CurrentDriveResult CurrentDrive();

// What a DOS device name (a drive text such as "S:") stands for in the system's table of DOS
// devices: for a drive made with subst, "\??\" and the folder it shows ("\??\C:\cases").
// Empty when the name has no entry.
// Windows: the first target QueryDosDeviceW gives. POSIX: there is no such table; always empty.
std::wstring DosDeviceTarget(const std::wstring& name);

} // namespace platform
