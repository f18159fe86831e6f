#include "app/ResultPrinter.h"
#include "tests/common/scratch_folder.h"

#include "app/ToolOptions.h"
#include "cmdline/CommandLine.h"
#include "platform/OutputFile.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/AttributeHeader.h"
#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/JunctionTable.h"
#include "volume/Mft.h"
#include "volume/UpcaseTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using vesk_test::Bytes;
using vesk_test::RecordBuilder;

constexpr std::uint32_t kFileName = Krod::kAttributeFileName;
constexpr std::uint32_t kData = Krod::kAttributeData;
constexpr std::uint64_t kRoot = Krod::kRootDirectoryRecord;
constexpr std::uint8_t kPosix = Krod::kNamespacePosix, kWin32 = Krod::kNamespaceWin32,
                       kDos = Krod::kNamespaceDos, kWin32AndDos = Krod::kNamespaceWin32AndDos;

// A FILE_NAME value whose flags mark a directory name.
Bytes DirectoryName(std::uint64_t parent, std::uint8_t nameSpace, const std::wstring& name) {
    Bytes value = vesk_test::FileNameValue(parent, nameSpace, name);
    value[0x3B] |= Krod::kFileAttributeDirectory >> 24; // the flags' high byte
    return value;
}

// Collects what is written to std::wcerr while it lives.
class ErrorCapture {
  public:
    ErrorCapture() : saved_(std::wcerr.rdbuf(captured_.rdbuf())) {}
    ~ErrorCapture() { std::wcerr.rdbuf(saved_); }
    std::wstring Text() const { return captured_.str(); }

  private:
    std::wostringstream captured_;
    std::wstreambuf* saved_;
};

// The volume the hits come from:
//   5  \                  root, and $UpCase (10) of the tree
//   6  \Windows\          directory, Win32&DOS name
//   7  \Windows\notepad.exe   1500 bytes in 4096, Win32 name
//   8  \boot.ini          resident 40-byte data, Win32&DOS name
//   9  lost.txt           its parent, 16, is no FILE record
//  12  \Documents\        directory with a Win32 and a DOS name (DOCUME~1)
//  13  \Documents\a.txt   DOS name A.TXT
//  14  stale              the header marks a directory, the FILE_NAME does not
//  15  \twice\            a directory with two POSIX names (a hard link)
//   4  \twice\inner.txt
class ResultPrinterTest : public testing::Test {
  protected:
    void SetUp() override {
        const std::uint32_t size = volume_.RecordSize();
        const auto dir = RecordBuilder::kInUse | RecordBuilder::kDirectory;
        volume_.PutRecord(6, RecordBuilder(size, dir)
                                 .Resident(kFileName, DirectoryName(kRoot, kWin32AndDos, L"Windows"))
                                 .Build());
        volume_.PutRecord(7, RecordBuilder(size)
                                 .Resident(kFileName, vesk_test::FileNameValue(6, kWin32, L"notepad.exe"))
                                 .NonResident(kData, vesk_test::EncodeRunList({{60, 1}}), 4096, 1500)
                                 .Build());
        volume_.PutRecord(8,
                          RecordBuilder(size)
                              .Resident(kFileName, vesk_test::FileNameValue(kRoot, kWin32AndDos, L"boot.ini"))
                              .Resident(kData, Bytes(40, 'x'))
                              .Resident(kData, Bytes(70, 'y'), L"stream")
                              .Build());
        volume_.PutRecord(9, RecordBuilder(size)
                                 .Resident(kFileName, vesk_test::FileNameValue(16, kWin32, L"lost.txt"))
                                 .Build());
        volume_.PutRecord(12, RecordBuilder(size, dir)
                                  .Resident(kFileName, DirectoryName(kRoot, kWin32, L"Documents"))
                                  .Resident(kFileName, DirectoryName(kRoot, kDos, L"DOCUME~1"))
                                  .Build());
        volume_.PutRecord(
            13,
            RecordBuilder(size).Resident(kFileName, vesk_test::FileNameValue(12, kDos, L"A.TXT")).Build());
        volume_.PutRecord(14, RecordBuilder(size, dir)
                                  .Resident(kFileName, vesk_test::FileNameValue(kRoot, kPosix, L"stale"))
                                  .Build());
        volume_.PutRecord(15, RecordBuilder(size, dir)
                                  .Resident(kFileName, DirectoryName(kRoot, kPosix, L"twice"))
                                  .Resident(kFileName, DirectoryName(kRoot, kPosix, L"again"))
                                  .Build());
        volume_.PutRecord(4, RecordBuilder(size)
                                 .Resident(kFileName, vesk_test::FileNameValue(15, kWin32, L"inner.txt"))
                                 .Build());

        opened_ = volume_.Open();
        mft_ = std::make_unique<Krod::CMft>(opened_.disk.get());
        upcase_ = std::make_unique<Krod::CUpcaseTable>(*mft_);
        junctions_ = std::make_unique<Krod::CJunctionTable>(nullptr, *upcase_, false, 1, L'X');
    }

