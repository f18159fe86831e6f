#pragma once
// Where the climb from a file name to the root directory ends, and the error for a climb that
// never gets there. The climbs themselves are CFileNameAttribute::GetParentPath and
// GetAncestorRecords.

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

} // namespace Krod
