#include "app/LongOptions.h"

#include <cwchar>

namespace {

struct LongOption {
    const wchar_t* name;
    RowFormat rows; // Lines for --help
};

constexpr LongOption kLongOptions[] = {
    {L"--csv", RowFormat::Csv},
    {L"--jsonl", RowFormat::JsonLines},
    {L"--bodyfile", RowFormat::Bodyfile},
    {L"--help", RowFormat::Lines},
};

bool IsLongOption(const wchar_t* argument) {
    return argument[0] == L'-' && argument[1] == L'-';
}

} // namespace

const wchar_t* const LongOptionsHelp =
    L"Long options (written in full):\n"
    L"  --csv               Rows for other programs: CSV with a header row, in UTF-8\n"
    L"  --jsonl             Rows for other programs: one JSON object per line, in UTF-8\n"
    L"  --bodyfile          Rows for other programs: a bodyfile for mactime, in UTF-8\n"
    L"  --help              Help page with the long options\n"
    L"A row format writes one row for each line a search prints, with every field whatever the\n"
    L"column options, also to the output file; the summary goes to standard error.";

LongOptions TakeLongOptions(int argc, const wchar_t* const* argv) {
    LongOptions taken;
    int formats = 0;
    for (int i = 0; i < argc; ++i) {
        if (i == 0 || !IsLongOption(argv[i])) {
            taken.rest.push_back(argv[i]);
            taken.restPositions.push_back(i);
            continue;
        }
        const LongOption* known = nullptr;
        for (const LongOption& option : kLongOptions)
            if (std::wcscmp(argv[i], option.name) == 0)
                known = &option;
        if (known == nullptr) {
            taken.error = std::wstring(L"Unknown option '") + argv[i] +
                          L"'. The long options are --csv, --jsonl, --bodyfile and --help.";
            return taken;
        }
        if (known->rows == RowFormat::Lines) {
            taken.help = true;
        } else {
            taken.rows = known->rows;
            ++formats;
        }
    }
    if (formats > 1)
        taken.error = L"Only one of --csv, --jsonl and --bodyfile can be given.";
    return taken;
}
