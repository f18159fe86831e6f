#pragma once
// The volume a -d path chooses inside an image: "PATH", "PATH#N" or "PATH@OFFSET", each optionally
// followed by "/vssK", the volume's shadow copy K.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct VolumeChoice {
    enum class Kind {
        Whole,     // the image's volume, or its one NTFS partition
        Partition, // partition number (Linux numbering: MBR primaries 1..4, logical ones from 5)
        Offset,    // the volume starting number bytes into the image
    };
    std::wstring path; // the image or device, in UTF-16 code units
    Kind kind = Kind::Whole;
    std::uint64_t number = 0;
    std::optional<std::uint64_t> shadowCopy; // K of "/vssK", counted from 1; 0 for "/vss" alone
};

// Takes off a last "/vss" and a decimal number, if there are, then splits what is left at its last
// "#" or "@": "#" and a decimal partition number, or "@" and a byte offset in decimal, with a
// multiplier k, m or g (1024, 1024^2, 1024^3) or s (512-byte sectors), in either case. A value that
// names an existing file as a whole is that file, so a name may hold "#", "@" and "/vss"; so is a
// value whose suffix is no such number (opening it then fails).
VolumeChoice SplitVolumeChoice(const std::wstring& value);

} // namespace platform
