#pragma once

#include <cstdint>
#include <string>

struct _ntfs_volume;

namespace genvol {

// The unnamed data stream of a new file and, optionally, one named stream.
struct FileBody {
    std::string data;        // written as the file's content
    uint64_t size = 0;       // when larger than data: the length is set without writing, clusters allocated
    std::string stream_name; // empty: no named stream
    std::string stream_data;
};

struct AttributeListUse {
    bool has_list = false;
    uint64_t extension_records = 0;
};

// A volume image opened read-write through libntfs-3g, addressed by MFT record numbers. Every call opens
// the inodes it needs and closes them again before it returns: a file's entry in its directory's index is
// updated through a fresh copy of the directory when the file is closed, so a directory held open across
// such a close would later write back a stale index. Failures throw std::runtime_error naming the call.
class NtfsImage {
  public:
    explicit NtfsImage(const std::string& path);
    ~NtfsImage();
    NtfsImage(const NtfsImage&) = delete;
    NtfsImage& operator=(const NtfsImage&) = delete;

    // Record number of the new directory or file, named `name` (UTF-8) in directory `parent`.
    uint64_t create_directory(uint64_t parent, const std::string& name);
    uint64_t create_file(uint64_t parent, const std::string& name, const FileBody& body);

    // Gives `record`, whose only name is in `parent`, the 8.3 name `short_name` (upper-case ASCII).
    void set_short_name(uint64_t record, uint64_t parent, const std::string& short_name);
    // Adds the hard link `parent`\`name` to `record`.
    void link(uint64_t record, uint64_t parent, const std::string& name);
    // Turns the empty directory `record` into a junction to `target`, a path such as "C:\Users\ana".
    void make_junction(uint64_t record, const std::string& target);
    // Deletes `name` in `parent`, the only name of `record` (a file or an empty directory).
    void remove(uint64_t record, uint64_t parent, const std::string& name);

    // Whether the base record `record` has an attribute list, and in how many other records it points.
    AttributeListUse attribute_list_use(uint64_t record);

    // Writes everything back and releases the volume; the destructor does the same but cannot report.
    void close();

  private:
    _ntfs_volume* volume_;
};

} // namespace genvol
