#pragma once
// Result output: every hit becomes one line per path under which its name is reached, written to
// the console and to the output file, and the hits are counted for the summary.

#include "app/FoundFile.h"
#include "app/LongOptions.h"
#include "app/ResultLine.h"
#include "app/ResultRow.h"
#include "platform/ErrorCode.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace cmdarg {
class command_line;
}
namespace Krod {
class CFileNameAttribute;
class CJunctionTable;
class CMft;
} // namespace Krod
namespace platform {
class OutputFile;
}
class ScanProgress;

// The tallies the summary shows. They only grow.
struct FoundCounters {
    std::uint32_t FoundFileCount = 0;      // hits whose record is not a directory
    std::uint32_t FoundDirectoryCount = 0; // hits whose record header marks a directory
    std::uint32_t AlternatePathCount = 0;  // lines beyond the first of each hit
};

// Ends a run whose standard output is a pipe that its reader has closed: nobody reads the results
// any more, so the run ends without a word.
class StandardOutputClosed : public std::exception {
  public:
    const char* what() const noexcept override { return "Standard output is closed."; }
};

// Ends the run after a write to standard output failed with error: StandardOutputClosed for a
// closed pipe, else Krod::ESystemError, which is reported.
[[noreturn]] void ThrowStandardOutputError(platform::ErrorCode error);

class ResultPrinter {
  public:
    // drive is what the drive column shows. junctions, mft and outputFile (null for none) are
    // used, not owned, and must outlive the printer. Reads the column and output options (-si,
    // -ssize, -salloc, -snamespace, -sd, -sP, -outCON) of the parsed options now. progress (null
    // for none, else used likewise) is the scan's progress line, taken off the terminal before the
    // printer writes to it. With a row format, each line becomes a row in UTF-8 for standard
    // output and the output file alike, the column options and -sP change nothing, and what the
    // format begins with (RowsHeader) is written now; throws Krod::ESystemError when the output
    // file refuses it.
    ResultPrinter(std::wstring drive, const Krod::CJunctionTable& junctions, Krod::CMft& mft,
                  platform::OutputFile* outputFile, const cmdarg::command_line& options,
                  ScanProgress* progress = nullptr, RowFormat rows = RowFormat::Lines);

    // Writes what is still waiting for standard output, where it still can.
    ~ResultPrinter();
    ResultPrinter(const ResultPrinter&) = delete;
    ResultPrinter& operator=(const ResultPrinter&) = delete;

    // Writes the lines of hit, whose matched name must be set: one per path (only one, with an
    // empty path, under -sP), for standard output in the console's character set unless -outCON,
    // and in one write to the output file as UTF-16LE. Console lines are gathered and written in
    // large pieces, always before anything the printer writes to std::wcerr, at Flush and when the
    // printer dies. An orphan is reported on std::wcerr and printed under the orphan prefix. A
    // row of a record without a readable $STANDARD_INFORMATION leaves its times empty, with a
    // note on std::wcerr.
    // Counts the hit once as a file or a directory (by its record header), and each line after the
    // first as an alternate path. Throws Krod::ESystemError when the output file cannot be written,
    // what Flush throws, and what resolving the paths throws (ResolveResultPaths).
    void Print(const FoundFile& hit);

    // Takes the progress line off the terminal and writes the console lines gathered so far; call
    // it before anything else writes to the console. Everything the printer writes to std::wcerr
    // follows a Flush. Throws what ThrowStandardOutputError throws when standard output refuses
    // the lines; nothing is written to it afterwards.
    void Flush();

    // Writes note, whole lines about what the search met, to std::wcerr after the console lines
    // gathered so far, as the notes about orphans go. Throws as Flush.
    void WriteNote(const std::wstring& note);

    // From now on, before each line and note it writes, and when it dies, the printer writes the
    // notes about damage that the device's reads met since (takeNotes hands them out, as
    // platform::Device::TakeNotes does), so that they keep their place among its lines.
    void WriteDeviceNotesFrom(std::function<std::vector<std::string>()> takeNotes);

    // Writes the device's notes met so far, after the console lines gathered so far. Throws as Flush.
    void WriteDeviceNotes();

    const FoundCounters& GetCounters() const { return counters_; }

  private:
    // A directory as the paths of the names in it are resolved: the reference to it, with its
    // sequence number (a deleted name's directory may be gone although its record is in use), and
    // the namespace its ancestors are named in.
    struct DirectoryKey {
        std::uint64_t reference;
        std::uint8_t nameSpace;
        bool operator==(const DirectoryKey& other) const {
            return reference == other.reference && nameSpace == other.nameSpace;
        }
    };
    struct DirectoryKeyHash {
        std::size_t operator()(const DirectoryKey& key) const {
            return std::hash<std::uint64_t>()(key.reference) ^ key.nameSpace;
        }
    };

    // The directory paths of a hit's name, and with a row format the field each makes in it.
    struct ResolvedPaths {
        std::vector<std::wstring> paths;
        std::vector<FieldText> rowTexts;
    };

    const ResolvedPaths& PathsOf(const Krod::CFileNameAttribute& name, std::uint32_t recordNumber);
    const ResultFields& FieldsOf(const FoundFile& hit, const Krod::CFileNameAttribute& name);
    void FillRow(const FoundFile& hit, const Krod::CFileNameAttribute& name);
    void WriteRows(const ResolvedPaths& paths);

    std::wstring drive_;
    const Krod::CJunctionTable& junctions_;
    Krod::CMft& mft_;
    platform::OutputFile* outputFile_;
    ScanProgress* progress_;
    std::function<std::vector<std::string>()> takeDeviceNotes_; // none until WriteDeviceNotesFrom
    bool console_;
    bool noPath_;
    ResultColumns columns_;
    const RowFormat rows_;
    FoundCounters counters_;
    std::string consoleBytes_;   // lines for standard output not written yet
    std::wostringstream errors_; // what resolving one hit's paths reports, until it goes to std::wcerr
    std::unordered_map<DirectoryKey, ResolvedPaths, DirectoryKeyHash> knownPaths_;
    ResolvedPaths lastPaths_; // the paths of the last hit, when they are not kept
    ResultFields fields_;     // what the lines of the hit being printed show
    std::wstring lines_;      // the lines of the hit being printed
    ResultRow row_;           // what the rows of the hit being printed tell
    RowWriter rowWriter_;
    std::string rowBytes_;                 // the rows of the hit being printed, for the output file
    std::uint32_t lastNoted_ = 0xFFFFFFFF; // the record of the last note about its times
};
