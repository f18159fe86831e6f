// The program's entry: start-up, the pages shown before any search, and the exit codes.

#include "app/AboutPage.h"
#include "app/LongOptions.h"
#include "app/SearchDriver.h"
#include "app/ToolOptions.h"
#include "cmdline/ProcessCommandLine.h"
#include "platform/Arguments.h"
#include "platform/Console.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

// Exit codes, a contract with the calling shell.
enum ExitCode : int {
    kExitSearched = 0,    // the search ran, or an error it met was reported
    kExitCommandLine = 1, // help was shown, or the command line was refused
    kExitAbout = 2,       // the about page was shown
    kExitNoArguments = 3, // banner, option list and about page were shown
};

// process_command_line reports a command-line error as this base plus the error's offset, and help
// as kHelpResult; either way the program ends with kExitCommandLine.
constexpr int kErrorBase = 10;
constexpr int kHelpResult = 1;

// What wmain is on Windows: argv holds UTF-16 code units, argv[0] is the program.
int VeskMain(int argc, const wchar_t* const* argv) {
    platform::InstallConsoleLocale();
    cmdarg::command_line options = BuildToolCommandLine();
    if (argc <= 1) {
        std::wcout << ToolBanner << std::endl;
        options.print_help(std::wcout);
        std::wcout << std::endl;
        PrintAboutPage(std::wcout);
        return kExitNoArguments;
    }
    // The long options go first, so that the tool's own parser sees the command line without them.
    const LongOptions longOptions = TakeLongOptions(argc, argv);
    if (!longOptions.error.empty()) {
        std::wcerr << longOptions.error << std::endl;
        return kExitCommandLine;
    }
    if (longOptions.help) {
        // The help page -? shows, then the long options.
        const wchar_t* const help[] = {argv[0], L"-?"};
        cmdarg::process_command_line(options, 2, help, std::wcout, std::wcerr, ToolBanner, LongOptionsHelp,
                                     kErrorBase, kHelpResult);
        return kExitCommandLine;
    }
    options.argument_positions = longOptions.restPositions;
    if (cmdarg::process_command_line(options, static_cast<int>(longOptions.rest.size()),
                                     longOptions.rest.data(), std::wcout, std::wcerr, ToolBanner, nullptr,
                                     kErrorBase, kHelpResult) > 0)
        return kExitCommandLine;
    if (options.state(kOptAbout).present) {
        PrintAboutPage(std::wcout);
        return kExitAbout;
    }
    RunSearch(options, longOptions.rows);
    return kExitSearched;
}

} // namespace

#ifdef _WIN32
// Windows hands the arguments over in UTF-16 already.
int wmain(int argc, wchar_t** argv) {
    return VeskMain(argc, argv);
}
#else
int main(int argc, char** argv) {
    const std::vector<std::wstring> arguments = platform::WideArguments(argc, argv);
    std::vector<const wchar_t*> wideArgv;
    for (const std::wstring& argument : arguments)
        wideArgv.push_back(argument.c_str());
    return VeskMain(static_cast<int>(wideArgv.size()), wideArgv.data());
}
#endif
