#pragma once
// The check that reading a record's names in place agrees with the record object's selection;
// the unit tests and the record fuzzer both ask it.

#include "volume/FileRecord.h"

#include <string>

namespace vesk_test {

// Whether Krod::ReadFileNamesInPlace, on the bytes of the valid, fixed-up record, either declines
// or gives for every selector what GetFileNameAttributes gives: the same names of the same
// attributes in the same order, and as the first Win32 name the first that the Win32 selection
// keeps. When not, difference says how.
bool NamesInPlaceAgree(const Krod::CFileRecord& record, std::string& difference);

} // namespace vesk_test
