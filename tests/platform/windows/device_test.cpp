#include "platform/Device.h"
#include "tests/common/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// An image file whose byte at offset i is a function of i, of a size that is no multiple of any
// sector size, so that its last sector is a part of one.
class ImageFile : public testing::Test {
  protected:
    static constexpr std::size_t kSize = 3 * 4096 + 1000;

    void SetUp() override {
        path_ = scratch_ / "image.img";
        std::ofstream out(path_, std::ios::binary);
        for (std::size_t i = 0; i < kSize; ++i)
            out.put(static_cast<char>(ByteAt(i)));
    }

    static std::uint8_t ByteAt(std::uint64_t offset) {
        return offset < kSize ? static_cast<std::uint8_t>(offset * 7 + offset / 251) : 0;
    }

    std::unique_ptr<platform::Device> Open() const {
        platform::OpenResult opened = platform::OpenDevice(path_.wstring());
        EXPECT_EQ(opened.error, 0u);
        return std::move(opened.device);
    }

    // Reads size bytes at offset and compares them with the file (zeros past its end).
    static void ExpectRead(platform::Device& device, std::uint64_t offset, std::size_t size) {
        ASSERT_EQ(device.Seek(offset), 0u);
        std::vector<std::uint8_t> bytes(size, 0xEE);
        ASSERT_EQ(device.Read(bytes.data(), size), 0u) << "at " << offset;
        for (std::size_t i = 0; i < size; ++i)
            ASSERT_EQ(bytes[i], ByteAt(offset + i)) << "byte " << offset + i;
    }

    vesk_test::ScratchFolder scratch_;
    fs::path path_;
};

// Unbuffered reads are whole aligned sectors; the device gives any span of bytes all the same, and
// zeros past the end of the file.
TEST_F(ImageFile, ReadsAnySpanAndZerosPastTheEnd) {
    auto device = Open();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Size(), std::uint64_t{kSize});
    const std::pair<std::uint64_t, std::size_t> spans[] = {
        {0, 512},       {512, 1024},        {1536, 4096},
        {100, 50},      {4000, 200},        {8192, 4096},
        {0, kSize},     {3 * 4096, 4096},   {kSize - 10, 20},
        {1 << 20, 512}, {3 << 20, 3 << 20}, {std::numeric_limits<std::uint64_t>::max() / 2 + 4096, 512},
        {4096, 512}};
    for (const auto& [offset, size] : spans)
        ExpectRead(*device, offset, size);
}

} // namespace
