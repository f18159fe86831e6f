#include "volume/JunctionTable.h"

#include "volume/AttributeHeader.h"
#include "volume/DirectoryPaths.h"
#include "volume/FileNameAttribute.h"
#include "volume/FileNameValue.h"
#include "volume/IndexAttributes.h"
#include "volume/LittleEndian.h"
#include "volume/Mft.h"
#include "volume/ReparsePoint.h"
#include "volume/Utf16Text.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

namespace Krod {
namespace {

// $Extend, the directory of the NTFS extension files, is this MFT record.
constexpr std::uint32_t kExtendRecord = 11;
// The file in $Extend that indexes every reparse point of the volume, and its index.
constexpr wchar_t kReparseFileName[] = L"$Reparse";
constexpr char kReparseIndexName[] = "$R";
constexpr char kDirectoryIndexName[] = "$I30";

// $R keys: the reparse tag and the file that carries the reparse point.
constexpr std::size_t kReparseKeyTagField = 0x00;       // u32
constexpr std::size_t kReparseKeyReferenceField = 0x04; // u64
constexpr std::size_t kReparseKeySize = 0x0C;

// The one attribute of type named name; otherwise std::runtime_error "<owner> does not have
// <kind> <name>" or "<owner> has several <kind> <name>".
CAttribute FindOnly(const CFileRecord& record, std::uint32_t type, const std::string& name,
                    const std::string& owner, const std::string& kind) {
    const AttributeList found = record.FindAttributes(type, std::wstring(name.begin(), name.end()));
    if (found.empty())
        throw std::runtime_error(owner + " does not have " + kind + " " + name);
    if (found.size() > 1)
        throw std::runtime_error(owner + " has several " + kind + " " + name);
    return found.front();
}

// The entries of a whole index, with the views that hold their bytes.
struct LoadedIndex {
    CIndexRootAttribute root;
    CIndexAllocationAttribute allocation;
    IndexEntryList entries;
};

// Every entry of record's index name: the root's, then those of every block in use.
LoadedIndex ReadWholeIndex(const CFileRecord& record, const std::string& name, const std::string& owner) {
    LoadedIndex index;
    index.root = CIndexRootAttribute(FindOnly(record, kAttributeIndexRoot, name, owner, "INDEX_ROOT"));
    index.entries = index.root.GetEntries();
    if (index.root.HasSubNodes()) {
        index.allocation = CIndexAllocationAttribute(
            FindOnly(record, kAttributeIndexAllocation, name, owner, "INDEX_ALLOCATION"),
            index.root.GetBytesPerIndexBlock());
        const IndexEntryList blockEntries = index.allocation.GetEntries(
            ReadIndexBitmap(FindOnly(record, kAttributeBitmap, name, owner, "BITMAP")));
        index.entries.insert(index.entries.end(), blockEntries.begin(), blockEntries.end());
    }
    return index;
}

// True when the $I30 entry names exactly $Reparse; entries whose name does not fit their key
// name nothing. $I30 keys are FILE_NAME values, their name as long as the name length field says.
bool NamesReparseFile(const CIndexEntry& entry) {
    const std::uint8_t* key = entry.GetKey();
    const std::size_t size = entry.GetKeyLength();
    if (!FitsIn(size, FileNameField::kNameLength, 1))
        return false;
    const std::size_t units = read_le<std::uint8_t>(key, size, FileNameField::kNameLength);
    if (units != std::char_traits<wchar_t>::length(kReparseFileName) ||
        !FitsIn(size, FileNameField::kName, 2 * units))
        return false;
    std::wstring name;
    ReadUtf16(key, size, FileNameField::kName, units, name);
    return name == kReparseFileName;
}

ReparseIndexKey ReadReparseKey(const CIndexEntry& entry) {
    if (entry.GetKeyLength() < kReparseKeySize)
        throw std::runtime_error("$R index entry is shorter than its key");
    ReparseIndexKey key;
    key.tag = read_le<std::uint32_t>(entry.GetKey(), entry.GetKeyLength(), kReparseKeyTagField);
    key.reference = FileReference::FromRaw(
        read_le<std::uint64_t>(entry.GetKey(), entry.GetKeyLength(), kReparseKeyReferenceField));
    return key;
}

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Drive letters name the same drive in either case, whatever the table's case sensitivity.
wchar_t DriveKey(wchar_t c) {
    return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c;
}

// A drive path: a letter, a colon, then nothing or a backslash.
bool IsDrivePath(const std::wstring& path) {
    return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == L':' &&
           (path.size() == 2 || path[2] == L'\\');
}

bool KeyLess(const JunctionEntry& a, const JunctionEntry& b) {
    return std::tie(a.targetDrive, a.targetPath) < std::tie(b.targetDrive, b.targetPath);
}

} // namespace

std::wstring StripPathPrefix(const std::wstring& text) {
    const std::size_t start = text.find_first_not_of(L"\\?.");
    return start == std::wstring::npos ? text : text.substr(start);
}

CJunctionTable::CJunctionTable(CMft* mft, const CUpcaseTable& upcase, bool caseSensitive, int selector,
                               wchar_t volumeDrive)
    : upcase_(upcase), caseSensitive_(caseSensitive), volumeDrive_(DriveKey(volumeDrive)) {
    if (!mft)
        return;
    const CFileRecord extend = mft->ReadFileRecord(kExtendRecord);
    if ((extend.GetFlags() & kRecordIsDirectory) == 0)
        throw std::runtime_error("$Extend is not a directory");
    const LoadedIndex index = ReadWholeIndex(extend, kDirectoryIndexName, "$Extend");
    const auto reparse = std::find_if(index.entries.begin(), index.entries.end(), NamesReparseFile);
    if (reparse != index.entries.end())
        LoadReparseIndex(*mft, reparse->GetFileReference(), selector);
}

void CJunctionTable::LoadReparseIndex(CMft& mft, FileReference reparseFile, int selector) {
    entries_.clear();
    const LoadedIndex index = ReadWholeIndex(mft.ReadFileRecord(reparseFile), kReparseIndexName, "$Reparse");
    for (const CIndexEntry& entry : index.entries)
        AddJunction(mft, selector, ReadReparseKey(entry));
}

bool CJunctionTable::AddJunction(CMft& mft, int selector, const ReparseIndexKey& key) {
    // A junction's tag: a name-surrogate mount point that is not a high-latency one.
    if (!IsNameSurrogateMountPoint(key.tag) || (key.tag & kReparseTagHighLatency) != 0)
        return false;
    const CFileRecord source = mft.ReadFileRecord(key.reference);
    const AttributeList links = source.FindAttributes(kAttributeReparsePoint, L"");
    if (links.empty())
        throw std::runtime_error("Junction point source has no SYMBOLIC_LINK");
    if (links.size() > 1)
        throw std::runtime_error("Junction point source has several SYMBOLIC_LINK");
    const CReparsePointAttribute link(links.front());
    const AttributeList names = source.GetFileNameAttributes(selector);
    if (names.empty())
        throw std::runtime_error("Junction point source has no FILE_NAME");
    const CFileNameAttribute name(names.front());
    const std::wstring target = StripPathPrefix(link.GetJunctionTarget());
    return AddEntry(key.reference, GetParentPath(mft, name, selector) + name.GetFileNameText(), target);
}

bool CJunctionTable::AddEntry(FileReference junction, std::wstring sourcePath, const std::wstring& target) {
    if (!IsDrivePath(target))
        return false;
    JunctionEntry entry{junction, std::move(sourcePath), PathKey(target.substr(2)), DriveKey(target[0])};
    entries_.insert(std::upper_bound(entries_.begin(), entries_.end(), entry, KeyLess), std::move(entry));
    return true;
}

// Targets and lookups compare without a trailing backslash, upper-cased unless case-sensitive.
std::wstring CJunctionTable::PathKey(std::wstring path) const {
    if (!caseSensitive_)
        upcase_.ToUpperString(path);
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::unique_ptr<std::list<std::wstring>> CJunctionTable::GetAlternatePaths(const std::wstring& path) const {
    auto paths = std::make_unique<std::list<std::wstring>>();
    paths->push_back(path);
    std::vector<const JunctionEntry*> passed;
    AppendAlternates(path, passed, *paths);
    return paths;
}

// The targets that may apply are the key's path itself and each of its leading parts that ends
// before a backslash; they are tried longest first, and among equal targets the latest added
// first. passed holds the junctions taken on the way to path, which are not taken again: that
// ends the expansion of junctions whose targets contain themselves, and bounds the recursion.
void CJunctionTable::AppendAlternates(const std::wstring& path, std::vector<const JunctionEntry*>& passed,
                                      std::list<std::wstring>& paths) const {
    const bool hasDrive = path.size() >= 2 && path[1] == L':';
    if (entries_.empty() || passed.size() >= kMaxJunctionsPerPath || (!hasDrive && volumeDrive_ == 0))
        return;
    const std::wstring text = hasDrive ? path : std::wstring{volumeDrive_, L':'} + path;
    const std::wstring keyPath = PathKey(text.substr(2));
    JunctionEntry key{FileReference(), std::wstring(), keyPath, DriveKey(text[0])};

    for (std::size_t length = keyPath.size();;) {
        key.targetPath = keyPath.substr(0, length);
        const auto range = std::equal_range(entries_.begin(), entries_.end(), key, KeyLess);
        for (auto entry = range.second; entry != range.first;) {
            --entry;
            if (std::find(passed.begin(), passed.end(), &*entry) != passed.end())
                continue;
            if (paths.size() >= kMaxAlternatePaths)
                throw std::runtime_error("Junction points give more than " +
                                         std::to_string(kMaxAlternatePaths) + " paths of one directory");
            paths.push_back(entry->sourcePath + text.substr(2 + length));
            passed.push_back(&*entry);
            AppendAlternates(paths.back(), passed, paths);
            passed.pop_back();
        }
        if (length == 0)
            return;
        length = keyPath.rfind(L'\\', length - 1);
        if (length == std::wstring::npos)
            return;
    }
}

} // namespace Krod
