#pragma once
// The shared buffer of one MFT record read: a frame of the disk's frame pool, reference counted,
// with the record's attribute index once it has been built.

#include "volume/AttributeWalk.h"
#include "volume/LogicalDisk.h"

#include <boost/container/small_vector.hpp>
#include <boost/intrusive_ptr.hpp>

#include <cstddef>
#include <cstdint>

namespace Krod {

class CFileRecordData {
  public:
    // Attributes the index holds inside the record's frame, more than a record usually carries;
    // only a record with more takes memory from the heap.
    static constexpr std::size_t kInlineAttributes = 8;
    // Where an attribute lies in the record.
    struct AttributeSpan {
        std::uint32_t offset;
        std::uint32_t length;
    };
    // One attribute by type; index is its position in record order.
    struct TypedAttribute {
        std::uint32_t type;
        std::uint32_t index;
    };
    // The attributes of a valid record: spans in record order, and the same sorted by (type, index);
    // where damage ended the walk over them, or kWalkComplete.
    struct AttributeIndex {
        boost::container::small_vector<AttributeSpan, kInlineAttributes> spans;
        boost::container::small_vector<TypedAttribute, kInlineAttributes> byType;
        std::uint32_t damagedAt = kWalkComplete;
    };

    // The frame size a disk's allocator needs so that Create() can hold records of recordSize bytes.
    static std::uint32_t FrameSizeFor(std::uint32_t recordSize);
    // A new buffer with one reference, taking one frame of disk's allocator (whose frame size
    // came from FrameSizeFor); its bytes are undefined. The buffer holds a disk reference.
    // Throws std::bad_alloc when the pool is exhausted, std::logic_error when the frame size is unset.
    static CFileRecordData* Create(CLogicalDisk* disk);

    CFileRecordData(const CFileRecordData&) = delete;
    CFileRecordData& operator=(const CFileRecordData&) = delete;

    void AddRef() { ++references_; }
    // Drops one reference and returns the count left; at 0 the frame goes back to the pool.
    std::uint32_t Release() {
        const std::uint32_t left = --references_;
        if (left == 0)
            Destroy();
        return left;
    }

    std::uint8_t* GetBuffer() { return buffer_; }
    const std::uint8_t* GetBuffer() const { return buffer_; }
    // The record size in bytes.
    std::uint32_t GetSize() const { return size_; }
    CLogicalDisk* GetDisk() const { return disk_.get(); }

    // The attribute index of the record in the buffer, built on the first call from a buffer that
    // holds a valid, fixed-up record; the buffer must not change afterwards.
    const AttributeIndex& GetAttributeIndex();
    // Whether the valid, fixed-up record in the buffer carries an $ATTRIBUTE_LIST. Reads only the
    // attributes ahead of where the list would be; no allocation.
    bool HasAttributeList() const;

  private:
    CFileRecordData(CLogicalDisk* disk, std::uint8_t* buffer, std::uint32_t size);
    ~CFileRecordData() = default; // only Release() destroys a buffer
    void Destroy();
    void BuildAttributeIndex();

    std::uint32_t references_ = 1;
    boost::intrusive_ptr<CLogicalDisk> disk_;
    std::uint8_t* buffer_;
    std::uint32_t size_;
    bool indexBuilt_ = false;
    AttributeIndex index_;
};

// Hooks for boost::intrusive_ptr<CFileRecordData>.
inline void intrusive_ptr_add_ref(CFileRecordData* data) {
    data->AddRef();
}
inline void intrusive_ptr_release(CFileRecordData* data) {
    data->Release();
}

} // namespace Krod
