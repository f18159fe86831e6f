// Damaged and unusual MFT records built in memory (tools/synthetic), one row each with what the
// library makes of them: run lists, the attribute walk, the typed views and their refusals, the
// selection of FILE_NAMEs (also as a scan reads them in place), attribute-list entries and update
// sequences. What well-formed volumes hold is compared with libntfs-3g in builder_volumes_test.
#include "tests/volume/names_in_place_check.h"
#include "tests/volume/rows.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/AttributeHeader.h"
#include "volume/AttributeListEntries.h"
#include "volume/FileNameAttribute.h"
#include "volume/IndexAttributes.h"
#include "volume/Mft.h"
#include "volume/SymbolicLinkAttribute.h"
#include "volume/UpdateSequence.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <typeinfo>

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

Bytes Patched(Bytes bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    PutLe(bytes, offset, value, width);
    return bytes;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// What call returns, or "<exception type> <what()>" of what it throws.
std::string Outcome(const std::function<std::string()>& call) {
    try {
        return call();
    } catch (const std::exception& e) {
        return std::string(typeid(e).name()) + " " + e.what();
    }
}

template <typename E> std::string Thrown(const char* what) {
    return std::string(typeid(E).name()) + " " + what;
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
            runs << (runs.tellp() ? " " : "") << std::hex << run.vcn << ":" << run.length << ":" << run.lcn;
        Bytes buffer(4096);
        const std::size_t read =
            data.ReadClusters(buffer.data(), 0, 1) + data.ReadSectors(buffer.data(), 0, 8);
        EXPECT_EQ(runs.tellp() ? runs.str() : read ? "read" : "none", row.expected) << row.where;
    }
}

// Each cluster of the volume is filled with its own number, so a buffer shows where it was read.
TEST(NonResidentRead, FollowsTheRunsAndStopsWhereTheyEnd) {
    SyntheticTree tree;
    for (std::uint8_t cluster = 64; cluster < 100; ++cluster)
        tree.PutBytes(cluster * 4096ull, Bytes(4096, cluster));
    const Bytes runs = EncodeRunList({{70, 8}, {90, 8}});
    tree.PutRecord(20, Record().NonResident(kAttributeData, runs, 65536, 65536).Build());
    auto opened = tree.Open();
    const CAttribute data = CMft(opened.disk.get()).ReadFileRecord(20).FindAttributes(kAttributeData).at(0);
    struct Case {
        std::uint64_t firstVcn;
        std::uint32_t count;
        std::vector<std::uint8_t> clusters; // the volume clusters that must arrive, in order
    };
    const Case cases[] = {
        {0, 16, {70, 71, 72, 73, 74, 75, 76, 77, 90, 91, 92, 93, 94, 95, 96, 97}},
        {6, 4, {76, 77, 90, 91}},
        {12, 10, {94, 95, 96, 97}},
        {16, 2, {}},
        {1000, 1, {}},
    };
    for (const Case& c : cases) {
        Bytes buffer(std::size_t{c.count} * 4096, 0xEE);
        EXPECT_EQ(data.ReadClusters(buffer.data(), c.firstVcn, c.count), c.clusters.size()) << c.firstVcn;
        for (std::size_t i = 0; i < c.clusters.size(); ++i)
            EXPECT_EQ(buffer[i * 4096 + 4095], c.clusters[i]) << c.firstVcn << " cluster " << i;
    }
    Bytes sectors(8 * 512);
    EXPECT_EQ(data.ReadSectors(sectors.data(), 9, 8), 8u); // from the second sector of VCN 1
    EXPECT_EQ(sectors[0], 71);
    EXPECT_EQ(data.ReadSectors(sectors.data(), 16 * 8 - 2, 8), 2u);
    EXPECT_EQ(data.ReadSectors(sectors.data(), 16 * 8, 8), 0u);
}

// A resident attribute header whose fields the rows below damage one at a time.
Bytes Header(std::uint32_t length, std::uint8_t nameLength, std::uint32_t valueLength,
             std::uint16_t valueOffset, std::uint8_t nonResident = 0) {
    Bytes header(0x40, 0);
    PutLe(header, 0x00, kAttributeData, 4);
    PutLe(header, 0x04, length, 4);
    PutLe(header, 0x08, nonResident, 1);
    PutLe(header, 0x09, nameLength, 1);
    PutLe(header, 0x0A, 0x18, 2);
    PutLe(header, 0x10, valueLength, 4);
    PutLe(header, 0x14, valueOffset, 2);
    return header;
}

