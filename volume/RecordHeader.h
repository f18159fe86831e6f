#pragma once
// The header fields of an MFT record read from its bytes, for a CFileRecord and for a scan that
// looks at records where they lie in a block it has read.

#include "volume/FileReference.h"
#include "volume/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace Krod {

// Record header flags.
constexpr std::uint16_t kRecordInUse = 0x0001;
constexpr std::uint16_t kRecordIsDirectory = 0x0002;

namespace RecordField {
constexpr std::size_t kSignature = 0x00;      // "FILE"
constexpr std::size_t kSequenceNumber = 0x10; // u16
constexpr std::size_t kFlags = 0x16;          // u16
constexpr std::size_t kBaseReference = 0x20;  // u64 FileReference, 0 in a base record
} // namespace RecordField

constexpr std::uint32_t kFileSignature = 0x454C4946; // "FILE" read as a little-endian u32

// Each throws std::out_of_range when size is too small for the field.
inline bool HasFileSignature(const std::uint8_t* record, std::size_t size) {
    return read_le<std::uint32_t>(record, size, RecordField::kSignature) == kFileSignature;
}
inline std::uint16_t RecordFlags(const std::uint8_t* record, std::size_t size) {
    return read_le<std::uint16_t>(record, size, RecordField::kFlags);
}
inline FileReference RecordBaseReference(const std::uint8_t* record, std::size_t size) {
    return FileReference::FromRaw(read_le<std::uint64_t>(record, size, RecordField::kBaseReference));
}

} // namespace Krod
