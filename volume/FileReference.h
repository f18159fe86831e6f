#pragma once
// NTFS's 64-bit file reference: low 48 bits record number, high 16 bits sequence number.

#include <cstdint>
#include <iosfwd>

namespace Krod {

struct FileReference {
    std::uint32_t low = 0;  // low 32 bits of the record number
    std::uint32_t high = 0; // bits 32-47 of the record number, then the 16-bit sequence number

    FileReference() = default;
    // The reference of a plain record number, sequence 0.
    explicit FileReference(std::uint32_t recordNumber) : low(recordNumber) {}
    // The reference as NTFS stores it.
    static FileReference FromRaw(std::uint64_t raw) {
        FileReference reference;
        reference.low = static_cast<std::uint32_t>(raw);
        reference.high = static_cast<std::uint32_t>(raw >> 32);
        return reference;
    }

    std::uint64_t GetRaw() const { return (std::uint64_t{high} << 32) | low; }
    std::uint64_t GetRecordNumber() const { return GetRaw() & 0xFFFFFFFFFFFFull; }
    std::uint16_t GetSequenceNumber() const { return static_cast<std::uint16_t>(high >> 16); }

    friend bool operator==(FileReference a, FileReference b) { return a.GetRaw() == b.GetRaw(); }
    friend bool operator!=(FileReference a, FileReference b) { return !(a == b); }
};

// Writes the reference as "#<record number>(<sequence number>)", for example #1234(3).
std::ostream& operator<<(std::ostream& out, FileReference reference);

} // namespace Krod