// The walk keeps what it validated before the bad attribute and ends there.
TEST(AttributeWalk, EndsAtAnAttributeThatDoesNotFit) {
    const std::pair<const char*, Bytes> cases[] = {
        {"zero length", Header(0, 0, 0, 0x18)},
        {"shorter than its header", Header(0x10, 0, 0, 0x18)},
        {"past the bytes in use", Header(0x300, 0, 0, 0x18)},
        {"name past the attribute", Header(0x40, 0x20, 0, 0x18)},
        {"value past the attribute", Header(0x40, 0, 0x100, 0x18)},
        {"value offset past the attribute", Header(0x40, 0, 0, 0x41)},
        {"non-resident header cut short", Header(0x30, 0, 0, 0x18, 1)},
    };
    for (const auto& [what, attribute] : cases) {
        const CFileRecord record = Load(Record()
                                            .Resident(kAttributeFileName, FileNameValue(5, 1, L"kept"))
                                            .Raw(attribute)
                                            .Resident(kAttributeData, {1})
                                            .Build());
        const AttributeList names = record.FindAttributes(kAttributeFileName);
        ASSERT_EQ(names.size(), 1u) << what;
        EXPECT_EQ(names[0].GetFileNameText(), L"kept") << what;
        EXPECT_TRUE(record.FindAttributes(kAttributeData).empty()) << what;
    }
}

