#include "app/SearchDriver.h"

#include "app/DamageNotes.h"
#include "app/DeferredHits.h"
#include "app/FoundFile.h"
#include "app/MatchingLocale.h"
#include "app/NameMatcher.h"
#include "app/ResultFilters.h"
#include "app/ResultPrinter.h"
#include "app/ScanProgress.h"
#include "app/ToolOptions.h"
#include "cmdline/CommandLine.h"
#include "image/ImageStack.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Device.h"
#include "platform/Drive.h"
#include "platform/ErrorCode.h"
#include "platform/OutputFile.h"
#include "platform/SystemError.h"
#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/FileNamesInPlace.h"
#include "volume/JunctionTable.h"
#include "volume/LogicalDisk.h"
#include "volume/Mft.h"
#include "volume/MftScan.h"
#include "volume/RecordDamage.h"
#include "volume/RecordHeader.h"
#include "volume/UpcaseTable.h"

#include <boost/intrusive_ptr.hpp>

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// What the image layer's texts call the value that names the volume.
constexpr char kDriveValueName[] = "-d value";
// With -fsystem the scan starts no later than here, the first record after those NTFS reserves
// for its own files, where the files inside $Extend begin.
constexpr std::uint32_t kSystemScanStart = 24;

bool Present(const cmdarg::command_line& options, std::int32_t id) {
    return options.state(id).present;
}

// The -d value as given (not validated), else the drive of the current directory. Throws
// std::runtime_error, saying how to name a volume, when the current directory lies on a file
// system that is certainly not NTFS: its device would only be refused for a reason of its own.
platform::Drive ChooseDrive(const cmdarg::command_line& options) {
    if (Present(options, kOptDrive))
        return image::ParseDrive(options.state(kOptDrive).value(0));
    const platform::CurrentDriveResult current = platform::CurrentDrive();
    if (current.error != 0)
        throw Krod::ESystemError(current.error);
    if (!current.otherFileSystem.empty())
        throw std::runtime_error("The current directory lies on " + current.otherFileSystem +
                                 ", not on NTFS. Name the volume to search with -d: a device such as "
                                 "-d /dev/sdb1, or an image such as -d C:/cases/disk.img.");
    return image::ParseDrive(current.value);
}

// Writes the summary line text to std::wcout, or to std::wcerr when the results are rows for
// another program, which the summary must not mix with. Ends the run as a failed write of results
// does when standard output, written so far, refuses it (a stream silenced before, as a test may
// do, is left alone).
void WriteSummaryLine(RowFormat rows, const std::wstring& text) {
    if (rows != RowFormat::Lines) {
        std::wcerr << text << std::endl;
        return;
    }
    const bool writable = static_cast<bool>(std::wcout);
    std::wcout << text << std::endl;
    if (writable && !std::wcout)
        ThrowStandardOutputError(platform::LastErrorCode());
}

// Whether name is the volume the search is to read, or a file of its image (a segment), which
// creating the output file would truncate (an image) or overwrite with results (a device). When the volume
// cannot be told yet, the search reports why once it gets there; a name the system cannot compare, one with
// characters outside the BMP for instance, is taken for another file.
bool NamesTheVolume(const std::wstring& name, const cmdarg::command_line& options) {
    try {
        return image::IsVolumeFile(name, platform::DevicePathForDrive(ChooseDrive(options).devicePath));
    } catch (const std::exception&) {
        return false;
    }
}

// The file that receives the result lines, created (or truncated) before the volume is touched so
// that it exists even when the search fails; null without -outfile. Throws std::runtime_error,
// touching nothing, when it names the volume itself.
std::unique_ptr<platform::OutputFile> CreateOutputFile(const cmdarg::command_line& options) {
    if (!Present(options, kOptOutFile))
        return nullptr;
    const std::wstring& name = options.state(kOptOutFile).value(0);
    if (NamesTheVolume(name, options))
        throw std::runtime_error("The output file is the volume to be searched.");
    platform::CreateOutputFileResult created = platform::CreateOutputFile(name);
    if (created.error != 0)
        throw Krod::ESystemError(created.error);
    return std::move(created.file);
}

