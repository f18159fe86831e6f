// Damaged and unusual volumes built in memory (tools/synthetic), with what the library makes of
// them: boot sectors and $MFT records it refuses, record counts and reads beyond the runs, device
// failures, $UpCase, index nodes and blocks, and streams whose pieces an $ATTRIBUTE_LIST names.
#include "image/ImageStack.h"
#include "tests/common/scratch_folder.h"
#include "tests/volume/record_text.h"
#include "tests/volume/rows.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/AttributeHeader.h"
#include "volume/BootSector.h"
#include "volume/Errors.h"
#include "volume/FrameAllocator.h"
#include "volume/IndexAttributes.h"
#include "volume/Mft.h"
#include "volume/MftScan.h"
#include "volume/UpcaseTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cwchar>
#include <fstream>
#include <functional>
#include <locale>
#include <map>
#include <memory>
#include <sstream>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::EncodeRunList;
using vesk_test::FileNameValue;
using vesk_test::Geometry;
using vesk_test::IndexEntry;
using vesk_test::LastIndexEntry;
using vesk_test::PutLe;
using vesk_test::RecordBuilder;
using vesk_test::Ref;
using vesk_test::SyntheticTree;
using vesk_test::SyntheticVolume;

Bytes NamedRecord(const std::wstring& name, std::uint16_t flags = RecordBuilder::kInUse) {
    return RecordBuilder(1024, flags).Resident(kAttributeFileName, FileNameValue(5, 1, name)).Build();
}

bool AllZeros(const CFileRecord& record) {
    return std::all_of(record.GetBuffer(), record.GetBuffer() + record.GetBufferSize(),
                       [](std::uint8_t b) { return b == 0; });
}

TEST(MftOpen, RefusesVolumesItCannotRead) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("mft_open")) {
        SyntheticVolume volume;
        const std::string& damage = row.input;
        if (damage.compare(0, 5, "boot@") == 0)
            volume.PutBytes(0, vesk_test::Patched(Bytes(volume.Image().begin(), volume.Image().begin() + 512),
                                                  damage.substr(4)));
        else if (damage.compare(0, 5, "flip ") == 0)
            volume.Image()[volume.RecordOffset(0) + std::stoul(damage.substr(5))] ^= 0xFF;
        else
            volume.PutRecord(0, damage == "record0 zeros" ? Bytes(1024, 0)
                                                          : vesk_test::RecordFromText(damage.substr(8)));
        auto opened = volume.Open();
        std::string outcome = "opened";
        try {
            CMft mft(opened.disk.get());
        } catch (const std::exception& e) {
            outcome = e.what();
        }
        EXPECT_EQ(outcome, row.expected) << row.where;
    }
    // The image layer asks the same of whatever bytes it has at hand, however few.
    SyntheticVolume volume;
    const std::uint8_t* boot = volume.Image().data();
    EXPECT_TRUE(LooksLikeNtfsBootSector(boot, 11));
    EXPECT_FALSE(LooksLikeNtfsBootSector(boot, 10));
    EXPECT_FALSE(LooksLikeNtfsBootSector(boot + 1, 511));
    // The geometry is checked before the disk's frames take their size, so asking again gives
    // the same answer.
    volume.PutBytes(0x40, {0});
    auto opened = volume.Open();
    EXPECT_THROW(CMft{opened.disk.get()}, std::runtime_error);
    EXPECT_EQ(opened.disk->GetFrameAllocator().GetFrameSize(), 0u);
    EXPECT_THROW(CMft{opened.disk.get()}, std::runtime_error);
    // A frame pool gives frames of one size, set once.
    CFrameAllocator frames;
    EXPECT_THROW(frames.AllocateFrame(), std::logic_error);
    EXPECT_THROW(frames.SetFrameSize(0), std::invalid_argument);
    frames.SetFrameSize(1024);
    EXPECT_THROW(frames.SetFrameSize(2048), std::logic_error);
}

