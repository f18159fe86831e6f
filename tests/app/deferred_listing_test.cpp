// A hit kept for the listing after the scan is printed from its record read again; a record that
// changed meanwhile (a volume being written) is left out with a note, not printed wrong, and the
// listing goes on.

#include "app/SearchDriver.h"
#include "app/ToolOptions.h"
#include "cmdline/ProcessCommandLine.h"
#include "platform/MemoryDevice.h"
#include "tests/common/scratch_folder.h"
#include "tools/synthetic/synthetic_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using vesk_test::RecordBuilder;

constexpr std::uint64_t kFile = 40;

// Writes changed over record kFile before the second read that reaches it: the scan reads the
// record, the listing reads it again with the record after it.
class ChangingDevice : public platform::MemoryDevice {
  public:
    ChangingDevice(vesk_test::SyntheticTree& tree, vesk_test::Bytes changed)
        : MemoryDevice(tree.Image()), at_(tree.RecordOffset(kFile)), changed_(std::move(changed)) {}
    platform::ErrorCode Seek(std::uint64_t offset) override {
        position_ = offset;
        return MemoryDevice::Seek(offset);
    }
    platform::ErrorCode Read(void* buffer, std::size_t size) override {
        if (position_ <= at_ && at_ < position_ + size && ++reads_ == 2)
            std::copy(changed_.begin(), changed_.end(), Bytes().begin() + static_cast<std::ptrdiff_t>(at_));
        position_ += size;
        return MemoryDevice::Read(buffer, size);
    }

  private:
    std::uint64_t position_ = 0;
    const std::uint64_t at_;
    const vesk_test::Bytes changed_;
    int reads_ = 0;
};

TEST(DeferredListing, LeavesOutWithANoteAHitWhoseRecordChangedSinceTheScan) {
    vesk_test::SyntheticTree tree;
    for (const std::uint64_t n : {kFile, kFile + 1})
        tree.PutRecord(n,
                       RecordBuilder(tree.RecordSize())
                           .Resident(0x30, vesk_test::FileNameValue(vesk_test::Ref(5), 1,
                                                                    L"notes-" + std::to_wstring(n) + L".txt"))
                           .Build());
    vesk_test::ScratchFolder scratch;
    const std::filesystem::path results = scratch.Path() / "results.txt";
    const std::wstring resultsName = results.wstring();
    cmdarg::command_line options = BuildToolCommandLine();
    const wchar_t* argv[] = {L"vesk", L"notes*",          L"-deferred", L"-silent",  L"-JP",
                             L"-d",   L"./synthetic.img", L"-outCON",   L"-outfile", resultsName.c_str()};
    std::wostringstream out, errors;
    ASSERT_EQ(cmdarg::process_command_line(options, 10, argv, out, errors, ToolBanner, nullptr, 10, 1), 0);

    std::wostringstream notes;
    std::wstreambuf* const standardError = std::wcerr.rdbuf(notes.rdbuf());
    RunSearch(options, std::make_unique<ChangingDevice>(tree, RecordBuilder(tree.RecordSize(), 0).Build()));
    std::wcerr.rdbuf(standardError);

    EXPECT_EQ(notes.str(), L"The record #40 changed after the search had read it; its hit is not listed.\n");
    std::ifstream file(results, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    std::u16string text(bytes.size() / 2, u'\0'); // UTF-16LE, on a little-endian machine
    std::memcpy(&text[0], bytes.data(), text.size() * 2);
    EXPECT_EQ(text, u"\\notes-41.txt\n");
}

} // namespace
