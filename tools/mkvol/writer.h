// The libntfs-3g writer that fills a formatted image without a mount: the recipe builder and the
// benchmarks' large-volume generator both write through it. Files are addressed by record number;
// every call opens the inodes it needs and closes them before it returns, because a file's entry
// in its directory's index is updated through a fresh copy of the directory when the file is
// closed, so a directory held open across such a close would later write back a stale index.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct _ntfs_volume;

namespace mkvol {

constexpr uint64_t kRootRecord = 5;

// A call of the library failed; the text names the call and gives errno's text.
struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Writer {
  public:
    enum class Type { File, Directory };

    // Opens the volume in image read-write. Throws WriteError.
    explicit Writer(const std::string& image);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Writes everything back and releases the volume; the destructor releases it without reporting.
    void Close();

    // Bytes in free clusters.
    uint64_t FreeBytes() const;

    // The record of name in the directory dir, if it has one.
    std::optional<uint64_t> Find(uint64_t dir, const std::u16string& name) const;
    // The record of a new file or directory name (POSIX namespace, as the library writes) in dir.
    uint64_t Create(uint64_t dir, const std::u16string& name, Type type);
    // Adds the empty named data stream stream to record.
    void AddStream(uint64_t record, const std::u16string& stream);
    // Writes bytes at offset into the data stream stream (empty: the unnamed one). Writing past the
    // end leaves a hole, which the library keeps sparse.
    void Write(uint64_t record, const std::u16string& stream, uint64_t offset,
               const std::vector<uint8_t>& bytes);
    // Sets the unnamed stream's size without writing, its clusters allocated as a written file's.
    void Allocate(uint64_t record, uint64_t size);
    // Adds the hard link name in dir to record.
    void Link(uint64_t record, uint64_t dir, const std::u16string& name);
    // Gives record, whose name in dir is long, the DOS name shortName: the long name turns Win32
    // beside a DOS name, or into one Win32&DOS name when both are equal ignoring case.
    void SetDosName(uint64_t record, uint64_t dir, const std::string& shortName);
    // Makes the directory record a mount point with substitute name target (\??\C:\dir) and print
    // name target without \??\; the library adds it to $Extend\$Reparse.
    void MakeJunction(uint64_t record, const std::u16string& target);
    // Removes name (the record's name in dir); the record keeps its names and data.
    void Delete(uint64_t record, uint64_t dir, const std::u16string& name);

  private:
    _ntfs_volume* vol_;
};

} // namespace mkvol
