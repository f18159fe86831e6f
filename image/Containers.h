#pragma once
// The containers a disk image comes in, each opened through the library of its kind. Every opener
// takes the image's path in the locale's encoding and returns, as OpenDevice does, the disk inside
// or why there is none: a system error, or a problem in one line that names the image.

#include "platform/Device.h"

#include <string>
#include <vector>

namespace image {

// Whether the file at path begins as an image of the kind does (the library's own test).
bool IsEwfImage(const std::string& path);
bool IsVhdImage(const std::string& path);
bool IsVmdkImage(const std::string& path);

// An EWF image (E01, Ex01, ...): the segments beside path that its name leads to (libewf).
platform::OpenResult OpenEwfImage(const std::string& path);

// The names of the segments of the EWF image whose first segment is path, as far as they exist.
std::vector<std::string> EwfSegmentNames(const std::string& path);

// A VHD (fixed or dynamic) or VHDX image (libvhdi).
platform::OpenResult OpenVhdImage(const std::string& path);

// A VMDK image: its descriptor and extents (libvmdk).
platform::OpenResult OpenVmdkImage(const std::string& path);

// Whether path names a piece of a raw image split into numbered pieces, of which there are at
// least two and none missing up to path: NAME.001, NAME.002, ...; NAME.000, NAME.001, ...; or
// NAME.aa, NAME.ab, ... (numbers and letters of any one width from 2).
bool IsSplitImage(const std::string& path);

// The names of the pieces of the split image that path is a piece of, from the first on, as far
// as they follow each other.
std::vector<std::string> SplitSegmentNames(const std::string& path);

// The raw image split into pieces whose first is path; a later piece is refused, naming the first.
platform::OpenResult OpenSplitImage(const std::string& path);

// The first size bytes of the file at path, fewer when it holds fewer; empty when it cannot be
// opened or read.
std::string FileHead(const std::string& path, std::size_t size);

// The first size bytes of device, fewer when it holds fewer; empty when it cannot be read.
std::string DeviceHead(platform::Device& device, std::size_t size);

// The name of a container kind that no opener reads when the first bytes of a file (head, as many
// as there are) show one, else empty.
std::string UnreadableContainer(const std::string& head);

// The innermost frame of a library's error backtrace, one "LIBRARY_FUNCTION: text." a line from
// the innermost on, reduced to its text: the frames above it only say which call failed.
std::string LibraryErrorText(const char* message);

} // namespace image
