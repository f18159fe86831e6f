// The tool's command lines as rows of golden/command_lines.txt: "$ vesk ARGS" runs the start-up
// parse as the program does (banner as header, error base 10, help result 1), "$ vesk/ ARGS" the
// same with both switch characters, as on Windows. A refused line shows its result and report; an
// accepted one the options given and the values the search takes from them.

#include "app/ToolOptions.h"
#include "cmdline/ProcessCommandLine.h"
#include "tests/common/transcript.h"

#include <sstream>

namespace {

std::wstring Process(const std::vector<std::wstring>& words) {
    cmdarg::command_line options = BuildToolCommandLine();
    if (words[0] == L"vesk/")
        options.switch_chars = L"-/";
    std::vector<const wchar_t*> argv;
    for (const std::wstring& word : words)
        argv.push_back(word.c_str());
    std::wostringstream out, errors, shown;
    const std::int32_t result = cmdarg::process_command_line(
        options, static_cast<int>(argv.size()), argv.data(), out, errors, ToolBanner, nullptr, 10, 1);
    shown << L"[result " << result << L"]\n" << errors.str();
    if (!out.str().empty())
        shown << L"[output]\n" << out.str();
    if (result != 0)
        return shown.str();
    for (std::int32_t id = 0; id <= kOptOutCon; ++id) {
        if (options.state(id).present) {
            shown << L"option " << id << L":";
            for (const std::wstring& value : options.state(id).values)
                shown << L" [" << value << L"]";
            shown << L"\n";
        }
    }
    shown << L"pattern";
    for (const std::wstring& value : options.free_values)
        shown << L" [" << value << L"]";
    return shown.str() + L"\n";
}

TEST(ToolOptions, CommandLinesAsTheTranscriptShows) {
    vesk_test::ExpectTranscript(VESK_APP_DATA_DIR "/golden/command_lines.txt", Process);
}

} // namespace
