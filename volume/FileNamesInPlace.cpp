#include "volume/FileNamesInPlace.h"

#include "volume/AttributeWalk.h"

#include <algorithm>
#include <optional>

namespace Krod {
namespace {

// Whether an attribute from pos on, as far as the walk from the record's first attribute could go,
// is a FILE_NAME or an $ATTRIBUTE_LIST, or the walk ends in damage before the end marker (the
// record then tells what it is). The attributes are followed by their lengths alone, not
// validated one by one: that reaches every attribute the full walk reaches, and perhaps more.
bool NameListOrDamageFrom(const std::uint8_t* record, std::uint32_t size, std::size_t pos) {
    const std::size_t limit =
        std::min<std::size_t>(size, read_le<std::uint32_t>(record, size, RecordField::kBytesInUse));
    while (FitsIn(limit, pos, sizeof(std::uint32_t))) {
        const auto type = load_le<std::uint32_t>(record + pos + AttributeField::kType);
        if (type == kAttributeEndMarker)
            return false;
        if (type == kAttributeFileName || type == kAttributeList ||
            !FitsIn(limit, pos, 2 * sizeof(std::uint32_t)))
            return true;
        const auto length = load_le<std::uint32_t>(record + pos + AttributeField::kLength);
        if (length == 0 || length > limit - pos)
            return true;
        pos += length;
    }
    return true;
}

} // namespace

bool ReadFileNamesInPlace(const std::uint8_t* record, std::uint32_t size, int selector,
                          FileNamesInPlace& names) {
    names.count = 0;
    names.hasWin32 = false;
    unsigned sides = 0;
    bool answerable = true;
    std::optional<std::size_t> pastNames; // where the first attribute after the names lies, if any
    const auto visit = [&](std::uint32_t type, std::uint32_t offset, std::uint32_t length) {
        if (type > kAttributeFileName) {
            pastNames = offset;
            return false;
        }
        if (type == kAttributeList) {
            answerable = false;
            return false;
        }
        if (type != kAttributeFileName)
            return true;
        // The walk has checked that the attribute holds a resident header at least, and that a
        // resident value lies inside the attribute.
        const std::uint8_t* header = record + offset;
        if (load_le<std::uint8_t>(header + AttributeField::kNonResident) != 0) {
            answerable = false;
            return false;
        }
        const auto valueLength = load_le<std::uint32_t>(header + AttributeField::kValueLength);
        if (valueLength < kFileNameHeaderSize) {
            answerable = false; // a damaged name (IsShortFileName), which the record reports
            return false;
        }
        const std::uint8_t* value = header + load_le<std::uint16_t>(header + AttributeField::kValueOffset);
        const CFileNameInPlace name(value, valueLength);
        const auto nameSpace =
            load_le<std::uint8_t>(value + FileNameField::kNamespace); // inside the fixed fields
        sides += Win32AndDosSides(nameSpace);
        if (!names.hasWin32 && SelectorKeeps(kNamespaceWin32, nameSpace)) {
            names.firstWin32 = name;
            names.hasWin32 = true;
        }
        if (SelectorKeeps(selector, nameSpace)) {
            if (names.count == FileNamesInPlace::kMaxNames) {
                answerable = false;
                return false;
            }
            names.selected[names.count] = name;
            names.attributes[names.count++] = {offset, length};
        }
        return true;
    };
    const std::uint32_t walk = WalkAttributes(record, size, visit);
    // NTFS keeps a record's attributes ordered by type, so a name or a list after them means a
    // damaged record: such records are left to the record itself, and so are those whose walk
    // ends in damage.
    if (!answerable || walk != kWalkComplete || (pastNames && NameListOrDamageFrom(record, size, *pastNames)))
        return false;
    return sides <= kMaxWin32AndDosSides;
}

} // namespace Krod
