#pragma once

#include <locale>

namespace Krod {
class CUpcaseTable;
}

// A copy of the global locale whose wide ctype facet folds case through the volume's upper-case
// table, so that a case-insensitive name match compares letters exactly as NTFS does. The facet
// holds its own copy of the table and belongs to the locale.
std::locale MakeMatchingLocale(const Krod::CUpcaseTable& table);
