#pragma once
// The shadow copies a volume keeps of its earlier states (Windows' volume shadow copy stores),
// each readable as a volume of its own, through libvshadow.

#include "platform/Device.h"

#include <cstdint>
#include <memory>
#include <string>

namespace image {

// Shadow copy number (counted from 1 in order of creation) of the volume that volume reads, as
// a device whose reads go down to volume, which it owns. A block of the copy that cannot be read
// reads as zeros, with a note on standard error naming its offset and size. Otherwise the problem
// in one line: a volume without shadow copies; no copy number (0 names none), the copies then
// listed with their creation times; a copy whose data lie on another volume; a catalog or copy
// that cannot be read. The list says how to choose a copy in what the user named the volume with,
// valueName.
platform::OpenResult OpenShadowCopy(std::unique_ptr<platform::Device> volume, std::uint64_t number,
                                    const std::string& valueName);

} // namespace image
