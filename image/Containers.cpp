// What the container openers share: the kinds no library here reads, and the libraries' error texts.

#include "image/Containers.h"

#include "platform/File.h"

#include <algorithm>
#include <cstring>

namespace image {
namespace {

// Signatures of disk containers that are recognised, but not read.
struct Signature {
    std::size_t offset;
    const char* bytes;
    std::size_t length;
    const char* kind;
};
constexpr Signature kUnreadable[] = {
    {0, "QFI\xfb", 4, "QCOW"},                // QEMU copy-on-write, versions 1 to 3
    {0, "QED\0", 4, "QED"},                   // QEMU enhanced disk
    {0x40, "\x7f\x10\xda\xbe", 4, "VDI"},     // VirtualBox disk image
    {0, "WithoutFreeSpace", 16, "Parallels"}, // Parallels disk
    {0, "AFF10\r\n", 7, "AFF"},               // Advanced Forensic Format
};

} // namespace

std::string UnreadableContainer(const std::string& head) {
    for (const Signature& signature : kUnreadable)
        if (signature.offset <= head.size() && signature.length <= head.size() - signature.offset &&
            head.compare(signature.offset, signature.length, signature.bytes, signature.length) == 0)
            return signature.kind;
    return {};
}

std::string DeviceHead(platform::Device& device, std::size_t size) {
    const std::optional<std::uint64_t> length = device.Size();
    std::string head(length ? static_cast<std::size_t>(std::min<std::uint64_t>(size, *length)) : size, '\0');
    if (device.Seek(0) != 0 || device.Read(head.data(), head.size()) != 0)
        return {};
    return head;
}

std::string FileHead(const std::string& path, std::size_t size) {
    const platform::OpenResult opened = platform::OpenFile(path);
    return opened.device ? DeviceHead(*opened.device, size) : std::string();
}

std::string LibraryErrorText(const char* message) {
    std::string innermost(message, std::strcspn(message, "\n"));
    const std::size_t colon = innermost.find(": ");
    if (colon != std::string::npos)
        innermost.erase(0, colon + 2);
    while (!innermost.empty() && (innermost.back() == '.' || innermost.back() == '\r'))
        innermost.pop_back();
    return innermost;
}

} // namespace image
