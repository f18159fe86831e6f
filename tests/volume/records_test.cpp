// Damaged and unusual MFT records built in memory (tools/synthetic), one row each with what the
// library makes of them: run lists, the attribute walk, the typed views and their refusals, the
// selection of FILE_NAMEs (also as a scan reads them in place), attribute-list entries and update
// sequences. What well-formed volumes hold is compared with libntfs-3g in builder_volumes_test.
#include "tests/volume/record_text.h"
#include "tests/volume/rows.h"
#include "tools/recordcheck/names_in_place_check.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/AttributeHeader.h"
#include "volume/AttributeListAttribute.h"
#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/FileNamesInPlace.h"
#include "volume/IndexAttributes.h"
#include "volume/Mft.h"
#include "volume/RecordHeader.h"
#include "volume/ReparsePoint.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::EncodeRunList;
using vesk_test::FileNameValue;
using vesk_test::PutLe;
using vesk_test::RecordBuilder;
using vesk_test::SyntheticTree;

// Record 20 of a small volume, as the library reads it.
CFileRecord Load(const Bytes& record, SyntheticTree tree = {}) {
    tree.PutRecord(20, record);
    auto opened = tree.Open();
    return CMft(opened.disk.get()).ReadFileRecord(20);
}

RecordBuilder Record() {
    return RecordBuilder(1024);
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(RunList, DecodesRunsAndDiscardsMalformedLists) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("run_lists")) {
        Bytes runList;
        for (const std::string& byte : vesk_test::Words(row.input))
            runList.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
        const CAttribute data = Load(Record().NonResident(kAttributeData, runList, 4096, 4096).Build())
                                    .FindAttributes(kAttributeData)
                                    .at(0);
        std::ostringstream runs;
        for (const DataRun& run : data.GetRuns())
            runs << (runs.tellp() ? " " : "") << std::hex << run.vcn << ":" << run.length << ":"
                 << (run.sparse ? "-" : "") << run.lcn;
        Bytes buffer(4096);
        const std::size_t read =
            data.ReadClusters(buffer.data(), 0, 1) + data.ReadSectors(buffer.data(), 0, 8);
        EXPECT_EQ(runs.tellp() ? runs.str() : read ? "read" : "none", row.expected) << row.where;
    }
}

TEST(NonResidentRead, FollowsTheRunsAndStopsWhereTheyEnd) {
    SyntheticTree tree;
    for (std::uint8_t cluster = 64; cluster < 100; ++cluster)
        tree.PutBytes(cluster * 4096ull, Bytes(4096, cluster));
    const Bytes runs = {0x11, 8, 70, 0x01, 4, 0x11, 4, 20, 0}; // 8 at 70, a hole of 4, 4 at 90
    const CAttribute data = Load(Record().NonResident(kAttributeData, runs, 65536, 65536).Build(), tree)
                                .FindAttributes(kAttributeData)
                                .at(0);
    for (const vesk_test::Row& row : vesk_test::ReadRows("non_resident_reads")) {
        const std::vector<std::string> words = vesk_test::Words(row.input);
        const std::size_t unit = words[0] == "clusters" ? 4096 : 512;
        const auto count = static_cast<std::uint32_t>(std::stoul(words[2]));
        Bytes buffer(count * unit, 0xEE);
        const std::size_t read = unit == 4096 ? data.ReadClusters(buffer.data(), std::stoull(words[1]), count)
                                              : data.ReadSectors(buffer.data(), std::stoull(words[1]), count);
        std::string arrived;
        for (std::size_t i = 0; i < read; ++i)
            arrived += (i ? " " : "") + std::to_string(buffer[i * unit + unit - 1]);
        EXPECT_EQ(arrived.empty() ? "-" : arrived, row.expected) << row.where;
    }
}

