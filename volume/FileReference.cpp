#include "volume/FileReference.h"

#include <ostream>

namespace Krod {

std::ostream& operator<<(std::ostream& out, FileReference reference) {
    return out << '#' << reference.GetRecordNumber() << '(' << reference.GetSequenceNumber() << ')';
}

} // namespace Krod
