#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/Errors.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::EncodeRunList;
using vesk_test::FileNameValue;
using vesk_test::Geometry;
using vesk_test::RecordBuilder;
using vesk_test::SyntheticVolume;

constexpr std::uint16_t kDirectory = RecordBuilder::kInUse | RecordBuilder::kDirectory;

Bytes NamedRecord(std::uint32_t recordSize, const std::wstring& name,
                  std::uint16_t flags = RecordBuilder::kInUse) {
    return RecordBuilder(recordSize, flags).Resident(kAttributeFileName, FileNameValue(5, 1, name)).Build();
}

std::wstring FirstName(const CFileRecord& record) {
    AttributeList names = record.FindAttributes(kAttributeFileName);
    return names.empty() ? L"" : names.front().GetFileNameText();
}

FileReference Reference(std::uint64_t recordNumber, std::uint16_t sequence) {
    return FileReference::FromRaw(recordNumber | std::uint64_t{sequence} << 48);
}

void Corrupt(SyntheticVolume& volume, std::uint64_t offset) {
    volume.Image()[offset] ^= 0xFF;
}

TEST(MftOpen, RefusesVolumesItCannotRead) {
    struct Case {
        const char* message;
        std::function<void(SyntheticVolume&)> damage;
    };
    const Bytes mft = EncodeRunList({{4, 2}, {20, 2}});
    const Case cases[] = {
        {"The partition specified is not formatted for NTFS.",
         [](auto& v) {
             v.PutBytes(3, {'N', 'T', 'F', 'X'});
         }},
        {"Unsupportable sector size",
         [](auto& v) {
             v.PutBytes(0x0B, {0, 0});
         }},
        {"Unsupportable sector size",
         [](auto& v) {
             v.PutBytes(0x0B, {0x08, 0x02});
         }}, // 520
        {"Unsupportable cluster size", [](auto& v) { v.PutBytes(0x0D, {0}); }},
        {"Unsupportable cluster size", [](auto& v) { v.PutBytes(0x0D, {3}); }},
        {"Unsupportable MFT record size", [](auto& v) { v.PutBytes(0x40, {0}); }},    // 1 byte
        {"Unsupportable MFT record size", [](auto& v) { v.PutBytes(0x40, {0xF8}); }}, // 256 bytes
        {"Unsupportable MFT record size", [](auto& v) { v.PutBytes(0x40, {0x7F}); }}, // 127 clusters
        {"Unsupportable MFT position",
         [](auto& v) {
             v.PutBytes(0x30, {0, 0, 0, 0, 0, 0, 0, 0x40});
         }},
        {"0th file record fixup check failed", [](auto& v) { Corrupt(v, v.RecordOffset(0) + 510); }},
        {"0th file record fixup check failed", [](auto& v) { Corrupt(v, v.RecordOffset(0) + 1022); }},
        {"Number of data attributes of 0th file record is not 1",
         [](auto& v) { v.PutRecord(0, Bytes(1024, 0)); }},
        {"Number of data attributes of 0th file record is not 1",
         [&mft](auto& v) {
             v.PutRecord(
                 0,
                 RecordBuilder(1024).NonResident(0x80, mft, 16384, 16384).Resident(0x80, {1}, L"x").Build());
         }},
        {"Number of data attributes of 0th file record is not 1",
         [](auto& v) { v.PutRecord(0, NamedRecord(1024, L"$MFT")); }},
        {"0th file record has no data runs",
         [](auto& v) { v.PutRecord(0, RecordBuilder(1024).Resident(0x80, {1}).Build()); }},
        {"0th file record has no data runs",
         [](auto& v) {
             v.PutRecord(0, RecordBuilder(1024).NonResident(0x80, {0x19, 1, 2, 3}, 0, 0).Build());
         }},
    };
    for (const Case& c : cases) {
        SyntheticVolume volume;
        c.damage(volume);
        auto opened = volume.Open();
        try {
            CMft mftReader(opened.disk.get());
            ADD_FAILURE() << "opened despite: " << c.message;
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(MftOpen, ChecksGeometryBeforeTakingAnyFrame) {
    SyntheticVolume volume;
    volume.PutBytes(0x40, {0});
    auto opened = volume.Open();
    EXPECT_THROW(CMft{opened.disk.get()}, std::runtime_error);
    EXPECT_EQ(opened.disk->GetFrameAllocator().GetFrameSize(), 0u);
    EXPECT_THROW(CMft{opened.disk.get()}, std::runtime_error); // and can be asked again
}

TEST(MftRead, FindsRecordsThroughAFragmentedRunList) {
    SyntheticVolume volume; // records 0-7 in clusters 4-5, records 8-15 in clusters 20-21
    volume.PutRecord(3, NamedRecord(1024, L"three"));
    volume.PutRecord(9, NamedRecord(1024, L"nine"));
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    EXPECT_EQ(mft.GetFileRecordCount(), 16u);

    struct Case {
        std::uint32_t record;
        std::uint64_t offset;
        const wchar_t* name;
    };
    for (const Case& c : {Case{9, 20 * 4096 + 1024, L"nine"}, Case{3, 4 * 4096 + 3 * 1024, L"three"}}) {
        CFileRecord record = mft.ReadFileRecord(c.record);
        EXPECT_TRUE(record.IsFileRecord());
        EXPECT_TRUE(record.IsFixedUp());
        EXPECT_EQ(record.GetReference(), FileReference(c.record));
        EXPECT_EQ(opened.device->Reads().back().offset, c.offset);
        EXPECT_EQ(opened.device->Reads().back().size, 1024u);
        EXPECT_EQ(FirstName(record), c.name);
    }
}

TEST(MftRead, CountsTheSlotsOfTheAllocatedRuns) {
    SyntheticVolume volume(Geometry{}, 128, {{4, 64}});
    auto opened = volume.Open();
    EXPECT_EQ(CMft(opened.disk.get()).GetFileRecordCount(), 64u * 8 / 2);
}

// $MFT's run claims 2^28 clusters of a 64-cluster volume: a damaged run list that would have the
// scan read a billion records of zeros. The boot sector's volume size bounds the count, and when
// the boot sector claims 2^40 sectors too, the device's own size does.
TEST(MftRead, CountsNoMoreSlotsThanTheVolumeAndTheDeviceHold) {
    for (bool bootSectorLies : {false, true}) {
        SyntheticVolume volume;
        volume.PutRecord(0, RecordBuilder(1024)
                                .Resident(0x30, FileNameValue(5, 3, L"$MFT"))
                                .NonResident(0x80, EncodeRunList({{4, 1u << 28}}), 4096ull << 28, 4096ull << 28)
                                .Build());
        if (bootSectorLies)
            volume.PutBytes(0x28, {0, 0, 0, 0, 0, 1, 0, 0});
        auto opened = volume.Open();
        EXPECT_EQ(opened.disk->GetTotalSectors(), 64u * 8) << bootSectorLies;
        EXPECT_EQ(CMft(opened.disk.get()).GetFileRecordCount(), 64u * 8 / 2) << bootSectorLies;
    }
}

TEST(MftRead, SeeksOnlyWhenRecordsAreNotConsecutiveOnDisk) {
    SyntheticVolume volume;
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    mft.ReadFileRecord(1);
    std::size_t seeks = opened.device->SeekCount();
    for (std::uint32_t n = 2; n <= 7; ++n)
        mft.ReadFileRecord(n);
    EXPECT_EQ(opened.device->SeekCount(), seeks);
    mft.ReadFileRecord(8); // the next run
    EXPECT_EQ(opened.device->SeekCount(), seeks + 1);
}

// A record that fails its update sequence keeps its on-disk bytes and offers no attributes,
// whichever stretch failed; one device read suffices because nothing was rewritten.
TEST(MftRead, ReturnsDamagedRecordsUnfixedWithTheirOnDiskBytes) {
    for (std::uint64_t stretchEnd : {510, 1022}) {
        SyntheticVolume volume;
        volume.PutRecord(9, NamedRecord(1024, L"nine"));
        Corrupt(volume, volume.RecordOffset(9) + stretchEnd);
        auto opened = volume.Open();
        CMft mft(opened.disk.get());
        const std::size_t reads = opened.device->Reads().size();

        CFileRecord record = mft.ReadFileRecord(9);
        EXPECT_TRUE(record.IsFileRecord());
        EXPECT_FALSE(record.IsFixedUp());
        EXPECT_EQ(opened.device->Reads().size(), reads + 1);
        const Bytes& image = volume.Image();
        const auto onDisk = image.begin() + static_cast<std::ptrdiff_t>(volume.RecordOffset(9));
        EXPECT_TRUE(std::equal(onDisk, onDisk + 1024, record.GetBuffer()));
        EXPECT_TRUE(record.FindAttributes(kAttributeFileName).empty());
        EXPECT_TRUE(record.GetAttribute(0).IsEmpty());
    }
}

// On 4096-byte sectors a 4096-byte record is still protected in 512-byte stretches.
TEST(MftRead, FixesUpLargeRecordsInStretchesOf512Bytes) {
    SyntheticVolume volume(Geometry{4096, 1, -12}, 64, {{4, 4}});
    volume.PutRecord(1, NamedRecord(4096, L"one"));
    volume.PutRecord(2, NamedRecord(4096, L"two"));
    Corrupt(volume, volume.RecordOffset(2) + 5 * 512 - 2);
    auto opened = volume.Open(4096);
    CMft mft(opened.disk.get());

    CFileRecord one = mft.ReadFileRecord(1);
    EXPECT_TRUE(one.IsFixedUp());
    EXPECT_EQ(FirstName(one), L"one");
    EXPECT_FALSE(mft.ReadFileRecord(2).IsFixedUp());
}

// A recycled frame still holds the previous record; a read beyond the runs must not pass it off.
TEST(MftRead, ReturnsZerosForRecordsBeyondTheRuns) {
    SyntheticVolume volume;
    volume.PutRecord(7, NamedRecord(1024, L"seven"));
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    const std::uint8_t* frame = mft.ReadFileRecord(7).GetBuffer();

    for (FileReference beyond : {FileReference(16), Reference(0xFFFFFFFFFFFF, 0)}) {
        const std::size_t reads = opened.device->Reads().size();
        CFileRecord record = mft.ReadFileRecord(beyond);
        EXPECT_EQ(record.GetBuffer(), frame);
        EXPECT_FALSE(record.IsFileRecord());
        EXPECT_FALSE(record.IsFixedUp());
        EXPECT_EQ(std::count(record.GetBuffer(), record.GetBuffer() + 1024, 0), 1024);
        EXPECT_EQ(opened.device->Reads().size(), reads);
    }
}

// A scan reads records a block at a time and looks at each where it lies; what it sees, and what
// ReadFileRecord then gives from the block without reading again, is what a read of each record
// alone gives: fixed up when it can be, as on disk when it cannot, zeros beyond the runs.
TEST(MftBlock, GivesEachRecordAsAReadOfItAloneWould) {
    SyntheticVolume volume;
    volume.PutRecord(3, NamedRecord(1024, L"three"));
    volume.PutRecord(9, NamedRecord(1024, L"nine"));
    Corrupt(volume, volume.RecordOffset(9) + 510);
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    const std::size_t reads = opened.device->Reads().size();
    mft.ReadBlock(2, 16); // records 2 to 17: across both runs and past their end
    EXPECT_EQ(opened.device->Reads().size(), reads + 2) << "one read per run";

    const std::uint8_t* three = mft.GetFixedUpBlockRecord(3);
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(FirstName(mft.ReadFileRecord(3)), L"three");
    for (std::uint64_t n : {9, 10, 16, 17})
        EXPECT_EQ(mft.GetFixedUpBlockRecord(n), nullptr) << n;
    const CFileRecord nine = mft.ReadFileRecord(9);
    EXPECT_TRUE(nine.IsFileRecord());
    EXPECT_FALSE(nine.IsFixedUp());
    const auto onDisk = volume.Image().begin() + static_cast<std::ptrdiff_t>(volume.RecordOffset(9));
    EXPECT_TRUE(std::equal(onDisk, onDisk + 1024, nine.GetBuffer()));
    const CFileRecord beyond = mft.ReadFileRecord(17);
    EXPECT_EQ(std::count(beyond.GetBuffer(), beyond.GetBuffer() + 1024, 0), 1024);
    EXPECT_EQ(opened.device->Reads().size(), reads + 2) << "the block's records come from memory";
    EXPECT_THROW(mft.GetFixedUpBlockRecord(18), std::out_of_range);
    EXPECT_THROW(mft.GetFixedUpBlockRecord(1), std::out_of_range);
}

// With 512-byte clusters a run may end inside a record; that record reads as zeros, as it does alone.
TEST(MftBlock, ReadsARecordTheRunsCoverOnlyInPartAsZeros) {
    SyntheticVolume volume(Geometry{512, 1, -10}, 64, {{8, 17}}); // records 0 to 7, and half of 8
    const Bytes header = RecordBuilder(1024).Build();
    volume.PutBytes((8 + 16) * 512, Bytes(header.begin(), header.begin() + 512));
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    mft.ReadBlock(0, 9);
    EXPECT_EQ(mft.GetFixedUpBlockRecord(8), nullptr);
    const CFileRecord partial = mft.ReadFileRecord(8);
    EXPECT_EQ(std::count(partial.GetBuffer(), partial.GetBuffer() + 1024, 0), 1024);
}

TEST(MftCache, KeepsValidDirectoryRecordsWhenEnabled) {
    SyntheticVolume volume;
    volume.PutRecord(5, NamedRecord(1024, L".", kDirectory));
    volume.PutRecord(6, NamedRecord(1024, L"file"));
    volume.PutRecord(7, NamedRecord(1024, L"broken", kDirectory));
    Corrupt(volume, volume.RecordOffset(7) + 510);

    struct Case {
        bool enabled;
        std::uint32_t record;
        std::size_t expectedReads;
    };
    const Case cases[] = {{true, 5, 1}, {false, 5, 2}, {true, 6, 2}, {true, 7, 2}};
    for (const Case& c : cases) {
        auto opened = volume.Open();
        CMft mft(opened.disk.get());
        mft.EnableDirectoryCache = c.enabled;
        const std::size_t before = opened.device->Reads().size();
        CFileRecord first = mft.ReadFileRecord(Reference(c.record, 3));
        CFileRecord second = mft.ReadFileRecord(Reference(c.record, 7)); // the sequence is not compared
        EXPECT_EQ(opened.device->Reads().size() - before, c.expectedReads)
            << c.record << " cache " << c.enabled;
        EXPECT_EQ(first.GetBuffer() == second.GetBuffer(), c.expectedReads == 1);
    }
}

// Record numbers have 48 bits: one that agrees with a cached directory in its low 32 bits is another record.
TEST(MftCache, TellsRecordsApartByAll48Bits) {
    SyntheticVolume volume;
    volume.PutRecord(5, NamedRecord(1024, L".", kDirectory));
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    mft.EnableDirectoryCache = true;
    EXPECT_TRUE(mft.ReadFileRecord(5).IsFixedUp());
    EXPECT_FALSE(mft.ReadFileRecord(Reference(0x100000005, 0)).IsFileRecord());
}

TEST(MftLifetime, RecordsKeepTheirBufferAndDiskAlive) {
    SyntheticVolume volume;
    volume.PutRecord(9, NamedRecord(1024, L"nine"));
    auto opened = volume.Open();
    auto mft = std::make_unique<CMft>(opened.disk.get());
    CFileRecord record = mft->ReadFileRecord(9);
    AttributeList names = record.FindAttributes(kAttributeFileName);
    mft.reset();
    opened.disk.reset();
    record = CFileRecord(names.front().GetDisk(), FileReference(1)); // the first buffer lives on in names
    EXPECT_EQ(names.front().GetFileNameText(), L"nine");
}

} // namespace
} // namespace Krod