TEST(AttributeWalk, EndsAtAnAttributeThatDoesNotFit) {
    const Bytes fitting = vesk_test::ValueFromText("fill:40:00@00:00000080@04:00000040@0A:0018@14:0018");
    for (const vesk_test::Row& row : vesk_test::ReadRows("attribute_walks")) {
        const CFileRecord record = Load(Record()
                                            .Resident(kAttributeFileName, FileNameValue(5, 1, L"kept"))
                                            .Raw(vesk_test::Patched(fitting, row.input))
                                            .Resident(kAttributeData, {1})
                                            .Build());
        std::string names;
        for (const CAttribute& name : record.FindAttributes(kAttributeFileName))
            names += Narrow(name.GetFileNameText()) + " ";
        EXPECT_EQ(names + std::to_string(record.FindAttributes(kAttributeData).size()), row.expected)
            << row.where;
    }
}

TEST(AttributeViews, ReadWhatFitsAndRefuseTheRest) {
    const std::map<std::string, std::function<std::string(const CAttribute&)>> views = {
        {"file-name",
         [](const CAttribute& a) {
             const CFileNameAttribute name(a);
             return std::to_string(name.GetParentReference().GetRaw()) + " " +
                    std::to_string(name.GetNamespace()) + " " + std::to_string(name.GetFileAttributes()) +
                    " " + Narrow(name.GetFileNameText());
         }},
        {"text", [](const CAttribute& a) { return Narrow(a.GetFileNameText()); }},
        {"index-root",
         [](const CAttribute& a) { return std::to_string(CIndexRootAttribute(a).HasSubNodes()); }},
        {"allocation",
         [](const CAttribute& a) {
             return std::to_string(CIndexAllocationAttribute(a, 4096).GetBlockCount());
         }},
        {"allocation-1000",
         [](const CAttribute& a) {
             return std::to_string(CIndexAllocationAttribute(a, 1000).GetBlockCount());
         }},
        {"target", [](const CAttribute& a) { return Narrow(CReparsePointAttribute(a).GetJunctionTarget()); }},
        {"value", [](const CAttribute& a) { return std::to_string(*a.GetResidentValue()); }},
        {"clusters", [](const CAttribute& a) { return std::to_string(a.GetClusterCount()); }},
        {"value-length", [](const CAttribute& a) { return std::to_string(a.GetResidentValueLength()); }},
        {"sectors", [](const CAttribute& a) { return std::to_string(a.ReadSectors(nullptr, 0, 1)); }},
        {"read-clusters", [](const CAttribute& a) { return std::to_string(a.ReadClusters(nullptr, 0, 1)); }},
        {"bitmap", [](const CAttribute& a) { return std::to_string(ReadIndexBitmap(a).size()); }},
    };
    for (const vesk_test::Row& row : vesk_test::ReadRows("attribute_views")) {
        const std::size_t semicolon = row.input.find(" ; ");
        const CFileRecord record = Load(vesk_test::RecordFromText(row.input.substr(0, semicolon)));
        std::string outcome;
        try {
            outcome = views.at(row.input.substr(semicolon + 3))(record.GetAttribute(0));
        } catch (const std::exception& e) {
            outcome = std::string("error: ") + e.what();
        }
        EXPECT_EQ(outcome.empty() ? "-" : outcome, row.expected) << row.where;
    }
    // Views of no attribute, and attributes that would reach past their record or need a disk.
    const CAttribute empty;
    EXPECT_THROW(CFileNameAttribute(empty).GetNamespace(), std::logic_error);
    EXPECT_THROW(CReparsePointAttribute(empty).GetJunctionTarget(), std::logic_error);
    EXPECT_THROW(CIndexRootAttribute(empty).GetEntries(), std::logic_error);
    EXPECT_THROW(CIndexAllocationAttribute(empty, 4096).GetEntries({0xFF}), std::logic_error);
    EXPECT_THROW(empty.GetHeader(), std::logic_error);
    EXPECT_THROW(empty.GetDisk(), std::logic_error);
    EXPECT_EQ(empty.GetDataSize() + empty.GetAllocatedSize(), 0u);
    const CFileRecord record = Load(vesk_test::RecordFromText("80=hex:01 80~64+1/4096/1"));
    EXPECT_THROW(CAttribute(record.GetData(), 0x38, 0x80, nullptr), std::invalid_argument);
    const CAttribute nonResident = record.GetAttribute(1);
    EXPECT_THROW(CAttribute(record.GetData(), 0x38 + record.GetAttribute(0).GetLength(),
                            nonResident.GetLength(), nullptr),
                 std::logic_error);
}

