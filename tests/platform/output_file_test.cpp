#include "platform/OutputFile.h"
#include "tests/common/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public testing::Test {
  protected:
    std::wstring Name(const std::wstring& leaf) const { return scratch_.Path().wstring() + L"/" + leaf; }

    std::string Contents(const char* leaf) const {
        std::ifstream in(scratch_ / leaf, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    vesk_test::ScratchFolder scratch_;
};

TEST_F(OutputFileTest, WritesUtf16LittleEndianUnitsWithoutMark) {
    auto created = platform::CreateOutputFile(Name(L"hits.txt"));
    ASSERT_EQ(created.error, 0u);
    ASSERT_TRUE(created.file);
    EXPECT_EQ(Contents("hits.txt"), "");
    EXPECT_EQ(created.file->Write(L"\\a\x00E9\n"), 0u);
    EXPECT_EQ(created.file->Write(L""), 0u);
    EXPECT_EQ(created.file->Write(L"\xD83D\xDE00\xDC00\x0416"), 0u);
    created.file.reset();
    EXPECT_EQ(Contents("hits.txt"), std::string("\\\0a\0\xE9\0\n\0=\xD8\0\xDE\0\xDC\x16\x04", 16));
}

TEST_F(OutputFileTest, TruncatesAnExistingFile) {
    std::ofstream(scratch_ / "hits.txt") << "old contents";
    auto created = platform::CreateOutputFile(Name(L"hits.txt"));
    ASSERT_EQ(created.error, 0u);
    EXPECT_EQ(Contents("hits.txt"), "");
    EXPECT_EQ(created.file->Write(L"x"), 0u);
    EXPECT_EQ(Contents("hits.txt"), std::string("x\0", 2));
    const fs::perms perms = fs::status(scratch_ / "hits.txt").permissions();
    EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(perms & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec),
              fs::perms::none);
}

TEST_F(OutputFileTest, ReportsWhyTheFileCannotBeCreated) {
    std::vector<std::wstring> names{Name(L"missing/hits.txt"), std::wstring()};
#ifndef _WIN32
    // A POSIX name is bytes of the locale's encoding, which has no unpaired surrogate; Windows
    // names are UTF-16 units, and NTFS takes such a name as it is.
    names.push_back(Name(L"lone\xD800surrogate.txt"));
#endif
    for (const std::wstring& name : names) {
        auto created = platform::CreateOutputFile(name);
        EXPECT_NE(created.error, 0u);
        EXPECT_FALSE(created.file);
    }
}

} // namespace
