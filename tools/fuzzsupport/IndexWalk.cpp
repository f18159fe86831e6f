#include "tools/fuzzsupport/fuzz_support.h"

#include "volume/AttributeHeader.h"
#include "volume/FileNameAttribute.h"
#include "volume/IndexAttributes.h"
#include "volume/JunctionTable.h"
#include "volume/LogicalDisk.h"
#include "volume/Mft.h"
#include "volume/ReparsePoint.h"
#include "volume/UpcaseTable.h"

#include <boost/intrusive_ptr.hpp>

#include <algorithm>
#include <string>

namespace vesk_fuzz {
namespace {

// The drive the builder volumes' junctions name.
constexpr wchar_t kVolumeDrive = L'C';

// The one attribute of type named name in record, or the empty attribute.
Krod::CAttribute Named(const Krod::CFileRecord& record, std::uint32_t type, const std::wstring& name) {
    const Krod::AttributeList found = record.FindAttributes(type, name);
    return found.empty() ? Krod::CAttribute() : found.front();
}

void WalkIndex(const Krod::CFileRecord& record, const Krod::CAttribute& rootAttribute) {
    const Krod::CIndexRootAttribute root(rootAttribute);
    std::size_t keyBytes = 0;
    for (const Krod::CIndexEntry& entry : root.GetEntries())
        keyBytes += entry.GetKeyLength() + (entry.GetKey() != nullptr);
    if (!root.HasSubNodes())
        return;
    const std::wstring name = rootAttribute.GetName();
    const Krod::CAttribute allocation = Named(record, Krod::kAttributeIndexAllocation, name);
    const Krod::CAttribute bitmap = Named(record, Krod::kAttributeBitmap, name);
    if (allocation.IsEmpty() || bitmap.IsEmpty())
        return;
    const Krod::CIndexAllocationAttribute blocks(allocation, root.GetBytesPerIndexBlock());
    for (const Krod::CIndexEntry& entry : blocks.GetEntries(Krod::ReadIndexBitmap(bitmap)))
        keyBytes += entry.GetKeyLength() + entry.GetFileReference().GetRecordNumber();
    (void)keyBytes;
}

void WalkRecord(Krod::CMft& mft, std::uint32_t n) {
    const Krod::CFileRecord record = mft.ReadFileRecord(n);
    if (!record.IsFileRecord() || !record.IsFixedUp())
        return;
    for (const Krod::CAttribute& root : record.FindAttributes(Krod::kAttributeIndexRoot))
        Try([&] { WalkIndex(record, root); });
    for (const Krod::CAttribute& reparse : record.FindAttributes(Krod::kAttributeReparsePoint))
        Try([&] { (void)Krod::CReparsePointAttribute(reparse).GetJunctionTarget(); });
}

void WalkJunctions(Krod::CMft& mft) {
    const Krod::CUpcaseTable upcase(mft);
    const Krod::CJunctionTable table(&mft, upcase, false, Krod::AnyNamespace, kVolumeDrive);
    for (const Krod::JunctionEntry& entry : table.GetEntries()) {
        Try([&] { table.GetAlternatePaths(entry.sourcePath + L"\\"); });
        Try([&] {
            table.GetAlternatePaths(std::wstring{entry.targetDrive, L':'} + entry.targetPath + L"\\x");
        });
    }
}

} // namespace

void WalkIndexes(std::unique_ptr<platform::Device> device) {
    boost::intrusive_ptr<Krod::CLogicalDisk> disk;
    std::unique_ptr<Krod::CMft> mft;
    try {
        disk.reset(new Krod::CLogicalDisk(std::move(device)), false);
        mft = std::make_unique<Krod::CMft>(disk.get());
    } catch (const std::exception&) {
        return;
    }
    const auto records =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(mft->GetFileRecordCount(), kMaxWalkedRecords));
    for (std::uint32_t n = 0; n < records; ++n)
        Try([&] { WalkRecord(*mft, n); });
    Try([&] { WalkJunctions(*mft); });
}

} // namespace vesk_fuzz
