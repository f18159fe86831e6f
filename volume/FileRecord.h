#pragma once
// One MFT record as read by CMft. A value object: copies share the record buffer, never copy it.

#include "volume/Attribute.h"
#include "volume/FileRecordData.h"
#include "volume/FileReference.h"
#include "volume/RecordDamage.h"
#include "volume/RecordHeader.h"

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Krod {

class CFileRecord {
  public:
    // A record with a fresh buffer from disk's frame pool (contents undefined), not fixed up.
    // Throws as CFileRecordData::Create.
    CFileRecord(CLogicalDisk* disk, FileReference reference);

    // True when the buffer starts with the "FILE" signature.
    bool IsFileRecord() const;
    // True once the update sequence has been verified and undone (CMft::ApplyFixup).
    bool IsFixedUp() const { return fixedUp_; }
    // The record header flags (kRecordInUse, kRecordIsDirectory).
    std::uint16_t GetFlags() const;
    // The sequence number of the record header, which references to the record carry.
    std::uint16_t GetSequenceNumber() const;
    // The base record of an extension record, which holds attributes of the file whose base record
    // that is; zero for a base record.
    FileReference GetBaseReference() const;

    // The record bytes, GetBufferSize() of them, shared by all copies of this record.
    std::uint8_t* GetBuffer() { return data_->GetBuffer(); }
    const std::uint8_t* GetBuffer() const { return data_->GetBuffer(); }
    std::uint32_t GetBufferSize() const { return data_->GetSize(); }
    CFileRecordData* GetData() const { return data_.get(); }
    CLogicalDisk* GetDisk() const { return data_->GetDisk(); }
    FileReference GetReference() const { return reference_; }

    // Builds the attribute index of a valid, fixed-up record (no-op otherwise or when built).
    // The walk stops at the end marker, at a zero length, at the record's bytes in use, and at the
    // first attribute that does not lie validly inside the record.
    void BuildAttributeIndex() const;
    // The record's own attribute at position index in record order (attributes that an
    // $ATTRIBUTE_LIST places in extension records are not counted); the empty attribute for a record that is
    // not a valid, fixed-up record. Throws std::out_of_range "invalid vector<T> subscript" when
    // index is past the attributes.
    CAttribute GetAttribute(std::uint32_t index) const;
    // All attributes of type in record order; empty for an invalid or unfixed record. For a base
    // record whose $ATTRIBUTE_LIST CMft has followed, the attributes of the file in list order,
    // wherever they are kept (FollowAttributeList), the list's own attribute last.
    AttributeList FindAttributes(std::uint32_t type) const;
    // The same, keeping those whose name equals name exactly (no case folding; "" = unnamed).
    AttributeList FindAttributes(std::uint32_t type, const std::wstring& name) const;
    // The first of FindAttributes(type), or of FindAttributes(type, name), without making the
    // others; the empty attribute when there is none.
    CAttribute FindFirstAttribute(std::uint32_t type) const;
    CAttribute FindFirstAttribute(std::uint32_t type, const std::wstring& name) const;
    // The FILE_NAME attributes chosen by a namespace selector (0-3, or 256 for all), in record
    // order. Defined with the FILE_NAME view.
    AttributeList GetFileNameAttributes(int selector) const;

    // What keeps the attributes of this valid base record, and of its extension records once CMft
    // has followed its $ATTRIBUTE_LIST, from being read in full: the first of an attribute walk
    // of the record that ends in damage, the damage met following the list (FollowAttributeList),
    // a FILE_NAME too short for its fields. Kind::None for a sound record and for one that is not
    // valid. Builds the attribute index.
    RecordDamage GetDamage() const;

  private:
    friend class CMft;
    // Sets listed_.
    friend void FollowAttributeList(CFileRecord& base, const std::function<CFileRecord(FileReference)>& read);
    bool IsValid() const { return fixedUp_ && IsFileRecord(); }
    // Calls visit(attribute), an rvalue it may keep, for each attribute of type in FindAttributes'
    // order until it returns true.
    template <typename Visit> void VisitAttributes(std::uint32_t type, Visit visit) const;
    // The first attribute of type with name (any name when null), as FindFirstAttribute.
    CAttribute FindFirst(std::uint32_t type, const std::wstring* name) const;

    boost::intrusive_ptr<CFileRecordData> data_;
    FileReference reference_;
    bool fixedUp_ = false;
    // The file's attributes in and beyond this record once its $ATTRIBUTE_LIST has been followed,
    // and what kept any from being found; null for the records that have none, which is nearly
    // all of them.
    struct Listed {
        AttributeList attributes;
        RecordDamage damage;
    };
    std::shared_ptr<const Listed> listed_;
};

} // namespace Krod
