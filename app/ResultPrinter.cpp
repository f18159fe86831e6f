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

#include <iostream>

namespace {

bool Present(const cmdarg::command_line& options, std::int32_t id) {
    return options.state(id).present;
}

// Console lines are written once this many bytes have gathered: one system call per line costs
// more than finding and printing a hit.
constexpr std::size_t kConsoleWriteSize = 64 * 1024;

// The one path of every hit under -sP.
const std::vector<std::wstring> kNoPath{L""};

} // namespace

ResultPrinter::ResultPrinter(std::wstring drive, const Krod::CJunctionTable& junctions, Krod::CMft& mft,
                             platform::OutputFile* outputFile, const cmdarg::command_line& options,
                             ScanProgress* progress)
    : drive_(std::move(drive)), junctions_(junctions), mft_(mft), outputFile_(outputFile),
      progress_(progress), console_(!Present(options, kOptOutCon)),
      noPath_(Present(options, kOptNoPath)), columns_{Present(options, kOptShowId),
                                                      Present(options, kOptShowSize),
                                                      Present(options, kOptShowAllocated),
                                                      Present(options, kOptShowNamespace),
                                                      Present(options, kOptShowDrive)} {
    // Reports read as if written straight to std::wcerr: numbers and narrow texts are
    // converted by its locale.
    errors_.imbue(std::wcerr.getloc());
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
    Flush();
    std::wcerr << note << std::flush;
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
        const Krod::AttributeList data = hit.record.FindAttributes(Krod::kAttributeData, L"");
        if (!data.empty()) {
            fields.size = data.front().GetDataSize();
            fields.allocatedSize = data.front().GetAllocatedSize();
        }
    }
    return fields;
}

// Names in one directory share its paths, so they are resolved once per directory and namespace,
// as long as the MFT reader keeps the directory records it reads: without that (-nocache) every
// climb reads the volume again, and so does every resolution. Unresolvable paths are not kept:
// every orphan is reported.
const std::vector<std::wstring>& ResultPrinter::PathsOf(const Krod::CFileNameAttribute& name,
                                                        std::uint32_t recordNumber) {
    if (noPath_)
        return kNoPath;
    const bool keep = mft_.EnableDirectoryCache;
    const Krod::CFileNameInPlace value = name.InPlace();
    const DirectoryKey key{value.GetParentReference().GetRaw(), value.GetNamespace()};
    if (keep) {
        const auto known = knownPaths_.find(key);
        if (known != knownPaths_.end())
            return known->second;
    }
    std::vector<std::wstring> paths = ResolveResultPaths(name, recordNumber, mft_, junctions_, errors_);
    if (errors_.tellp() > 0) {
        const std::wstring note = errors_.str();
        errors_.str({});
        WriteNote(note);
    } else if (keep) {
        return knownPaths_.emplace(key, std::move(paths)).first->second;
    }
    lastPaths_ = std::move(paths);
    return lastPaths_;
}

void ResultPrinter::Print(const FoundFile& hit) {
    const Krod::CFileNameAttribute name(*hit.matchedName);
    const std::vector<std::wstring>& paths = PathsOf(name, hit.recordNumber);

    if ((hit.record.GetFlags() & Krod::kRecordIsDirectory) != 0)
        ++counters_.FoundDirectoryCount;
    else
        ++counters_.FoundFileCount;
    counters_.AlternatePathCount += static_cast<std::uint32_t>(paths.size() - 1);

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
