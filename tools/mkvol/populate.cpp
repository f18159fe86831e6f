#include "populate.h"

#include "ntfs3g.h"
#include "utf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <sys/stat.h>

namespace mkvol {

namespace {

// libntfs-3g's ntfschar is a little-endian UTF-16 code unit, which on the little-endian hosts this
// builder runs on is a char16_t as it is.
static_assert(sizeof(ntfschar) == sizeof(char16_t), "ntfschar is one UTF-16 code unit");

constexpr uint32_t kMountPointTag = 0xA0000003; // Microsoft-owned, name surrogate, mount point
constexpr size_t kWriteChunk = 64 * 1024;
constexpr size_t kMaxNameUnits = 255; // a FILE_NAME holds its length in one byte

ntfschar* Units(std::u16string& text) {
    return reinterpret_cast<ntfschar*>(text.data());
}

// Owns an open inode; release() hands it to a library call that closes it itself.
class Inode {
  public:
    explicit Inode(ntfs_inode* ni = nullptr) : ni_(ni) {}
    ~Inode() {
        if (ni_)
            ntfs_inode_close(ni_);
    }
    Inode(Inode&& other) noexcept : ni_(other.release()) {}
    // The inode held before goes to other, which closes it.
    Inode& operator=(Inode&& other) noexcept {
        std::swap(ni_, other.ni_);
        return *this;
    }
    ntfs_inode* get() const { return ni_; }
    ntfs_inode* release() {
        ntfs_inode* ni = ni_;
        ni_ = nullptr;
        return ni;
    }
    explicit operator bool() const { return ni_ != nullptr; }

  private:
    ntfs_inode* ni_;
};

// A volume path split into its names: "\a\b" gives {"a", "b"}; "\" gives none.
std::vector<std::u16string> SplitPath(const Command& command, const std::string& path) {
    if (path.empty() || path[0] != '\\')
        command.Fail("a path starts with \\: " + path);
    std::vector<std::u16string> names;
    size_t start = 1;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end == start)
            command.Fail("empty name in " + path);
        names.push_back(Utf8ToUtf16(path.substr(start, end - start)));
        if (names.back().size() > kMaxNameUnits)
            command.Fail("name longer than 255 UTF-16 units in " + path);
        start = end + 1;
    }
    return names;
}

// Deterministic file content: a byte pattern that differs between files, so that no two
// clusters of different files look alike, and that never is all zeros.
uint8_t ContentByte(uint32_t seed, uint64_t offset) {
    return static_cast<uint8_t>(1 + (seed + offset) % 251);
}

uint32_t Seed(const std::string& text) {
    uint32_t h = 2166136261u; // FNV-1a
    for (const char c : text)
        h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h;
}

