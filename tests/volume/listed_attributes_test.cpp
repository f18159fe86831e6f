// Files whose attributes continue in extension records, built in memory: the pieces of a
// non-resident stream that a base record's $ATTRIBUTE_LIST names join into one stream when, and
// only when, each continues the one before, both for a file and for $MFT itself.
#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::EncodeRunList;
using vesk_test::RecordBuilder;
using vesk_test::Run;
using vesk_test::SyntheticVolume;

// Where RecordBuilder places the first attribute of a 1024-byte record.
constexpr std::size_t kFirstAttribute = 0x38;

void Put(Bytes& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::size_t Align8(std::size_t n) {
    return (n + 7) / 8 * 8;
}

// One list entry naming an unnamed attribute.
Bytes ListEntry(std::uint32_t type, std::uint64_t lowestVcn, std::uint64_t record, std::uint16_t instance) {
    Bytes entry(0x20, 0);
    Put(entry, 0x00, type, 4);
    Put(entry, 0x04, entry.size(), 2);
    Put(entry, 0x07, 0x1A, 1);
    Put(entry, 0x08, lowestVcn, 8);
    Put(entry, 0x10, record | std::uint64_t{1} << 48, 8); // RecordBuilder writes sequence number 1
    Put(entry, 0x18, instance, 2);
    return entry;
}

// A record whose attributes are a resident $ATTRIBUTE_LIST (instance 0) of entries, then, if
// runs is not empty, an unnamed non-resident $DATA piece (instance 1) mapping runs from lowestVcn
// on, of size bytes. base: the base record of an extension record, or none.
Bytes ListRecord(const std::vector<Bytes>& entries, const std::vector<Run>& runs, std::uint64_t lowestVcn,
                 std::uint64_t size, std::uint64_t base = 0) {
    RecordBuilder builder(1024);
    Bytes list;
    for (const Bytes& entry : entries)
        list.insert(list.end(), entry.begin(), entry.end());
    std::size_t data = kFirstAttribute;
    if (!entries.empty()) {
        builder.Resident(kAttributeList, list);
        data += Align8(0x18 + list.size());
    }
    if (!runs.empty())
        builder.NonResident(kAttributeData, EncodeRunList(runs), size, size);
    Bytes record = builder.Build();
    if (base != 0)
        Put(record, 0x20, base | std::uint64_t{1} << 48, 8);
    if (!runs.empty()) {
        Put(record, data + AttributeField::kInstance, entries.empty() ? 0 : 1, 2);
        Put(record, data + AttributeField::kLowestVcn, lowestVcn, 8);
    }
    return record;
}

TEST(ListedAttributes, PiecesOfAStreamJoinOnlyWhereTheyContinue) {
    struct Case {
        const char* what;
        std::uint64_t secondVcn;  // the lowest VCN the second piece says
        std::uint64_t secondBase; // the base record the second piece's record names
        std::vector<DataRun> runs;
    };
    const std::vector<DataRun> first = {{0, 8, 30}};
    const std::vector<DataRun> both = {{0, 8, 30}, {8, 4, 50}};
    const Case cases[] = {
        {"continues", 8, 9, both},
        {"leaves a gap", 9, 9, first},
        {"overlaps", 4, 9, first},
        {"lies in a record of another file", 8, 11, first},
        {"lies in a base record", 8, 0, first},
    };
    for (const Case& c : cases) {
        SyntheticVolume volume;
        volume.PutRecord(9,
                         ListRecord({ListEntry(kAttributeData, 0, 9, 1), ListEntry(kAttributeData, 8, 10, 0)},
                                    {{30, 8}}, 0, 48 * 1024));
        volume.PutRecord(10, ListRecord({}, {{50, 4}}, c.secondVcn, 0, c.secondBase));
        auto opened = volume.Open();
        CMft mft(opened.disk.get());
        const AttributeList data = mft.ReadFileRecord(9).FindAttributes(kAttributeData);
        ASSERT_EQ(data.size(), 1u) << c.what;
        EXPECT_EQ(data.front().GetRuns(), c.runs) << c.what;
        EXPECT_EQ(data.front().GetDataSize(), 48u * 1024) << c.what << ": the size of the first piece";
        // The extension record is read as it is, a piece of its own.
        EXPECT_EQ(mft.ReadFileRecord(10).FindAttributes(kAttributeData).size(), 1u) << c.what;
    }
}

// $MFT's $DATA in two pieces: records 0-7 in its first run, described by record 0, and records 8-15
// in its second, described by record 1, which the first run holds.
TEST(ListedAttributes, MftReadsItsDataFromExtensionRecords) {
    struct Case {
        const char* what;
        std::vector<Bytes> entries;
        std::uint64_t records; // what the reader covers, 0 when it refuses the volume
    };
    const Bytes head = ListEntry(kAttributeData, 0, 0, 1);
    const Bytes tail = ListEntry(kAttributeData, 2, 1, 0);
    const Case cases[] = {
        {"both pieces", {head, tail}, 16},
        {"the second piece not listed", {head}, 8},
        {"the second piece listed twice", {head, tail, tail}, 16},
        {"a second unnamed stream", {head, ListEntry(kAttributeData, 0, 1, 0)}, 0},
    };
    for (const Case& c : cases) {
        SyntheticVolume volume;
        const std::uint64_t bytes = 4 * 4096;
        volume.PutRecord(0, ListRecord(c.entries, {{4, 2}}, 0, bytes));
        const bool secondHead = c.records == 0;
        // Record 1 points back to record 0: its base reference is 0 with sequence number 1.
        Bytes extension = ListRecord({}, {{20, 2}}, secondHead ? 0 : 2, secondHead ? bytes : 0);
        Put(extension, 0x20, std::uint64_t{1} << 48, 8);
        volume.PutRecord(1, extension);
        auto opened = volume.Open();
        if (c.records == 0) {
            try {
                CMft mft(opened.disk.get());
                ADD_FAILURE() << c.what << ": opened";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Number of data attributes of 0th file record is not 1") << c.what;
            }
            continue;
        }
        CMft mft(opened.disk.get());
        EXPECT_EQ(mft.GetFileRecordCount(), c.records) << c.what;
    }
}

} // namespace
} // namespace Krod