// Writes notes about damage that the device's reads met, before a printer takes them over.
void WriteDeviceNotes(const std::vector<std::string>& notes) {
    for (const std::string& note : notes)
        std::cerr << note << std::endl;
}

// Writes the device's notes when the scope it guards ends by an exception, unless released first.
class DeviceNotesOnFailure {
  public:
    explicit DeviceNotesOnFailure(Krod::CLogicalDisk& disk)
        : disk_(&disk), exceptions_(std::uncaught_exceptions()) {}
    ~DeviceNotesOnFailure() {
        if (disk_ == nullptr || std::uncaught_exceptions() == exceptions_)
            return;
        try {
            WriteDeviceNotes(disk_->TakeDeviceNotes());
        } catch (...) {
            // Nothing more can be said while an error is on its way out.
        }
    }
    DeviceNotesOnFailure(const DeviceNotesOnFailure&) = delete;
    DeviceNotesOnFailure& operator=(const DeviceNotesOnFailure&) = delete;
    void Release() { disk_ = nullptr; }

  private:
    Krod::CLogicalDisk* disk_;
    const int exceptions_;
};

// The volume of drive, opened; the notes of the open's reads are written, also when it fails. A
// user without the right to open a drive's volume may have named a substituted drive (subst S:
// C:\cases), whose target in the DOS device table ("\??\C:\cases") names the drive underneath:
// that one is opened instead, and becomes the run's drive.
boost::intrusive_ptr<Krod::CLogicalDisk> OpenDisk(platform::Drive& drive) {
    // The disk is born with one reference, which the pointer adopts.
    std::vector<std::string> notes;
    try {
        boost::intrusive_ptr<Krod::CLogicalDisk> disk(
            new Krod::CLogicalDisk(drive.devicePath.c_str(), kDriveValueName, notes), false);
        WriteDeviceNotes(notes);
        return disk;
    } catch (const Krod::ESystemError& error) {
        WriteDeviceNotes(notes);
        if (error.GetErrorCode() != platform::AccessDenied)
            throw;
        const std::wstring target = platform::DosDeviceTarget(drive.devicePath);
        // "\??\", the drive letter and its colon, then the folder.
        if (target.size() < 6 || target.compare(0, 3, L"\\??") != 0)
            throw;
        drive = image::ParseDrive(target.substr(4, 2));
    } catch (const std::exception&) {
        WriteDeviceNotes(notes);
        throw;
    }
    boost::intrusive_ptr<Krod::CLogicalDisk> disk(
        new Krod::CLogicalDisk(drive.devicePath.c_str(), kDriveValueName, notes), false);
    WriteDeviceNotes(notes);
    return disk;
}

// The MFT reader of disk, which it keeps alive from now on. The notes of the device's reads so far are
// written, also when the volume is refused.
std::unique_ptr<Krod::CMft> OpenMft(Krod::CLogicalDisk& disk) {
    std::unique_ptr<Krod::CMft> mft;
    try {
        mft = std::make_unique<Krod::CMft>(&disk);
    } catch (const std::exception&) {
        WriteDeviceNotes(disk.TakeDeviceNotes());
        throw;
    }
    WriteDeviceNotes(disk.TakeDeviceNotes());
    // Said once the volume is known to be NTFS, before what the cut makes unreadable is met: whatever
    // lies past the end reads as zeros.
    if (const std::optional<std::uint64_t> end = disk.GetCutShortAt())
        std::wcerr << L"The image ends at byte " << *end
                   << L" of the volume; the volume says it ends at byte " << disk.GetStatedBytes() << L"."
                   << std::endl;
    return mft;
}

// The record numbers of the scan, begin inclusive and end exclusive, compared without sign.
struct ScanRange {
    std::uint32_t begin;
    std::uint32_t end;
};

