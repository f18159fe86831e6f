#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <functional>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::FileNameValue;
using vesk_test::RecordBuilder;
using vesk_test::SyntheticVolume;

// The record's attribute bytes go into record 9 of a fresh volume, which is read back.
CFileRecord Load(const RecordBuilder& builder, SyntheticVolume volume = {}) {
    volume.PutRecord(9, builder.Build());
    auto opened = volume.Open();
    return CMft(opened.disk.get()).ReadFileRecord(9);
}

RecordBuilder Record() {
    return RecordBuilder(1024);
}

std::wstring Name(const CAttribute& attribute) {
    return attribute.GetName();
}

TEST(RunList, DecodesRunsAndDiscardsMalformedLists) {
    struct Case {
        const char* what;
        Bytes runList;
        std::vector<DataRun> runs;
    };
    const Case cases[] = {
        {"one run", {0x21, 0x18, 0x34, 0x56, 0x00}, {{0, 0x18, 0x5634}}},
        {"negative delta", {0x11, 0x30, 0x60, 0x11, 0x10, 0xF0, 0x00}, {{0, 0x30, 0x60}, {0x30, 0x10, 0x50}}},
        {"no offset field", {0x11, 0x04, 0x10, 0x01, 0x02, 0x00}, {{0, 4, 0x10}, {4, 2, 0x10}}},
        {"eight-byte offset", {0x81, 0x01, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x00}, {{0, 1, 0x10}}},
        {"ends with the attribute",
         {0x11, 0x01, 0x05, 0x11, 0x01, 0x01, 0x01, 0x01},
         {{0, 1, 5}, {1, 1, 6}, {2, 1, 6}}},
        {"length wider than 8 bytes", {0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00}, {}},
        {"offset wider than 8 bytes", {0x91, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x00}, {}},
        {"no length field", {0x10, 0x05, 0x00}, {}},
        {"zero-length run", {0x11, 0x00, 0x05, 0x00}, {}},
        {"negative LCN", {0x11, 0x05, 0xF0, 0x00}, {}},
        {"entry past the attribute", {0x44, 1, 2, 3}, {}},
        {"clusters beyond 64 bits of bytes",
         {0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
         {}},
        {"an LCN beyond 64 bits of bytes", {0x81, 0x01, 0x03, 0, 0, 0, 0, 0, 0, 0x03, 0x00}, {}},
        {"good run, then a bad one", {0x11, 0x04, 0x10, 0x11, 0x00, 0x05, 0x00}, {}},
    };
    for (const Case& c : cases) {
        CFileRecord record = Load(Record().NonResident(kAttributeData, c.runList, 4096, 4096));
        AttributeList data = record.FindAttributes(kAttributeData);
        ASSERT_EQ(data.size(), 1u) << c.what;
        EXPECT_EQ(data[0].GetRuns(), c.runs) << c.what;
        const std::uint64_t clusters = c.runs.empty() ? 0 : c.runs.back().vcn + c.runs.back().length;
        EXPECT_EQ(data[0].GetClusterCount(), clusters) << c.what;
        EXPECT_EQ(data[0].GetSectorCount(), clusters * 8) << c.what;
        EXPECT_EQ(data[0].GetAllocatedBytes(), clusters * 4096) << c.what;
        if (c.runs.empty()) { // a list discarded reads nothing
            Bytes buffer(4096);
            EXPECT_EQ(data[0].ReadClusters(buffer.data(), 0, 1), 0u) << c.what;
            EXPECT_EQ(data[0].ReadSectors(buffer.data(), 0, 8), 0u) << c.what;
        }
    }
}

// Each cluster of the volume is filled with its own number, so a buffer shows where it was read.
TEST(NonResidentRead, FollowsTheRunsAndStopsWhereTheyEnd) {
    SyntheticVolume volume;
    for (std::uint8_t cluster = 24; cluster < 64; ++cluster)
        volume.PutBytes(cluster * 4096ull, Bytes(4096, cluster));
    volume.PutRecord(
        9, Record()
               .NonResident(kAttributeData, vesk_test::EncodeRunList({{30, 8}, {50, 8}}), 65536, 65536)
               .Build());
    auto opened = volume.Open();
    CAttribute data = CMft(opened.disk.get()).ReadFileRecord(9).FindAttributes(kAttributeData).at(0);

    struct Case {
        std::uint64_t firstVcn;
        std::uint32_t count;
        std::vector<std::uint8_t> clusters; // the volume clusters that must arrive, in order
    };
    const Case cases[] = {
        {0, 16, {30, 31, 32, 33, 34, 35, 36, 37, 50, 51, 52, 53, 54, 55, 56, 57}},
        {6, 4, {36, 37, 50, 51}},
        {12, 10, {54, 55, 56, 57}},
        {16, 2, {}},
        {1000, 1, {}},
    };
    for (const Case& c : cases) {
        Bytes buffer(std::size_t{c.count} * 4096, 0xEE);
        const std::size_t readsBefore = opened.device->Reads().size();
        EXPECT_EQ(data.ReadClusters(buffer.data(), c.firstVcn, c.count), c.clusters.size()) << c.firstVcn;
        for (std::size_t i = 0; i < c.clusters.size(); ++i)
            EXPECT_EQ(buffer[i * 4096 + 4095], c.clusters[i]) << c.firstVcn << " cluster " << i;
        const bool crossesRuns = c.firstVcn < 8 && c.firstVcn + c.count > 8;
        EXPECT_EQ(opened.device->Reads().size() - readsBefore, c.clusters.empty() ? 0u
                                                               : crossesRuns      ? 2u
                                                                                  : 1u);
    }

    Bytes sectors(8 * 512);
    EXPECT_EQ(data.ReadSectors(sectors.data(), 9, 8), 8u); // from the second sector of VCN 1
    EXPECT_EQ(sectors[0], 31);
    EXPECT_EQ(data.ReadSectors(sectors.data(), 16 * 8 - 2, 8), 2u);
    EXPECT_EQ(data.ReadSectors(sectors.data(), 16 * 8, 8), 0u);
}

TEST(AttributeLookup, FindsAttributesByTypeAndExactName) {
    CFileRecord record = Load(Record()
                                  .Resident(kAttributeData, {1, 2, 3})
                                  .Resident(kAttributeFileName, FileNameValue(5, 1, L"f"))
                                  .Resident(kAttributeData, {4}, L"x"));
    AttributeList data = record.FindAttributes(kAttributeData);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(Name(data[0]), L"");
    EXPECT_EQ(Name(data[1]), L"x");
    EXPECT_EQ(record.GetAttribute(1).GetType(), kAttributeFileName);

    struct Case {
        const wchar_t* name;
        std::size_t found;
    };
    for (const Case& c : {Case{L"x", 1}, Case{L"X", 0}, Case{L"", 1}, Case{L"xx", 0}}) {
        AttributeList named = record.FindAttributes(kAttributeData, c.name);
        ASSERT_EQ(named.size(), c.found) << "name " << c.name;
        if (c.found) {
            EXPECT_EQ(Name(named[0]), c.name);
        }
    }
    EXPECT_TRUE(record.FindAttributes(kAttributeIndexRoot).empty());
}

TEST(AttributeLookup, ReportsAnIndexPastTheAttributes) {
    CFileRecord record = Load(Record());
    EXPECT_TRUE(record.FindAttributes(kAttributeData).empty());
    try {
        record.GetAttribute(0);
        FAIL() << "no error";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
    }
}

// A resident attribute header whose fields the cases below damage one at a time.
Bytes ResidentHeader(std::uint32_t length, std::uint8_t nameLength, std::uint16_t nameOffset,
                     std::uint32_t valueLength, std::uint16_t valueOffset, std::uint8_t nonResident = 0) {
    Bytes header(0x40, 0);
    auto put = [&header](std::size_t at, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0x00, kAttributeData, 4);
    put(0x04, length, 4);
    put(0x08, nonResident, 1);
    put(0x09, nameLength, 1);
    put(0x0A, nameOffset, 2);
    put(0x10, valueLength, 4);
    put(0x14, valueOffset, 2);
    return header;
}

// The walk keeps what it validated before the bad attribute and ends there.
TEST(AttributeLookup, EndsTheWalkAtAnAttributeThatDoesNotFit) {
    struct Case {
        const char* what;
        Bytes attribute;
    };
    const Case cases[] = {
        {"zero length", ResidentHeader(0, 0, 0x18, 0, 0x18)},
        {"shorter than its header", ResidentHeader(0x10, 0, 0x18, 0, 0x18)},
        {"past the bytes in use", ResidentHeader(0x300, 0, 0x18, 0, 0x18)},
        {"name past the attribute", ResidentHeader(0x40, 0x20, 0x18, 0, 0x18)},
        {"value past the attribute", ResidentHeader(0x40, 0, 0x18, 0x100, 0x18)},
        {"value offset past the attribute", ResidentHeader(0x40, 0, 0x18, 0, 0x41)},
        {"non-resident header cut short", ResidentHeader(0x30, 0, 0x18, 0, 0x18, 1)},
    };
    for (const Case& c : cases) {
        CFileRecord record = Load(Record()
                                      .Resident(kAttributeFileName, FileNameValue(5, 1, L"kept"))
                                      .Raw(c.attribute)
                                      .Resident(kAttributeData, {1}));
        AttributeList names = record.FindAttributes(kAttributeFileName);
        ASSERT_EQ(names.size(), 1u) << c.what;
        EXPECT_EQ(names[0].GetFileNameText(), L"kept") << c.what;
        EXPECT_TRUE(record.FindAttributes(kAttributeData).empty()) << c.what;
    }
}

TEST(AttributeSizes, ComeFromTheHeaderOrTheRecordSize) {
    CFileRecord record = Load(Record()
                                  .Resident(kAttributeData, Bytes(40, 7))
                                  .NonResident(kAttributeData, {0x11, 0x04, 0x10, 0}, 16384, 12345, L"big"));
    AttributeList data = record.FindAttributes(kAttributeData);
    EXPECT_EQ(data[0].GetDataSize(), 40u);
    EXPECT_EQ(data[0].GetAllocatedSize(), 1024u);
    EXPECT_EQ(data[0].GetResidentValueLength(), 40u);
    EXPECT_EQ(data[0].GetResidentValue()[39], 7);
    EXPECT_EQ(data[1].GetDataSize(), 12345u);
    EXPECT_EQ(data[1].GetAllocatedSize(), 16384u);
    EXPECT_EQ(CAttribute().GetDataSize(), 0u);
    EXPECT_EQ(CAttribute().GetAllocatedSize(), 0u);
}

TEST(FileNameText, IsTheValueFromOffset0x42On) {
    struct Case {
        Bytes value;
        const wchar_t* text;
    };
    Bytes oddLength = FileNameValue(5, 1, L"ab");
    oddLength.push_back('c');
    const Case cases[] = {
        {FileNameValue(5, 1, L"name.txt"), L"name.txt"},
        {FileNameValue(5, 1, L""), L""},
        {Bytes(0x20, 0), L""},
        {oddLength, L"ab"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Load(Record().Resident(kAttributeFileName, c.value)).GetAttribute(0).GetFileNameText(),
                  c.text);
    EXPECT_EQ(CAttribute().GetFileNameText(), L"");
}

TEST(AttributeMisuse, IsReportedWithFixedMessages) {
    CFileRecord record =
        Load(Record().Resident(kAttributeData, {1}).NonResident(kAttributeData, {0x11, 1, 1, 0}, 4096, 1));
    const CAttribute resident = record.GetAttribute(0);
    const CAttribute nonResident = record.GetAttribute(1);
    const CAttribute empty;
    Bytes buffer(4096);
    struct Case {
        const char* message;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"Cannot use empty attibute header", [&] { empty.GetHeader(); }},
        {"No logical disk referenced", [&] { empty.GetDisk(); }},
        {"not implemented?", [&] { nonResident.GetResidentValue(); }},
        {"not implemented?", [&] { nonResident.GetFileNameText(); }},
        {"not implemented?", [&] { resident.ReadSectors(buffer.data(), 0, 1); }},
        {"not implemented?", [&] { resident.ReadClusters(buffer.data(), 0, 1); }},
        {"not implemented", [&] { resident.GetClusterCount(); }},
        {"Nonresident attribure requires a logical disk object",
         [&] {
             CAttribute(record.GetData(), 0x38 + resident.GetLength(), nonResident.GetLength(), nullptr);
         }},
        {"Attribute does not lie inside its record",
         [&] { CAttribute(record.GetData(), 0x38, resident.GetLength() + 8, record.GetDisk()); }},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << "no error: " << c.message;
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

} // namespace
} // namespace Krod
