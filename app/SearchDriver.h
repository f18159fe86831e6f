#pragma once
// The search of one accepted command line: from creating the output file to the summary.

#include "app/LongOptions.h"

#include <memory>

namespace cmdarg {
class command_line;
}
namespace platform {
class Device;
}

// Runs the search that options (parsed without error, -about absent) ask for: creates the output
// file (-outfile), opens the volume (-d, else the drive of the current directory), scans the MFT
// records of the range, prints each hit at once or after the scan (-deferred), and writes the
// start line and the summary to std::wcout unless -silent. An output file that is the volume itself
// is refused as an error before either is touched.
//
// Never throws what the search meets: a system error is reported on std::wcerr as
// "System error occured. " and the system's text, any other error on std::cerr as
// "An error occured. " and its what(); either ends the search there, after the hits printed so
// far (hits still waiting for the deferred listing are lost), and without the summary. The
// program's exit code is the same either way. Standard output that cannot be written (a full
// disk) is such a system error, met at the first failed write; a pipe whose reader has gone ends
// the search without a word. Without -d, a current directory on a file system that is not NTFS
// is reported with how to name a volume. Each record the scan cannot read in full gets a note on
// std::wcerr (DamageNotes), and the search goes on.
//
// With a row format (--csv, --jsonl, --bodyfile) every line becomes a row in UTF-8 (ResultPrinter)
// and the start line and the summary go to std::wcerr instead.
void RunSearch(const cmdarg::command_line& options, RowFormat rows = RowFormat::Lines);

// The same search on device, an opened volume, in place of the one -d names (fuzzers and tests
// drive the search through it); -d, else the current drive, still gives the drive column and the
// junction drive letter.
void RunSearch(const cmdarg::command_line& options, std::unique_ptr<platform::Device> device,
               RowFormat rows = RowFormat::Lines);