// -range as given (end: the whole MFT when negative, the default), begin lowered under -fsystem.
ScanRange ChooseRange(const cmdarg::command_line& options, const Krod::CMft& mft) {
    const cmdarg::parameter_state& range = options.state(kOptRange);
    ScanRange scan{static_cast<std::uint32_t>(range.int_value(0)),
                   static_cast<std::uint32_t>(range.int_value(1))};
    if (Present(options, kOptSystem) && scan.begin > kSystemScanStart)
        scan.begin = kSystemScanStart;
    if (range.int_value(1) < 0)
        scan.end = static_cast<std::uint32_t>(mft.GetFileRecordCount());
    return scan;
}

// The FILE_NAME namespaces the scan looks at: the first of -nall, -nwin32, -ndos, -nposix given,
// else Win32 (every name but pure DOS names).
int NamespaceSelector(const cmdarg::command_line& options) {
    if (Present(options, kOptAllNamespaces))
        return Krod::AnyNamespace;
    if (Present(options, kOptDosNamespace))
        return Krod::kNamespaceDos;
    if (Present(options, kOptPosixNamespace))
        return Krod::kNamespacePosix;
    return Krod::kNamespaceWin32;
}

// The objects one record is tested with, and where its hits go.
class Scan {
  public:
    Scan(const cmdarg::command_line& options, int selector, Krod::CMft& mft, const NameMatcher& matcher,
         ResultPrinter& printer, ScanProgress& progress)
        : mft_(mft), matcher_(matcher), printer_(printer), progress_(progress), damage_(printer),
          filters_(options), selector_(selector), deferred_(Present(options, kOptDeferred)),
          recordSize_(mft.GetFileRecordSize()), records_(mft) {}

    // Tests records [begin, end) as the MFT scan gives them, a block at a time, telling the progress
    // line how far it got. The records that pass the in-use filter are those the scan reads ahead for.
    void Records(std::uint32_t begin, std::uint32_t end) {
        records_.Walk(begin, end, [this](std::uint16_t flags) { return filters_.PassesInUseState(flags); });
        while (records_.NextBlock()) {
            printer_.WriteDeviceNotes();
            for (auto n = static_cast<std::uint32_t>(records_.GetFirst()); n < records_.GetEnd(); ++n) {
                NotePastImageEnd(n, n);
                Record(n);
                progress_.Update(n + 1 - begin);
            }
        }
    }

    // The records past the end of the image (which the scan reads as zeros, or does not reach when
    // they lie beyond the records the image holds) are noted where the scan meets them, a range at a
    // time, those from begin to end (exclusive) of the records the volume says it has: end is the
    // end the user gave, the volume's end when given none.
    void PreparePastImageEndNotes(std::uint32_t begin, std::uint64_t end) {
        pastEnd_ = mft_.GetRecordsPastImageEnd();
        nextPastEnd_ = 0;
        pastEndLimit_ = end;
        pastEndFrom_ = begin;
    }

    // Notes those not noted yet after the scan.
    void NoteRestPastImageEnd() { NotePastImageEnd(pastEndFrom_, UINT64_MAX); }

    // Prints the hits kept by -deferred in the order they were found, letting each go once printed.
    void ListDeferred() { waiting_.List(records_, mft_, printer_); }

    // Records that passed the record filters.
    std::uint32_t Scanned() const { return scanned_; }

    // Ends the notes about damaged records with the count of those held back, if any.
    void CloseDamageNotes() { damage_.Close(); }

  private:
    // What the look at a record's own bytes found when they told its names: the names the
    // selector keeps, and which of them matched.
    struct NamesInPlace {
        Krod::FileNamesInPlace names;
        std::bitset<Krod::FileNamesInPlace::kMaxNames> matched;
    };

    // Tests record n of the block read: what is cheap first, where its bytes lie; the record object
    // is made only for a record that may give a hit. An extension record is no file of its own:
    // its names are found through its base record.
    void Record(std::uint32_t n) {
        const std::uint8_t* bytes = records_.Record(n);
        if (!bytes) {
            NoteIfTorn(n);
            return;
        }
        if (Krod::RecordBaseReference(bytes, recordSize_).GetRaw() != 0 ||
            !filters_.PassesInUseState(Krod::RecordFlags(bytes, recordSize_)))
            return;
        const std::optional<NamesInPlace> inPlace = ReadNamesInPlace(bytes);
        if (inPlace && inPlace->matched.none()) {
            // Certainly no hit: it counts as scanned just as Test would count it.
            if (!IsSpecialNtfsFile(FirstWin32(*inPlace), true))
                ++scanned_;
            return;
        }
        Test(FoundFile{mft_.ReadFileRecord(n), n, {}}, inPlace ? &*inPlace : nullptr);
    }

