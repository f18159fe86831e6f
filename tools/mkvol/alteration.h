// A change made to the image after libntfs-3g has closed it: edits that give records what Windows
// writes (applied before the manifest is taken) and damage (applied after it, and listed in it).
#pragma once

#include "mft_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mkvol {

struct Alteration {
    enum class Kind {
        Namespace,   // FILE_NAME namespace byte := value
        Flags,       // FILE_NAME flags |= set, &= ~clear
        Rename,      // FILE_NAME text := to (same length)
        RecordPatch, // damage: logical record bytes at offset := bytes, fixups redone
        RawPatch,    // damage: image bytes at offset := bytes
    };
    Kind kind = Kind::RawPatch;
    std::string origin; // recipe line, for error messages
    uint64_t record = 0;
    std::u16string name; // the FILE_NAME the edit applies to
    std::u16string to;
    uint32_t value = 0; // namespace byte, or the flags to set
    uint32_t clear = 0;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;

    bool IsDamage() const { return kind == Kind::RecordPatch || kind == Kind::RawPatch; }
};

// Applies the change; throws std::runtime_error prefixed with the alteration's origin.
void Apply(MftImage& image, const Alteration& alteration);

// The manifest line that records a piece of damage ("patch record=N offset=O bytes=HEX" or
// "raw offset=O bytes=HEX").
std::string DescribeDamage(const Alteration& alteration);

} // namespace mkvol
