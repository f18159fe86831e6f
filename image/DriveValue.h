#pragma once
// The grammar of the value that names a volume on systems where a volume is named by a path:
// [X:]PATH[#N|@OFFSET][/vssK].
// Plain C++: whether a file exists is asked of the caller, so the rules can be tested as rows.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace image {

// The parts of a value. A new suffix adds a field here and a rule to ParseDriveValue.
struct DriveValue {
    enum class Kind {
        Whole,     // the image's volume, or its one NTFS partition
        Partition, // partition number (Linux numbering: MBR primaries 1..4, logical ones from 5)
        Offset,    // the volume starting number bytes into the image
    };
    wchar_t letter = 0; // X of "X:PATH", the drive letter the volume is given; 0 without one
    std::wstring path;  // the image or device, in UTF-16 code units
    Kind kind = Kind::Whole;
    std::uint64_t number = 0;                // the partition number or the byte offset
    std::optional<std::uint64_t> shadowCopy; // K of "/vssK", counted from 1; 0 for "/vss" alone
};

// A parsed value, or the one line (UTF-16 code units, without the "An error occured." that
// reports it) that says which part of the value is wrong and what is accepted there.
struct DriveValueParse {
    DriveValue value;
    std::wstring problem; // empty when value holds the parts
};

// Whether a file or device of that name exists.
using ExistsFunction = std::function<bool(const std::wstring& path)>;

// Splits a value into its parts (the problem calls it valueName, as the user knows it):
// - "X:" with an ASCII letter X, followed by a PATH that begins with "/" or ".", gives the letter;
//   any other "X:..." that names no existing file is refused, saying how to write the path;
// - a PATH that exists as a whole is that file, so a name may hold "#", "@" and "/vss";
// - else a last "/vss", alone or followed by decimal digits, chooses a shadow copy of the volume
//   that the rest names, read by the rules below;
// - else the longest part of PATH, ending before a "#" or "@" of its last component, that exists
//   is the image, and the rest is one choice: "#" and a decimal partition number from 1, or "@"
//   and a decimal byte offset, optionally followed by a multiplier k, m, g (1024, 1024^2, 1024^3)
//   or s (512-byte sectors), in either case; anything else there is refused;
// - a PATH of which no such part exists is taken whole (opening it then says it does not exist).
DriveValueParse ParseDriveValue(const std::wstring& value, const ExistsFunction& exists,
                                const std::wstring& valueName);

} // namespace image
