#pragma once
// Which records and names of the scan may become hits, besides the name pattern: whether the
// record is in use, NTFS's own files, file or directory, data size, allocated size, and the
// special directories below the root.

#include "volume/Attribute.h"

#include <cstdint>
#include <unordered_map>

namespace cmdarg {
class command_line;
}
namespace Krod {
class CFileNameAttribute;
class CFileNameInPlace;
class CFileRecord;
class CMft;
} // namespace Krod

// Whether record is one of NTFS's own files in the root directory: its first Win32-selectable
// FILE_NAME carries the system flag, lies in the root and is one of "$MFT", "$MFTMirr",
// "$LogFile", "$Volume", "$AttrDef", ".", "$Bitmap", "$Boot", "$BadClus", "$Secure", "$UpCase",
// "$Extend", "$Quota", "$ObjId", "$Reparse" (exact case), or, unless listVolumeInformation,
// "System Volume Information". Throws what listing the record's names throws
// (Krod::EMutExAttributesError, ...).
bool IsSpecialNtfsFile(const Krod::CFileRecord& record, bool listVolumeInformation);
// The same for the record whose Win32-selectable FILE_NAMEs (GetFileNameAttributes with
// Krod::kNamespaceWin32) are win32Names.
bool IsSpecialNtfsFile(const Krod::AttributeList& win32Names, bool listVolumeInformation);
// The same for the record whose first Win32-selectable FILE_NAME is firstWin32Name (null: none).
bool IsSpecialNtfsFile(const Krod::CFileNameInPlace* firstWin32Name, bool listVolumeInformation);

// The filters the options -funused, -fUSED, -fDIRS, -fFILES, -fsize, -falloc and -fsystem choose.
class ResultFilters {
  public:
    // Reads the options once.
    explicit ResultFilters(const cmdarg::command_line& options);

    // Whether a valid, fixed-up record's in-use state (in its header flags) is wanted: by default only
    // records in use; -funused: all; -fUSED: only those not in use, whatever -funused says. A record is
    // looked at when it passes and is not one of NTFS's own files (IsSpecialNtfsFile, "System Volume
    // Information" allowed), which only records that pass are asked about.
    bool PassesInUseState(std::uint16_t recordFlags) const;

    // Whether the names of record may be hits as far as its kind and sizes go: -fDIRS drops
    // directories and -fFILES the rest (by the record header); -fsize and -falloc keep the sizes
    // of the unnamed $DATA stream (0 without one) that lie in their bounds.
    bool PassesShape(const Krod::CFileRecord& record) const;

    // Whether name, which matched, lies outside the special directories: unless -fsystem, a name
    // whose directory below the root on the way up is one of NTFS's own files or "System Volume
    // Information" is dropped. A name whose ancestors cannot be climbed to the root (an ancestor
    // without FILE_NAME, a directory that is gone, a loop, an absurd depth) cannot be shown to lie
    // in one, so it passes and
    // is printed as an orphan. Throws what reading the ancestor records throws otherwise.
    bool PassesAncestors(const Krod::CFileNameAttribute& name, Krod::CMft& mft) const;

  private:
    // PassesAncestors without -fsystem, found by climbing from name.
    static bool AncestorsPass(const Krod::CFileNameAttribute& name, Krod::CMft& mft);

    struct Bounds {
        bool active = false;
        std::uint64_t min = 0;
        std::uint64_t max = 0; // all bits set: no upper bound
        bool Contain(std::uint64_t value) const;
    };

    bool notInUseOnly_;
    bool anyInUseState_;
    bool noDirectories_;
    bool noFiles_;
    Bounds size_;
    Bounds allocatedSize_;
    bool system_;
    // PassesAncestors' answers by the reference to the directory that holds the name.
    mutable std::unordered_map<std::uint64_t, bool> passingDirectories_;
};
