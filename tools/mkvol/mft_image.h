// An image file seen as an MFT: the geometry from the boot sector and the $MFT run list from
// record 0, read by this builder's own few lines rather than through libntfs-3g, so that records
// can still be patched after an earlier patch has made the volume unmountable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mkvol {

struct Run {
    uint64_t vcn = 0;
    int64_t lcn = 0; // -1 for a sparse run
    uint64_t length = 0;
};

class MftImage {
  public:
    // Opens the image for reading and writing. Throws std::runtime_error on I/O errors and on a
    // boot sector or record 0 it cannot make sense of.
    explicit MftImage(const std::string& path);
    ~MftImage();
    MftImage(const MftImage&) = delete;
    MftImage& operator=(const MftImage&) = delete;

    // Undoes record n's fixups, lets edit change the logical bytes, redoes the fixups with the
    // record's own sequence number and writes it back. Throws std::runtime_error when the record's
    // fixups are already broken. An edit of a saved word inside the update sequence array is lost
    // to the redo; an edit of the sequence number itself takes effect on every stretch.
    void EditRecord(uint64_t n, const std::function<void(std::vector<uint8_t>&)>& edit);

    // Writes bytes at an absolute image offset: no fixup is touched.
    void WriteRaw(uint64_t offset, const std::vector<uint8_t>& bytes);

  private:
    // Image offset of byte offset within the MFT's data; throws when the MFT does not cover it.
    uint64_t MftOffsetToImage(uint64_t offset) const;
    // Record n as it is on disk (fixups applied), and back.
    std::vector<uint8_t> ReadRecord(uint64_t n) const;
    void WriteRecord(uint64_t n, const std::vector<uint8_t>& bytes);
    void ReadAt(uint64_t offset, uint8_t* data, size_t size) const;
    void WriteAt(uint64_t offset, const uint8_t* data, size_t size);

    int fd_ = -1;
    std::string path_;
    uint32_t clusterSize_ = 0;
    uint32_t recordSize_ = 0;
    std::vector<Run> mftRuns_;
};

} // namespace mkvol
