// Which records count as NTFS's own files, on records built in memory; the in-use options are
// pinned end to end.

#include "app/ResultFilters.h"

#include "tools/synthetic/synthetic_volume.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using vesk_test::Bytes;
using vesk_test::RecordBuilder;

constexpr std::uint32_t kFileName = 0x30;
constexpr std::uint64_t kRoot = 5;
constexpr std::uint8_t kPosix = 0, kWin32 = 1, kDos = 2, kWin32AndDos = 3;

struct Name {
    std::uint64_t parent;
    std::uint8_t nameSpace;
    const wchar_t* text;
    bool system;
};

Bytes NameValue(const Name& name) {
    Bytes value = vesk_test::FileNameValue(name.parent, name.nameSpace, name.text);
    if (name.system)
        value[0x38] |= 0x04;
    return value;
}

class ResultFiltersTest : public testing::Test {
  protected:
    // Record 12 of a fresh volume, with names in this order and these header flags.
    Krod::CFileRecord Record(const std::vector<Name>& names, std::uint16_t flags = RecordBuilder::kInUse) {
        RecordBuilder builder(volume_.RecordSize(), flags);
        for (const Name& name : names)
            builder.Resident(kFileName, NameValue(name));
        volume_.PutRecord(12, builder.Build());
        opened_ = volume_.Open();
        mft_ = std::make_unique<Krod::CMft>(opened_.disk.get());
        return mft_->ReadFileRecord(12u);
    }

    vesk_test::SyntheticVolume volume_;
    vesk_test::OpenedVolume opened_;
    std::unique_ptr<Krod::CMft> mft_;
};

TEST_F(ResultFiltersTest, SpecialNtfsFiles) {
    const wchar_t* const kVolumeInformation = L"System Volume Information";
    struct Case {
        const char* what;
        std::vector<Name> names;
        bool special;               // with "System Volume Information" listed
        bool specialWithoutListing; // with it counted as special
    } const cases[] = {
        {"$MFT in the root, system flag", {{kRoot, kWin32AndDos, L"$MFT", true}}, true, true},
        {"the root itself", {{kRoot, kWin32AndDos, L".", true}}, true, true},
        {"$Extend", {{kRoot, kWin32AndDos, L"$Extend", true}}, true, true},
        {"$Quota named in the root", {{kRoot, kWin32AndDos, L"$Quota", true}}, true, true},
        {"a user's $MFT without the system flag", {{kRoot, kPosix, L"$MFT", false}}, false, false},
        {"$Quota inside $Extend", {{11, kWin32AndDos, L"$Quota", true}}, false, false},
        {"another case is another name", {{kRoot, kWin32AndDos, L"$mft", true}}, false, false},
        {"System Volume Information", {{kRoot, kWin32, kVolumeInformation, true}}, false, true},
        {"System Volume Information without the system flag",
         {{kRoot, kWin32, kVolumeInformation, false}},
         false,
         false},
        {"a system file of another name", {{kRoot, kWin32, L"pagefile.sys", true}}, false, false},
        {"only the first name counts",
         {{kRoot, kPosix, L"ordinary", false}, {kRoot, kPosix, L"$MFT", true}},
         false,
         false},
        {"a pure DOS name is not looked at", {{kRoot, kDos, L"$MFT", true}}, false, false},
        {"a DOS name before the Win32 one",
         {{kRoot, kDos, L"ORDINARY", false}, {kRoot, kWin32, L"$Boot", true}},
         true,
         true},
        {"no name at all", {}, false, false},
    };
    for (const Case& c : cases) {
        const Krod::CFileRecord record = Record(c.names);
        EXPECT_EQ(IsSpecialNtfsFile(record, true), c.special) << c.what;
        EXPECT_EQ(IsSpecialNtfsFile(record, false), c.specialWithoutListing) << c.what;
    }
}

} // namespace
