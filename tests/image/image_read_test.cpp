// Reads through every layer of a disk image: in the foreground and in the background, as the scan
// does them, they deliver the bare volume's bytes, and a partition never shows its neighbour's.

#include "image/Containers.h"
#include "image/ImageStack.h"

#include <cstring>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kVolumes = VESK_TEST_VOLUMES_DIR;

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::unique_ptr<platform::Device> Open(const std::string& value) {
    // The builder's volumes are NTFS: its OEM identifier at offset 3 tells them.
    const image::VolumeReader ntfs{[](const std::uint8_t* sector, std::size_t size) {
                                       return size >= 11 && std::memcmp(sector + 3, "NTFS    ", 8) == 0;
                                   },
                                   "NTFS", "-d value"};
    platform::OpenResult opened = image::OpenVolume(std::wstring(value.begin(), value.end()), ntfs);
    EXPECT_TRUE(opened.device) << value << ": " << opened.error << " " << opened.problem;
    return std::move(opened.device);
}

TEST(ImageRead, EveryLayerReadsTheVolumeInTheForegroundAndInTheBackground) {
    const std::vector<std::uint8_t> volume = FileBytes(kVolumes + "/basic.img");
    constexpr std::size_t kBlock = 1 << 20;
    for (const char* disk :
         {"disk-gpt.img", "disk-logical.img#6", "disk-fixed.vhd", "disk-dynamic.vhd", "disk-vhdx.vhdx",
          "disk-vmdk.vmdk", "disk-vmdkstream.vmdk", "disk-e01.E01", "disk-e01s.E01", "disk-split.001"}) {
        SCOPED_TRACE(disk);
        const std::unique_ptr<platform::Device> device = Open(kVolumes + "/" + disk);
        ASSERT_TRUE(device);
        ASSERT_EQ(device->Size(), volume.size());
        std::vector<std::uint8_t> ahead(kBlock);
        std::vector<std::uint8_t> here(kBlock);
        // While one block is read in the background, the one after it is read in the foreground.
        for (std::size_t at = 0; at + 2 * kBlock <= volume.size(); at += 2 * kBlock) {
            std::unique_ptr<platform::BackgroundRead> read =
                device->ReadInBackground(ahead.data(), at, kBlock);
            ASSERT_TRUE(read);
            ASSERT_EQ(device->Seek(at + kBlock), 0u);
            ASSERT_EQ(device->Read(here.data(), kBlock), 0u);
            ASSERT_EQ(read->Wait(), 0u);
            EXPECT_TRUE(std::equal(ahead.begin(), ahead.end(), volume.begin() + at));
            EXPECT_TRUE(std::equal(here.begin(), here.end(), volume.begin() + at + kBlock));
        }
    }
}

TEST(ImageRead, AReadCutOverReadersOfTheirOwnGivesTheBytesAndNotesOfOneRead) {
    // Damaged: a chunk of the MFT and the disk's last chunk.
    const std::string path = kVolumes + "/disk-e01marks.E01";
    const platform::OpenResult whole = image::OpenEwfImage(path);
    const platform::OpenResult cut = image::OpenEwfImage(path);
    ASSERT_TRUE(whole.device && cut.device);
    const std::size_t size = *whole.device->Size();
    std::vector<std::uint8_t> expected(size);
    std::vector<std::uint8_t> bytes(size, 0xEE);
    ASSERT_EQ(whole.device->Read(expected.data(), size), 0u);
    const std::vector<std::string> notes = whole.device->TakeNotes();
    EXPECT_EQ(notes.size(), 2u);
    const std::unique_ptr<platform::BackgroundRead> read =
        cut.device->ReadInBackground(bytes.data(), 0, size);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->Wait(), 0u);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(cut.device->TakeNotes(), notes);
    // What the part readers found damaged, the reader in the foreground knows: no chunk is noted twice.
    ASSERT_EQ(cut.device->Read(bytes.data(), size), 0u);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(cut.device->TakeNotes(), std::vector<std::string>());
}

TEST(ImageRead, APartitionEndsWhereItsTableSays) {
    // Partition 2 of disk-two.img begins where partition 1 ends.
    const std::unique_ptr<platform::Device> first = Open(kVolumes + "/disk-two.img#1");
    ASSERT_TRUE(first);
    const std::uint64_t end = *first->Size();
    std::vector<std::uint8_t> bytes(1024, 0xEE);
    EXPECT_FALSE(first->ReadInBackground(bytes.data(), end - 512, bytes.size()));
    ASSERT_EQ(first->Seek(end - 512), 0u);
    ASSERT_EQ(first->Read(bytes.data(), bytes.size()), 0u);
    const std::vector<std::uint8_t> volume = FileBytes(kVolumes + "/basic.img");
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 512, volume.end() - 512));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 512, bytes.end()), std::vector<std::uint8_t>(512, 0));
}

} // namespace
