#include "volume/FileRecord.h"

#include "volume/AttributeHeader.h"
#include "volume/FileNameValue.h"
#include "volume/LittleEndian.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace Krod {

CFileRecord::CFileRecord(CLogicalDisk* disk, FileReference reference)
    : data_(CFileRecordData::Create(disk), false), reference_(reference) {}

bool CFileRecord::IsFileRecord() const {
    return HasFileSignature(GetBuffer(), GetBufferSize());
}

std::uint16_t CFileRecord::GetFlags() const {
    return RecordFlags(GetBuffer(), GetBufferSize());
}

std::uint16_t CFileRecord::GetSequenceNumber() const {
    return RecordSequenceNumber(GetBuffer(), GetBufferSize());
}

FileReference CFileRecord::GetBaseReference() const {
    return RecordBaseReference(GetBuffer(), GetBufferSize());
}

void CFileRecord::BuildAttributeIndex() const {
    if (IsValid())
        data_->GetAttributeIndex();
}

CAttribute CFileRecord::GetAttribute(std::uint32_t index) const {
    if (!IsValid())
        return CAttribute();
    const auto& spans = data_->GetAttributeIndex().spans;
    if (index >= spans.size())
        throw std::out_of_range("invalid vector<T> subscript");
    return CAttribute(data_.get(), spans[index].offset, spans[index].length, GetDisk());
}

template <typename Visit> void CFileRecord::VisitAttributes(std::uint32_t type, Visit visit) const {
    if (!IsValid())
        return;
    if (listed_) {
        for (const CAttribute& attribute : listed_->attributes)
            if (attribute.GetType() == type && visit(CAttribute(attribute)))
                return;
        return;
    }
    const auto& byType = data_->GetAttributeIndex().byType;
    auto it = std::lower_bound(byType.begin(), byType.end(), type,
                               [](const CFileRecordData::TypedAttribute& entry, std::uint32_t wanted) {
                                   return entry.type < wanted;
                               });
    for (; it != byType.end() && it->type == type; ++it)
        if (visit(GetAttribute(it->index)))
            return;
}

AttributeList CFileRecord::FindAttributes(std::uint32_t type) const {
    AttributeList found;
    VisitAttributes(type, [&found](CAttribute&& attribute) {
        found.push_back(std::move(attribute));
        return false;
    });
    return found;
}

AttributeList CFileRecord::FindAttributes(std::uint32_t type, const std::wstring& name) const {
    AttributeList found = FindAttributes(type);
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&name](const CAttribute& attribute) { return attribute.GetName() != name; }),
                found.end());
    return found;
}

CAttribute CFileRecord::FindFirstAttribute(std::uint32_t type) const {
    return FindFirst(type, nullptr);
}

CAttribute CFileRecord::FindFirstAttribute(std::uint32_t type, const std::wstring& name) const {
    return FindFirst(type, &name);
}

CAttribute CFileRecord::FindFirst(std::uint32_t type, const std::wstring* name) const {
    CAttribute first;
    VisitAttributes(type, [name, &first](CAttribute&& attribute) {
        if (name != nullptr && attribute.GetName() != *name)
            return false;
        first = std::move(attribute);
        return true;
    });
    return first;
}

RecordDamage CFileRecord::GetDamage() const {
    if (!IsValid())
        return {};
    const CFileRecordData::AttributeIndex& index = data_->GetAttributeIndex();
    if (index.damagedAt != kWalkComplete)
        return {RecordDamage::Kind::Attribute, reference_, index.damagedAt};
    if (listed_)
        return listed_->damage;
    for (const CFileRecordData::TypedAttribute& typed : index.byType)
        if (typed.type == kAttributeFileName &&
            IsShortFileName(GetBuffer() + index.spans[typed.index].offset))
            return {RecordDamage::Kind::ShortFileName, reference_, 0};
    return {};
}

} // namespace Krod
