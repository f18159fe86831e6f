#include "writer.h"

#include "ntfs3g.h"
#include "utf.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace mkvol {

namespace {

// libntfs-3g's ntfschar is a little-endian UTF-16 code unit, which on the little-endian hosts this
// writer runs on is a char16_t as it is.
static_assert(sizeof(ntfschar) == sizeof(char16_t), "ntfschar is one UTF-16 code unit");

constexpr uint32_t kMountPointTag = 0xA0000003; // Microsoft-owned, name surrogate, mount point
constexpr size_t kWriteChunk = 64 * 1024;
constexpr size_t kMaxNameUnits = 255; // a FILE_NAME holds its length in one byte
const std::u16string kNtPrefix = u"\\??\\";

[[noreturn]] void Fail(const std::string& what) {
    throw WriteError(what + ": " + std::strerror(errno));
}

// The name as the library takes it; throws when it does not fit a FILE_NAME.
ntfschar* Units(const std::u16string& name) {
    if (name.empty() || name.size() > kMaxNameUnits)
        throw WriteError("a name has 1 to 255 UTF-16 units: \"" + Utf16ToUtf8(name) + "\"");
    return reinterpret_cast<ntfschar*>(const_cast<char16_t*>(name.data()));
}

// Owns an open inode; Release() hands it to a library call that closes it itself.
class Inode {
  public:
    Inode(ntfs_volume* vol, uint64_t record) : ni_(ntfs_inode_open(vol, record)) {
        if (!ni_)
            Fail("cannot open record " + std::to_string(record));
    }
    explicit Inode(ntfs_inode* ni) : ni_(ni) {}
    ~Inode() {
        if (ni_)
            ntfs_inode_close(ni_);
    }
    Inode(const Inode&) = delete;
    Inode& operator=(const Inode&) = delete;

    ntfs_inode* get() const { return ni_; }
    ntfs_inode* Release() {
        ntfs_inode* ni = ni_;
        ni_ = nullptr;
        return ni;
    }
    // Closes now, reporting a failure to write the inode back.
    void Close() {
        const uint64_t record = ni_->mft_no;
        if (ntfs_inode_close(Release()) != 0)
            Fail("cannot write record " + std::to_string(record));
    }

  private:
    ntfs_inode* ni_;
};

// An open data stream, closed on every way out.
class Stream {
  public:
    Stream(const Inode& ni, const std::u16string& name)
        : na_(ntfs_attr_open(ni.get(), AT_DATA, name.empty() ? AT_UNNAMED : Units(name),
                             static_cast<u32>(name.size()))) {
        if (!na_)
            Fail("cannot open the data stream of record " + std::to_string(ni.get()->mft_no));
    }
    ~Stream() { ntfs_attr_close(na_); }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ntfs_attr* get() const { return na_; }

  private:
    ntfs_attr* na_;
};

// Reparse header (tag, data length, reserved), mount-point header (substitute name offset and
// length, print name offset and length, in bytes), then both names, each NUL-terminated.
std::vector<uint8_t> MountPoint(const std::u16string& target) {
    const std::u16string print =
        target.compare(0, kNtPrefix.size(), kNtPrefix) == 0 ? target.substr(kNtPrefix.size()) : target;
    std::vector<uint8_t> data;
    auto u16 = [&](size_t v) {
        data.push_back(static_cast<uint8_t>(v));
        data.push_back(static_cast<uint8_t>(v >> 8));
    };
    const size_t substituteBytes = target.size() * 2;
    const size_t printBytes = print.size() * 2;
    u16(kMountPointTag & 0xFFFF);
    u16(kMountPointTag >> 16);
    u16(8 + substituteBytes + 2 + printBytes + 2); // data length, after the reparse header
    u16(0);
    u16(0);
    u16(substituteBytes);
    u16(substituteBytes + 2);
    u16(printBytes);
    for (const char16_t unit : target)
        u16(unit);
    u16(0);
    for (const char16_t unit : print)
        u16(unit);
    u16(0);
    return data;
}

} // namespace

Writer::Writer(const std::string& image) : vol_(ntfs_mount(image.c_str(), static_cast<ntfs_mount_flags>(0))) {
    if (!vol_)
        Fail(image + ": libntfs-3g cannot open the volume");
    // The library keeps the free cluster count up to date only once it has been counted.
    if (ntfs_volume_get_free_space(vol_) != 0)
        Fail(image + ": cannot count the free clusters");
}

