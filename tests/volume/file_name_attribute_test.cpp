#include "tests/volume/names_in_place_check.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/AttributeHeader.h"
#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/IndexAttributes.h"
#include "volume/Mft.h"
#include "volume/SymbolicLinkAttribute.h"

#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::FileNameValue;
using vesk_test::RecordBuilder;
using vesk_test::SyntheticTree;

constexpr std::uint64_t kRecord = 20;

CFileRecord Load(const Bytes& record) {
    SyntheticTree tree;
    tree.PutRecord(kRecord, record);
    auto opened = tree.Open();
    return CMft(opened.disk.get()).ReadFileRecord(kRecord);
}

CAttribute OnlyAttribute(const RecordBuilder& builder) {
    const CFileRecord record = Load(builder.Build());
    return record.GetAttribute(0);
}

// "<exception type> <what()>" of what call throws, or "none".
std::string Outcome(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return std::string(typeid(e).name()) + " " + e.what();
    }
    return "none";
}

template <typename E> std::string Thrown(const char* what) {
    return std::string(typeid(E).name()) + " " + what;
}

TEST(TypedViews, RefuseAttributesOfAnotherTypeOrResidencyOrTooShort) {
    const Bytes runs = vesk_test::EncodeRunList({{SyntheticTree::kFreeCluster, 1}});
    const Bytes hugeRuns = vesk_test::EncodeRunList({{SyntheticTree::kFreeCluster, 65537}});
    using View = std::function<void(const CAttribute&)>;
    const View fileName = [](const CAttribute& a) { CFileNameAttribute view(a); };
    const View indexRoot = [](const CAttribute& a) { CIndexRootAttribute view(a); };
    const View allocation = [](const CAttribute& a) { CIndexAllocationAttribute view(a, 4096); };
    const View oddBlocks = [](const CAttribute& a) { CIndexAllocationAttribute view(a, 1000); };
    const View symlink = [](const CAttribute& a) { CSymbolicLinkAttribute view(a); };
    struct Case {
        const char* what;
        RecordBuilder attribute;
        View view;
        std::string outcome;
    };
    const Case cases[] = {
        {"FILE_NAME", RecordBuilder(1024).Resident(0x30, FileNameValue(5, 1, L"a")), fileName, "none"},
        {"FILE_NAME of $DATA", RecordBuilder(1024).Resident(0x80, FileNameValue(5, 1, L"a")), fileName,
         Thrown<std::logic_error>("Not a filename attribute")},
        {"non-resident FILE_NAME", RecordBuilder(1024).NonResident(0x30, runs, 4096, 100), fileName,
         Thrown<std::logic_error>("Nonresident filename attribute not supported")},
        {"FILE_NAME of 0x41 bytes", RecordBuilder(1024).Resident(0x30, Bytes(0x41, 0)), fileName,
         Thrown<std::runtime_error>("FILE_NAME value is shorter than its 0x42-byte header")},
        {"INDEX_ROOT of FILE_NAME", RecordBuilder(1024).Resident(0x30, FileNameValue(5, 1, L"a")), indexRoot,
         Thrown<std::invalid_argument>("Not an indexroot attribute")},
        {"non-resident INDEX_ROOT", RecordBuilder(1024).NonResident(0x90, runs, 4096, 100), indexRoot,
         Thrown<std::logic_error>("Nonresident indexroot attribute not supported")},
        {"INDEX_ROOT of 0x1F bytes", RecordBuilder(1024).Resident(0x90, Bytes(0x1F, 0)), indexRoot,
         Thrown<std::runtime_error>("INDEX_ROOT value is shorter than its headers")},
        {"INDEX_ALLOCATION of INDEX_ROOT", RecordBuilder(1024).Resident(0x90, Bytes(0x20, 0)), allocation,
         Thrown<std::invalid_argument>("Not an index allocation attribute")},
        {"resident INDEX_ALLOCATION", RecordBuilder(1024).Resident(0xA0, Bytes(0x20, 0)), allocation,
         Thrown<std::logic_error>("Resident index allocations not supported")},
        {"blocks not a multiple of 512", RecordBuilder(1024).NonResident(0xA0, runs, 4096, 4096), oddBlocks,
         Thrown<std::runtime_error>("Unsupportable index block size")},
        {"INDEX_ALLOCATION beyond 256 MiB", RecordBuilder(1024).NonResident(0xA0, hugeRuns, 0, 0), allocation,
         Thrown<std::runtime_error>("INDEX_ALLOCATION size too long")},
        {"symlink of $DATA", RecordBuilder(1024).Resident(0x80, Bytes(8, 0)), symlink,
         Thrown<std::invalid_argument>("Not an symlink attribute")},
        {"non-resident symlink", RecordBuilder(1024).NonResident(0xC0, runs, 4096, 100), symlink,
         Thrown<std::logic_error>("Nonresident symlink attribute not supported")},
    };
    for (const Case& c : cases) {
        const CAttribute attribute = OnlyAttribute(c.attribute);
        EXPECT_EQ(Outcome([&] { c.view(attribute); }), c.outcome) << c.what;
    }
}

