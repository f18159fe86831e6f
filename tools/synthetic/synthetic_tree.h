#pragma once
// On-disk values of the typed attributes (index nodes, INDX blocks, reparse data, $UpCase) and a
// small synthetic volume with the system records the path and junction code needs: the root,
// $UpCase, and room for directories, $Extend, $Reparse and index blocks.

#include "synthetic_volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vesk_test {

// A junction's reparse tag: Microsoft-owned, name surrogate, mount point.
constexpr std::uint32_t kJunctionTag = 0xA0000003;

// One index entry: fileReference (or a view index's data fields), key and flags; the length is
// the key's rounded up to 8 bytes, plus the sub-node VCN when flags carry 1.
Bytes IndexEntry(std::uint64_t fileReference, const Bytes& key, std::uint16_t flags = 0);
// The entry that ends a node (flags 2, no key).
Bytes LastIndexEntry();
// A 16-byte node header followed by entries (which should end with LastIndexEntry()).
Bytes IndexNode(const std::vector<Bytes>& entries);
// An INDEX_ROOT value over a node; hasSubNodes sets the node flag.
Bytes IndexRootValue(std::uint32_t blockSize, const std::vector<Bytes>& entries, bool hasSubNodes = false);
// An INDX block of blockSize bytes holding a node, its update sequence applied with usn.
Bytes IndexBlock(std::uint32_t blockSize, const std::vector<Bytes>& entries, std::uint16_t usn = 0x0707);
// A $R key: reparse tag and the file that carries the reparse point.
Bytes ReparseKey(std::uint32_t tag, std::uint64_t fileReference);
// Reparse data of a mount point whose substitute name is target; a tag without bit 31 gets a GUID.
Bytes MountPointValue(const std::wstring& target, std::uint32_t tag = kJunctionTag);
// The $UpCase data: every unit maps to itself except ASCII, Latin-1 and Cyrillic lower-case
// letters and U+1E01, which map to their upper case.
Bytes UpcaseData();

// Record 10 as $UpCase: UpcaseData() at firstCluster on, and a named $Info stream beside it.
void PutUpcase(SyntheticVolume& volume, std::uint64_t firstCluster);

// References as FILE_NAME values and index entries store them: record n, sequence 1.
std::uint64_t Ref(std::uint64_t record);

// 4096-byte clusters, 1024-byte records, 256 clusters: the MFT (records 0-63) at clusters 4-19,
// $UpCase at clusters 32-63, clusters from kFreeCluster on free for the test's streams.
class SyntheticTree : public SyntheticVolume {
  public:
    static constexpr std::uint64_t kUpcaseCluster = 32;
    static constexpr std::uint64_t kFreeCluster = 64;

    // Root directory (5) and $UpCase (10, with a named $Info stream beside its data) in place.
    SyntheticTree();
    // A directory record with the given FILE_NAME values, for the test to add attributes to.
    static RecordBuilder DirectoryRecord(const std::vector<Bytes>& names);
    // Record n as a directory with the given FILE_NAME values.
    void PutDirectory(std::uint64_t n, const std::vector<Bytes>& names);
    // $Extend (11) as a directory whose $I30 root lists entries (see ExtendEntry).
    void PutExtend(const std::vector<Bytes>& entries);
    // A $I30 entry of $Extend naming record n.
    static Bytes ExtendEntry(const std::wstring& name, std::uint64_t n);
    // Junction record n named name in directory parent, leading to target.
    void PutJunction(std::uint64_t n, std::uint64_t parent, const std::wstring& name,
                     const std::wstring& target);
};

} // namespace vesk_test
