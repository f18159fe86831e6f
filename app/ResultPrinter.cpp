#include "app/ResultPrinter.h"

#include "app/ResultPath.h"
#include "app/ScanProgress.h"
#include "app/ToolOptions.h"
#include "cmdline/CommandLine.h"
#include "platform/Console.h"
#include "platform/OutputFile.h"
#include "volume/AttributeHeader.h"
#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/Mft.h"
#include "volume/RecordHeader.h"
#include "volume/StandardInformation.h"

#include <iostream>

namespace {

bool Present(const cmdarg::command_line& options, std::int32_t id) {
    return options.state(id).present;
}

// Console lines are written once this many bytes have gathered: one system call per line costs
// more than finding and printing a hit.
constexpr std::size_t kConsoleWriteSize = 64 * 1024;

} // namespace

ResultPrinter::ResultPrinter(std::wstring drive, const Krod::CJunctionTable& junctions, Krod::CMft& mft,
                             platform::OutputFile* outputFile, const cmdarg::command_line& options,
                             ScanProgress* progress, RowFormat rows)
    : drive_(std::move(drive)), junctions_(junctions), mft_(mft), outputFile_(outputFile),
      progress_(progress), console_(!Present(options, kOptOutCon)),
      noPath_(Present(options, kOptNoPath) && rows == RowFormat::Lines),
      columns_{Present(options, kOptShowId), Present(options, kOptShowSize),
               Present(options, kOptShowAllocated), Present(options, kOptShowNamespace),
               Present(options, kOptShowDrive)},
      rows_(rows),
      // A row names the volume as the user did.
      rowWriter_(rows, Present(options, kOptDrive) ? options.state(kOptDrive).value(0) : drive_) {
    // Reports read as if written straight to std::wcerr: numbers and narrow texts are
    // converted by its locale.
    errors_.imbue(std::wcerr.getloc());
    // The results of a search may run to hundreds of megabytes, which a pipe to another program
    // takes more cheaply in large pieces.
    if (console_)
        platform::WidenStandardOutputPipe();
    if (rows_ == RowFormat::Lines)
        return;
    // Rows are bytes for another program, the same on every system.
    platform::WriteStandardOutputAsIs();
    rowBytes_ = rowWriter_.Header();
    if (console_)
        consoleBytes_ += rowBytes_;
    if (outputFile_ != nullptr && !rowBytes_.empty()) {
        const platform::ErrorCode error = outputFile_->WriteBytes(rowBytes_);
        if (error != 0)
            throw Krod::ESystemError(error);
    }
}

void ThrowStandardOutputError(platform::ErrorCode error) {
    if (platform::IsClosedPipe(error))
        throw StandardOutputClosed();
    throw Krod::ESystemError(error);
}

ResultPrinter::~ResultPrinter() {
    // A printer that dies with a run ended by an error only writes what it still can: that error
    // is the one reported.
    try {
        WriteDeviceNotes();
        Flush();
    } catch (const std::exception&) {
    }
}

void ResultPrinter::Flush() {
    if (progress_ != nullptr)
        progress_->Erase();
    if (consoleBytes_.empty())
        return;
    const platform::ErrorCode error = platform::WriteStandardOutput(consoleBytes_);
    consoleBytes_.clear();
    if (error != 0) {
        console_ = false;
        ThrowStandardOutputError(error);
    }
}

void ResultPrinter::WriteNote(const std::wstring& note) {
    WriteDeviceNotes();
    Flush();
    std::wcerr << note << std::flush;
}

void ResultPrinter::WriteDeviceNotesFrom(std::function<std::vector<std::string>()> takeNotes) {
    takeDeviceNotes_ = std::move(takeNotes);
}

void ResultPrinter::WriteDeviceNotes() {
    if (!takeDeviceNotes_)
        return;
    const std::vector<std::string> notes = takeDeviceNotes_();
    if (notes.empty())
        return;
    Flush();
    for (const std::string& note : notes)
        std::cerr << note << std::endl;
}

// Fills the fields of the printer's own, so that the name's storage serves hit after hit.
const ResultFields& ResultPrinter::FieldsOf(const FoundFile& hit, const Krod::CFileNameAttribute& name) {
    ResultFields& fields = fields_;
    fields.recordNumber = hit.recordNumber;
    fields.size = 0;
    fields.allocatedSize = 0;
    const Krod::CFileNameInPlace value = name.InPlace();
    fields.nameSpace = value.GetNamespace();
    value.GetFileNameText(fields.name);
    fields.isDirectoryName = (value.GetFileAttributes() & Krod::kFileAttributeDirectory) != 0;
    if (columns_.size || columns_.allocatedSize) {
        const Krod::CAttribute data = hit.record.FindFirstAttribute(Krod::kAttributeData, L"");
        fields.size = data.GetDataSize();
        fields.allocatedSize = data.GetAllocatedSize();
    }
    return fields;
}

