#pragma once
// Where the climb from a file name to the root directory ends, the errors for a climb that never
// gets there, and the test that a parent reference still names the directory it was made for. The climbs
// themselves are CFileNameAttribute::GetParentPath and GetAncestorRecords.

#include "volume/Errors.h"
#include "volume/FileReference.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Krod {

// The root directory's MFT record.
constexpr std::uint64_t kRootDirectoryRecord = 5;
// A Win32 path holds at most 32767 code units, so at most 16384 directories ("\x" each) stand
// above a name; a longer climb is taken for damage.
constexpr std::size_t kMaxDirectoryDepth = 16384;

// The parent references above a name loop or run deeper than kMaxDirectoryDepth, so the name
// cannot be reached from the root. Being an ENoFilenameAttribute, it lets callers that show
// unresolvable names as orphans treat it the same way.
class EBrokenParentChain : public ENoFilenameAttribute {
  public:
    // reference: the record at which the climb was given up; loop: whether it was reached twice
    // (otherwise the climb grew too deep). Throws std::bad_alloc if the message cannot be formatted.
    EBrokenParentChain(FileReference reference, bool loop);
    // "MFC record #n(s) is its own ancestor." or
    // "MFC record #n(s) lies more than 16384 directories below the root."
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

// The record a parent reference points to holds another file now: NTFS frees a record by moving
// its sequence number on and may then give the record to a new file, so a deleted name's parent
// directory may be gone although its record number is in use. Being an ENoFilenameAttribute, it
// lets callers that show unresolvable names as orphans treat it the same way.
class EReusedParent : public ENoFilenameAttribute {
  public:
    // reference: the parent reference that no longer matches; found: the sequence number of the
    // record it points to. Throws std::bad_alloc if the message cannot be formatted.
    EReusedParent(FileReference reference, std::uint16_t found);
    // "MFC record #n(s) is gone: its record has sequence number f now."
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

// Whether a directory record whose header holds sequence number found and inUse is still the one
// that reference names: the same sequence number, or the next one in a record no longer in use
// (the directory was deleted, and its record not given to another file since). A reference with
// sequence number 0 names no particular file and is always taken.
bool StillNames(FileReference reference, std::uint16_t found, bool inUse);

} // namespace Krod