TEST(TypedViews, EmptyViewsConstructButRefuseTheirAccessors) {
    const CAttribute empty;
    const std::string isEmpty = Thrown<std::logic_error>("Attribute is empty");
    EXPECT_EQ(Outcome([&] { CFileNameAttribute(empty).GetParentReference(); }), isEmpty);
    EXPECT_EQ(Outcome([&] { CFileNameAttribute(empty).GetNamespace(); }), isEmpty);
    EXPECT_EQ(Outcome([&] { CIndexRootAttribute(empty).GetEntries(); }), isEmpty);
    EXPECT_EQ(Outcome([&] { CIndexAllocationAttribute(empty, 4096).GetEntries({0xFF}); }), isEmpty);
    EXPECT_EQ(Outcome([&] { CSymbolicLinkAttribute(empty).GetJunctionTarget(); }), isEmpty);
}

TEST(FileNameAttribute, ReadsParentNamespaceAndFlags) {
    Bytes value = FileNameValue(0x0007001234567890, 2, L"NAME~1.TXT");
    vesk_test::PutLe(value, 0x38, kFileAttributeDirectory | kFileAttributeSystem, 4);
    const CFileNameAttribute name(OnlyAttribute(RecordBuilder(1024).Resident(0x30, value)));
    EXPECT_EQ(name.GetParentReference().GetRecordNumber(), 0x1234567890u);
    EXPECT_EQ(name.GetParentReference().GetSequenceNumber(), 7);
    EXPECT_EQ(name.GetNamespace(), kNamespaceDos);
    EXPECT_EQ(name.GetFileAttributes(), kFileAttributeDirectory | kFileAttributeSystem);
    EXPECT_EQ(name.GetFileNameText(), L"NAME~1.TXT");

    const CFileNameAttribute nameless(
        OnlyAttribute(RecordBuilder(1024).Resident(0x30, FileNameValue(5, 1, L""))));
    EXPECT_EQ(nameless.GetFileNameText(), L"");
}

struct Name {
    std::uint8_t nameSpace;
    std::wstring text;
};

Bytes RecordWithNames(const std::vector<Name>& names) {
    RecordBuilder record(1024);
    for (const Name& name : names)
        record.Resident(0x30, FileNameValue(5, name.nameSpace, name.text));
    return record.Build();
}

std::wstring Selected(const CFileRecord& record, int selector) {
    std::wstring texts;
    for (const CAttribute& name : record.GetFileNameAttributes(selector))
        texts += (texts.empty() ? L"" : L",") + name.GetFileNameText();
    return texts;
}

TEST(FileNameSelection, KeepsNamesBySelectorInRecordOrder) {
    struct Case {
        const char* what;
        std::vector<Name> names;
        // Names kept for selectors 0, 1, 2, 3 and AnyNamespace.
        std::wstring kept[5];
    };
    const Case cases[] = {
        {"Win32 and DOS",
         {{1, L"Long name"}, {2, L"LONGNA~1"}},
         {L"Long name", L"Long name", L"LONGNA~1", L"Long name,LONGNA~1", L"Long name,LONGNA~1"}},
        {"one Win32&DOS name", {{3, L"A"}}, {L"A", L"A", L"A", L"A", L"A"}},
        {"POSIX beside Win32 and DOS",
         {{0, L"p"}, {2, L"D"}, {1, L"W"}},
         {L"p,W", L"p,W", L"p,D", L"p,D,W", L"p,D,W"}},
        {"two Win32 hard links", {{1, L"x"}, {1, L"y"}}, {L"x,y", L"x,y", L"", L"x,y", L"x,y"}},
        {"POSIX names only",
         {{0, L"a"}, {0, L"b"}, {0, L"c"}},
         {L"a,b,c", L"a,b,c", L"a,b,c", L"a,b,c", L"a,b,c"}},
        {"no name", {}, {L"", L"", L"", L"", L""}},
    };
    const int selectors[] = {0, 1, 2, 3, AnyNamespace};
    for (const Case& c : cases) {
        const CFileRecord record = Load(RecordWithNames(c.names));
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(Selected(record, selectors[i]), c.kept[i]) << c.what << ", selector " << selectors[i];
    }
    EXPECT_EQ(Selected(Load(Bytes(1024, 0)), AnyNamespace), L"") << "not a FILE record";
    const Bytes damaged = RecordBuilder(1024)
                              .Resident(0x30, Bytes(0x41, 3))
                              .Resident(0x30, FileNameValue(5, 3, L"kept"))
                              .Build();
    EXPECT_EQ(Selected(Load(damaged), AnyNamespace), L"kept") << "a value too short for its fields";
}

