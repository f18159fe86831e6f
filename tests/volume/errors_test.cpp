#include "volume/Errors.h"

#include "platform/Device.h"
#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

namespace Krod {
namespace {

FileReference Reference(std::uint64_t recordNumber, std::uint16_t sequence) {
    return FileReference::FromRaw(recordNumber | std::uint64_t{sequence} << 48);
}

TEST(FileReferenceText, WritesAll48BitsOfTheRecordNumberAndTheSequence) {
    struct Case {
        std::uint64_t raw;
        const char* text;
    };
    const Case cases[] = {
        {0, "#0(0)"},
        {Reference(1234, 3).GetRaw(), "#1234(3)"},
        {Reference(0x100000001, 0).GetRaw(), "#4294967297(0)"},
        {0xFFFFFFFFFFFFFFFFull, "#281474976710655(65535)"},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        out << FileReference::FromRaw(c.raw);
        EXPECT_EQ(out.str(), c.text);
    }
    EXPECT_EQ(FileReference(7).GetRaw(), 7u);
}

TEST(RecordErrors, NameTheRecordAndKeepItsReference) {
    const FileReference reference = Reference(0x100000001, 3);
    ENoFilenameAttribute noName(reference);
    EMutExAttributesError mutex(Reference(5, 3));
    EXPECT_STREQ(noName.what(), "MFC record #4294967297(3) does not have FILE_NAME attribute.");
    EXPECT_EQ(noName.what(), noName.what()); // formatted once
    EXPECT_STREQ(mutex.what(), "MFC record #5(3) has several mutual exclusive FILE_NAME attributes.");

    try {
        throw ENoFilenameAttribute(reference);
    } catch (const ErrorInFilerecord& e) {
        EXPECT_EQ(e.GetRecordReference(), reference);
    }
    ENoFilenameAttribute copy = noName;
    EXPECT_STREQ(copy.what(), noName.what());
}

TEST(SystemError, HasNoWhatButASystemMessageWithTheCode) {
    const ESystemError error(EACCES);
    EXPECT_STREQ(error.what(), "");
    EXPECT_EQ(error.GetErrorCode(), static_cast<platform::ErrorCode>(EACCES));
    const std::wstring text = platform::SystemErrorText(EACCES);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(error.GetSystemMessage(), text + L" (13)");

    EXPECT_EQ(ESystemError(99999).GetSystemMessage(), L"(Cannot format error message) (99999)");

    // Made right after a failed call, it takes that call's code (errno, GetLastError).
    const platform::OpenResult failed = platform::OpenDevice(L"/nonexistent/vesk/volume.img");
    const ESystemError last;
    EXPECT_NE(failed.error, 0u);
    EXPECT_EQ(last.GetErrorCode(), failed.error);
}

} // namespace
} // namespace Krod
