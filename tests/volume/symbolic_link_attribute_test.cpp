#include "tools/synthetic/synthetic_tree.h"
#include "volume/Mft.h"
#include "volume/SymbolicLinkAttribute.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::MountPointValue;
using vesk_test::RecordBuilder;

// The junction target as text, or the class and message of the error.
std::wstring Target(const Bytes& reparseData) {
    vesk_test::SyntheticTree tree;
    tree.PutRecord(20, RecordBuilder(1024).Resident(0xC0, reparseData).Build());
    auto opened = tree.Open();
    const CSymbolicLinkAttribute link(CMft(opened.disk.get()).ReadFileRecord(20).GetAttribute(0));
    try {
        return link.GetJunctionTarget();
    } catch (const std::runtime_error& e) {
        return L"runtime_error " + std::wstring(e.what(), e.what() + std::strlen(e.what()));
    } catch (const std::logic_error& e) {
        return L"logic_error " + std::wstring(e.what(), e.what() + std::strlen(e.what()));
    }
}

Bytes Patched(Bytes bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    vesk_test::PutLe(bytes, offset, value, width);
    return bytes;
}

TEST(SymbolicLinkAttribute, ReadsTheSubstituteNameOfMountPointsOnly) {
    const std::wstring damaged = L"runtime_error Junction point reparse data reaches past its value";
    const std::wstring notJunction = L"logic_error Not a junction point symlink";
    const Bytes junction = MountPointValue(L"\\??\\C:\\Target dir");
    // Mount-point data starts at 0x08: substitute offset, length, print offset, length, paths at 0x10.
    struct Case {
        const char* what;
        Bytes value;
        std::wstring target;
    };
    const Case cases[] = {
        {"Microsoft tag", junction, L"\\??\\C:\\Target dir"},
        {"third-party tag behind a GUID", MountPointValue(L"\\??\\D:\\x", 0x20000003), L"\\??\\D:\\x"},
        {"empty substitute name", MountPointValue(L""), L""},
        {"symbolic link", MountPointValue(L"\\??\\C:\\T", 0xA000000C), notJunction},
        {"mount point without name surrogate", MountPointValue(L"\\??\\C:\\T", 0x80000003), notJunction},
        {"substitute name offset past the value", Patched(junction, 0x08, 0x1000, 2), damaged},
        {"substitute name length past the value", Patched(junction, 0x0A, 0x2000, 2), damaged},
        {"reparse data shorter than the name", Patched(junction, 0x04, 0x0C, 2), damaged},
        {"no room for the mount-point fields", Bytes{0x03, 0, 0, 0xA0, 0x04, 0, 0, 0, 0, 0}, damaged},
        {"no room for the GUID", Bytes{0x03, 0, 0, 0x20, 0x08, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, damaged},
        {"shorter than the reparse header", Bytes{0x03, 0, 0, 0xA0}, damaged},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Target(c.value), c.target) << c.what;
}

} // namespace
} // namespace Krod
