#pragma once
// The reparse-point view (attribute type 0xC0): the target of a junction (mount point).

#include "volume/Attribute.h"

#include <string>

namespace Krod {

class CSymbolicLinkAttribute : public CAttribute {
  public:
    // The empty view.
    CSymbolicLinkAttribute() = default;
    // A view of attribute; the empty attribute gives the empty view. Throws std::invalid_argument
    // "Not an symlink attribute", std::logic_error "Nonresident symlink attribute not supported".
    explicit CSymbolicLinkAttribute(const CAttribute& attribute);

    // The substitute name of a mount point, as stored (for a junction \??\C:\T). Throws
    // std::logic_error "Attribute is empty", "Not a junction point symlink" when the reparse tag is
    // not a name-surrogate mount point, and std::runtime_error "Junction point reparse data
    // reaches past its value" when the name does not lie inside the reparse data.
    std::wstring GetJunctionTarget() const;
};

} // namespace Krod