// Each row reads the first attribute of a record through a view or accessor.
TEST(AttributeViews, ReadWhatFitsAndRefuseTheRest) {
    const Bytes runs = EncodeRunList({{SyntheticTree::kFreeCluster, 1}});
    const Bytes longRuns = EncodeRunList({{SyntheticTree::kFreeCluster, 65537}});
    const Bytes volumeRuns = EncodeRunList({{SyntheticTree::kFreeCluster, 0xFFFF}});
    const Bytes junction = vesk_test::MountPointValue(L"\\??\\C:\\Target dir");
    Bytes oddLength = FileNameValue(5, 1, L"ab");
    oddLength.push_back('c');
    using Call = std::function<std::string(const CAttribute&)>;
    const Call fileName = [](const CAttribute& a) {
        const CFileNameAttribute name(a);
        return std::to_string(name.GetParentReference().GetRaw()) + " " +
               std::to_string(name.GetNamespace()) + " " + std::to_string(name.GetFileAttributes()) + " " +
               Narrow(name.GetFileNameText());
    };
    const Call text = [](const CAttribute& a) { return Narrow(a.GetFileNameText()); };
    const Call indexRoot = [](const CAttribute& a) {
        return std::to_string(CIndexRootAttribute(a).HasSubNodes());
    };
    const Call allocation = [](const CAttribute& a) {
        return std::to_string(CIndexAllocationAttribute(a, 4096).GetBlockCount());
    };
    const Call target = [](const CAttribute& a) {
        return Narrow(CSymbolicLinkAttribute(a).GetJunctionTarget());
    };
    const Call value = [](const CAttribute& a) { return std::to_string(*a.GetResidentValue()); };
    Bytes flagged = FileNameValue(0x0007001234567890, 2, L"NAME~1.TXT");
    PutLe(flagged, 0x38, kFileAttributeDirectory | kFileAttributeSystem, 4);
    const std::string notJunction = Thrown<std::logic_error>("Not a junction point symlink");
    const std::string damaged =
        Thrown<std::runtime_error>("Junction point reparse data reaches past its value");
    struct Case {
        const char* what;
        RecordBuilder record;
        Call call;
        std::string outcome;
    };
    const Case cases[] = {
        {"FILE_NAME", Record().Resident(0x30, flagged), fileName, "1970403024468112 2 268435460 NAME~1.TXT"},
        {"FILE_NAME of $DATA", Record().Resident(0x80, FileNameValue(5, 1, L"a")), fileName,
         Thrown<std::logic_error>("Not a filename attribute")},
        {"non-resident FILE_NAME", Record().NonResident(0x30, runs, 4096, 100), fileName,
         Thrown<std::logic_error>("Nonresident filename attribute not supported")},
        {"FILE_NAME of 0x41 bytes", Record().Resident(0x30, Bytes(0x41, 0)), fileName,
         Thrown<std::runtime_error>("FILE_NAME value is shorter than its 0x42-byte header")},
        {"name text of an empty name", Record().Resident(0x30, FileNameValue(5, 1, L"")), text, ""},
        {"name text of a short value", Record().Resident(0x30, Bytes(0x20, 0)), text, ""},
        {"name text of an odd length", Record().Resident(0x30, oddLength), text, "ab"},
        {"INDEX_ROOT of FILE_NAME", Record().Resident(0x30, FileNameValue(5, 1, L"a")), indexRoot,
         Thrown<std::invalid_argument>("Not an indexroot attribute")},
        {"non-resident INDEX_ROOT", Record().NonResident(0x90, runs, 4096, 100), indexRoot,
         Thrown<std::logic_error>("Nonresident indexroot attribute not supported")},
        {"INDEX_ROOT of 0x1F bytes", Record().Resident(0x90, Bytes(0x1F, 0)), indexRoot,
         Thrown<std::runtime_error>("INDEX_ROOT value is shorter than its headers")},
        {"INDEX_ALLOCATION of INDEX_ROOT", Record().Resident(0x90, Bytes(0x20, 0)), allocation,
         Thrown<std::invalid_argument>("Not an index allocation attribute")},
        {"resident INDEX_ALLOCATION", Record().Resident(0xA0, Bytes(0x20, 0)), allocation,
         Thrown<std::logic_error>("Resident index allocations not supported")},
        {"blocks not a multiple of 512", Record().NonResident(0xA0, runs, 4096, 4096),
         [](const CAttribute& a) {
             return std::to_string(CIndexAllocationAttribute(a, 1000).GetBlockCount());
         },
         Thrown<std::runtime_error>("Unsupportable index block size")},
        // Damaged runs had 256 MiB of zeros read into memory.
        {"INDEX_ALLOCATION beyond 256 MiB", Record().NonResident(0xA0, longRuns, 0, 0), allocation,
         Thrown<std::runtime_error>("INDEX_ALLOCATION size too long")},
        {"INDEX_ALLOCATION longer than its volume", Record().NonResident(0xA0, volumeRuns, 0, 0), allocation,
         Thrown<std::runtime_error>("INDEX_ALLOCATION size too long")},
        {"junction", Record().Resident(0xC0, junction), target, "\\??\\C:\\Target dir"},
        {"third-party tag behind a GUID",
         Record().Resident(0xC0, vesk_test::MountPointValue(L"D:", 0x20000003)), target, "D:"},
        {"empty substitute name", Record().Resident(0xC0, vesk_test::MountPointValue(L"")), target, ""},
        {"symbolic link", Record().Resident(0xC0, vesk_test::MountPointValue(L"C:", 0xA000000C)), target,
         notJunction},
        {"no name surrogate", Record().Resident(0xC0, vesk_test::MountPointValue(L"C:", 0x80000003)), target,
         notJunction},
        {"substitute name offset past the value", Record().Resident(0xC0, Patched(junction, 0x08, 0x1000, 2)),
         target, damaged},
        {"substitute name length past the value", Record().Resident(0xC0, Patched(junction, 0x0A, 0x2000, 2)),
         target, damaged},
        {"reparse data shorter than the name", Record().Resident(0xC0, Patched(junction, 0x04, 0x0C, 2)),
         target, damaged},
        {"no room for the mount-point fields", Record().Resident(0xC0, {3, 0, 0, 0xA0, 4, 0, 0, 0, 0, 0}),
         target, damaged},
        {"no room for the GUID", Record().Resident(0xC0, {3, 0, 0, 0x20, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}),
         target, damaged},
        {"shorter than the reparse header", Record().Resident(0xC0, {3, 0, 0, 0xA0}), target, damaged},
        {"symlink view of $DATA", Record().Resident(0x80, Bytes(8, 0)), target,
         Thrown<std::invalid_argument>("Not an symlink attribute")},
        {"non-resident symlink", Record().NonResident(0xC0, runs, 4096, 100), target,
         Thrown<std::logic_error>("Nonresident symlink attribute not supported")},
        {"resident value of a non-resident attribute", Record().NonResident(0x80, runs, 4096, 1), value,
         Thrown<std::logic_error>("not implemented?")},
        {"clusters of a resident attribute", Record().Resident(0x80, {1}),
         [](const CAttribute& a) { return std::to_string(a.GetClusterCount()); },
         Thrown<std::logic_error>("not implemented")},
        {"an attribute past the last", Record(), value,
         Thrown<std::out_of_range>("invalid vector<T> subscript")},
    };
    for (const Case& c : cases) {
        const CFileRecord record = Load(c.record.Build());
        EXPECT_EQ(Outcome([&] { return c.call(record.GetAttribute(0)); }), c.outcome) << c.what;
    }
    const CAttribute empty;
    const std::string isEmpty = Thrown<std::logic_error>("Attribute is empty");
    EXPECT_EQ(Outcome([&] { return std::to_string(CFileNameAttribute(empty).GetNamespace()); }), isEmpty);
    EXPECT_EQ(Outcome([&] { return Narrow(CSymbolicLinkAttribute(empty).GetJunctionTarget()); }), isEmpty);
    EXPECT_EQ(Outcome([&] { return std::to_string(*empty.GetHeader()); }),
              Thrown<std::logic_error>("Cannot use empty attibute header"));
    const CFileRecord record = Load(Record().Resident(0x80, {1}).Build());
    EXPECT_EQ(
        Outcome([&] { return std::to_string(CAttribute(record.GetData(), 0x38, 0x80, nullptr).GetType()); }),
        Thrown<std::invalid_argument>("Attribute does not lie inside its record"));
}

