// The libntfs-3g headers, as C++ may include them. They are C, written for the library's own build:
// the compile definitions they expect come from this folder's CMakeLists.txt.
#pragma once

extern "C" {
#include <ntfs-3g/types.h>

#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/layout.h>
#include <ntfs-3g/mft.h>
#include <ntfs-3g/reparse.h>
#include <ntfs-3g/runlist.h>
#include <ntfs-3g/volume.h>
}

// support.h defines these as macros, which breaks the standard library's members of the same names.
#undef min
#undef max
