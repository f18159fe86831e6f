// Fuzzes one MFT record: the update sequence, the attribute walk, every typed view of each
// attribute, the FILE_NAME selection for every selector (also as a scan reads it in place, which
// must agree) and the climb to the root. The input is the record as it lies on disk; it is placed at
// kFuzzedRecord of a small volume built in memory.

#include "tools/fuzzsupport/fuzz_support.h"
#include "tools/recordcheck/names_in_place_check.h"
#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/DirectoryPaths.h"
#include "volume/FileNameAttribute.h"
#include "volume/IndexAttributes.h"
#include "volume/Mft.h"
#include "volume/ReparsePoint.h"

#include <algorithm>
#include <string>

namespace {

using vesk_fuzz::Try;

// A record slot of the default synthetic volume that is not record 0, whose $MFT the volume needs.
constexpr std::uint32_t kFuzzedRecord = 8;

// Reads every field of attribute through its generic and its typed view.
void ReadAttribute(const Krod::CAttribute& attribute, Krod::CMft& mft) {
    Try([&] {
        (void)attribute.GetName();
        (void)attribute.GetDataSize();
        (void)attribute.GetAllocatedSize();
        // The promise: a resident value lies inside the attribute.
        const std::uint8_t* value = attribute.IsNonResident() ? nullptr : attribute.GetResidentValue();
        if (value && (value < attribute.GetHeader() || value + attribute.GetResidentValueLength() >
                                                           attribute.GetHeader() + attribute.GetLength()))
            __builtin_trap();
    });
    switch (attribute.GetType()) {
    case Krod::kAttributeFileName:
        Try([&] { (void)attribute.GetFileNameText(); });
        Try([&] {
            const Krod::CFileNameAttribute name(attribute);
            (void)name.GetParentReference();
            (void)name.GetNamespace();
            (void)name.GetFileAttributes();
            (void)Krod::GetParentPath(mft, name);
        });
        break;
    case Krod::kAttributeIndexRoot:
        Try([&] {
            const Krod::CIndexRootAttribute root(attribute);
            (void)root.GetBytesPerIndexBlock();
            for (const Krod::CIndexEntry& entry : root.GetEntries())
                (void)entry.GetFileReference();
        });
        break;
    case Krod::kAttributeReparsePoint:
        Try([&] { (void)Krod::CReparsePointAttribute(attribute).GetJunctionTarget(); });
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk_test::SyntheticVolume volume;
    vesk_test::Bytes record(data, data + std::min<std::size_t>(size, volume.RecordSize()));
    record.resize(volume.RecordSize());
    volume.PutRecord(kFuzzedRecord, record);
    const vesk_test::OpenedVolume opened = volume.Open();
    Krod::CMft mft(opened.disk.get());

    const Krod::CFileRecord read = mft.ReadFileRecord(kFuzzedRecord);
    (void)read.GetFlags();
    read.BuildAttributeIndex();
    // The index exists only for a record whose signature and update sequence hold.
    const bool valid = read.IsFileRecord() && read.IsFixedUp();
    const std::size_t count = valid ? read.GetData()->GetAttributeIndex().spans.size() : 0;
    for (std::uint32_t i = 0; i < count; ++i)
        Try([&] { ReadAttribute(read.GetAttribute(i), mft); });
    for (std::uint32_t type : {Krod::kAttributeFileName, Krod::kAttributeData, Krod::kAttributeIndexRoot})
        Try([&] { (void)read.FindAttributes(type, L"$I30"); });
    for (int selector : {0, 1, 2, 3, Krod::AnyNamespace})
        Try([&] {
            for (const Krod::CAttribute& name : read.GetFileNameAttributes(selector))
                (void)name.GetFileNameText();
        });
    std::string difference;
    if (valid && !vesk_test::NamesInPlaceAgree(read, difference))
        __builtin_trap();
    return 0;
}
