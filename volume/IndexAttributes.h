#pragma once
// The index views: INDEX_ROOT (type 0x90) and INDEX_ALLOCATION (type 0xA0), the entries of their
// nodes, and the $BITMAP (type 0xB0) that says which index blocks are in use.

#include "volume/Attribute.h"
#include "volume/FileReference.h"

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Krod {

constexpr std::uint32_t kAttributeBitmap = 0xB0;

// One entry of an index node, checked to lie inside its node. It points into the buffer of the
// view it came from and is valid while that view (or a copy of it) lives.
class CIndexEntry {
  public:
    // The entry at bytes, length bytes long (its length field). Throws std::runtime_error
    // "Index entry key reaches past its entry" when its key does not fit.
    CIndexEntry(const std::uint8_t* bytes, std::size_t length);

    // The u64 at entry offset 0: in a $I30 index, the file the entry names.
    FileReference GetFileReference() const;
    // The key (a FILE_NAME value in $I30, a reparse key in $R): GetKeyLength() bytes inside the entry.
    const std::uint8_t* GetKey() const;
    std::size_t GetKeyLength() const { return keyLength_; }

  private:
    const std::uint8_t* bytes_;
    std::size_t length_;
    std::size_t keyLength_;
};

using IndexEntryList = std::vector<CIndexEntry>;

class CIndexRootAttribute : public CAttribute {
  public:
    // The empty view.
    CIndexRootAttribute() = default;
    // A view of attribute; the empty attribute gives the empty view. Throws std::invalid_argument
    // "Not an indexroot attribute", std::logic_error "Nonresident indexroot attribute not
    // supported", std::runtime_error "INDEX_ROOT value is shorter than its headers".
    explicit CIndexRootAttribute(const CAttribute& attribute);

    // The entries of the root node in storage order, up to the entry marked last (which carries no
    // key); sub-nodes are not visited. Throws std::logic_error "Attribute is empty", and
    // std::runtime_error "Index node reaches past its buffer" or "Index entry reaches past its node"
    // for a damaged node.
    IndexEntryList GetEntries() const;
    // The size of the index's blocks in INDEX_ALLOCATION.
    std::uint32_t GetBytesPerIndexBlock() const;
    // True when the index has sub-nodes, kept in INDEX_ALLOCATION blocks.
    bool HasSubNodes() const;

  private:
    const std::uint8_t* Value() const;
};

class CIndexAllocationAttribute : public CAttribute {
  public:
    // Largest stream read into memory; an index this big is taken for damage.
    static constexpr std::uint64_t kMaxStreamBytes = 256u << 20;
    // Largest index block accepted; NTFS writes 4096-byte blocks.
    static constexpr std::uint32_t kMaxBlockSize = 65536;

    // The empty view.
    CIndexAllocationAttribute() = default;
    // A view of attribute whose blocks are bytesPerIndexBlock long (CIndexRootAttribute::
    // GetBytesPerIndexBlock); the empty attribute gives the empty view. Reads the whole stream
    // once and undoes the update sequence of every block that carries the INDX signature. Throws
    // std::invalid_argument "Not an index allocation attribute", std::logic_error "Resident index
    // allocations not supported", std::runtime_error "Unsupportable index block size",
    // "INDEX_ALLOCATION size too long" (beyond kMaxStreamBytes or the volume's sectors), "Not all clusters of
    // INDEX_ALLOCATION are read", and device errors.
    CIndexAllocationAttribute(const CAttribute& attribute, std::uint32_t bytesPerIndexBlock);

    // Whole blocks in the stream.
    std::size_t GetBlockCount() const;
    // The entries of every block whose bit is set in inUse (the index's $BITMAP: bit i of byte i/8
    // for block i), block after block, each up to its entry marked last. Throws std::logic_error
    // "Attribute is empty", std::runtime_error "Index block in use is damaged" for a block in use
    // without the INDX signature or with a torn update sequence, and the node errors of
    // CIndexRootAttribute::GetEntries.
    IndexEntryList GetEntries(const std::vector<std::uint8_t>& inUse) const;

  private:
    struct Stream {
        std::vector<std::uint8_t> bytes;
        std::uint32_t blockSize = 0;
        std::vector<bool> blockIsSound; // INDX signature and update sequence intact
    };
    boost::shared_ptr<const Stream> stream_; // shared by copies; never changed after construction
};

// The bytes of an index's $BITMAP attribute, resident or not (up to its data size). Throws
// std::runtime_error "Index bitmap is damaged" when its stream cannot be read whole.
std::vector<std::uint8_t> ReadIndexBitmap(const CAttribute& bitmap);

} // namespace Krod
