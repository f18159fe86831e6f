#include "volume/DirectoryPaths.h"

#include "volume/Mft.h"
#include "volume/RecordHeader.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace Krod {
namespace {

// The records a climb has passed, so that a loop or an absurd depth ends it with an error.
class ClimbGuard {
  public:
    void Enter(FileReference reference) {
        if (passed_.size() >= kMaxDirectoryDepth)
            throw EBrokenParentChain(reference, false);
        if (!passed_.insert(reference.GetRecordNumber()).second)
            throw EBrokenParentChain(reference, true);
    }

  private:
    std::unordered_set<std::uint64_t> passed_;
};

// Leaves one name of a directory where it has several: DOS names go first, then Win32&DOS ones,
// then Win32 ones, each step only while more than one name is left. A step that would leave no
// name at all is skipped, so that a directory with two names of one namespace (a hard link)
// keeps both and is reported as such.
void PruneToOneName(AttributeList& names) {
    for (std::uint8_t nameSpace : {kNamespaceDos, kNamespaceWin32AndDos, kNamespaceWin32}) {
        if (names.size() <= 1)
            return;
        const auto others =
            std::stable_partition(names.begin(), names.end(), [nameSpace](const CAttribute& name) {
                return CFileNameAttribute(name).GetNamespace() != nameSpace;
            });
        if (others != names.begin())
            names.erase(others, names.end());
    }
}

// Throws EReusedParent when record, a valid record read through reference, holds another file now.
// The root directory is never freed, so the climbs do not read it only for this.
void CheckStillNamed(const CFileRecord& record, FileReference reference) {
    if (!record.IsFileRecord() || !record.IsFixedUp())
        return; // no FILE_NAME to be found there: the climb reports that
    const std::uint16_t found = record.GetSequenceNumber();
    if (!StillNames(reference, found, (record.GetFlags() & kRecordInUse) != 0))
        throw EReusedParent(reference, found);
}

std::string ClimbFailure(bool loop) {
    if (loop)
        return " is its own ancestor.";
    return " lies more than " + std::to_string(kMaxDirectoryDepth) + " directories below the root.";
}

} // namespace

EBrokenParentChain::EBrokenParentChain(FileReference reference, bool loop)
    : ENoFilenameAttribute(reference), message_(Describe(ClimbFailure(loop).c_str())) {}

EReusedParent::EReusedParent(FileReference reference, std::uint16_t found)
    : ENoFilenameAttribute(reference),
      message_(
          Describe((" is gone: its record has sequence number " + std::to_string(found) + " now.").c_str())) {
}

bool StillNames(FileReference reference, std::uint16_t found, bool inUse) {
    const std::uint16_t expected = reference.GetSequenceNumber();
    if (expected == 0 || found == expected)
        return true;
    // Freeing moves the sequence number on, past 0, which no file carries.
    const std::uint16_t freed = expected == 0xFFFF ? 1 : static_cast<std::uint16_t>(expected + 1);
    return !inUse && found == freed;
}

std::wstring GetParentPath(CMft& mft, const CFileNameAttribute& name, int selector) {
    if (selector == AnyNamespace)
        selector = name.GetNamespace();
    std::vector<std::wstring> directories; // parent first
    ClimbGuard guard;
    for (FileReference reference = name.GetParentReference();
         reference.GetRecordNumber() != kRootDirectoryRecord;) {
        guard.Enter(reference);
        const CFileRecord record = mft.ReadFileRecord(reference);
        CheckStillNamed(record, reference);
        AttributeList names = record.GetFileNameAttributes(selector);
        PruneToOneName(names);
        if (names.size() > 1)
            throw std::logic_error("Hardlink on directory occured");
        if (names.empty())
            throw ENoFilenameAttribute(reference);
        const CFileNameAttribute directory(names.front());
        directories.push_back(directory.GetFileNameText());
        reference = directory.GetParentReference();
    }
    std::wstring path = L"\\";
    for (auto it = directories.rbegin(); it != directories.rend(); ++it)
        path += *it + L'\\';
    return path;
}

std::unique_ptr<std::list<CFileRecord>> GetAncestorRecords(CMft& mft, const CFileNameAttribute& name) {
    auto ancestors = std::make_unique<std::list<CFileRecord>>();
    ClimbGuard guard;
    for (FileReference reference = name.GetParentReference();;) {
        guard.Enter(reference);
        ancestors->push_front(mft.ReadFileRecord(reference));
        if (reference.GetRecordNumber() == kRootDirectoryRecord)
            return ancestors;
        CheckStillNamed(ancestors->front(), reference);
        const AttributeList names = ancestors->front().GetFileNameAttributes(AnyNamespace);
        if (names.empty())
            throw ENoFilenameAttribute(reference);
        reference = CFileNameAttribute(names.front()).GetParentReference();
    }
}

} // namespace Krod
