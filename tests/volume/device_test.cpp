#include "platform/Device.h"
#include "tests/common/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What the device must deliver: the file's bytes, zeros past its end.
Bytes Expected(const Bytes& file, std::uint64_t offset, std::size_t size) {
    Bytes out(size, 0);
    for (std::size_t i = 0; i < size && offset + i < file.size(); ++i)
        out[i] = file[offset + i];
    return out;
}

// Sequential scans, jumps back and forth, reads across and beyond the end and reads larger than
// the read-ahead all deliver the file's bytes, whatever the device keeps in between.
TEST(PosixDevice, DeliversTheFilesBytesForAnyMixOfReads) {
    std::mt19937 random(99);
    Bytes file(3 * (1 << 20) + 777);
    for (auto& byte : file)
        byte = static_cast<std::uint8_t>(random());
    const vesk_test::ScratchFolder scratch;
    const std::string path = (scratch / "device.img").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());

    OpenResult opened = OpenDevice(std::wstring(path.begin(), path.end()));
    ASSERT_TRUE(opened.device) << opened.error;
    Device& device = *opened.device;
    EXPECT_FALSE(device.SectorSize().has_value()); // a regular file cannot tell
    EXPECT_EQ(device.Size(), file.size());

    struct Read {
        std::uint64_t offset;
        std::size_t size;
    };
    std::vector<Read> reads;
    for (std::uint64_t offset = 0; offset < file.size() + 4096; offset += 1024) {
        reads.push_back({offset, 1024});
        if (offset % (200 * 1024) == 0)
            reads.push_back({random() % file.size(), 1 + random() % 5000});
    }
    reads.push_back({file.size() - 100, 4096});
    reads.push_back({file.size() + (1 << 20), 512});
    reads.push_back({12345, 2 * (1 << 20) + 3});
    reads.push_back({12345, 100});
    reads.push_back({~std::uint64_t{0} - 1000, 512});

    for (const Read& read : reads) {
        Bytes buffer(read.size, 0xEE);
        ASSERT_EQ(device.Seek(read.offset), 0u);
        ASSERT_EQ(device.Read(buffer.data(), buffer.size()), 0u);
        ASSERT_EQ(buffer, Expected(file, read.offset, read.size)) << read.offset << "+" << read.size;
    }

    // Reads in the background deliver the same bytes, one at a time, while the foreground reads go
    // on; one not waited for is waited for when it goes.
#ifdef _WIN32
    GTEST_SKIP() << "devices on Windows read in the foreground only";
#endif
    for (const Read& read : reads) {
        Bytes buffer(read.size, 0xEE);
        const std::unique_ptr<BackgroundRead> background = device.ReadInBackground(buffer.data(), read.offset, read.size);
        ASSERT_TRUE(background);
        Bytes other(100);
        EXPECT_FALSE(device.ReadInBackground(other.data(), 0, other.size())) << "one at a time";
        ASSERT_EQ(device.Seek(read.offset / 2), 0u);
        ASSERT_EQ(device.Read(other.data(), other.size()), 0u);
        EXPECT_EQ(other, Expected(file, read.offset / 2, other.size()));
        ASSERT_EQ(background->Wait(), 0u);
        ASSERT_EQ(buffer, Expected(file, read.offset, read.size)) << read.offset << "+" << read.size;
    }
    Bytes unclaimed(4096);
    device.ReadInBackground(unclaimed.data(), 0, unclaimed.size()).reset();
    EXPECT_EQ(unclaimed, Expected(file, 0, unclaimed.size()));
    std::remove(path.c_str());
}

} // namespace
} // namespace platform
