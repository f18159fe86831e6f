#include "image/ShadowLoopGuard.h"

#include <cerrno>
#include <cstring>

namespace image {
namespace {

// Every structure block of the shadow copies is 16 KiB and begins with this identifier,
// {3808876b-c176-4e48-b7ae-04046e6cc752} as it is stored; the copies' data blocks are read in
// pieces of any size and are not looked at.
constexpr std::size_t kStructureBlock = 16384;
constexpr std::uint8_t kIdentifier[] = {0x6b, 0x87, 0x08, 0x38, 0x76, 0xc1, 0x48, 0x4e,
                                        0xb7, 0xae, 0x04, 0x04, 0x6e, 0x6c, 0xc7, 0x52};

} // namespace

void ShadowLoopGuard::BeginPass() {
    seen_.clear();
    looped_.reset();
}

platform::ErrorCode ShadowLoopGuard::Seek(std::uint64_t offset) {
    position_ = offset;
    return volume_->Seek(offset);
}

platform::ErrorCode ShadowLoopGuard::Read(void* buffer, std::size_t size) {
    const std::uint64_t at = position_;
    position_ += size;
    const platform::ErrorCode error = volume_->Read(buffer, size);
    if (error != 0 || size != kStructureBlock || std::memcmp(buffer, kIdentifier, sizeof kIdentifier) != 0 ||
        seen_.insert(at).second)
        return error;
    looped_ = at;
    return ELOOP;
}

} // namespace image
