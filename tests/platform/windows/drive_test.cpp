#include "platform/Drive.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// A substituted drive's target is longer than any first guess of the buffer.
TEST(DriveTest, DosDeviceTargetOfASubstitutedDrive) {
    const std::wstring folder = L"C:\\windows\\a folder with a name long enough to grow the buffer";
    ASSERT_TRUE(DefineDosDeviceW(0, L"Q:", folder.c_str()));
    EXPECT_EQ(platform::DosDeviceTarget(L"Q:"), L"\\??\\" + folder);
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr);
    EXPECT_EQ(platform::DosDeviceTarget(L"NoSuchVeskDevice"), L"");
}

} // namespace
