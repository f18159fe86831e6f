#include "file_name_edit.h"

#include "le.h"
#include "utf.h"

#include <algorithm>
#include <stdexcept>

namespace mkvol {

namespace {

constexpr size_t kRecordFirstAttribute = 0x14; // u16
constexpr size_t kRecordBytesInUse = 0x18;     // u32
constexpr size_t kAttrType = 0x00;             // u32
constexpr size_t kAttrLength = 0x04;           // u32
constexpr size_t kAttrNonResident = 0x08;      // u8
constexpr size_t kAttrValueLength = 0x10;      // u32, resident attributes
constexpr size_t kAttrValueOffset = 0x14;      // u16, resident attributes
constexpr uint32_t kTypeFileName = 0x30;
constexpr uint32_t kTypeEnd = 0xFFFFFFFF;

constexpr size_t kNameFlags = 0x38;     // u32 file attribute flags
constexpr size_t kNameLength = 0x40;    // u8, in UTF-16 code units
constexpr size_t kNameNamespace = 0x41; // u8
constexpr size_t kNameText = 0x42;      // UTF-16LE, not terminated

// Offset within the record of the value of the FILE_NAME attribute called name.
size_t FindFileNameValue(const std::vector<uint8_t>& record, const std::u16string& name) {
    size_t offset = ReadLe<uint16_t>(record, kRecordFirstAttribute);
    const size_t inUse = std::min<size_t>(ReadLe<uint32_t>(record, kRecordBytesInUse), record.size());
    while (offset < inUse) {
        const auto type = ReadLe<uint32_t>(record, offset + kAttrType);
        const auto length = ReadLe<uint32_t>(record, offset + kAttrLength);
        if (type == kTypeEnd || length == 0 || length > inUse - offset)
            break;
        if (type == kTypeFileName && ReadLe<uint8_t>(record, offset + kAttrNonResident) == 0) {
            const size_t value = offset + ReadLe<uint16_t>(record, offset + kAttrValueOffset);
            const size_t valueLength = ReadLe<uint32_t>(record, offset + kAttrValueLength);
            const size_t units = ReadLe<uint8_t>(record, value + kNameLength);
            if (valueLength >= kNameText && units * 2 <= valueLength - kNameText && units == name.size()) {
                bool same = true;
                for (size_t i = 0; i < units && same; ++i)
                    same = ReadLe<uint16_t>(record, value + kNameText + 2 * i) == name[i];
                if (same)
                    return value;
            }
        }
        offset += length;
    }
    throw std::runtime_error("record has no FILE_NAME \"" + Utf16ToUtf8(name) + "\"");
}

} // namespace

void SetFileNameNamespace(std::vector<uint8_t>& record, const std::u16string& name, uint8_t space) {
    WriteLe<uint8_t>(record, FindFileNameValue(record, name) + kNameNamespace, space);
}

void ChangeFileNameFlags(std::vector<uint8_t>& record, const std::u16string& name, uint32_t set,
                         uint32_t clear) {
    const size_t at = FindFileNameValue(record, name) + kNameFlags;
    WriteLe<uint32_t>(record, at, (ReadLe<uint32_t>(record, at) | set) & ~clear);
}

void RenameFileName(std::vector<uint8_t>& record, const std::u16string& name, const std::u16string& to) {
    if (to.size() != name.size())
        throw std::runtime_error("a FILE_NAME can only be renamed to a name of the same length");
    const size_t value = FindFileNameValue(record, name);
    for (size_t i = 0; i < to.size(); ++i)
        WriteLe<uint16_t>(record, value + kNameText + 2 * i, to[i]);
}

} // namespace mkvol
