// The image layer of a build without containers (Windows): the drive's volume, or an image file
// named in its place, is opened as it is.

#include "image/ImageStack.h"

#include <filesystem>

namespace image {

platform::OpenResult OpenVolume(const std::wstring& path, const VolumeReader&) {
    return platform::OpenDevice(path);
}

bool IsVolumeFile(const std::wstring& name, const std::wstring& path) {
    std::error_code unknown;
    return std::filesystem::equivalent(name, path, unknown);
}

platform::Drive ParseDrive(const std::wstring& value) {
    return platform::Drive{value, value, value.empty() ? L'\0' : value[0]};
}

} // namespace image