class Writer {
  public:
    explicit Writer(const std::string& image)
        : vol_(ntfs_mount(image.c_str(), static_cast<ntfs_mount_flags>(0))) {
        if (!vol_)
            throw std::runtime_error(image +
                                     ": libntfs-3g cannot open the new volume: " + std::strerror(errno));
        // The library keeps the free cluster count up to date only once it has been counted.
        if (ntfs_volume_get_free_space(vol_) != 0)
            throw std::runtime_error(image + ": cannot count the free clusters: " + std::strerror(errno));
    }
    ~Writer() {
        if (vol_)
            ntfs_umount(vol_, TRUE);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void Close() {
        ntfs_volume* vol = vol_;
        vol_ = nullptr;
        if (ntfs_umount(vol, FALSE) != 0)
            throw std::runtime_error(std::string("closing the volume: ") + std::strerror(errno));
    }

    void Run(const Command& c, std::vector<Alteration>& alterations) {
        CheckOperands(c);
        if (c.verb == "dir")
            Directory(c, c.Operand(0));
        else if (c.verb == "file")
            File(c, c.Operand(0), c.Number("size"));
        else if (c.verb == "files")
            Files(c);
        else if (c.verb == "fill")
            Fill(c);
        else if (c.verb == "thin")
            Thin(c);
        else if (c.verb == "link")
            Link(c);
        else if (c.verb == "links")
            Links(c);
        else if (c.verb == "dos")
            Dos(c);
        else if (c.verb == "stream")
            Stream(c);
        else if (c.verb == "junction")
            Junction(c, c.Operand(0), c.Operand(1));
        else if (c.verb == "junctions")
            Junctions(c);
        else if (c.verb == "delete")
            Delete(c, c.Operand(0));
        else // namespace, fn-flags, rename, patch, raw: CheckOperands knows no other verb
            alterations.push_back(Resolve(c));
    }

  private:
    // Refuses unknown verbs, and quoting mistakes, which show up as extra operands: a name with
    // blanks split in two.
    static void CheckOperands(const Command& c) {
        static const std::map<std::string, size_t> counts = {
            {"dir", 1},       {"file", 1},     {"files", 1},     {"fill", 1},
            {"thin", 1},      {"link", 2},     {"links", 2},     {"dos", 2},
            {"stream", 1},    {"junction", 2}, {"junctions", 1}, {"delete", 1},
            {"namespace", 1}, {"fn-flags", 1}, {"rename", 2},    {"raw", 0}};
        const auto it = counts.find(c.verb);
        if (it == counts.end() && c.verb != "patch")
            c.Fail("unknown command " + c.verb);
        // patch names its record by path or by record=N.
        const size_t expected = it != counts.end() ? it->second : c.operands.size() == 1 ? 1 : 0;
        if (c.operands.size() != expected)
            c.Fail(c.verb + " takes " + std::to_string(expected) + " operand(s), not " +
                   std::to_string(c.operands.size()) + " (a name with blanks needs double quotes)");
    }

    Inode Root() const {
        Inode root(ntfs_inode_open(vol_, FILE_root));
        if (!root)
            throw std::runtime_error(std::string("cannot open the root directory: ") + std::strerror(errno));
        return root;
    }

    // The inode of name in dir, or an empty one when there is no such name.
    Inode Child(const Inode& dir, std::u16string name) const {
        const u64 ref = ntfs_inode_lookup_by_name(dir.get(), Units(name), static_cast<int>(name.size()));
        if (ref == static_cast<u64>(-1))
            return Inode();
        return Inode(ntfs_inode_open(vol_, MREF(ref)));
    }

    // The directory that holds the last name of path, created (with its own parents) when create
    // is set; its name goes to leaf.
    Inode Parent(const Command& c, const std::string& path, bool create, std::u16string& leaf) {
        std::vector<std::u16string> names = SplitPath(c, path);
        if (names.empty())
            c.Fail("the root has no parent");
        leaf = names.back();
        names.pop_back();
        Inode dir = Root();
        for (auto& name : names) {
            Inode next = Child(dir, name);
            if (!next && create)
                next = Inode(ntfs_create(dir.get(), const_cpu_to_le32(0), Units(name),
                                         static_cast<u8>(name.size()), S_IFDIR));
            if (!next)
                c.Fail("no directory " + Utf16ToUtf8(name) + " on the way to " + path + ": " +
                       std::strerror(errno));
            dir = std::move(next);
        }
        return dir;
    }

    Inode Existing(const Command& c, const std::string& path) {
        std::u16string leaf;
        if (SplitPath(c, path).empty())
            return Root();
        Inode dir = Parent(c, path, false, leaf);
        Inode ni = Child(dir, leaf);
        if (!ni)
            c.Fail("no such file or directory: " + path);
        return ni;
    }

    Inode Create(const Command& c, const std::string& path, mode_t type) {
        std::u16string leaf;
        Inode dir = Parent(c, path, true, leaf);
        if (Child(dir, leaf))
            c.Fail("already exists: " + path);
        Inode ni(
            ntfs_create(dir.get(), const_cpu_to_le32(0), Units(leaf), static_cast<u8>(leaf.size()), type));
        if (!ni)
            c.Fail("cannot create " + path + ": " + std::strerror(errno));
        return ni;
    }

    // Writes size bytes of content into the data stream named stream (empty: the unnamed one).
    void Write(const Command& c, const Inode& ni, std::u16string stream, uint64_t size, uint32_t seed) {
        ntfs_attr* na = ntfs_attr_open(ni.get(), AT_DATA, stream.empty() ? AT_UNNAMED : Units(stream),
                                       static_cast<u32>(stream.size()));
        if (!na)
            c.Fail(std::string("cannot open the data stream: ") + std::strerror(errno));
        std::vector<uint8_t> chunk(kWriteChunk);
        for (uint64_t done = 0; done < size;) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(size - done, chunk.size()));
            for (size_t i = 0; i < piece; ++i)
                chunk[i] = ContentByte(seed, done + i);
            const s64 put =
                ntfs_attr_pwrite(na, static_cast<s64>(done), static_cast<s64>(piece), chunk.data());
            if (put != static_cast<s64>(piece)) {
                const int error = errno;
                ntfs_attr_close(na);
                c.Fail(std::string("writing data: ") + std::strerror(error));
            }
            done += piece;
        }
        ntfs_attr_close(na);
    }

    void Directory(const Command& c, const std::string& path) { Create(c, path, S_IFDIR); }

    void File(const Command& c, const std::string& path, uint64_t size) {
        Write(c, Create(c, path, S_IFREG), u"", size, Seed(path));
    }

    static std::string Numbered(const std::string& dir, const std::string& prefix, uint64_t i) {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%05llu", static_cast<unsigned long long>(i));
        return dir + "\\" + prefix + digits;
    }

    void Files(const Command& c) {
        const uint64_t count = c.Number("count");
        const uint64_t size = c.Number("size", 0);
        const std::string prefix = c.Text("prefix", "f");
        for (uint64_t i = 0; i < count; ++i)
            File(c, Numbered(c.Operand(0), prefix, i), size);
    }

    // Files of the given size while the volume has room for one more and keep bytes besides (room
    // for the directory's index and the MFT to grow).
    void Fill(const Command& c) {
        const uint64_t size = c.Number("size");
        const uint64_t keep = c.Number("keep", 0);
        const std::string prefix = c.Text("prefix", "f");
        if (size == 0)
            c.Fail("fill needs a size above 0");
        for (uint64_t i = 0; static_cast<uint64_t>(vol_->free_clusters) * vol_->cluster_size >= size + keep;
             ++i)
            File(c, Numbered(c.Operand(0), prefix, i), size);
    }

    // Deletes the numbered files 0, every, 2 every, ... of a files or fill command, up to the first
    // number that does not exist.
    void Thin(const Command& c) {
        const uint64_t every = c.Number("every");
        if (every == 0)
            c.Fail("every must be at least 1");
        const std::string prefix = c.Text("prefix", "f");
        for (uint64_t i = 0;; i += every) {
            const std::string path = Numbered(c.Operand(0), prefix, i);
            std::u16string leaf;
            Inode dir = Parent(c, path, false, leaf);
            if (!Child(dir, leaf))
                return;
            dir = Inode();
            Delete(c, path);
        }
    }

    void Link(const Command& c) {
        Inode ni = Existing(c, c.Operand(0));
        std::u16string leaf;
        Inode dir = Parent(c, c.Operand(1), true, leaf);
        if (ntfs_link(ni.get(), dir.get(), Units(leaf), static_cast<u8>(leaf.size())) != 0)
            c.Fail("cannot link " + c.Operand(1) + ": " + std::strerror(errno));
    }

    void Dos(const Command& c) {
        const std::string& path = c.Operand(0);
        const std::string& shortName = c.Operand(1);
        std::u16string leaf;
        Inode dir = Parent(c, path, false, leaf);
        Inode ni = Child(dir, leaf);
        if (!ni)
            c.Fail("no such file or directory: " + path);
        // The call closes both inodes, whatever its outcome.
        if (ntfs_set_ntfs_dos_name(ni.release(), dir.release(), shortName.data(), shortName.size(), 0) != 0)
            c.Fail("cannot set the DOS name " + shortName + ": " + std::strerror(errno));
    }

    void Stream(const Command& c) {
        const std::string& streamPath = c.Operand(0);
        const size_t colon = streamPath.find(':');
        if (colon == std::string::npos || colon + 1 == streamPath.size())
            c.Fail("a stream is named PATH:NAME");
        const std::string path = streamPath.substr(0, colon);
        std::u16string stream = Utf8ToUtf16(streamPath.substr(colon + 1));
        Inode ni = Existing(c, path);
        if (ntfs_attr_add(ni.get(), AT_DATA, Units(stream), static_cast<u8>(stream.size()), nullptr, 0) != 0)
            c.Fail("cannot add the stream: " + std::string(std::strerror(errno)));
        Write(c, ni, stream, c.Number("size"), Seed(streamPath));
    }

    // A mount point: the substitute name as given, the print name without the \??\ prefix.
    void Junction(const Command& c, const std::string& path, const std::string& targetText) {
        const std::u16string target = Utf8ToUtf16(targetText);
        const std::u16string prefix = u"\\??\\";
        const std::u16string print =
            target.compare(0, prefix.size(), prefix) == 0 ? target.substr(prefix.size()) : target;
        std::u16string leaf;
        Inode dir = Parent(c, path, true, leaf);
        Inode ni = Child(dir, leaf);
        if (!ni)
            ni = Inode(ntfs_create(dir.get(), const_cpu_to_le32(0), Units(leaf), static_cast<u8>(leaf.size()),
                                   S_IFDIR));
        if (!ni)
            c.Fail("cannot create " + path + ": " + std::strerror(errno));
        // Closed first: closing the reparse point's inode while its parent is open leaves the
        // parent's inode allocated in the library (LeakSanitizer's finding).
        dir = Inode();

        // Reparse header (tag, data length, reserved), mount-point header (substitute name offset
        // and length, print name offset and length, in bytes), then both names, each NUL-terminated.
        std::vector<uint8_t> data;
        auto u16 = [&](size_t v) {
            data.push_back(static_cast<uint8_t>(v));
            data.push_back(static_cast<uint8_t>(v >> 8));
        };
        const size_t substituteBytes = target.size() * 2;
        const size_t printBytes = print.size() * 2;
        const size_t dataLength = 8 + substituteBytes + 2 + printBytes + 2;
        u16(kMountPointTag & 0xFFFF);
        u16(kMountPointTag >> 16);
        u16(dataLength);
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
        if (ntfs_set_ntfs_reparse_data(ni.get(), reinterpret_cast<const char*>(data.data()), data.size(),
                                       0) != 0)
            c.Fail("cannot set the junction data: " + std::string(std::strerror(errno)));
    }

    // All directories first, then their reparse data: created one by one, the directory's index
    // blocks and $R's would interleave, and the directory's run list would push its FILE_NAME out
    // to an extension record.
    void Junctions(const Command& c) {
        const uint64_t count = c.Number("count");
        const std::string target = c.Text("target", "");
        if (target.empty())
            c.Fail("junctions needs target=");
        const std::string prefix = c.Text("prefix", "j");
        for (uint64_t i = 0; i < count; ++i)
            Directory(c, Numbered(c.Operand(0), prefix, i));
        for (uint64_t i = 0; i < count; ++i)
            Junction(c, Numbered(c.Operand(0), prefix, i), target);
    }

    // More names for one file than its record holds: the library moves attributes, FILE_NAMEs
    // among them, to extension records listed in an $ATTRIBUTE_LIST.
    void Links(const Command& c) {
        const uint64_t count = c.Number("count");
        const std::string prefix = c.Text("prefix", "link");
        Inode ni = Existing(c, c.Operand(0));
        for (uint64_t i = 0; i < count; ++i) {
            const std::string path = Numbered(c.Operand(1), prefix, i);
            std::u16string leaf;
            Inode dir = Parent(c, path, true, leaf);
            if (ntfs_link(ni.get(), dir.get(), Units(leaf), static_cast<u8>(leaf.size())) != 0)
                c.Fail("cannot link " + path + ": " + std::strerror(errno));
        }
    }

    void Delete(const Command& c, const std::string& path) {
        std::u16string leaf;
        Inode dir = Parent(c, path, false, leaf);
        Inode ni = Child(dir, leaf);
        if (!ni)
            c.Fail("no such file or directory: " + path);
        std::string slashed = path;
        for (char& ch : slashed)
            if (ch == '\\')
                ch = '/';
        // The call closes both inodes, whatever its outcome.
        if (ntfs_delete(vol_, slashed.c_str(), ni.release(), dir.release(), Units(leaf),
                        static_cast<u8>(leaf.size())) != 0)
            c.Fail("cannot delete " + path + ": " + std::strerror(errno));
    }

    Alteration Resolve(const Command& c) {
        Alteration a;
        a.origin = c.origin;
        if (c.verb == "raw") {
            a.kind = Alteration::Kind::RawPatch;
            a.offset = c.Number("offset");
            a.bytes = c.Bytes("bytes");
            return a;
        }
        if (c.verb == "patch" && c.operands.empty()) {
            a.record = c.Number("record");
        } else {
            const std::vector<std::u16string> names = SplitPath(c, c.Operand(0));
            if (names.empty())
                c.Fail("the root's name cannot be changed here");
            a.name = names.back();
            a.record = Existing(c, c.Operand(0)).get()->mft_no;
        }
        if (c.verb == "namespace") {
            a.kind = Alteration::Kind::Namespace;
            a.value = static_cast<uint32_t>(c.Number("ns"));
            if (a.value > 3)
                c.Fail("a namespace is 0 to 3");
        } else if (c.verb == "fn-flags") {
            a.kind = Alteration::Kind::Flags;
            a.value = static_cast<uint32_t>(c.Number("set", 0));
            a.clear = static_cast<uint32_t>(c.Number("clear", 0));
        } else if (c.verb == "rename") {
            a.kind = Alteration::Kind::Rename;
            a.to = Utf8ToUtf16(c.Operand(1));
        } else {
            a.kind = Alteration::Kind::RecordPatch;
            a.offset = c.Number("offset");
            a.bytes = c.Bytes("bytes");
        }
        return a;
    }

    ntfs_volume* vol_;
};

} // namespace

std::vector<Alteration> Populate(const std::string& image, const std::vector<Command>& commands) {
    std::vector<Alteration> alterations;
    Writer writer(image);
    for (size_t i = 1; i < commands.size(); ++i)
        writer.Run(commands[i], alterations);
    writer.Close();
    return alterations;
}

} // namespace mkvol