// $MFT's run claims 2^28 clusters of a 64-cluster volume: a damaged run list that had the scan read
// a billion records of zeros. The boot sector's volume size bounds the count, and when the boot
// sector claims 2^40 sectors too, the device's own size does.
TEST(MftRead, CountsNoMoreSlotsThanTheVolumeAndTheDeviceHold) {
    for (bool bootSectorLies : {false, true}) {
        SyntheticVolume volume;
        volume.PutRecord(0,
                         RecordBuilder(1024)
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

// With 512-byte clusters a run may end inside a record: record 8 here, half of which the run holds.
// It reads as zeros, alone and in a block, as every record beyond the runs does, although the frame
// it lands in held another record just before.
TEST(MftRead, GivesZerosForRecordsTheRunsDoNotHoldWhole) {
    SyntheticVolume volume(Geometry{512, 1, -10}, 64, {{8, 17}});
    const Bytes header = RecordBuilder(1024).Build();
    volume.PutBytes((8 + 16) * 512, Bytes(header.begin(), header.begin() + 512));
    volume.PutRecord(7, NamedRecord(L"seven"));
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    for (FileReference beyond : {FileReference(8), FileReference::FromRaw(0xFFFFFFFFFFFF)}) {
        EXPECT_TRUE(mft.ReadFileRecord(7).IsFixedUp());
        EXPECT_TRUE(AllZeros(mft.ReadFileRecord(beyond))) << beyond;
        EXPECT_TRUE(mft.ReadFileRecord(beyond).GetAttribute(0).IsEmpty()) << beyond;
    }
    CMftScan scan(mft);
    scan.ReadBlock(6, 4); // records 6 to 9
    EXPECT_NE(scan.Record(7), nullptr);
    EXPECT_EQ(scan.Record(8), nullptr);
    EXPECT_EQ(scan.Record(9), nullptr);
    EXPECT_TRUE(AllZeros(mft.ReadFileRecord(8)));
    for (std::uint64_t outside : {10, 5})
        try {
            scan.Record(outside);
            ADD_FAILURE() << outside;
        } catch (const std::out_of_range& e) {
            EXPECT_EQ(e.what(), "Record " + std::to_string(outside) + " lies outside the block read");
        }
}

// Record numbers have 48 bits: one that agrees with a cached directory in its low 32 bits is another
// record.
TEST(MftRead, TellsCachedDirectoriesApartByAll48Bits) {
    SyntheticVolume volume;
    volume.PutRecord(5, NamedRecord(L".", RecordBuilder::kInUse | RecordBuilder::kDirectory));
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    mft.EnableDirectoryCache = true;
    EXPECT_TRUE(mft.ReadFileRecord(5).IsFixedUp());
    EXPECT_FALSE(mft.ReadFileRecord(FileReference::FromRaw(0x100000005)).IsFileRecord());
}

TEST(MftRead, RecordsKeepTheirBufferAndDiskAlive) {
    SyntheticVolume volume;
    volume.PutRecord(9, NamedRecord(L"nine"));
    auto opened = volume.Open();
    auto mft = std::make_unique<CMft>(opened.disk.get());
    CFileRecord record = mft->ReadFileRecord(9);
    const AttributeList names = record.FindAttributes(kAttributeFileName);
    mft.reset();
    opened.disk.reset();
    record = CFileRecord(names.front().GetDisk(), FileReference(1)); // the first buffer lives on in names
    EXPECT_EQ(names.front().GetFileNameText(), L"nine");
}

// The boot sector is read in the device's sector size; a device that cannot tell, or claims more
// than any sector holds, is read in the provisional size.
TEST(LogicalDisk, ReadsTheBootSectorInASizeItCanTrust) {
    const std::pair<std::optional<std::uint32_t>, std::uint32_t> cases[] = {
        {{}, CLogicalDisk::kProvisionalSectorSize},
        {4096, 4096},
        {65536, CLogicalDisk::kProvisionalSectorSize}};
    for (const auto& [deviceSector, read] : cases)
        EXPECT_EQ(SyntheticVolume().Open(deviceSector).device->Reads().at(0).size, read);
}

TEST(LogicalDisk, ReportsWhatCannotBeOpenedOrReadAsSystemErrors) {
    const wchar_t* const missing = L"/nonexistent/vesk/volume.img";
    std::vector<std::string> notes;
    try {
        new CLogicalDisk(missing, "-d value", notes);
        FAIL() << "opened";
    } catch (const ESystemError& e) {
        // The system's own reason: ENOENT on POSIX, a code of Windows' for its device path there.
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetErrorCode(), image::OpenVolume(platform::DevicePathForDrive(missing), {}).error);
    }
    // What the device noted before its first sector failed (a damaged chunk met while looking for a
    // partition table) is not lost with it.
    auto device = std::make_unique<platform::MemoryDevice>(Bytes(4096));
    device->AddNote("chunk 0 is damaged");
    device->FailReadsWith(EIO);
    EXPECT_THROW(new CLogicalDisk(std::move(device), &notes), ESystemError);
    EXPECT_EQ(notes, std::vector<std::string>{"chunk 0 is damaged"});

    auto opened = SyntheticVolume().Open();
    Bytes buffer(512);
    opened.device->FailReadsWith(EIO);
    try {
        opened.disk->ReadSectorsAt(buffer.data(), 4, 1);
        FAIL() << "no error";
    } catch (const ESystemError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<platform::ErrorCode>(EIO));
    }
    EXPECT_THROW(opened.disk->SeekSector(~std::uint64_t{0} / 256), std::out_of_range);

    // Made right after a failed call, an error takes that call's code (errno, GetLastError); a code
    // the system cannot put in words is reported as such.
    const platform::OpenResult failed = image::OpenVolume(L"/nonexistent/vesk/volume.img", {});
    const ESystemError last;
    EXPECT_EQ(last.GetErrorCode(), failed.error);
    EXPECT_EQ(ESystemError(99999).GetSystemMessage(), L"(Cannot format error message) (99999)");
}

TEST(LogicalDisk, ReadsAnImageFileAndZeroFillsPastItsEnd) {
    const vesk_test::ScratchFolder scratch;
    const std::string path = (scratch / "volume.img").string();
    SyntheticVolume volume;
    Bytes image(volume.Image().begin(), volume.Image().begin() + 1536); // ends inside sector 3
    image[1100] = 0x5A;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    std::vector<std::string> notes;
    const boost::intrusive_ptr<CLogicalDisk> disk(
        new CLogicalDisk(std::wstring(path.begin(), path.end()).c_str(), "-d value", notes), false);
    Bytes buffer(1024, 0xEE);
    disk->ReadSectorsAt(buffer.data(), 2, 2);
    EXPECT_EQ(buffer[1100 - 1024], 0x5A);
    EXPECT_EQ(buffer[600], 0); // past the end of the file
    EXPECT_EQ(buffer[1023], 0);
}

TEST(UpcaseTable, NeedsExactlyOneUnnamedDataStreamHoldingTheWholeTable) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("upcase_tables")) {
        SyntheticTree tree;
        tree.PutRecord(10, vesk_test::RecordFromText(row.input));
        auto opened = tree.Open();
        CMft mft(opened.disk.get());
        std::ostringstream outcome;
        try {
            const CUpcaseTable table(mft);
            outcome << std::hex << std::uppercase << unsigned(table.ToUpper(L'x')) << " "
                    << unsigned(table.ToUpper(L'\x00E9'));
        } catch (const std::runtime_error& e) {
            outcome << e.what();
        }
        EXPECT_EQ(outcome.str(), row.expected) << row.where;
    }
}