TEST(FileNameSelection, ReportsMoreThanOneWin32AndOneDosSideWhateverTheSelector) {
    const std::vector<std::vector<Name>> contradictory = {
        {{3, L"A"}, {3, L"B"}},
        {{3, L"A"}, {1, L"B"}},
        {{2, L"A~1"}, {3, L"B"}},
        {{1, L"a"}, {1, L"b"}, {1, L"c"}},
    };
    for (const auto& names : contradictory) {
        const CFileRecord record = Load(RecordWithNames(names));
        for (int selector : {0, 1, 2, 3, AnyNamespace}) {
            try {
                record.GetFileNameAttributes(selector);
                ADD_FAILURE() << "no error for selector " << selector;
            } catch (const EMutExAttributesError& e) {
                EXPECT_EQ(e.GetRecordReference(), FileReference(kRecord));
                EXPECT_STREQ(e.what(),
                             "MFC record #20(0) has several mutual exclusive FILE_NAME attributes.");
            }
        }
    }
}

// A scan reads the names where the record lies; where it cannot be sure to read them as the record
// object selects them, it declines and leaves the record to the object.
TEST(FileNamesInPlace, AgreeWithTheSelectionOrDecline) {
    // The record fuzzer's find: a first attribute at offset 0, so that the header itself walks as
    // an attribute of type "FILE", ahead of a name (update sequence offset 0x38 and count 0 give
    // it its length and need no fixup).
    Bytes headerFirst = RecordWithNames({{1, L"a"}});
    const Bytes patch = {0x38, 0, 0, 0};
    std::copy(patch.begin(), patch.end(), headerFirst.begin() + 4);
    std::fill(headerFirst.begin() + 0x10, headerFirst.begin() + 0x16, 0);
    struct Case {
        const char* what;
        Bytes record;
        bool read;
    };
    const std::vector<Case> cases = {
        {"Win32 and DOS", RecordWithNames({{1, L"Long name"}, {2, L"LONGNA~1"}}), true},
        {"POSIX beside Win32 and DOS", RecordWithNames({{0, L"p"}, {2, L"D"}, {1, L"W"}}), true},
        {"two Win32 hard links", RecordWithNames({{1, L"x"}, {1, L"y"}}), true},
        {"no name", RecordWithNames({}), true},
        {"a value too short for its fields",
         RecordBuilder(1024).Resident(0x30, Bytes(0x41, 3)).Resident(0x30, FileNameValue(5, 3, L"kept")).Build(),
         false},
        {"names before a $DATA",
         RecordBuilder(1024).Resident(0x30, FileNameValue(5, 1, L"a")).Resident(0x80, Bytes(4, 0)).Build(), true},
        {"more Win32 and DOS sides than a record has", RecordWithNames({{3, L"A"}, {1, L"B"}}), false},
        {"a name after the $DATA",
         RecordBuilder(1024)
             .Resident(0x30, FileNameValue(5, 1, L"a"))
             .Resident(0x80, Bytes(4, 0))
             .Resident(0x30, FileNameValue(5, 0, L"b"))
             .Build(),
         false},
        {"an $ATTRIBUTE_LIST",
         RecordBuilder(1024).Resident(0x20, Bytes(0x20, 0)).Resident(0x30, FileNameValue(5, 1, L"a")).Build(),
         false},
        {"an $ATTRIBUTE_LIST after the names",
         RecordBuilder(1024).Resident(0x30, FileNameValue(5, 1, L"a")).Resident(0x20, Bytes(0x20, 0)).Build(),
         false},
        {"a non-resident FILE_NAME",
         RecordBuilder(1024).NonResident(0x30, vesk_test::EncodeRunList({{3, 1}}), 4096, 100).Build(), false},
        {"the header walked as an attribute, then a name", headerFirst, false},
        {"nine POSIX names",
         RecordWithNames({{0, L"1"}, {0, L"2"}, {0, L"3"}, {0, L"4"}, {0, L"5"}, {0, L"6"}, {0, L"7"},
                          {0, L"8"}, {0, L"9"}}),
         false},
    };
    for (const Case& c : cases) {
        const CFileRecord record = Load(c.record);
        ASSERT_TRUE(record.IsFileRecord() && record.IsFixedUp()) << c.what;
        FileNamesInPlace names;
        EXPECT_EQ(ReadFileNamesInPlace(record.GetBuffer(), record.GetBufferSize(), AnyNamespace, names), c.read)
            << c.what;
        std::string difference;
        EXPECT_TRUE(vesk_test::NamesInPlaceAgree(record, difference)) << c.what << ": " << difference;
    }
}

} // namespace
} // namespace Krod
