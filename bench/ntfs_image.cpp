#include "ntfs_image.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

// After the standard headers: the library's headers define macros (min, max) that would break them.
extern "C" {
#include <ntfs-3g/types.h>

#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/reparse.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}

namespace genvol {
namespace {

// Junction reparse points (IO_REPARSE_TAG_MOUNT_POINT) and the prefix of their substitute name.
constexpr uint32_t kMountPointTag = 0xA0000003;
const char* const kNtPrefix = "\\??\\";
// Every reparse point starts with its tag, the data length and a reserved word; a junction's data then holds
// the offsets and lengths of its two names (four 16-bit fields) and the buffer with both names.
constexpr size_t kReparseHeader = 8;
constexpr size_t kMountPointFields = 8;

[[noreturn]] void fail(const std::string& what, const std::string& name) {
    throw std::runtime_error(what + " \"" + name + "\": " + std::strerror(errno));
}

// A UTF-8 name in the library's little-endian UTF-16.
class Name {
  public:
    explicit Name(const std::string& text) {
        length_ = ntfs_mbstoucs(text.c_str(), &units_);
        if (length_ < 0)
            fail("convert", text);
        if (length_ > 255) {
            errno = ENAMETOOLONG;
            fail("convert", text);
        }
    }
    ~Name() { std::free(units_); }
    Name(const Name&) = delete;
    Name& operator=(const Name&) = delete;

    ntfschar* units() const { return units_; }
    u8 length() const { return static_cast<u8>(length_); }
    int count() const { return length_; }

  private:
    ntfschar* units_ = nullptr;
    int length_ = 0;
};

// An open inode that is closed on every way out; release() hands it to a call that closes it itself.
class Inode {
  public:
    explicit Inode(ntfs_inode* inode) : inode_(inode) {}
    ~Inode() {
        if (inode_)
            ntfs_inode_close(inode_);
    }
    Inode(const Inode&) = delete;
    Inode& operator=(const Inode&) = delete;

    ntfs_inode* get() const { return inode_; }
    ntfs_inode* release() {
        ntfs_inode* inode = inode_;
        inode_ = nullptr;
        return inode;
    }
    void close() {
        const uint64_t record = inode_->mft_no;
        if (ntfs_inode_close(release()))
            fail("close record", std::to_string(record));
    }

  private:
    ntfs_inode* inode_;
};

Inode open_record(ntfs_volume* volume, uint64_t record) {
    ntfs_inode* inode = ntfs_inode_open(volume, record);
    if (!inode)
        fail("open record", std::to_string(record));
    return Inode(inode);
}

void put16(std::vector<char>& out, size_t offset, uint16_t value) {
    out[offset] = static_cast<char>(value & 0xFF);
    out[offset + 1] = static_cast<char>(value >> 8);
}

} // namespace

NtfsImage::NtfsImage(const std::string& path) {
    ntfs_log_set_handler(ntfs_log_handler_stderr);
    volume_ = ntfs_mount(path.c_str(), 0);
    if (!volume_)
        fail("mount", path);
}

NtfsImage::~NtfsImage() {
    if (volume_)
        ntfs_umount(volume_, FALSE);
}

void NtfsImage::close() {
    ntfs_volume* volume = volume_;
    volume_ = nullptr;
    if (ntfs_umount(volume, FALSE))
        fail("unmount", "volume");
}

uint64_t NtfsImage::create_directory(uint64_t parent, const std::string& name) {
    Inode directory = open_record(volume_, parent);
    const Name unicode(name);
    Inode created(ntfs_create(directory.get(), 0, unicode.units(), unicode.length(), S_IFDIR));
    if (!created.get())
        fail("create directory", name);
    directory.close();
    const uint64_t record = created.get()->mft_no;
    created.close();
    return record;
}

uint64_t NtfsImage::create_file(uint64_t parent, const std::string& name, const FileBody& body) {
    Inode directory = open_record(volume_, parent);
    const Name unicode(name);
    Inode file(ntfs_create(directory.get(), 0, unicode.units(), unicode.length(), S_IFREG));
    if (!file.get())
        fail("create file", name);
    directory.close();
    // The small stream goes first: a resident content that then outgrows the record is moved out to clusters,
    // whereas a stream added to a full record would push the file into an attribute list.
    if (!body.stream_name.empty()) {
        const Name stream(body.stream_name);
        if (ntfs_attr_add(file.get(), AT_DATA, stream.units(), stream.length(), nullptr, 0))
            fail("add stream to", name);
        ntfs_attr* data = ntfs_attr_open(file.get(), AT_DATA, stream.units(), stream.count());
        if (!data)
            fail("open stream of", name);
        const auto size = static_cast<s64>(body.stream_data.size());
        const bool ok = ntfs_attr_pwrite(data, 0, size, body.stream_data.data()) == size;
        ntfs_attr_close(data);
        if (!ok)
            fail("write stream of", name);
    }
    if (!body.data.empty() || body.size > 0) {
        ntfs_attr* data = ntfs_attr_open(file.get(), AT_DATA, AT_UNNAMED, 0);
        if (!data)
            fail("open data of", name);
        const auto size = static_cast<s64>(body.data.size());
        // "Solid": the clusters are allocated as a written file's would be, instead of leaving a hole.
        const bool ok = body.size > body.data.size()
                            ? ntfs_attr_truncate_solid(data, static_cast<s64>(body.size)) == 0
                            : ntfs_attr_pwrite(data, 0, size, body.data.data()) == size;
        ntfs_attr_close(data);
        if (!ok)
            fail("write data of", name);
    }
    const uint64_t record = file.get()->mft_no;
    file.close();
    return record;
}

void NtfsImage::set_short_name(uint64_t record, uint64_t parent, const std::string& short_name) {
    Inode file = open_record(volume_, record);
    Inode directory = open_record(volume_, parent);
    // The call closes both inodes, whatever its outcome.
    if (ntfs_set_ntfs_dos_name(file.release(), directory.release(), short_name.data(), short_name.size(), 0))
        fail("set short name", short_name);
}

void NtfsImage::link(uint64_t record, uint64_t parent, const std::string& name) {
    Inode file = open_record(volume_, record);
    Inode directory = open_record(volume_, parent);
    const Name unicode(name);
    if (ntfs_link(file.get(), directory.get(), unicode.units(), unicode.length()))
        fail("link", name);
    directory.close();
    file.close();
}

void NtfsImage::make_junction(uint64_t record, const std::string& target) {
    const Name substitute(kNtPrefix + target);
    const Name print(target);
    const size_t substitute_bytes = 2 * static_cast<size_t>(substitute.count());
    const size_t print_bytes = 2 * static_cast<size_t>(print.count());
    const size_t path_bytes = substitute_bytes + 2 + print_bytes + 2;
    std::vector<char> buffer(kReparseHeader + kMountPointFields + path_bytes, 0);
    put16(buffer, 0, static_cast<uint16_t>(kMountPointTag & 0xFFFF));
    put16(buffer, 2, static_cast<uint16_t>(kMountPointTag >> 16));
    put16(buffer, 4, static_cast<uint16_t>(kMountPointFields + path_bytes)); // data length, after the header
    put16(buffer, 8, 0);                                                     // substitute name offset
    put16(buffer, 10, static_cast<uint16_t>(substitute_bytes));
    put16(buffer, 12, static_cast<uint16_t>(substitute_bytes + 2)); // print name offset
    put16(buffer, 14, static_cast<uint16_t>(print_bytes));
    char* paths = buffer.data() + kReparseHeader + kMountPointFields;
    std::memcpy(paths, substitute.units(), substitute_bytes);
    std::memcpy(paths + substitute_bytes + 2, print.units(), print_bytes);

    Inode directory = open_record(volume_, record);
    if (ntfs_set_ntfs_reparse_data(directory.get(), buffer.data(), buffer.size(), 0))
        fail("make junction to", target);
    directory.close();
}

void NtfsImage::remove(uint64_t record, uint64_t parent, const std::string& name) {
    Inode file = open_record(volume_, record);
    Inode directory = open_record(volume_, parent);
    const Name unicode(name);
    // The call closes both inodes, whatever its outcome.
    if (ntfs_delete(volume_, nullptr, file.release(), directory.release(), unicode.units(), unicode.length()))
        fail("delete", name);
}

AttributeListUse NtfsImage::attribute_list_use(uint64_t record) {
    Inode inode = open_record(volume_, record);
    AttributeListUse use;
    use.has_list = NInoAttrList(inode.get());
    std::set<uint64_t> extensions;
    const u8* list = inode.get()->attr_list;
    const size_t size = use.has_list ? inode.get()->attr_list_size : 0;
    for (size_t at = 0; size - at >= sizeof(ATTR_LIST_ENTRY);) {
        ATTR_LIST_ENTRY entry;
        std::memcpy(&entry, list + at, sizeof entry);
        const size_t length = le16_to_cpu(entry.length);
        if (length == 0 || length > size - at)
            break;
        const uint64_t holder = MREF_LE(entry.mft_reference);
        if (holder != record)
            extensions.insert(holder);
        at += length;
    }
    use.extension_records = extensions.size();
    inode.close();
    return use;
}

} // namespace genvol
