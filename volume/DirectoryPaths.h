#pragma once
// The climbs from a file name to the root directory through the MFT: the path of the directory a
// name lies in, and the records of its ancestors; where a climb ends, the errors for a climb that
// never gets there, and the test that a parent reference still names the directory it was made for.

#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/FileRecord.h"
#include "volume/FileReference.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

namespace Krod {

class CMft;

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

// The volume-relative path of the directory name lies in, with a leading and a trailing
// backslash ("\" for a name in the root), climbing through mft's records. Each ancestor is named
// by GetFileNameAttributes(selector) pruned to one name: DOS names go first, then Win32&DOS, then
// Win32 ones, while more than one is left. selector AnyNamespace means name's own namespace.
// Every parent reference on the way, but those to the root, must still name its directory
// (StillNames).
// Throws std::logic_error "Hardlink on directory occured" when an ancestor keeps several names;
// ENoFilenameAttribute with the ancestor's reference when it keeps none; EReusedParent when a
// reference no longer names its directory; EBrokenParentChain when the parents loop or lie
// deeper than kMaxDirectoryDepth; and what reading records throws.
std::wstring GetParentPath(CMft& mft, const CFileNameAttribute& name, int selector = AnyNamespace);

// The records of the ancestor directories of name, root first and parent last (the root alone for
// a name in the root); owned by the caller. Throws ENoFilenameAttribute for an ancestor without
// FILE_NAME, EReusedParent, EBrokenParentChain and record read errors as GetParentPath.
std::unique_ptr<std::list<CFileRecord>> GetAncestorRecords(CMft& mft, const CFileNameAttribute& name);

} // namespace Krod
