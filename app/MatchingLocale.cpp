#include "MatchingLocale.h"

#include "volume/UpcaseTable.h"

std::locale MakeMatchingLocale(const Krod::CUpcaseTable& table) {
    return std::locale(std::locale(), new Krod::CUpcaseCtype(table));
}