    // The options of a command line such as {L"-si", L"-sd"}; the pattern is
    // added.
    static cmdarg::command_line Options(std::vector<const wchar_t*> arguments) {
        cmdarg::command_line options = BuildToolCommandLine();
        arguments.insert(arguments.begin(), L"vesk");
        arguments.push_back(L"*");
        options.parse(static_cast<int>(arguments.size()), arguments.data());
        return options;
    }

    // The hit of the first name of record n.
    FoundFile Hit(std::uint32_t n) const {
        FoundFile hit{mft_->ReadFileRecord(n), n, {}};
        hit.matchedName = hit.record.FindAttributes(kFileName).front();
        return hit;
    }

    // Prints the hits of records with options (console off) into a fresh output
    // file and returns the file's text; what the printer reported on std::wcerr
    // goes to errors.
    std::wstring PrintToFile(std::vector<const wchar_t*> arguments, const std::vector<std::uint32_t>& records,
                             FoundCounters* counters = nullptr, std::wstring* errors = nullptr) {
        arguments.push_back(L"-outCON");
        const fs::path path = scratch_ / "hits.txt";
        auto created = platform::CreateOutputFile(path.wstring());
        EXPECT_EQ(created.error, 0u);
        ResultPrinter printer(L"X:", *junctions_, *mft_, created.file.get(), Options(arguments));
        {
            ErrorCapture capture;
            for (std::uint32_t n : records)
                printer.Print(Hit(n));
            if (errors != nullptr)
                *errors = capture.Text();
        }
        if (counters != nullptr)
            *counters = printer.GetCounters();
        created.file.reset();
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::wstring text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8);
        EXPECT_EQ(bytes.size() % 2, 0u);
        return text;
    }

    vesk_test::SyntheticTree volume_; // the root and $UpCase in place
    vesk_test::OpenedVolume opened_;
    std::unique_ptr<Krod::CMft> mft_;
    std::unique_ptr<Krod::CUpcaseTable> upcase_;
    std::unique_ptr<Krod::CJunctionTable> junctions_;
    vesk_test::ScratchFolder scratch_;
};

TEST_F(ResultPrinterTest, WritesOneLinePerHitWithTheChosenColumns) {
    struct Case {
        std::vector<const wchar_t*> arguments;
        std::uint32_t record;
        const wchar_t* line;
    };
    // Columns, their order, -sP -sd and directory marks on the volume's hits are pinned end to end.
    const Case cases[] = {
        {{L"-ssize"}, 6, L"0 \\Windows\\\n"},
        {{L"-sP"}, 9, L"lost.txt\n"},
        {{L"-snamespace"}, 13, L"DOS \\DOCUME~1\\A.TXT\n"},
        {{L"-snamespace"}, 14, L"PSX \\stale\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintToFile(c.arguments, {c.record}), c.line) << "record " << c.record;
}

// Files and directories are told apart by the record header, whatever the FILE_NAME flags say.
TEST_F(ResultPrinterTest, WritesEveryPathThroughJunctionsAndCountsTheHits) {
    junctions_->AddEntry(Krod::FileReference(20), L"\\Docs\\J", L"X:\\Windows");
    FoundCounters counters;
    EXPECT_EQ(
        PrintToFile({L"-si"}, {7, 8, 6, 14}, &counters),
        L"7 \\Windows\\notepad.exe\n7 \\Docs\\J\\notepad.exe\n8 \\boot.ini\n6 \\Windows\\\n14 \\stale\n");
    EXPECT_EQ(counters.FoundFileCount, 2u);
    EXPECT_EQ(counters.FoundDirectoryCount, 2u);
    EXPECT_EQ(counters.AlternatePathCount, 1u);
    EXPECT_EQ(PrintToFile({L"-sP"}, {7}, &counters), L"notepad.exe\n");
    EXPECT_EQ(counters.AlternatePathCount, 0u);
}

TEST_F(ResultPrinterTest, ShowsAnOrphanUnderItsPrefixAndGoesOn) {
    FoundCounters counters;
    std::wstring errors;
    EXPECT_EQ(PrintToFile({L"-si"}, {9, 8}, &counters, &errors),
              L"9 <ORPHANED FILE>\\lost.txt\n8 \\boot.ini\n");
    EXPECT_EQ(errors, L"Unable to resolve path of #9. MFC record #16(0) does not "
                      L"have FILE_NAME attribute.\n");
    EXPECT_EQ(counters.FoundFileCount, 2u);
}

TEST_F(ResultPrinterTest, OtherPathErrorsEndTheRun) {
    EXPECT_THROW(PrintToFile({}, {4}), std::logic_error);
}

TEST_F(ResultPrinterTest, AFailedFileWriteIsASystemError) {
    auto created = platform::CreateOutputFile(L"/dev/full");
    ASSERT_EQ(created.error, 0u);
    ResultPrinter printer(L"X:", *junctions_, *mft_, created.file.get(), Options({L"-outCON"}));
    try {
        printer.Print(Hit(7));
        ADD_FAILURE() << "no error";
    } catch (const Krod::ESystemError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
    }
}

} // namespace
