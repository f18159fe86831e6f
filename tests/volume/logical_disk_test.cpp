#include "tools/synthetic/synthetic_volume.h"
#include "tests/common/scratch_folder.h"
#include "volume/Errors.h"
#include "volume/LogicalDisk.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::Geometry;
using vesk_test::SyntheticVolume;

TEST(LogicalDisk, DerivesGeometryFromTheBootSector) {
    struct Case {
        Geometry geometry;
        std::uint32_t bytesPerCluster;
        std::uint32_t recordSize;
    };
    const Case cases[] = {
        {{512, 8, -10}, 4096, 1024},
        {{512, 2, 2}, 1024, 2048},
        {{4096, 1, -12}, 4096, 4096},
    };
    for (const Case& c : cases) {
        SyntheticVolume volume(c.geometry, 64, {{4, 2}});
        auto opened = volume.Open();
        EXPECT_EQ(opened.disk->GetBytesPerSector(), c.geometry.bytesPerSector);
        EXPECT_EQ(opened.disk->GetBytesPerCluster(), c.bytesPerCluster);
        EXPECT_EQ(opened.disk->GetFileRecordSize(), c.recordSize);
        EXPECT_EQ(opened.disk->GetMftCluster(), 4u);
        EXPECT_EQ(opened.disk->GetBootSector()[3], 'N');
    }

    SyntheticVolume volume;
    volume.PutBytes(0x40, {0}); // 2^0 bytes: refused later by the MFT reader
    EXPECT_EQ(volume.Open().disk->GetFileRecordSize(), 1u);
}

TEST(LogicalDisk, ReadsTheBootSectorInTheDevicesSectorSizeOrTheProvisionalOne) {
    SyntheticVolume volume;
    auto imageFile = volume.Open();
    ASSERT_EQ(imageFile.device->Reads().size(), 1u);
    EXPECT_EQ(imageFile.device->Reads()[0].offset, 0u);
    EXPECT_EQ(imageFile.device->Reads()[0].size, CLogicalDisk::kProvisionalSectorSize);

    auto blockDevice = volume.Open(4096);
    EXPECT_EQ(blockDevice.device->Reads()[0].size, 4096u);
}

// After the boot sector the device stands at the provisional size, not at sector 1: the first
// read must seek even when it asks for sector 1.
TEST(LogicalDisk, SeeksOnlyWhenTheReadDoesNotContinueThePreviousOne) {
    SyntheticVolume volume;
    volume.PutBytes(512, Bytes(512, 0xA1));
    volume.PutBytes(1024, Bytes(1024, 0xB2));
    volume.PutBytes(4096, Bytes(512, 0xC3));
    auto opened = volume.Open();
    const std::size_t seeksAfterOpen = opened.device->SeekCount();

    Bytes buffer(1024);
    opened.disk->ReadSectorsAt(buffer.data(), 1, 1);
    EXPECT_EQ(buffer[0], 0xA1);
    EXPECT_EQ(opened.device->SeekCount(), seeksAfterOpen + 1);

    opened.disk->ReadSectorsAt(buffer.data(), 2, 2); // continues at sector 2
    EXPECT_EQ(buffer[1023], 0xB2);
    EXPECT_EQ(opened.device->SeekCount(), seeksAfterOpen + 1);

    opened.disk->ReadSectorsAt(buffer.data(), 8, 1);
    EXPECT_EQ(buffer[0], 0xC3);
    EXPECT_EQ(opened.device->SeekCount(), seeksAfterOpen + 2);
    EXPECT_EQ(opened.device->Reads().back().offset, 4096u);
}

TEST(LogicalDisk, ReportsDeviceFailuresAsSystemErrorsAndSeeksAgainAfterThem) {
    SyntheticVolume volume;
    auto opened = volume.Open();
    Bytes buffer(512);
    opened.disk->ReadSectorsAt(buffer.data(), 3, 1);

    opened.device->FailReadsWith(EIO);
    try {
        opened.disk->ReadSectorsAt(buffer.data(), 4, 1);
        FAIL() << "no error";
    } catch (const ESystemError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<platform::ErrorCode>(EIO));
    }
    opened.device->FailReadsWith(0);
    const std::size_t seeks = opened.device->SeekCount();
    opened.disk->ReadSectorsAt(buffer.data(), 4, 1);
    EXPECT_EQ(opened.device->SeekCount(), seeks + 1);

    EXPECT_THROW(opened.disk->SeekSector(~std::uint64_t{0} / 256), std::out_of_range);
}

TEST(LogicalDisk, FailsToOpenWhatCannotBeOpenedOrRead) {
    const wchar_t* const missing = L"/nonexistent/vesk/volume.img";
    try {
        new CLogicalDisk(missing);
        FAIL() << "opened";
    } catch (const ESystemError& e) {
        // The system's own reason: ENOENT on POSIX, a code of Windows' for its device path there.
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetErrorCode(), platform::OpenDevice(platform::DevicePathForDrive(missing)).error);
    }

    auto device = std::make_unique<platform::MemoryDevice>(Bytes(4096));
    device->FailReadsWith(EIO);
    EXPECT_THROW(new CLogicalDisk(std::move(device), L"broken"), ESystemError);
}

TEST(LogicalDisk, ReadsAnImageFileAndZeroFillsPastItsEnd) {
    SyntheticVolume volume;
    const vesk_test::ScratchFolder scratch;
    const std::string path = (scratch / "volume.img").string();
    Bytes image(volume.Image().begin(), volume.Image().begin() + 1536); // ends inside sector 3
    image[1100] = 0x5A;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    auto* disk = new CLogicalDisk(std::wstring(path.begin(), path.end()).c_str());
    EXPECT_EQ(disk->GetBytesPerSector(), 512);
    Bytes buffer(1024, 0xEE);
    disk->ReadSectorsAt(buffer.data(), 2, 2);
    EXPECT_EQ(buffer[1100 - 1024], 0x5A);
    EXPECT_EQ(buffer[600], 0); // past the end of the file
    EXPECT_EQ(buffer[1023], 0);
    EXPECT_EQ(disk->Release(), 0u);
    std::remove(path.c_str());
}

TEST(LogicalDisk, DiesWithItsLastReference) {
    SyntheticVolume volume;
    auto opened = volume.Open();
    CLogicalDisk* disk = opened.disk.get();
    disk->AddRef();
    disk->AddRef();
    EXPECT_EQ(disk->Release(), 2u);
    EXPECT_EQ(disk->Release(), 1u);
    opened.disk.detach();
    EXPECT_EQ(disk->Release(), 0u); // destroyed; the sanitizer build checks that nothing leaks
}

} // namespace
} // namespace Krod
