// Fuzzes run-list decoding and the reads that follow runs: sectors and clusters of the stream, an
// index bitmap, the blocks of an index allocation and the pages of an upper-case table. The first
// input byte picks the volume geometry (low two bits) and the index block size; the rest is the attribute
// list of a record (attributes as they lie in a record, up to the end marker), which the volume holds both as
// an ordinary record and as $UpCase.

#include "tools/fuzzsupport/fuzz_support.h"
#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/IndexAttributes.h"
#include "volume/Mft.h"
#include "volume/UpcaseTable.h"

#include <algorithm>
#include <vector>

namespace {

using vesk_fuzz::Try;

// Geometries with clusters smaller than, equal to and larger than a record, and 4096-byte sectors.
struct FuzzGeometry {
    vesk_test::Geometry geometry;
    std::uint64_t clusters;
    std::vector<vesk_test::Run> mftRuns; // records 0..15
};
const FuzzGeometry kGeometries[] = {
    {{512, 8, -10}, 64, {{4, 2}, {20, 2}}},
    {{512, 1, -10}, 256, {{16, 16}, {64, 16}}},
    {{512, 32, -10}, 8, {{2, 1}}},
    {{4096, 1, -12}, 64, {{4, 8}, {20, 8}}},
};
// The record that carries the attributes, and $UpCase's slot, which carries them too.
constexpr std::uint32_t kFuzzedRecord = 8;
constexpr std::uint32_t kUpcaseRecord = 10;
// Most sectors or clusters one read asks for.
constexpr std::uint32_t kMaxReadUnits = 16;
// The index block sizes: a sector, the usual size, and one larger than a cluster. One input tries
// one of them, so that a long stream is read once.
constexpr std::uint32_t kBlockSizes[] = {512, 4096, 16384};

void ReadStream(const Krod::CAttribute& attribute) {
    Krod::CLogicalDisk& disk = *attribute.GetDisk();
    (void)attribute.GetRuns();
    (void)attribute.GetAllocatedBytes();
    const std::uint64_t sectors = attribute.GetSectorCount();
    std::vector<std::uint8_t> buffer(std::size_t{kMaxReadUnits} * disk.GetBytesPerCluster());
    // The start, the last sectors, and past the end.
    for (std::uint64_t first : {std::uint64_t{0}, sectors > 3 ? sectors - 3 : 0, sectors})
        (void)attribute.ReadSectors(buffer.data(), first, kMaxReadUnits);
    const std::uint64_t clusters = attribute.GetClusterCount();
    for (std::uint64_t first : {std::uint64_t{0}, clusters > 1 ? clusters - 1 : 0})
        (void)attribute.ReadClusters(buffer.data(), first, kMaxReadUnits);
}

void ReadAsIndex(const Krod::CAttribute& attribute, std::uint32_t blockSize) {
    std::vector<std::uint8_t> inUse;
    Try([&] { inUse = Krod::ReadIndexBitmap(attribute); });
    inUse.resize(std::max<std::size_t>(inUse.size(), 1), 0xFF);
    Try([&] {
        const Krod::CIndexAllocationAttribute blocks(attribute, blockSize);
        (void)blocks.GetBlockCount();
        (void)blocks.GetEntries(inUse);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const FuzzGeometry& shape = kGeometries[data[0] % std::size(kGeometries)];
    const std::uint32_t blockSize = kBlockSizes[data[0] / std::size(kGeometries) % std::size(kBlockSizes)];
    vesk_test::SyntheticVolume volume(shape.geometry, shape.clusters, shape.mftRuns);
    vesk_test::Bytes record;
    try {
        record = vesk_test::RecordBuilder(volume.RecordSize()).Raw({data + 1, data + size}).Build();
    } catch (const std::exception&) {
        return 0; // more attributes than a record holds
    }
    volume.PutRecord(kFuzzedRecord, record);
    volume.PutRecord(kUpcaseRecord, record);
    const vesk_test::OpenedVolume opened = volume.Open();
    Krod::CMft mft(opened.disk.get());

    const Krod::CFileRecord read = mft.ReadFileRecord(kFuzzedRecord);
    for (std::uint32_t type : {Krod::kAttributeData, Krod::kAttributeIndexAllocation, Krod::kAttributeBitmap})
        for (const Krod::CAttribute& attribute : read.FindAttributes(type))
            Try([&] {
                if (attribute.IsNonResident())
                    ReadStream(attribute);
                ReadAsIndex(attribute, blockSize);
            });
    Try([&] {
        const Krod::CUpcaseTable upcase(mft);
        for (wchar_t c : {L'a', L'\u00e9', L'\u0436', L'\u1e01', L'\uffff'})
            (void)upcase.ToUpper(c);
    });
    return 0;
}
