// Makes the seeds of the index and search fuzzers from a volume image: each describes the parts
// of the image that the fuzzer's code reads from it, found by running that code on the image.
//
//     vesk-fuzz-seed IMAGE INDEX_SEED SEARCH_SEED

#include "platform/MemoryDevice.h"
#include "tools/fuzzsupport/fuzz_support.h"

#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <utility>
#include <vector>

namespace {

// A device that reads through to a memory device the caller keeps, so that the reads it counts
// outlive the disk that owns this one.
class SharedDevice : public platform::Device {
  public:
    explicit SharedDevice(platform::MemoryDevice& target) : target_(target) {}
    std::optional<std::uint32_t> SectorSize() const override { return target_.SectorSize(); }
    std::optional<std::uint64_t> Size() const override { return target_.Size(); }
    platform::ErrorCode Seek(std::uint64_t offset) override { return target_.Seek(offset); }
    platform::ErrorCode Read(void* buffer, std::size_t size) override { return target_.Read(buffer, size); }

  private:
    platform::MemoryDevice& target_;
};

using Ranges = std::vector<std::pair<std::uint64_t, std::size_t>>;

Ranges RangesRead(const platform::MemoryDevice& device) {
    Ranges ranges;
    for (const platform::MemoryDevice::ReadCall& read : device.Reads())
        ranges.emplace_back(read.offset, read.size);
    return ranges;
}

bool Write(const char* path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: vesk-fuzz-seed IMAGE INDEX_SEED SEARCH_SEED\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), {}};

    platform::MemoryDevice index(image);
    vesk_fuzz::WalkIndexes(std::make_unique<SharedDevice>(index));

    // Every option combination, so the seed holds what any of them reads.
    platform::MemoryDevice search(image);
    for (unsigned flags = 0; flags < 256; ++flags)
        vesk_fuzz::RunSearchCase(static_cast<std::uint8_t>(flags), std::make_unique<SharedDevice>(search));
    std::vector<std::uint8_t> searchSeed{0};
    const std::vector<std::uint8_t> volume = vesk_fuzz::InputFromVolume(image, RangesRead(search));
    searchSeed.insert(searchSeed.end(), volume.begin(), volume.end());

    if (!Write(argv[2], vesk_fuzz::InputFromVolume(image, RangesRead(index))) ||
        !Write(argv[3], searchSeed)) {
        std::cerr << "vesk-fuzz-seed: cannot write the seeds\n";
        return 1;
    }
    return 0;
}