// Fills the row of the printer's own with what every row of the hit tells. Only a row format reads
// the times, so that lines cost what they did.
void ResultPrinter::FillRow(const FoundFile& hit, const Krod::CFileNameAttribute& name) {
    ResultRow& row = row_;
    const Krod::CFileNameInPlace value = name.InPlace();
    const std::uint16_t flags = hit.record.GetFlags();
    row.record = hit.recordNumber;
    row.sequence = hit.record.GetSequenceNumber();
    row.inUse = (flags & Krod::kRecordInUse) != 0;
    row.directory = (flags & Krod::kRecordIsDirectory) != 0;
    value.GetFileNameText(row.name);
    row.nameSpace = value.GetNamespace();
    const Krod::FileReference parent = value.GetParentReference();
    row.parentRecord = parent.GetRecordNumber();
    row.parentSequence = parent.GetSequenceNumber();
    row.nameTimes = value.GetTimes();
    row.nameAttribute = {Krod::kAttributeFileName, name.GetInstance()};

    const Krod::CAttribute data = hit.record.FindFirstAttribute(Krod::kAttributeData, L"");
    row.size = data.GetDataSize();
    row.allocatedSize = data.GetAllocatedSize();
    row.stream.reset();
    if (!data.IsEmpty()) {
        row.stream = ResultRow::AttributeId{Krod::kAttributeData, data.GetInstance()};
    } else if (rows_ == RowFormat::Bodyfile && row.directory) {
        const Krod::CAttribute index = hit.record.FindFirstAttribute(Krod::kAttributeIndexRoot, L"$I30");
        if (!index.IsEmpty())
            row.stream = ResultRow::AttributeId{Krod::kAttributeIndexRoot, index.GetInstance()};
    }

    const std::optional<Krod::StandardInformation> standard = Krod::ReadStandardInformation(hit.record);
    row.standardTimes.reset();
    row.fileAttributes.reset();
    if (standard) {
        row.standardTimes = standard->times;
        row.fileAttributes = standard->fileAttributes;
    } else if (lastNoted_ != hit.recordNumber) {
        // Each name of the record would say the same.
        lastNoted_ = hit.recordNumber;
        WriteNote(L"Unable to read the $STANDARD_INFORMATION of #" + std::to_wstring(hit.recordNumber) +
                  L". Its times and attributes are left empty.\n");
    }
}

// Writes the rows of the hit, one per path, as the lines would go: to standard output unless
// -outCON, and to the output file.
void ResultPrinter::WriteRows(const ResolvedPaths& paths) {
    // Rows only for standard output are gathered with its bytes straight away.
    const bool consoleOnly = console_ && outputFile_ == nullptr;
    std::string& out = consoleOnly ? consoleBytes_ : rowBytes_;
    rowBytes_.clear();
    rowWriter_.AppendRows(out, row_, paths.rowTexts);
    if (console_) {
        if (!consoleOnly)
            consoleBytes_ += rowBytes_;
        if (consoleBytes_.size() >= kConsoleWriteSize)
            Flush();
    }
    if (outputFile_ != nullptr) {
        const platform::ErrorCode error = outputFile_->WriteBytes(rowBytes_);
        if (error != 0)
            throw Krod::ESystemError(error);
    }
}

// Names in one directory share its paths, so they are resolved once per directory and namespace,
// as long as the MFT reader keeps the directory records it reads: without that (-nocache) every
// climb reads the volume again, and so does every resolution. Unresolvable paths are not kept:
// every orphan is reported. With a row format, each path is made into its field once as well.
const ResultPrinter::ResolvedPaths& ResultPrinter::PathsOf(const Krod::CFileNameAttribute& name,
                                                           std::uint32_t recordNumber) {
    // The one path of every hit under -sP.
    static const ResolvedPaths noPath{{L""}, {}};
    if (noPath_)
        return noPath;
    const bool keep = mft_.EnableDirectoryCache;
    const Krod::CFileNameInPlace value = name.InPlace();
    const DirectoryKey key{value.GetParentReference().GetRaw(), value.GetNamespace()};
    if (keep) {
        const auto known = knownPaths_.find(key);
        if (known != knownPaths_.end())
            return known->second;
    }
    ResolvedPaths resolved;
    resolved.paths = ResolveResultPaths(name, recordNumber, mft_, junctions_, errors_);
    if (rows_ != RowFormat::Lines) {
        resolved.rowTexts.resize(resolved.paths.size());
        for (std::size_t i = 0; i < resolved.paths.size(); ++i)
            EscapeField(resolved.rowTexts[i], rows_, resolved.paths[i]);
    }
    if (errors_.tellp() > 0) {
        const std::wstring note = errors_.str();
        errors_.str({});
        WriteNote(note);
    } else if (keep) {
        return knownPaths_.emplace(key, std::move(resolved)).first->second;
    }
    lastPaths_ = std::move(resolved);
    return lastPaths_;
}

void ResultPrinter::Print(const FoundFile& hit) {
    WriteDeviceNotes();
    const Krod::CFileNameAttribute name(*hit.matchedName);
    const ResolvedPaths& resolved = PathsOf(name, hit.recordNumber);
    const std::vector<std::wstring>& paths = resolved.paths;

    if ((hit.record.GetFlags() & Krod::kRecordIsDirectory) != 0)
        ++counters_.FoundDirectoryCount;
    else
        ++counters_.FoundFileCount;
    counters_.AlternatePathCount += static_cast<std::uint32_t>(paths.size() - 1);
    if (rows_ != RowFormat::Lines) {
        FillRow(hit, name);
        WriteRows(resolved);
        return;
    }

    const ResultFields& fields = FieldsOf(hit, name);
    std::wstring& text = lines_;
    text.clear();
    for (const std::wstring& path : paths)
        AppendResultLine(text, columns_, drive_, path, fields);

    if (console_) {
        platform::AppendOemString(text, consoleBytes_);
        if (consoleBytes_.size() >= kConsoleWriteSize)
            Flush();
    }
    if (outputFile_ != nullptr) {
        const platform::ErrorCode error = outputFile_->Write(text);
        if (error != 0)
            throw Krod::ESystemError(error);
    }
}
