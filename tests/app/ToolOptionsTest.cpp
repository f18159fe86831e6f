#include "app/ToolOptions.h"
#include "cmdline/ProcessCommandLine.h"
#include "platform/Arguments.h"

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

// What help shows: the golden page, then, where "/" starts options too (Windows), the switch
// characters.
std::wstring HelpShown(const cmdarg::command_line& options) {
    std::wstring page = Golden("help.txt");
    if (options.switch_chars.size() > 1)
        page += L"Following characters are accepted as option switch: " + options.switch_chars + L"\n";
    return page;
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

const std::wstring kHint = L"\nUse option -? to get help on syntax and options.\n";

// Names, help texts, subparameters, defaults, groups and their order show on the help page; ids are
// tied to names by EachNameReachesItsOption. What neither shows:
TEST(ToolOptions, Declarations) {
    const cmdarg::command_line options = BuildToolCommandLine();
    EXPECT_EQ(options.min_free, 1u);
    EXPECT_EQ(options.max_free, 1u);
    EXPECT_EQ(options.switch_chars, platform::OptionSwitchChars);
    ASSERT_EQ(options.declarations().size(), 29u);
    for (const cmdarg::parameter& option : options.declarations()) {
        EXPECT_EQ(option.default_subparam(), -1) << "option " << option.id();
        EXPECT_EQ(option.min_free_change().kind,
                  option.id() == kOptAbout ? cmdarg::bound_change::set : cmdarg::bound_change::none);
        EXPECT_EQ(option.max_free_change().kind, cmdarg::bound_change::none) << "option " << option.id();
    }
    EXPECT_EQ(
        options.find(kOptRange).types(),
        (std::vector<cmdarg::subparam_type>{cmdarg::subparam_type::integer, cmdarg::subparam_type::integer}));
}

TEST(ToolOptions, HelpPage) {
    std::wostringstream out;
    BuildToolCommandLine().print_help(out);
    EXPECT_EQ(out.str(), Golden("help_page.txt"));
}

TEST(ToolOptions, EachNameReachesItsOption) {
    const struct {
        std::int32_t id;
        std::vector<const wchar_t*> args;
    } cases[] = {
        {kOptRange, {L"-range", L"5"}},
        {kOptCase, {L"-case"}},
        {kOptDrive, {L"-d", L"c:"}},
        {kOptDeferred, {L"-deferred"}},
        {kOptAbout, {L"-about"}},
        {kOptRegex, {L"-regex"}},
        {kOptNoCache, {L"-nocache"}},
        {kOptNoJunctions, {L"-JP"}},
        {kOptShowId, {L"-si"}},
        {kOptShowNamespace, {L"-snamespace"}},
        {kOptNoPath, {L"-sP"}},
        {kOptShowDrive, {L"-sd"}},
        {kOptShowSize, {L"-ssize"}},
        {kOptShowAllocated, {L"-salloc"}},
        {kOptSilent, {L"-silent"}},
        {kOptAllNamespaces, {L"-nall"}},
        {kOptWin32Namespace, {L"-nwin32"}},
        {kOptDosNamespace, {L"-ndos"}},
        {kOptPosixNamespace, {L"-nposix"}},
        {kOptNoDirs, {L"-fDIRS"}},
        {kOptNoFiles, {L"-fFILES"}},
        {kOptSizeRange, {L"-fsize", L"1"}},
        {kOptAllocatedRange, {L"-falloc", L"1"}},
        {kOptUnused, {L"-funused"}},
        {kOptOnlyUnused, {L"-fUSED"}},
        {kOptSystem, {L"-fsystem"}},
        {kOptOutFile, {L"-outfile", L"o"}},
        {kOptOutCon, {L"-outCON"}},
    };
    for (const auto& c : cases) {
        cmdarg::command_line options = BuildToolCommandLine();
        std::vector<const wchar_t*> args = c.args;
        args.push_back(L"pattern");
        ASSERT_EQ(Process(options, args).result, 0) << Shown(c.args);
        for (std::int32_t id = kOptRange; id <= kOptOutCon; ++id)
            EXPECT_EQ(options.state(id).present, id == c.id) << Shown(c.args) << ", option id " << id;
    }
}

TEST(ToolOptions, ReportsOfRefusedCommandLines) {
    const std::wstring redundant = L" is redundant. No more than 1 parameters are allowed except options.";
    const struct {
        std::vector<const wchar_t*> args;
        std::int32_t result;
        std::wstring errors;
    } cases[] = {
        {{L"-n", L"x"},
         11,
         L"Error in option 'n', parameter 1'. Option is ambiguous: can be either nall or ndos. " + kHint},
        {{L"-s", L"x"},
         11,
         L"Error in option 's', parameter 1'. Option is ambiguous: can be either sP or salloc. " + kHint},
        {{L"x", L"-f"},
         11,
         L"Error in option 'f', parameter 2'. Option is ambiguous: can be either fDIRS or fFILES. " + kHint},
        {{L"-jp", L"x"}, 12, L"Error in option 'jp', parameter 1'. Parameter is invalid. " + kHint},
        {{L"-rangex", L"x"}, 12, L"Error in option 'rangex', parameter 1'. Parameter is invalid. " + kHint},
        {{L"-rx", L"x"}, 12, L"Error in option 'rx', parameter 1'. Parameter is invalid. " + kHint},
        {{L"-rb", L"x"},
         12,
         L"Error in option 'rb', parameter 1'. Parameter is invalid. \nOption syntax is: -regex" + kHint},
        {{L"-x", L"-?"}, 12, L"Error in option 'x', parameter 1'. Parameter is invalid. " + kHint},
        {{L"-range", L"10", L"-5", L"x"},
         12,
         L"Error in option '5', parameter 3'. Parameter is invalid. " + kHint},
        {{L"a", L"b"}, 13, L"Error in parameter 2. Parameter 'b'" + redundant + kHint},
        {{L"-", L"x"}, 13, L"Error in parameter 2. Parameter 'x'" + redundant + kHint},
        {{L"-range", L"100", L"a", L"b"}, 13, L"Error in parameter 4. Parameter 'b'" + redundant + kHint},
        {{L"-case"},
         14,
         L"Required parameter is missing. At least 1 parameters are allowed except options." + kHint},
        {{L"-range", L"x", L"y"},
         16,
         L"Error in parameter 2. \nOption syntax is: -range <begin> [<end>]" + kHint},
        {{L"-range", L"x"}, 16, L"Error in parameter 2. \nOption syntax is: -range <begin> [<end>]" + kHint},
        {{L"x", L"-fsize", L"99999999999"},
         16,
         L"Error in parameter 3. \nOption syntax is: -fsize <min> [<max>]" + kHint},
        {{L"-nall", L"-ndos", L"x"},
         17,
         L"Two or more mutual exclusive parameters specified. \nOption syntax is: -ndos\n"
         L"Options affected: nall nwin32 ndos nposix " +
             kHint},
        {{L"-ndos", L"x", L"-nall"},
         17,
         L"Two or more mutual exclusive parameters specified. \nOption syntax is: -ndos\n"
         L"Options affected: nall nwin32 ndos nposix " +
             kHint},
        {{L"-range"},
         18,
         L"Error in parameter 1. Not enough subparameters specified: 0, expected: 1 \n"
         L"Option syntax is: -range <begin> [<end>]" +
             kHint},
        {{L"x", L"-d", L"-case"},
         18,
         L"Error in parameter 2. Not enough subparameters specified: 0, expected: 1 \nOption syntax is: -d "
         L"<drive>" +
             kHint},
        {{L"x", L"-outfile"},
         18,
         L"Error in parameter 2. Not enough subparameters specified: 0, expected: 1 \n"
         L"Option syntax is: -outfile <filename>" +
             kHint},
    };
    for (const auto& c : cases) {
        cmdarg::command_line options = BuildToolCommandLine();
        const Processed p = Process(options, c.args);
        EXPECT_EQ(p.result, c.result) << Shown(c.args);
        EXPECT_EQ(p.errors, c.errors) << Shown(c.args);
        EXPECT_EQ(p.out, L"") << Shown(c.args);
    }
}

TEST(ToolOptions, HelpRequests) {
    const std::vector<const wchar_t*> requests[] = {{L"-?"}, {L"-h"}, {L"-?", L"-x"}, {L"x", L"-h"}};
    for (const auto& args : requests) {
        cmdarg::command_line options = BuildToolCommandLine();
        const Processed p = Process(options, args);
        EXPECT_EQ(p.result, 1) << Shown(args);
        EXPECT_EQ(p.errors, L"") << Shown(args);
        EXPECT_EQ(p.out, HelpShown(options)) << Shown(args);
    }
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

TEST(ToolOptions, AboutNeedsNoPattern) {
    for (const std::vector<const wchar_t*>& args : {std::vector<const wchar_t*>{L"-about"}, {L"x", L"-ab"}}) {
        cmdarg::command_line options = BuildToolCommandLine();
        ASSERT_EQ(Process(options, args).result, 0) << Shown(args);
        EXPECT_TRUE(options.state(kOptAbout).present);
        EXPECT_EQ(options.min_free, 0u);
    }
}

TEST(ToolOptions, ValuesKeepTheirText) {
    cmdarg::command_line options = BuildToolCommandLine();
    ASSERT_EQ(Process(options, {L"-d", L"c:", L"-outfile", L"hits.txt", L"*"}).result, 0);
    EXPECT_EQ(options.state(kOptDrive).value(0), L"c:");
    EXPECT_EQ(options.state(kOptOutFile).value(0), L"hits.txt");
    EXPECT_FALSE(options.state(kOptAbout).has_value(0));
}

TEST(ToolOptions, SlashStartsAnOptionOnlyWhereItIsASwitchCharacter) {
    cmdarg::command_line options = BuildToolCommandLine();
    if (options.switch_chars.find(L'/') != std::wstring::npos)
        GTEST_SKIP() << "\"/\" starts options on this platform";
    ASSERT_EQ(Process(options, {L"-d", L"/dev/sdb1", L"-outfile", L"/home/ana/hits.txt", L"/x"}).result, 0);
    EXPECT_EQ(options.state(kOptDrive).value(0), L"/dev/sdb1");
    EXPECT_EQ(options.state(kOptOutFile).value(0), L"/home/ana/hits.txt");
    EXPECT_EQ(options.free_values, std::vector<std::wstring>{L"/x"});
}

TEST(ToolOptions, WithBothSwitchCharacters) {
    cmdarg::command_line help = BuildToolCommandLine();
    help.switch_chars = L"-/";
    const Processed p = Process(help, {L"/?"});
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.out, HelpShown(help));

    cmdarg::command_line options = BuildToolCommandLine();
    options.switch_chars = L"-/";
    ASSERT_EQ(Process(options, {L"/nall", L"-d", L"d:", L"x"}).result, 0);
    EXPECT_TRUE(options.state(kOptAllNamespaces).present);
}

} // namespace
