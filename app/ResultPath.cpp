#include "app/ResultPath.h"

#include "volume/DirectoryPaths.h"
#include "volume/Errors.h"
#include "volume/FileNameAttribute.h"
#include "volume/JunctionTable.h"

#include <ostream>

const wchar_t kOrphanPrefix[] = L"<ORPHANED FILE>\\";

std::vector<std::wstring> ResolveResultPaths(const Krod::CFileNameAttribute& name, std::uint32_t recordNumber,
                                             Krod::CMft& mft, const Krod::CJunctionTable& junctions,
                                             std::wostream& errors) {
    try {
        const std::wstring parent = Krod::GetParentPath(mft, name, name.GetNamespace());
        const auto paths = junctions.GetAlternatePaths(parent);
        return std::vector<std::wstring>(paths->begin(), paths->end());
    } catch (const Krod::ENoFilenameAttribute& e) {
        errors << L"Unable to resolve path of #" << recordNumber << L". " << e.what() << std::endl;
        return {kOrphanPrefix};
    }
}
