#pragma once
// The directory paths under which a hit's name is reached: the path through the parent
// references, then every path that reaches the same directory through junction points.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace Krod {
class CFileNameAttribute;
class CJunctionTable;
class CMft;
} // namespace Krod

// Stands in the place of the path of a hit whose parent directory cannot be resolved.
extern const wchar_t kOrphanPrefix[];

// The paths of name, the FILE_NAME that matched in record recordNumber, in the order the hit's
// lines are written; never empty. Each is a volume-relative directory path ("\" for the root,
// "\A\B\" below it). The ancestors are named in name's own namespace, where they have a name in it.
// When an ancestor has no usable FILE_NAME, or a parent reference on the way no longer names the
// directory it was made for (the directory is gone, its record reused), the hit is an orphan: "Unable to
// resolve path of
// #<recordNumber>. <reason>" and a line end go to errors, and the orphan prefix is the only path.
// Throws what the walk throws otherwise (std::logic_error "Hardlink on directory occured",
// Krod::ESystemError, ...).
std::vector<std::wstring> ResolveResultPaths(const Krod::CFileNameAttribute& name, std::uint32_t recordNumber,
                                             Krod::CMft& mft, const Krod::CJunctionTable& junctions,
                                             std::wostream& errors);