    // Notes, once each, the ranges of records past the end of the image that begin no later than
    // upTo, from n on (the scan began there) and within the records asked for.
    void NotePastImageEnd(std::uint64_t n, std::uint64_t upTo) {
        for (; nextPastEnd_ < pastEnd_.size() && pastEnd_[nextPastEnd_].first <= upTo; ++nextPastEnd_) {
            const Krod::CMft::RecordRange& range = pastEnd_[nextPastEnd_];
            const std::uint64_t first = std::max(range.first, n);
            if (range.last >= first && first < pastEndLimit_)
                damage_.ReportPastImageEnd(first, std::min(range.last, pastEndLimit_ - 1));
        }
    }

    // A base record that carries the FILE signature and fails its update sequence holds the bytes of
    // two writes (or damage), one that NTFS marked BAAD was found so by NTFS itself; neither is read.
    // The examiner learns which one, when its header, which lies before the end of its first
    // stretch, says it passes the in-use filter.
    void NoteIfTorn(std::uint32_t n) {
        const std::uint8_t* torn = records_.TornRecord(n);
        if (!torn || Krod::RecordBaseReference(torn, recordSize_).GetRaw() != 0 ||
            !filters_.PassesInUseState(Krod::RecordFlags(torn, recordSize_)))
            return;
        const bool inUse = (Krod::RecordFlags(torn, recordSize_) & Krod::kRecordInUse) != 0;
        if (Krod::HasBadSignature(torn, recordSize_))
            damage_.Report(n, {Krod::RecordDamage::Kind::MarkedBad, Krod::FileReference(n), 0}, inUse);
        else
            damage_.Report(n,
                           {Krod::RecordDamage::Kind::UpdateSequence, Krod::FileReference(n),
                            Krod::FindUpdateSequenceFault(torn, recordSize_)},
                           inUse);
    }

    // The names of the valid base record at bytes, which passes the in-use filter, and which of them
    // match, when its own bytes tell them; nothing otherwise. Directories are left to Test whole,
    // so that the MFT reader keeps them for the climbs.
    std::optional<NamesInPlace> ReadNamesInPlace(const std::uint8_t* bytes) {
        std::optional<NamesInPlace> found(std::in_place);
        if ((Krod::RecordFlags(bytes, recordSize_) & Krod::kRecordIsDirectory) != 0 ||
            !Krod::ReadFileNamesInPlace(bytes, recordSize_, selector_, found->names)) {
            found.reset();
            return found;
        }
        for (std::size_t i = 0; i < found->names.count; ++i) {
            const Krod::CFileNameInPlace& name = found->names.selected[i];
            found->matched[i] = matcher_.MatchesStored(name.GetFileNameUnits(), name.GetFileNameLength());
        }
        return found;
    }

    static const Krod::CFileNameInPlace* FirstWin32(const NamesInPlace& inPlace) {
        return inPlace.names.hasWin32 ? &inPlace.names.firstWin32 : nullptr;
    }

    // The names of a file with hard links lie in many directories: the directories the climbs from
    // the matching names will read are read first, a level at a time, each level asked for at once.
    // Names in one directory (a long name and its DOS name) climb as one name does.
    void ReadAncestorsOf(const Krod::AttributeList& matching) {
        std::vector<Krod::FileReference> parents;
        for (const Krod::CAttribute& name : matching)
            parents.push_back(Krod::CFileNameAttribute(name).GetParentReference());
        const std::uint64_t first = parents.front().GetRecordNumber();
        if (std::any_of(parents.begin(), parents.end(),
                        [first](Krod::FileReference parent) { return parent.GetRecordNumber() != first; }))
            records_.ReadAncestors(std::move(parents));
    }

