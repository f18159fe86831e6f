#pragma once
// The header of an MFT record, read from its bytes, for a CFileRecord and for a scan that looks at
// records where they lie in a block it has read; and the update sequence that protects it, which
// INDX blocks carry the same way: the last two bytes of every 512-byte stretch hold the sequence
// number on disk, and the array after the number holds their true contents.

#include "volume/FileReference.h"
#include "volume/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace Krod {

// Record header flags.
constexpr std::uint16_t kRecordInUse = 0x0001;
constexpr std::uint16_t kRecordIsDirectory = 0x0002;

// Field offsets from the start of the record.
namespace RecordField {
constexpr std::size_t kSignature = 0x00;           // "FILE"
constexpr std::size_t kSequenceArrayOffset = 0x04; // u16, from the start of the block (INDX too)
constexpr std::size_t kSequenceArrayCount = 0x06;  // u16, words in the array (INDX too)
constexpr std::size_t kSequenceNumber = 0x10;      // u16
constexpr std::size_t kFirstAttribute = 0x14;      // u16, offset of the first attribute
constexpr std::size_t kFlags = 0x16;               // u16
constexpr std::size_t kBytesInUse = 0x18;          // u32, where the record's used bytes end
constexpr std::size_t kBaseReference = 0x20;       // u64 FileReference, 0 in a base record
} // namespace RecordField

constexpr std::uint32_t kFileSignature = 0x454C4946; // "FILE" read as a little-endian u32
constexpr std::uint32_t kBadSignature = 0x44414142;  // "BAAD": NTFS found a write to the record incomplete

// Each throws std::out_of_range when size is too small for the field.
inline bool HasFileSignature(const std::uint8_t* record, std::size_t size) {
    return read_le<std::uint32_t>(record, size, RecordField::kSignature) == kFileSignature;
}
inline bool HasBadSignature(const std::uint8_t* record, std::size_t size) {
    return read_le<std::uint32_t>(record, size, RecordField::kSignature) == kBadSignature;
}
inline std::uint16_t RecordFlags(const std::uint8_t* record, std::size_t size) {
    return read_le<std::uint16_t>(record, size, RecordField::kFlags);
}
inline std::uint16_t RecordSequenceNumber(const std::uint8_t* record, std::size_t size) {
    return read_le<std::uint16_t>(record, size, RecordField::kSequenceNumber);
}
inline FileReference RecordBaseReference(const std::uint8_t* record, std::size_t size) {
    return FileReference::FromRaw(read_le<std::uint64_t>(record, size, RecordField::kBaseReference));
}

// NTFS protects its structures in stretches of this many bytes, whatever the sector size.
constexpr std::size_t kUpdateSequenceStride = 512;

// Where the update sequence of a block fails: kArrayDamaged when its array does not fit the block
// or its stretches reach past it, else the first stretch (counted from 1) that does not end with the
// sequence number, a torn or damaged write; kSequenceSound when every stretch does.
constexpr std::size_t kSequenceSound = 0;
constexpr std::size_t kArrayDamaged = static_cast<std::size_t>(-1);
std::size_t FindUpdateSequenceFault(const std::uint8_t* block, std::size_t size);

// Checks and undoes the update sequence of a block (a record or an INDX block) of size bytes whose
// header holds the array offset and count (the sequence number included). A count of 0 or 1 needs
// no fixup. Returns true when the block is fixed up. Returns false, leaving the block untouched,
// when the header or array does not fit the block, the stretches reach past it, or a stretch does
// not end with the sequence number (a torn or damaged write).
bool ApplyUpdateSequence(std::uint8_t* block, std::size_t size);

} // namespace Krod