// A record of the attributes words name (file_names.txt says how).
Bytes RecordOf(const std::vector<std::string>& words) {
    RecordBuilder record(1024);
    for (const std::string& word : words) {
        if (word == "$DATA")
            record.Resident(kAttributeData, Bytes(4, 0));
        else if (word == "$ATTRIBUTE_LIST")
            record.Resident(kAttributeList, Bytes(0x20, 0));
        else if (word == "short")
            record.Resident(kAttributeFileName, Bytes(0x41, 3));
        else if (word == "non-resident")
            record.NonResident(kAttributeFileName, EncodeRunList({{3, 1}}), 4096, 100);
        else if (word != "header-first" && word != "zeros")
            record.Resident(kAttributeFileName, FileNameValue(5, static_cast<std::uint8_t>(word[0] - '0'),
                                                              std::wstring(word.begin() + 2, word.end())));
    }
    Bytes bytes = words.front() == "zeros" ? Bytes(1024, 0) : record.Build();
    if (words.front() == "header-first") {
        PutLe(bytes, 0x04, 0x38, 4); // update sequence at 0x38, no entries
        std::fill(bytes.begin() + 0x10, bytes.begin() + 0x16, 0);
    }
    return bytes;
}

TEST(FileNameSelection, KeepsNamesBySelectorAndAgreesInPlaceOrDeclines) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("file_names")) {
        const CFileRecord record = Load(RecordOf(vesk_test::Words(row.input)));
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

// Applies each "@OFFSET:VALUE" of patches to bytes (hex; the value's width is its digits').
Bytes Patched(Bytes bytes, const std::string& patches) {
    std::istringstream in(patches);
    for (std::string patch; std::getline(in, patch, '@');)
        if (!patch.empty()) {
            const std::string value = patch.substr(patch.find(':') + 1);
            PutLe(bytes, std::stoul(patch, nullptr, 16), std::stoull(value, nullptr, 16), value.size() / 2);
        }
    return bytes;
}

TEST(AttributeListEntries, ParseUntilOneIsMalformed) {
    const Bytes entry = vesk_test::AttributeListEntry(0x30, 0x1234, 0x0003000000000042, 7);
    for (const vesk_test::Row& row : vesk_test::ReadRows("attribute_lists")) {
        Bytes list;
        for (const std::string& word : vesk_test::Words(row.input)) {
            const Bytes part = word.compare(0, 6, "zeros:") == 0 ? Bytes(std::stoul(word.substr(6)), 0)
                                                                 : Patched(entry, word.substr(5));
            list.insert(list.end(), part.begin(), part.end());
        }
        EXPECT_EQ(std::to_string(ParseAttributeList(list.data(), list.size()).size()), row.expected)
            << row.where;
    }
    const std::vector<AttributeListEntry> entries = ParseAttributeList(entry.data(), entry.size());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, 0x30u);
    EXPECT_EQ(entries[0].record, FileReference::FromRaw(0x0003000000000042));
    EXPECT_EQ(entries[0].lowestVcn, 0x1234u);
    EXPECT_EQ(entries[0].instance, 7u);
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
            block = Patched(block, words[i]);
        Bytes bytes = block;
        const bool applied = ApplyUpdateSequence(bytes.data(), bytes.size());
        bool restored = applied;
        for (std::size_t i = 1; applied && i < count; ++i)
            restored =
                restored && (bytes[i * 512 - 2] | bytes[i * 512 - 1] << 8) == static_cast<int>(0x1100 + i);
        EXPECT_EQ(restored                     ? "restored"
                  : !applied && bytes == block ? "refused"
                                               : "damaged",
                  row.expected)
            << row.where;
    }
}

} // namespace
} // namespace Krod
