#include "app/ToolOptions.h"
#include "cmdline/ProcessCommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A golden text of this folder; they are ASCII.
std::wstring Golden(const char* name) {
    std::ifstream in(std::string(VESK_APP_GOLDEN_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read golden file " << name;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return std::wstring(bytes.begin(), bytes.end());
}

std::string Shown(const std::vector<const wchar_t*>& args) {
    std::string shown;
    for (const wchar_t* arg : args)
        for (const wchar_t* c = arg; *c != 0; ++c)
            shown += static_cast<char>(*c);
    return shown;
}

struct Processed {
    std::int32_t result;
    std::wstring out;
    std::wstring errors;
};

// Runs the tool's start-up parse as the program does (banner as header, error base 10, help 1).
Processed Process(cmdarg::command_line& options, std::vector<const wchar_t*> args) {
    args.insert(args.begin(), L"vesk");
    std::wostringstream out, errors;
    const std::int32_t result = cmdarg::process_command_line(
        options, static_cast<int>(args.size()), args.data(), out, errors, ToolBanner, nullptr, 10, 1);
    return {result, out.str(), errors.str()};
}

// Every refused command line, one golden transcript: each "$ vesk" line gives the arguments (split at
// blanks), followed by the parse's result and the report.
TEST(ToolOptions, RefusedCommandLines) {
    const std::wstring golden = Golden("refused.txt");
    std::wistringstream lines(golden);
    std::wstring transcript;
    for (std::wstring line; std::getline(lines, line);) {
        if (line.rfind(L"$ vesk ", 0) != 0)
            continue;
        std::wistringstream words(line.substr(7));
        const std::vector<std::wstring> texts{std::istream_iterator<std::wstring, wchar_t>(words), {}};
        std::vector<const wchar_t*> args;
        for (const std::wstring& word : texts)
            args.push_back(word.c_str());
        cmdarg::command_line options = BuildToolCommandLine();
        const Processed p = Process(options, args);
        transcript += line + L"\n[result " + std::to_wstring(p.result) + L"]\n" + p.errors;
        if (!p.out.empty())
            transcript += L"[output]\n" + p.out;
    }
    EXPECT_EQ(transcript, golden);
}

TEST(ToolOptions, AcceptedCommandLines) {
    constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();
    const struct {
        std::vector<const wchar_t*> args;
        std::vector<std::wstring> free;
        std::int32_t rangeBegin, rangeEnd;
        std::uint64_t sizeMin, sizeMax, allocMin, allocMax;
    } cases[] = {
        {{L"*.txt"}, {L"*.txt"}, 0, -1, 0, kNoLimit, 0, kNoLimit},
        // An optional value that is no number is the pattern, not a faulty upper bound.
        {{L"-range", L"100", L"*.txt"}, {L"*.txt"}, 100, -1, 0, kNoLimit, 0, kNoLimit},
        {{L"-range", L"10", L"20", L"x"}, {L"x"}, 10, 20, 0, kNoLimit, 0, kNoLimit},
        {{L"x", L"-ra", L"7"}, {L"x"}, 7, -1, 0, kNoLimit, 0, kNoLimit},
        {{L"-fsize", L"1k", L"pattern"}, {L"pattern"}, 0, -1, 1024, kNoLimit, 0, kNoLimit},
        {{L"-fsize", L"10k", L"2m", L"x"}, {L"x"}, 0, -1, 10240, 2u << 20, 0, kNoLimit},
        {{L"-falloc", L"4g", L"-fsize", L"3", L"5", L"x"}, {L"x"}, 0, -1, 3, 5, 4ull << 30, kNoLimit},
        {{L"-fsize", L"0", L"2147483647g", L"x"}, {L"x"}, 0, -1, 0, 2147483647ull << 30, 0, kNoLimit},
        {{L"-range", L"1", L"-range", L"2", L"x"}, {L"x"}, 2, -1, 0, kNoLimit, 0, kNoLimit},
        {{L"-"}, {L"-"}, 0, -1, 0, kNoLimit, 0, kNoLimit},
    };
    for (const auto& c : cases) {
        cmdarg::command_line options = BuildToolCommandLine();
        ASSERT_EQ(Process(options, c.args).result, 0) << Shown(c.args);
        EXPECT_EQ(options.free_values, c.free) << Shown(c.args);
        EXPECT_EQ(options.state(kOptRange).int_value(0), c.rangeBegin) << Shown(c.args);
        EXPECT_EQ(options.state(kOptRange).int_value(1), c.rangeEnd) << Shown(c.args);
        EXPECT_EQ(options.state(kOptSizeRange).size_value(0), c.sizeMin) << Shown(c.args);
        EXPECT_EQ(options.state(kOptSizeRange).size_value(1), c.sizeMax) << Shown(c.args);
        EXPECT_EQ(options.state(kOptAllocatedRange).size_value(0), c.allocMin) << Shown(c.args);
        EXPECT_EQ(options.state(kOptAllocatedRange).size_value(1), c.allocMax) << Shown(c.args);
    }
}

// Values keep their text; "/" starts an option only where it is a switch character (Windows).
TEST(ToolOptions, ValuesKeepTheirText) {
    cmdarg::command_line options = BuildToolCommandLine();
    const bool slash = options.switch_chars.find(L'/') != std::wstring::npos;
    const wchar_t* drive = slash ? L"c:" : L"/dev/sdb1";
    const wchar_t* file = slash ? L"hits.txt" : L"/home/ana/hits.txt";
    const wchar_t* pattern = slash ? L"x" : L"/x";
    ASSERT_EQ(Process(options, {L"-d", drive, L"-outfile", file, pattern}).result, 0);
    EXPECT_EQ(options.state(kOptDrive).value(0), drive);
    EXPECT_EQ(options.state(kOptOutFile).value(0), file);
    EXPECT_FALSE(options.state(kOptAbout).has_value(0));
    EXPECT_EQ(options.free_values, std::vector<std::wstring>{pattern});
}

TEST(ToolOptions, WithBothSwitchCharacters) {
    cmdarg::command_line help = BuildToolCommandLine();
    help.switch_chars = L"-/";
    const Processed p = Process(help, {L"/?"});
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.out, Golden("help.txt") + L"Following characters are accepted as option switch: -/\n");

    cmdarg::command_line options = BuildToolCommandLine();
    options.switch_chars = L"-/";
    ASSERT_EQ(Process(options, {L"/nall", L"-d", L"d:", L"x"}).result, 0);
    EXPECT_TRUE(options.state(kOptAllNamespaces).present);
}

} // namespace
