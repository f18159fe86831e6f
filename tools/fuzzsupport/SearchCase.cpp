#include "tools/fuzzsupport/fuzz_support.h"

#include "app/SearchDriver.h"
#include "app/ToolOptions.h"
#include "cmdline/ProcessCommandLine.h"

#include <iostream>
#include <ostream>
#include <vector>

namespace vesk_fuzz {
namespace {

// The options one bit of the flags turns on, lowest bit first.
const std::vector<std::vector<const wchar_t*>> kFlagOptions = {
    {L"-nall"},    {L"-fsystem"}, {L"-funused"}, {L"-deferred"}, {L"-ssize", L"-salloc"},
    {L"-nocache"}, {L"-sP"},      {L"-JP"},
};

// The drive column shows C:, the drive the builder volumes' junctions name; the path is never
// opened, the search reads the device it is given.
constexpr const wchar_t* kDriveOption = L"C:.";

// A stream with no buffer: what is written to it goes nowhere.
void Silence(std::ostream& stream) {
    stream.rdbuf(nullptr);
}
void Silence(std::wostream& stream) {
    stream.rdbuf(nullptr);
}

} // namespace

void RunSearchCase(std::uint8_t flags, std::unique_ptr<platform::Device> device, RowFormat rows) {
    static const bool silenced = [] {
        Silence(std::cout);
        Silence(std::cerr);
        Silence(std::wcout);
        Silence(std::wcerr);
        return true;
    }();
    (void)silenced;

    std::vector<const wchar_t*> argv = {L"vesk", L"*", L"-d", kDriveOption, L"-outCON"};
    for (std::size_t bit = 0; bit < kFlagOptions.size(); ++bit)
        if ((flags >> bit) & 1)
            argv.insert(argv.end(), kFlagOptions[bit].begin(), kFlagOptions[bit].end());
    cmdarg::command_line options = BuildToolCommandLine();
    std::wostream discard(nullptr);
    // Error results start at this base; 1 is help. Neither happens with these arguments.
    constexpr int kErrorBase = 10;
    constexpr int kHelpResult = 1;
    if (cmdarg::process_command_line(options, static_cast<int>(argv.size()), argv.data(), discard, discard,
                                     ToolBanner, nullptr, kErrorBase, kHelpResult) > 0)
        __builtin_trap(); // the fixed options above are always accepted
    RunSearch(options, std::move(device), rows);
}

} // namespace vesk_fuzz
