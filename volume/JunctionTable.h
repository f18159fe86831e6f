#pragma once
// The volume's junction points, read once from the $R index of $Extend\$Reparse, and the lookup
// of every path under which a directory is reachable through them.

#include "volume/FileReference.h"
#include "volume/UpcaseTable.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace Krod {

class CMft;

// The key of a $R index entry: which file carries a reparse point of which tag.
struct ReparseIndexKey {
    std::uint32_t tag = 0;
    FileReference reference;
};

// One junction point: where it is and where it leads.
struct JunctionEntry {
    FileReference junction;
    std::wstring sourcePath; // volume-relative path of the junction itself (\D\J), case as stored
    std::wstring targetPath; // target without drive and trailing backslash (\T; empty for a root)
    wchar_t targetDrive;     // target's drive letter, upper case
};

// The text without its leading run of backslashes, question marks and full stops: \??\C:\T gives
// C:\T, \\.\C: gives C:. A text made only of those characters (or empty) comes back unchanged.
std::wstring StripPathPrefix(const std::wstring& text);

class CJunctionTable {
  public:
    // Most paths one lookup may produce; junctions that reach each other can multiply them.
    static constexpr std::size_t kMaxAlternatePaths = 65536;
    // Windows follows at most this many reparse points in one path, so no longer alternate exists.
    static constexpr std::size_t kMaxJunctionsPerPath = 63;

    // Loads the junctions of the volume mft reads, naming their sources in the namespace chosen by
    // selector (as GetParentPath does); a null mft gives an empty table. volumeDrive is the
    // volume's drive letter, which lookups without a drive stand on (0: none, nothing resolves).
    // Drive letters match in either case; target paths and lookups match in the upper case of
    // upcase unless caseSensitive.
    // Throws std::runtime_error "$Extend is not a directory", "$Extend does not have INDEX_ROOT
    // $I30", "$Extend has several INDEX_ROOT $I30" and the errors of LoadReparseIndex.
    CJunctionTable(CMft* mft, const CUpcaseTable& upcase, bool caseSensitive, int selector,
                   wchar_t volumeDrive);

    // Replaces the entries by the junctions listed in the $R index of reparseFile: its root and
    // every index block in use. Throws std::runtime_error "$Reparse does not have INDEX_ROOT $R",
    // "$Reparse has several INDEX_ROOT $R", the same for INDEX_ALLOCATION and BITMAP $R when the
    // root has sub-nodes, "$R index entry is shorter than its key", the index and AddJunction errors.
    void LoadReparseIndex(CMft& mft, FileReference reparseFile, int selector);

    // Adds the junction that key names; false (nothing added) when key's tag is not a name-surrogate
    // mount point or its target names no drive. Throws std::runtime_error "Junction point source
    // has no SYMBOLIC_LINK", "... has several SYMBOLIC_LINK", "... has no FILE_NAME", and what
    // GetJunctionTarget and GetParentPath throw.
    bool AddJunction(CMft& mft, int selector, const ReparseIndexKey& key);

    // Adds a junction at sourcePath that leads to target, a drive path such as C:\T; false (nothing
    // added) when target does not start with a drive letter and colon followed by a backslash or
    // nothing.
    bool AddEntry(FileReference junction, std::wstring sourcePath, const std::wstring& target);

    // path itself, then every path under which the same directory is reachable through junctions,
    // for the most specific target first; each alternate is followed by its own alternates. A
    // target applies where it matches the path up to a backslash or the path's end; no junction is
    // passed twice, nor more than kMaxJunctionsPerPath of them, on the way to one alternate.
    // path is volume-relative, or carries a drive
    // ("C:\T\"); the part of it behind a target keeps the caller's letter case. Owned by the caller.
    // Throws std::runtime_error when the paths would exceed kMaxAlternatePaths.
    std::unique_ptr<std::list<std::wstring>> GetAlternatePaths(const std::wstring& path) const;

    // The entries ordered by target drive, then target path (code-unit order; equal keys in the
    // order added); target paths are upper-cased unless the table is case-sensitive.
    const std::vector<JunctionEntry>& GetEntries() const { return entries_; }

  private:
    std::wstring PathKey(std::wstring path) const;
    void AppendAlternates(const std::wstring& path, std::vector<const JunctionEntry*>& passed,
                          std::list<std::wstring>& paths) const;

    CUpcaseTable upcase_;
    bool caseSensitive_;
    std::vector<JunctionEntry> entries_;
    wchar_t volumeDrive_;
};

} // namespace Krod
