#include "platform/Drive.h"

#include <gtest/gtest.h>

namespace {

using platform::ParseDrive;

TEST(DriveTest, ParsesTheDriveValue) {
    struct Case {
        const wchar_t* value;
        const wchar_t* text;
        const wchar_t* devicePath;
        wchar_t letter;
    };
    const Case cases[] = {
        {L"/dev/sdb1", L"/dev/sdb1", L"/dev/sdb1", 0},
        {L"disk.img", L"disk.img", L"disk.img", 0},
        {L"C:/cases/disk.img", L"C:", L"/cases/disk.img", L'C'},
        {L"C:./disk.img", L"C:", L"./disk.img", L'C'},
        {L"e:../disk.img", L"e:", L"../disk.img", L'e'},
        {L"C:", L"C:", L"C:", 0},                         // no path: a file named C:
        {L"C:disk.img", L"C:disk.img", L"C:disk.img", 0}, // the path must begin with / or .
        {L"1:/disk.img", L"1:/disk.img", L"1:/disk.img", 0},
        {L"\x00C4:/disk.img", L"\x00C4:/disk.img", L"\x00C4:/disk.img", 0},
    };
    for (const Case& c : cases) {
        const platform::Drive drive = ParseDrive(c.value);
        EXPECT_EQ(drive.text, c.text);
        EXPECT_EQ(drive.devicePath, c.devicePath);
        EXPECT_EQ(drive.letter, c.letter);
    }
}

TEST(DriveTest, CurrentDriveIsTheSourceOfTheWorkingDirectorysFileSystem) {
    const platform::CurrentDriveResult current = platform::CurrentDrive();
    EXPECT_EQ(current.error, 0u);
    EXPECT_FALSE(current.value.empty());
}

} // namespace
