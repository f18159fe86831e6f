// The manifest: what the volume in an image holds, as libntfs-3g reads it back (README.md gives
// the line format). Tests compare what they read from the image with it.
#pragma once

#include <ostream>
#include <string>

namespace mkvol {

// Opens the volume read-only and writes its manifest to out. Throws std::runtime_error when
// libntfs-3g cannot open the volume or read one of its records.
void WriteManifest(const std::string& image, std::ostream& out);

} // namespace mkvol
