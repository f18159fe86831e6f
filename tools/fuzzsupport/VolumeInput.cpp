#include "tools/fuzzsupport/fuzz_support.h"

#include <algorithm>

namespace vesk_fuzz {
namespace {

// An extent header: u32 offset, u16 length.
constexpr std::size_t kHeaderSize = 6;
// Longest extent one header can describe.
constexpr std::size_t kMaxExtent = 0xFFFF;
// Stretches of zeros are left out of an input in units of this many bytes, a sector.
constexpr std::size_t kZeroUnit = 512;

std::uint64_t ReadLe(const std::uint8_t* bytes, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i)
        value = value << 8 | bytes[i - 1];
    return value;
}

void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void AppendExtent(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& image, std::size_t begin,
                  std::size_t end) {
    while (begin < end) {
        const std::size_t length = std::min(end - begin, kMaxExtent);
        AppendLe(out, begin, 4);
        AppendLe(out, length, 2);
        out.insert(out.end(), image.begin() + begin, image.begin() + begin + length);
        begin += length;
    }
}

} // namespace

std::vector<std::uint8_t> VolumeFromInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> volume;
    std::size_t pos = 0;
    while (size - pos >= kHeaderSize) {
        const std::uint64_t offset = ReadLe(data + pos, 4);
        const std::size_t length = std::min<std::size_t>(ReadLe(data + pos + 4, 2), size - pos - kHeaderSize);
        pos += kHeaderSize;
        if (offset < kMaxVolumeBytes) {
            const std::size_t kept = std::min<std::size_t>(length, kMaxVolumeBytes - offset);
            if (volume.size() < offset + kept)
                volume.resize(offset + kept);
            std::copy(data + pos, data + pos + kept, volume.begin() + offset);
        }
        pos += length;
    }
    return volume;
}

std::vector<std::uint8_t> InputFromVolume(const std::vector<std::uint8_t>& image,
                                          const std::vector<std::pair<std::uint64_t, std::size_t>>& ranges) {
    // Whole units of the image that some range touches and that hold a nonzero byte.
    const std::size_t units = (std::min(image.size(), kMaxVolumeBytes) + kZeroUnit - 1) / kZeroUnit;
    std::vector<bool> keep(units, false);
    for (const auto& [offset, length] : ranges)
        for (std::uint64_t unit = offset / kZeroUnit; unit < units && unit * kZeroUnit < offset + length;
             ++unit)
            keep[unit] = true;
    for (std::size_t unit = 0; unit < units; ++unit) {
        const auto first = image.begin() + unit * kZeroUnit;
        const auto last = image.begin() + std::min(image.size(), (unit + 1) * kZeroUnit);
        keep[unit] = keep[unit] && std::any_of(first, last, [](std::uint8_t b) { return b != 0; });
    }
    std::vector<std::uint8_t> out;
    for (std::size_t unit = 0; unit < units;) {
        if (!keep[unit]) {
            ++unit;
            continue;
        }
        std::size_t end = unit;
        while (end < units && keep[end])
            ++end;
        AppendExtent(out, image, unit * kZeroUnit, std::min(image.size(), end * kZeroUnit));
        unit = end;
    }
    return out;
}

} // namespace vesk_fuzz