// The record a row of file_names.txt names.
Bytes RecordOf(const std::string& text) {
    if (text == "zeros")
        return Bytes(1024, 0);
    if (text.compare(0, 13, "header-first ") != 0)
        return vesk_test::RecordFromText(text);
    Bytes bytes = vesk_test::Patched(vesk_test::RecordFromText(text.substr(13)), "@04:00000038");
    std::fill(bytes.begin() + 0x10, bytes.begin() + 0x16, 0);
    return bytes;
}

TEST(FileNameSelection, KeepsNamesBySelectorAndAgreesInPlaceOrDeclines) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("file_names")) {
        const CFileRecord record = Load(RecordOf(row.input));
        std::string kept;
        for (int selector : {0, 1, 2, 3, AnyNamespace}) {
            std::string names;
            try {
                for (const CAttribute& name : record.GetFileNameAttributes(selector))
                    names += (names.empty() ? "" : ",") + Narrow(name.GetFileNameText());
            } catch (const EMutExAttributesError& e) {
                EXPECT_STREQ(e.what(),
                             "MFC record #20(0) has several mutual exclusive FILE_NAME attributes.");
                names = "error";
            } catch (const std::logic_error&) {
                names = "error";
            }
            kept += (selector ? "|" : "") + names;
        }
        const bool valid = record.IsFileRecord() && record.IsFixedUp();
        FileNamesInPlace names;
        if (valid && ReadFileNamesInPlace(record.GetBuffer(), record.GetBufferSize(), AnyNamespace, names))
            kept += " in place";
        EXPECT_EQ(kept, row.expected) << row.where;
        std::string difference;
        EXPECT_TRUE(!valid || vesk_test::NamesInPlaceAgree(record, difference))
            << row.where << ": " << difference;
    }
}

TEST(AttributeListEntries, ParseUntilOneIsMalformed) {
    const Bytes entry = vesk_test::AttributeListEntry(0x30, 0x1234, 0x0003000000000042, 7);
    for (const vesk_test::Row& row : vesk_test::ReadRows("attribute_lists")) {
        Bytes list;
        for (const std::string& word : vesk_test::Words(row.input)) {
            const Bytes part = word.compare(0, 6, "zeros:") == 0 ? Bytes(std::stoul(word.substr(6)), 0)
                                                                 : vesk_test::Patched(entry, word.substr(5));
            list.insert(list.end(), part.begin(), part.end());
        }
        EXPECT_EQ(std::to_string(ParseAttributeList(list.data(), list.size()).size()), row.expected)
            << row.where;
    }
}

TEST(UpdateSequence, RestoresEveryStretchOrRefusesWithoutTouchingTheBlock) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("update_sequences")) {
        const std::vector<std::string> words = vesk_test::Words(row.input);
        const std::size_t count = std::stoul(words[1]);
        Bytes block(std::stoul(words[0]), 0x33);
        if (block.size() > 0x40) {
            PutLe(block, 0x04, 0x30, 2);
            PutLe(block, 0x06, count, 2);
            PutLe(block, 0x30, 0x0707, 2);
        }
        for (std::size_t i = 1; i < count; ++i) {
            PutLe(block, 0x30 + 2 * i, 0x1100 + i, 2);
            PutLe(block, i * 512 - 2, 0x0707, 2);
        }
        for (std::size_t i = 2; i < words.size(); ++i)
            block = vesk_test::Patched(block, words[i]);
        Bytes bytes = block;
        const bool applied = ApplyUpdateSequence(bytes.data(), bytes.size());
        bool restored = applied;
        for (std::size_t i = 1; applied && i < count; ++i)
            restored =
                restored && (bytes[i * 512 - 2] | bytes[i * 512 - 1] << 8) == static_cast<int>(0x1100 + i);
        const std::size_t fault = FindUpdateSequenceFault(block.data(), block.size());
        const std::string where = fault == kArrayDamaged ? "array" : "in " + std::to_string(fault);
        EXPECT_EQ(restored                     ? "restored"
                  : !applied && bytes == block ? "refused " + where
                                               : "damaged",
                  row.expected)
            << row.where;
    }
}

} // namespace
} // namespace Krod
