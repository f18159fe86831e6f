// What the end-to-end rows (tests/e2e/output_file.transcript) cannot show of the output file.

#include "platform/OutputFile.h"
#include "tests/common/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(OutputFileTest, ModeAndNamesItCannotBeMadeUnder) {
    const vesk_test::ScratchFolder scratch;
    auto created = platform::CreateOutputFile((scratch / "hits.txt").wstring());
    ASSERT_EQ(created.error, 0u);
    const fs::perms perms = fs::status(scratch / "hits.txt").permissions();
    EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(perms & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec),
              fs::perms::none);

    std::vector<std::wstring> names{(scratch / "missing" / "hits.txt").wstring(), std::wstring()};
#ifndef _WIN32
    // A POSIX name is bytes of the locale's encoding, which has no unpaired surrogate; Windows
    // names are UTF-16 units, and NTFS takes such a name as it is.
    names.push_back(scratch.Path().wstring() + L"/lone\xD800surrogate.txt");
#endif
    for (const std::wstring& name : names) {
        auto refused = platform::CreateOutputFile(name);
        EXPECT_NE(refused.error, 0u);
        EXPECT_FALSE(refused.file);
    }
}

} // namespace
