#pragma once
// The reparse point (attribute type 0xC0): the bits of its tag, and the view that reads the target
// of a junction (mount point).

#include "volume/Attribute.h"

#include <cstdint>
#include <string>

namespace Krod {

// Reparse tag bits.
constexpr std::uint32_t kReparseTagValueMask = 0x0000FFFF;
constexpr std::uint32_t kReparseTagMountPoint = 0x0003; // the value of a junction's tag
constexpr std::uint32_t kReparseTagNameSurrogate = 0x20000000;
constexpr std::uint32_t kReparseTagHighLatency = 0x40000000;
constexpr std::uint32_t kReparseTagMicrosoft = 0x80000000; // without it, a GUID precedes the data

// Whether tag is a mount point that is a name surrogate, as a junction's is.
constexpr bool IsNameSurrogateMountPoint(std::uint32_t tag) {
    return (tag & kReparseTagValueMask) == kReparseTagMountPoint && (tag & kReparseTagNameSurrogate) != 0;
}

class CReparsePointAttribute : public CAttribute {
  public:
    // The empty view.
    CReparsePointAttribute() = default;
    // A view of attribute; the empty attribute gives the empty view. Throws std::invalid_argument
    // "Not an symlink attribute", std::logic_error "Nonresident symlink attribute not supported".
    explicit CReparsePointAttribute(const CAttribute& attribute);

    // The substitute name of a mount point, as stored (for a junction \??\C:\T). Throws
    // std::logic_error "Attribute is empty", "Not a junction point symlink" when the reparse tag is
    // not a name-surrogate mount point, and std::runtime_error "Junction point reparse data
    // reaches past its value" when the name does not lie inside the reparse data.
    std::wstring GetJunctionTarget() const;
};

} // namespace Krod