TEST(UpcaseTable, RetriesAPageWhoseReadFailedAndFoldsAsACtypeFacet) {
    SyntheticTree tree;
    auto opened = tree.Open();
    CMft mft(opened.disk.get());
    const CUpcaseTable table(mft);
    opened.device->FailReadsWith(EIO);
    EXPECT_THROW(table.ToUpper(L'q'), ESystemError);
    opened.device->FailReadsWith(0);
    EXPECT_EQ(table.ToUpper(L'q'), L'Q');
    if constexpr (WCHAR_MAX > 0xFFFF) { // a wchar_t of 16 bits (Windows) holds no such value
        EXPECT_EQ(table.ToUpper(static_cast<wchar_t>(0x10000)), static_cast<wchar_t>(0x10000));
    }
    // As the matcher's ctype facet, it folds both directions to the volume's upper case.
    const std::locale locale(std::locale::classic(), new CUpcaseCtype(table));
    std::wstring text = L"ab\x1E01-";
    std::use_facet<std::ctype<wchar_t>>(locale).toupper(&text[0], &text[0] + text.size());
    EXPECT_EQ(text, L"AB\x1E00-");
    EXPECT_EQ(std::use_facet<std::ctype<wchar_t>>(locale).toupper(L'z'), L'Z');
}