Writer::~Writer() {
    if (vol_)
        ntfs_umount(vol_, TRUE);
}

void Writer::Close() {
    ntfs_volume* vol = vol_;
    vol_ = nullptr;
    if (ntfs_umount(vol, FALSE) != 0)
        Fail("closing the volume");
}

uint64_t Writer::FreeBytes() const {
    return static_cast<uint64_t>(std::max<s64>(vol_->free_clusters, 0)) * vol_->cluster_size;
}

std::optional<uint64_t> Writer::Find(uint64_t dir, const std::u16string& name) const {
    Inode parent(vol_, dir);
    const u64 ref = ntfs_inode_lookup_by_name(parent.get(), Units(name), static_cast<int>(name.size()));
    if (ref == static_cast<u64>(-1))
        return std::nullopt;
    return MREF(ref);
}

uint64_t Writer::Create(uint64_t dir, const std::u16string& name, Type type) {
    Inode parent(vol_, dir);
    Inode ni(ntfs_create(parent.get(), const_cpu_to_le32(0), Units(name), static_cast<u8>(name.size()),
                         type == Type::Directory ? S_IFDIR : S_IFREG));
    if (!ni.get())
        Fail("cannot create " + Utf16ToUtf8(name));
    parent.Close();
    const uint64_t record = ni.get()->mft_no;
    ni.Close();
    return record;
}

void Writer::AddStream(uint64_t record, const std::u16string& stream) {
    Inode ni(vol_, record);
    if (ntfs_attr_add(ni.get(), AT_DATA, Units(stream), static_cast<u8>(stream.size()), nullptr, 0) != 0)
        Fail("cannot add the stream " + Utf16ToUtf8(stream));
    ni.Close();
}

void Writer::Write(uint64_t record, const std::u16string& stream, uint64_t offset,
                   const std::vector<uint8_t>& bytes) {
    Inode ni(vol_, record);
    {
        const Stream na(ni, stream);
        // In pieces, as a program writes a file: the clusters are allocated piece by piece.
        for (size_t done = 0; done < bytes.size();) {
            const size_t piece = std::min(bytes.size() - done, kWriteChunk);
            if (ntfs_attr_pwrite(na.get(), static_cast<s64>(offset + done), static_cast<s64>(piece),
                                 bytes.data() + done) != static_cast<s64>(piece))
                Fail("writing data to record " + std::to_string(record));
            done += piece;
        }
    }
    ni.Close();
}

void Writer::Allocate(uint64_t record, uint64_t size) {
    Inode ni(vol_, record);
    {
        const Stream na(ni, u"");
        if (ntfs_attr_truncate_solid(na.get(), static_cast<s64>(size)) != 0)
            Fail("allocating data to record " + std::to_string(record));
    }
    ni.Close();
}

void Writer::Link(uint64_t record, uint64_t dir, const std::u16string& name) {
    Inode ni(vol_, record);
    Inode parent(vol_, dir);
    if (ntfs_link(ni.get(), parent.get(), Units(name), static_cast<u8>(name.size())) != 0)
        Fail("cannot link " + Utf16ToUtf8(name));
    parent.Close();
    ni.Close();
}

void Writer::SetDosName(uint64_t record, uint64_t dir, const std::string& shortName) {
    Inode ni(vol_, record);
    Inode parent(vol_, dir);
    // The call closes both inodes, whatever its outcome.
    if (ntfs_set_ntfs_dos_name(ni.Release(), parent.Release(), shortName.data(), shortName.size(), 0) != 0)
        Fail("cannot set the DOS name " + shortName);
}

void Writer::MakeJunction(uint64_t record, const std::u16string& target) {
    const std::vector<uint8_t> data = MountPoint(target);
    Inode ni(vol_, record);
    if (ntfs_set_ntfs_reparse_data(ni.get(), reinterpret_cast<const char*>(data.data()), data.size(), 0) != 0)
        Fail("cannot set the junction data");
    ni.Close();
}

void Writer::Delete(uint64_t record, uint64_t dir, const std::u16string& name) {
    Inode ni(vol_, record);
    Inode parent(vol_, dir);
    // The call closes both inodes, whatever its outcome.
    if (ntfs_delete(vol_, nullptr, ni.Release(), parent.Release(), Units(name),
                    static_cast<u8>(name.size())) != 0)
        Fail("cannot delete " + Utf16ToUtf8(name));
}

} // namespace mkvol
