// Changes to one FILE_NAME attribute of a record in its logical form (fixups undone), for the
// structures that Windows writes and libntfs-3g does not: Win32 names, the system flag, a user
// file named like a metadata file. The $I30 index entry of the name is left as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkvol {

// Each throws std::runtime_error when the record has no FILE_NAME called name (or a malformed
// attribute comes before it).

// Value offset 0x41: the namespace byte (0 POSIX, 1 Win32, 2 DOS, 3 Win32&DOS).
void SetFileNameNamespace(std::vector<uint8_t>& record, const std::u16string& name, uint8_t space);

// Value offset 0x38: the file attribute flags; set bits are or-ed in, clear bits taken out.
void ChangeFileNameFlags(std::vector<uint8_t>& record, const std::u16string& name, uint32_t set,
                         uint32_t clear);

// Value offset 0x42: the name itself, replaced by one of the same length.
void RenameFileName(std::vector<uint8_t>& record, const std::u16string& name, const std::u16string& to);

} // namespace mkvol
