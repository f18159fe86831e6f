#pragma once

#include "prng.h"

#include <string>

// Names that look like the ones found on a used Windows volume, drawn from fixed word tables so that one
// seed always gives the same names. All results are UTF-8, at most 255 UTF-16 code units long, free of the
// characters Win32 forbids and of the reserved device names.
namespace genvol {

// A name for a directory at `depth` (2 = a grandchild of the root; the top level is fixed elsewhere); never
// has a file extension.
std::string directory_name(Prng& rng, unsigned depth);

// A file name with its extension; about 7% of them end in ".txt" (some as ".TXT").
std::string file_name(Prng& rng);

// The name of an alternate data stream such as a download's zone marker.
std::string stream_name(Prng& rng);

// A compatibility junction's name ("Application Data", ...).
std::string junction_name(Prng& rng);

// The 8.3 name Windows would give `long_name`: the name itself in upper case when it already fits 8.3,
// otherwise the first letters of the stem, "~" and `ordinal`, and the first three letters of the extension.
// Callers pass ordinal 1, 2, ... until the result is unused in the directory.
std::string short_name(const std::string& long_name, unsigned ordinal);

// Lower-case ASCII, the key under which two names of one directory clash.
std::string fold(const std::string& name);

} // namespace genvol