    // Tests every selected name of the valid base record of hit, which passes the in-use filter;
    // prints each hit, or keeps it with -deferred. Where the names were read in place (inPlace), the
    // names that matched, in the same order, and the special-file test come from there.
    void Test(FoundFile hit, const NamesInPlace* inPlace) {
        // Selecting names throws what selecting them for the test of NTFS's own files would, and under
        // the default selection gives the very names that test looks at.
        Krod::AttributeList names =
            inPlace ? MatchedNamesInPlace(hit.record, *inPlace) : hit.record.GetFileNameAttributes(selector_);
        const bool special = inPlace ? IsSpecialNtfsFile(FirstWin32(*inPlace), true)
                             : selector_ == Krod::kNamespaceWin32 ? IsSpecialNtfsFile(names, true)
                                                                  : IsSpecialNtfsFile(hit.record, true);
        if (special)
            return;
        ++scanned_;
        if (const Krod::RecordDamage damage = hit.record.GetDamage())
            damage_.Report(hit.recordNumber, damage, (hit.record.GetFlags() & Krod::kRecordInUse) != 0);
        // Kind and sizes are the record's, the same for each of its names.
        if (names.empty() || !filters_.PassesShape(hit.record))
            return;
        if (!inPlace)
            names.erase(std::remove_if(names.begin(), names.end(),
                                       [this](const Krod::CAttribute& name) { return !Matches(name); }),
                        names.end());
        if (names.size() > 1)
            ReadAncestorsOf(names);
        for (const Krod::CAttribute& name : names) {
            if (!filters_.PassesAncestors(Krod::CFileNameAttribute(name), mft_))
                continue;
            hit.matchedName = name;
            if (deferred_)
                waiting_.Keep(hit);
            else
                printer_.Print(hit);
        }
    }

    // The attributes of the names that matched in place, of record, which holds the same bytes.
    static Krod::AttributeList MatchedNamesInPlace(const Krod::CFileRecord& record,
                                                   const NamesInPlace& inPlace) {
        Krod::AttributeList matched;
        for (std::size_t i = 0; i < inPlace.names.count; ++i)
            if (inPlace.matched[i])
                matched.emplace_back(record.GetData(), inPlace.names.attributes[i].offset,
                                     inPlace.names.attributes[i].length, record.GetDisk());
        return matched;
    }

    bool Matches(const Krod::CAttribute& name) {
        name.GetFileNameText(text_);
        return matcher_.Matches(text_);
    }

    Krod::CMft& mft_;
    const NameMatcher& matcher_;
    ResultPrinter& printer_;
    ScanProgress& progress_;
    DamageNotes damage_;
    const ResultFilters filters_;
    const int selector_;
    const bool deferred_;
    const std::uint32_t recordSize_;
    Krod::CMftScan records_;
    DeferredHits waiting_;
    std::uint32_t scanned_ = 0;
    // The records past the end of the image, the first range not noted yet, and the records asked for.
    std::vector<Krod::CMft::RecordRange> pastEnd_;
    std::size_t nextPastEnd_ = 0;
    std::uint64_t pastEndFrom_ = 0;
    std::uint64_t pastEndLimit_ = 0;
    std::wstring text_; // the name being tested
};

