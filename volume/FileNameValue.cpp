#include "volume/FileNameValue.h"

#include "volume/Utf16Text.h"

namespace Krod {

FileReference CFileNameInPlace::GetParentReference() const {
    return FileReference::FromRaw(read_le<std::uint64_t>(value_, length_, FileNameField::kParentReference));
}

std::uint32_t CFileNameInPlace::GetFileAttributes() const {
    return read_le<std::uint32_t>(value_, length_, FileNameField::kFileAttributes);
}

FileTimes CFileNameInPlace::GetTimes() const {
    FileTimes times;
    times.created = read_le<std::uint64_t>(value_, length_, FileNameField::kCreated);
    times.modified = read_le<std::uint64_t>(value_, length_, FileNameField::kModified);
    times.recordChanged = read_le<std::uint64_t>(value_, length_, FileNameField::kRecordChanged);
    times.accessed = read_le<std::uint64_t>(value_, length_, FileNameField::kAccessed);
    return times;
}

std::uint8_t CFileNameInPlace::GetNamespace() const {
    return read_le<std::uint8_t>(value_, length_, FileNameField::kNamespace);
}

std::size_t CFileNameInPlace::GetFileNameLength() const {
    return length_ > kFileNameHeaderSize ? (length_ - kFileNameHeaderSize) / 2 : 0;
}

// The units all lie inside the value, so they are read without a check each.
void CFileNameInPlace::GetFileNameText(std::wstring& text) const {
    text.resize(GetFileNameLength());
    DecodeUtf16(GetFileNameUnits(), text.size(), text.data());
}

} // namespace Krod
