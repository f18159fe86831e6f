#pragma once
// The options beyond the tool's own command line: GNU-style long options beginning with "--",
// which the tool's parser would refuse. They are taken out of the arguments before it sees the
// rest, so a command line without them is read exactly as before.

#include <string>
#include <vector>

// How the hits are written: lines for people, or rows for other programs.
enum class RowFormat {
    Lines,     // the result lines, columns as the column options choose
    Csv,       // --csv
    JsonLines, // --jsonl
    Bodyfile,  // --bodyfile
};

struct LongOptions {
    RowFormat rows = RowFormat::Lines;
    bool help = false; // --help
    // The other arguments in their order, argv[0] first; they point into the argv given.
    std::vector<const wchar_t*> rest;
    // Where each of them stood in argv, so that errors in them name the argument as typed.
    std::vector<int> restPositions;
    // Empty when the long options were accepted; else the one line that says why not.
    std::wstring error;
};

// Takes the arguments of argv[1, argc) that begin with "--" out of the command line: "--csv",
// "--jsonl", "--bodyfile" (at most one of them) and "--help", written in full. Any other, "--"
// alone included, is refused.
LongOptions TakeLongOptions(int argc, const wchar_t* const* argv);

// What --help prints after the help page: the long options and what they do.
extern const wchar_t* const LongOptionsHelp;