void Search(const cmdarg::command_line& options, std::unique_ptr<platform::Device> device, RowFormat rows) {
    const std::unique_ptr<platform::OutputFile> outputFile = CreateOutputFile(options);
    const std::wstring pattern = options.free_values.at(0);
    platform::Drive drive = ChooseDrive(options);
    // drive becomes the drive underneath when it is a substituted one. The disk's reference is
    // dropped on the way out, also when the volume is refused.
    const boost::intrusive_ptr<Krod::CLogicalDisk> disk =
        device ? boost::intrusive_ptr<Krod::CLogicalDisk>(new Krod::CLogicalDisk(std::move(device)), false)
               : OpenDisk(drive);
    const std::unique_ptr<Krod::CMft> mft = OpenMft(*disk);
    // Reading the tables below may meet damage the device notes (a damaged chunk of an image); should
    // one of them end the run before the printer takes the notes over, they go out before its error.
    DeviceNotesOnFailure notesOnFailure(*disk);
    // With -fsystem -sP nothing climbs to the root (rows carry their paths whatever -sP says), so
    // keeping the directories the scan reads would only cost memory.
    mft->EnableDirectoryCache =
        !Present(options, kOptNoCache) &&
        !(Present(options, kOptNoPath) && Present(options, kOptSystem) && rows == RowFormat::Lines);
    const ScanRange range = ChooseRange(options, *mft);

    const bool caseSensitive = Present(options, kOptCase);
    const int selector = NamespaceSelector(options);
    const Krod::CUpcaseTable upcase(*mft);
    const NameMatcher matcher(pattern,
                              Present(options, kOptRegex) ? PatternSyntax::Regex : PatternSyntax::Wildcard,
                              caseSensitive ? CaseSensitivity::Sensitive : CaseSensitivity::Insensitive,
                              MakeMatchingLocale(upcase));
    const Krod::CJunctionTable junctions(Present(options, kOptNoJunctions) ? nullptr : mft.get(), upcase,
                                         caseSensitive, selector, drive.letter);
    // Records past the MFT's runs read as zeros, which no filter lets through, so the scan need not
    // visit them: an end far beyond the MFT costs nothing.
    const std::uint32_t stop =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(range.end, mft->GetFileRecordCount()));
    const bool silent = Present(options, kOptSilent);
    // Made before the printer, which takes the line off the terminal before it writes there, and
    // dying after it, also when an error ends the search before its report is written.
    ScanProgress progress(!silent && platform::StandardErrorIsTerminal(),
                          stop > range.begin ? stop - range.begin : 0, std::cerr);
    ResultPrinter printer(drive.text, junctions, *mft, outputFile.get(), options, &progress, rows);
    printer.WriteDeviceNotesFrom([&disk] { return disk->TakeDeviceNotes(); });
    notesOnFailure.Release();
    Scan scan(options, selector, *mft, matcher, printer, progress);

    if (!silent)
        WriteSummaryLine(rows, L"\tTotal filerecords to scan: " +
                                   std::to_wstring(static_cast<std::uint32_t>(range.end - range.begin)));
    const std::uint64_t start = platform::ElapsedMilliseconds();
    scan.PreparePastImageEndNotes(range.begin,
                                  options.state(kOptRange).int_value(1) < 0 ? UINT64_MAX : range.end);
    scan.Records(range.begin, stop);
    scan.NoteRestPastImageEnd();
    progress.Erase();
    scan.CloseDamageNotes();
    scan.ListDeferred();
    printer.WriteDeviceNotes();
    printer.Flush();
    if (silent)
        return;
    const double seconds = static_cast<double>(platform::ElapsedMilliseconds() - start) * 0.001;
    const FoundCounters& found = printer.GetCounters();
    std::wostringstream scanned, counted;
    scanned << L"\tScanned " << scan.Scanned() << L" filerecord(s) in " << seconds << L" s.";
    counted << L"\tFound " << found.FoundFileCount << L" file(s), " << found.FoundDirectoryCount
            << L" directory(ies), " << found.AlternatePathCount << L" alternate path(s).";
    WriteSummaryLine(rows, scanned.str());
    WriteSummaryLine(rows, counted.str());
}

} // namespace

void RunSearch(const cmdarg::command_line& options, RowFormat rows) {
    RunSearch(options, nullptr, rows);
}

void RunSearch(const cmdarg::command_line& options, std::unique_ptr<platform::Device> device,
               RowFormat rows) {
    try {
        Search(options, std::move(device), rows);
    } catch (const StandardOutputClosed&) {
        // The reader of the results has gone; nobody is left to tell.
    } catch (const Krod::ESystemError& e) {
        std::wcerr << "System error occured. " << e.GetSystemMessage() << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "An error occured. " << e.what() << std::endl;
    }
}