// Record numbers of the entries ("30,31"), or the error that listing them threw.
std::string Listed(const std::function<IndexEntryList()>& list) {
    try {
        std::string text;
        for (const CIndexEntry& entry : list())
            text += (text.empty() ? "" : ",") + std::to_string(entry.GetFileReference().GetRecordNumber());
        return text;
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

CFileRecord LoadRecord(SyntheticTree& tree, const RecordBuilder& record) {
    tree.PutRecord(20, record.Build());
    auto opened = tree.Open();
    return CMft(opened.disk.get()).ReadFileRecord(20);
}

TEST(IndexRoot, ListsValidatedEntriesUpToTheLastOne) {
    const Bytes key(12, 0xAB);
    const Bytes plain = vesk_test::IndexRootValue(
        4096, {IndexEntry(Ref(30), key), IndexEntry(Ref(31), key), LastIndexEntry()});
    const Bytes subNodes =
        vesk_test::IndexRootValue(4096, {IndexEntry(Ref(30), key, 1), IndexEntry(0, {}, 3)}, true);
    for (const vesk_test::Row& row : vesk_test::ReadRows("index_roots")) {
        SyntheticTree tree;
        const Bytes value = row.input == "sub-nodes" ? subNodes : vesk_test::Patched(plain, row.input);
        const CFileRecord record = LoadRecord(tree, RecordBuilder(1024).Resident(0x90, value, L"$R"));
        const CIndexRootAttribute root(record.GetAttribute(0));
        EXPECT_EQ(Listed([&] { return root.GetEntries(); }), row.expected) << row.where;
    }
}

// Entries of 40 bytes, so that stretch ends fall on their file references.
std::vector<Bytes> Entries(std::uint64_t first, std::size_t count) {
    std::vector<Bytes> entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back(IndexEntry(Ref(first + i), Bytes(0x18, 0x5A)));
    entries.push_back(LastIndexEntry());
    return entries;
}

// Blocks of 2048 bytes, two to a cluster: 0 and 2 hold entries, 1 was never written, 3 is torn in
// its second stretch. The bitmap, resident or not, says which are in use.
TEST(IndexAllocation, WalksEveryBlockInUseWithItsUpdateSequenceUndone) {
    SyntheticTree tree;
    const std::uint64_t blocks = SyntheticTree::kFreeCluster * tree.BytesPerCluster();
    tree.PutBytes(blocks, vesk_test::IndexBlock(2048, Entries(100, 30)));
    tree.PutBytes(blocks + 2048, Bytes(2048, 0xEE));
    tree.PutBytes(blocks + 4096, vesk_test::IndexBlock(2048, Entries(200, 1)));
    tree.PutBytes(blocks + 6144, vesk_test::IndexBlock(2048, Entries(300, 1)));
    tree.PutBytes(blocks + 6144 + 1022, {0x00, 0x00});
    tree.PutBytes(blocks + 8192, {0x0F, 0x01, 0x80, 0xFF});
    const Bytes runs = EncodeRunList({{SyntheticTree::kFreeCluster, 2}});
    const CFileRecord record = LoadRecord(
        tree, RecordBuilder(1024)
                  .NonResident(0xA0, runs, 8192, 8192)
                  .Resident(0xB0, {0x05, 0x00}, L"$R")
                  .NonResident(0xB0, EncodeRunList({{SyntheticTree::kFreeCluster + 2, 1}}), 4096, 3, L"$R"));
    EXPECT_EQ(ReadIndexBitmap(record.GetAttribute(1)), (Bytes{0x05, 0x00}));
    EXPECT_EQ(ReadIndexBitmap(record.GetAttribute(2)), (Bytes{0x0F, 0x01, 0x80}));
    const CIndexAllocationAttribute allocation(record.GetAttribute(0), 2048);
    ASSERT_EQ(allocation.GetBlockCount(), 4u);
    for (const vesk_test::Row& row : vesk_test::ReadRows("index_blocks")) {
        const Bytes inUse = row.input == "none" ? Bytes{} : vesk_test::Hex(row.input);
        const std::string listed = Listed([&] { return allocation.GetEntries(inUse); });
        EXPECT_EQ(listed.empty() ? "-" : listed, row.expected) << row.where;
    }
    // The update sequence restores the references under the stretch ends.
    for (const CIndexEntry& entry : allocation.GetEntries({0x01}))
        EXPECT_EQ(entry.GetFileReference().GetRaw() >> 48, 1u);
}

// A record whose attributes are a resident $ATTRIBUTE_LIST of entries (if any), then an unnamed
// non-resident $DATA piece mapping runs from lowestVcn on, of size bytes; base: the base record of
// an extension record, or none.
Bytes ListRecord(const std::vector<Bytes>& entries, const std::vector<vesk_test::Run>& runs,
                 std::uint64_t lowestVcn, std::uint64_t size, std::uint64_t base = 0) {
    constexpr std::size_t kFirstAttribute = 0x38; // where RecordBuilder places it
    RecordBuilder builder(1024);
    Bytes list;
    for (const Bytes& entry : entries)
        list.insert(list.end(), entry.begin(), entry.end());
    if (!entries.empty())
        builder.Resident(kAttributeList, list);
    Bytes record = builder.NonResident(kAttributeData, EncodeRunList(runs), size, size).Build();
    const std::size_t data = kFirstAttribute + (entries.empty() ? 0 : (0x18 + list.size() + 7) / 8 * 8);
    if (base != 0)
        PutLe(record, 0x20, base, 8);
    PutLe(record, data + AttributeField::kInstance, entries.empty() ? 0 : 1, 2);
    PutLe(record, data + AttributeField::kLowestVcn, lowestVcn, 8);
    return record;
}

TEST(ListedAttributes, PiecesOfAStreamJoinOnlyWhereTheyContinue) {
    const auto entry = [](std::uint64_t vcn, std::uint64_t record, std::uint16_t instance) {
        return vesk_test::AttributeListEntry(kAttributeData, vcn, Ref(record), instance);
    };
    const std::map<std::string, Bytes> entries = {
        {"head", entry(0, 0, 1)}, {"tail", entry(2, 1, 0)}, {"second", entry(0, 1, 0)}};
    for (const vesk_test::Row& row : vesk_test::ReadRows("listed_streams")) {
        const std::vector<std::string> words = vesk_test::Words(row.input);
        SyntheticVolume volume;
        std::ostringstream outcome;
        try {
            if (words[0] == "file") {
                const std::uint64_t base = std::stoull(words[2]);
                volume.PutRecord(9, ListRecord({entry(0, 9, 1), entry(8, 10, 0)}, {{30, 8}}, 0, 48 * 1024));
                volume.PutRecord(10,
                                 ListRecord({}, {{50, 4}}, std::stoull(words[1]), 0, base ? Ref(base) : 0));
                auto opened = volume.Open();
                CMft mft(opened.disk.get());
                const AttributeList data = mft.ReadFileRecord(9).FindAttributes(kAttributeData);
                // The extension record is read as it is, a piece of its own.
                EXPECT_EQ(mft.ReadFileRecord(10).FindAttributes(kAttributeData).size(), 1u) << row.where;
                EXPECT_EQ(data.at(0).GetDataSize(), 48u * 1024) << row.where;
                for (const DataRun& run : data.at(0).GetRuns())
                    outcome << (outcome.tellp() ? " " : "") << run.vcn << ":" << run.length << ":" << run.lcn;
            } else {
                std::vector<Bytes> listed;
                for (std::size_t i = 1; i < words.size(); ++i)
                    listed.push_back(entries.at(words[i]));
                const bool refused = words.back() == "second";
                volume.PutRecord(0, ListRecord(listed, {{4, 2}}, 0, 4 * 4096));
                volume.PutRecord(1,
                                 ListRecord({}, {{20, 2}}, refused ? 0 : 2, refused ? 4 * 4096 : 0, Ref(0)));
                auto opened = volume.Open();
                outcome << CMft(opened.disk.get()).GetFileRecordCount();
            }
        } catch (const std::runtime_error& e) {
            outcome << e.what();
        }
        EXPECT_EQ(outcome.str(), row.expected) << row.where;
    }
}

} // namespace
} // namespace Krod
