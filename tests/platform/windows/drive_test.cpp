#include "platform/Drive.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(DriveTest, CurrentDriveIsALetterAndAColon) {
    const platform::CurrentDriveResult current = platform::CurrentDrive();
    ASSERT_EQ(current.error, 0u);
    ASSERT_EQ(current.value.size(), 2u);
    EXPECT_TRUE(current.value[0] >= L'A' && current.value[0] <= L'Z');
    EXPECT_EQ(current.value[1], L':');
}

// A substituted drive's target is longer than any first guess of the buffer.
TEST(DriveTest, DosDeviceTargetOfASubstitutedDrive) {
    const std::wstring folder = L"C:\\windows\\a folder with a name long enough to grow the buffer";
    ASSERT_TRUE(DefineDosDeviceW(0, L"Q:", folder.c_str()));
    EXPECT_EQ(platform::DosDeviceTarget(L"Q:"), L"\\??\\" + folder);
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr);
    EXPECT_EQ(platform::DosDeviceTarget(L"NoSuchVeskDevice"), L"");
}

} // namespace
