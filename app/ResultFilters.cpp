#include "app/ResultFilters.h"

#include "app/ToolOptions.h"
#include "cmdline/CommandLine.h"
#include "volume/AttributeHeader.h"
#include "volume/DirectoryPaths.h"
#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/FileRecord.h"
#include "volume/Mft.h"

#include <algorithm>
#include <iterator>

namespace {

// NTFS's own files in the root directory, compared with their exact case.
const wchar_t* const kSpecialFileNames[] = {
    L"$Quota", L"$ObjId",  L"$Reparse", L"$AttrDef", L"$MFT",    L"$MFTMirr", L"$LogFile", L"$Volume",
    L".",      L"$Bitmap", L"$Boot",    L"$BadClus", L"$Secure", L"$UpCase",  L"$Extend",
};
// Windows' own directory in the root, hidden below (but not itself) unless -fsystem.
const wchar_t kVolumeInformationName[] = L"System Volume Information";

bool Present(const cmdarg::command_line& options, std::int32_t id) {
    return options.state(id).present;
}

// Data size or allocated size of the unnamed $DATA stream, 0 without one.
std::uint64_t UnnamedDataSize(const Krod::CFileRecord& record, bool allocated) {
    const Krod::CAttribute data = record.FindFirstAttribute(Krod::kAttributeData, L"");
    return allocated ? data.GetAllocatedSize() : data.GetDataSize();
}

} // namespace

bool IsSpecialNtfsFile(const Krod::CFileRecord& record, bool listVolumeInformation) {
    return IsSpecialNtfsFile(record.GetFileNameAttributes(Krod::kNamespaceWin32), listVolumeInformation);
}

bool IsSpecialNtfsFile(const Krod::AttributeList& win32Names, bool listVolumeInformation) {
    if (win32Names.empty())
        return false;
    const Krod::CFileNameInPlace first = Krod::CFileNameAttribute(win32Names.front()).InPlace();
    return IsSpecialNtfsFile(&first, listVolumeInformation);
}

bool IsSpecialNtfsFile(const Krod::CFileNameInPlace* firstWin32Name, bool listVolumeInformation) {
    if (!firstWin32Name)
        return false;
    const Krod::CFileNameInPlace& first = *firstWin32Name;
    if ((first.GetFileAttributes() & Krod::kFileAttributeSystem) == 0)
        return false;
    if (first.GetParentReference().GetRecordNumber() != Krod::kRootDirectoryRecord)
        return false;
    std::wstring text;
    first.GetFileNameText(text);
    if (std::find(std::begin(kSpecialFileNames), std::end(kSpecialFileNames), text) !=
        std::end(kSpecialFileNames))
        return true;
    return !listVolumeInformation && text == kVolumeInformationName;
}

bool ResultFilters::Bounds::Contain(std::uint64_t value) const {
    return min <= value && value <= max;
}

ResultFilters::ResultFilters(const cmdarg::command_line& options)
    : notInUseOnly_(Present(options, kOptOnlyUnused)), anyInUseState_(Present(options, kOptUnused)),
      noDirectories_(Present(options, kOptNoDirs)),
      noFiles_(Present(options, kOptNoFiles)), size_{Present(options, kOptSizeRange),
                                                     options.state(kOptSizeRange).size_value(0),
                                                     options.state(kOptSizeRange).size_value(1)},
      allocatedSize_{Present(options, kOptAllocatedRange), options.state(kOptAllocatedRange).size_value(0),
                     options.state(kOptAllocatedRange).size_value(1)},
      system_(Present(options, kOptSystem)) {}

bool ResultFilters::PassesInUseState(std::uint16_t recordFlags) const {
    const bool inUse = (recordFlags & Krod::kRecordInUse) != 0;
    return notInUseOnly_ ? !inUse : anyInUseState_ || inUse;
}

bool ResultFilters::PassesShape(const Krod::CFileRecord& record) const {
    const bool directory = (record.GetFlags() & Krod::kRecordIsDirectory) != 0;
    if ((noDirectories_ && directory) || (noFiles_ && !directory))
        return false;
    if (size_.active && !size_.Contain(UnnamedDataSize(record, false)))
        return false;
    return !allocatedSize_.active || allocatedSize_.Contain(UnnamedDataSize(record, true));
}

// Names in one directory share its ancestors, so the answer is found once per directory, as long
// as the MFT reader keeps the directory records it reads: without that (-nocache) every climb reads
// the volume again, and so does every answer.
bool ResultFilters::PassesAncestors(const Krod::CFileNameAttribute& name, Krod::CMft& mft) const {
    if (system_)
        return true;
    // With its sequence number: a deleted name's directory may be gone although its record is in use.
    const std::uint64_t directory = name.GetParentReference().GetRaw();
    if (mft.EnableDirectoryCache) {
        const auto known = passingDirectories_.find(directory);
        if (known != passingDirectories_.end())
            return known->second;
    }
    const bool passes = AncestorsPass(name, mft);
    if (mft.EnableDirectoryCache)
        passingDirectories_.emplace(directory, passes);
    return passes;
}

bool ResultFilters::AncestorsPass(const Krod::CFileNameAttribute& name, Krod::CMft& mft) {
    try {
        const auto ancestors = Krod::GetAncestorRecords(mft, name);
        if (ancestors->size() < 2)
            return true;
        return !IsSpecialNtfsFile(*std::next(ancestors->begin()), false);
    } catch (const Krod::ENoFilenameAttribute&) {
        // Also a loop or an absurd depth (EBrokenParentChain) and a directory that is gone
        // (EReusedParent): the printer shows it as an orphan.
        return true;
    }
}
