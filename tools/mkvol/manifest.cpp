#include "manifest.h"

#include "ntfs3g.h"
#include "utf.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace mkvol {

namespace {

constexpr uint64_t kRootRecord = 5;
constexpr int kMaxDepth = 256; // deeper parent chains are cycles on a damaged volume
constexpr uint32_t kMountPointTagValue = 3;
constexpr size_t kReparseHeader = 8; // tag, data length, reserved
constexpr size_t kReparseGuid = 16;  // present in tags without the Microsoft bit
constexpr uint32_t kMicrosoftTag = 0x80000000;

struct Name {
    uint64_t parent = 0;
    uint16_t parentSeq = 0;
    uint8_t space = 0;
    uint32_t flags = 0;
    size_t valueOffset = 0; // of the FILE_NAME value within the record
    std::u16string text;
};

struct Data {
    std::u16string stream;
    bool resident = true;
    uint64_t size = 0;
    uint64_t allocated = 0;
    uint64_t initialized = 0;
    std::string runs; // vcn:lcn:length,... (lcn -1 for a sparse run)
};

struct Index {
    std::u16string name;
    uint32_t blockSize = 0;
    bool large = false;
};

struct Junction {
    uint32_t tag = 0;
    std::u16string target;
    std::u16string print;
};

struct Record {
    uint64_t number = 0;
    uint16_t seq = 0;
    uint16_t flags = 0;
    uint16_t links = 0;
    uint64_t base = 0;
    bool attributeList = false;
    std::vector<Name> names;
    std::vector<Data> data;
    std::vector<Index> indexes;
    std::vector<Junction> junctions;
    std::vector<std::pair<std::u16string, uint64_t>> allocations; // INDEX_ALLOCATION bytes by name
};

// What a pass over the records reads of each: the names alone, or every attribute the manifest shows.
enum class Detail { kNames, kAll };

// UTF-16LE code units at any alignment.
std::u16string Units(const u8* text, size_t length) {
    std::u16string out(length, u'\0');
    for (size_t i = 0; i < length; ++i)
        out[i] = static_cast<char16_t>(text[2 * i] | text[2 * i + 1] << 8);
    return out;
}

std::u16string AttributeName(const ATTR_RECORD* a) {
    return Units(reinterpret_cast<const u8*>(a) + le16_to_cpu(a->name_offset), a->name_length);
}

std::string Text(const std::u16string& units) {
    return PercentEscape(Utf16ToUtf8(units));
}

std::string Runs(ntfs_volume* vol, const ATTR_RECORD* a) {
    runlist_element* rl = ntfs_mapping_pairs_decompress(vol, a, nullptr);
    if (!rl)
        throw std::runtime_error(std::string("cannot decode a run list: ") + std::strerror(errno));
    std::string out;
    for (const runlist_element* r = rl; r->length; ++r) {
        if (!out.empty())
            out += ',';
        out += std::to_string(r->vcn) + ":" + std::to_string(r->lcn < 0 ? -1 : r->lcn) + ":" +
               std::to_string(r->length);
    }
    free(rl);
    return out;
}

// The junction's names, when the value is a well-formed mount point; otherwise only the tag.
Junction ReadReparse(const u8* value, size_t length) {
    Junction j;
    if (length < kReparseHeader)
        return j;
    auto u16at = [&](size_t at) { return static_cast<size_t>(value[at] | value[at + 1] << 8); };
    j.tag = static_cast<uint32_t>(u16at(0) | u16at(2) << 16);
    const size_t start = kReparseHeader + ((j.tag & kMicrosoftTag) ? 0 : kReparseGuid);
    if ((j.tag & 0xFFFF) != kMountPointTagValue || length < start + 8)
        return j;
    const size_t buffer = start + 8;
    auto name = [&](size_t offsetField, size_t lengthField) {
        const size_t at = buffer + u16at(start + offsetField);
        const size_t bytes = u16at(start + lengthField);
        std::u16string out;
        for (size_t i = 0; i + 1 < bytes && at + i + 1 < length; i += 2)
            out.push_back(static_cast<char16_t>(u16at(at + i)));
        return out;
    };
    j.target = name(0, 2);
    j.print = name(4, 6);
    return j;
}

class Reader {
  public:
    explicit Reader(const std::string& image) : vol_(ntfs_mount(image.c_str(), NTFS_MNT_RDONLY)) {
        if (!vol_)
            throw std::runtime_error(image + ": libntfs-3g cannot open the volume: " + std::strerror(errno));
        if (ntfs_attr_map_whole_runlist(vol_->mft_na) != 0)
            throw std::runtime_error(std::string("cannot map the $MFT run list: ") + std::strerror(errno));
    }
    ~Reader() { ntfs_umount(vol_, FALSE); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    void Write(std::ostream& out) {
        uint64_t clusters = 0;
        std::vector<const runlist_element*> runs;
        for (const runlist_element* r = vol_->mft_na->rl; r->length; ++r) {
            runs.push_back(r);
            clusters += static_cast<uint64_t>(r->length);
        }
        const uint64_t slots = clusters * vol_->cluster_size / vol_->mft_record_size;
        const uint64_t initialized =
            static_cast<uint64_t>(vol_->mft_na->initialized_size) / vol_->mft_record_size;

        out << "# vesk-mkvol manifest 1\n";
        out << "volume sector=" << vol_->sector_size << " cluster=" << vol_->cluster_size
            << " record=" << vol_->mft_record_size << " index-block=" << vol_->indx_record_size
            << " clusters=" << vol_->nr_clusters << " mft-lcn=" << vol_->mft_lcn
            << " mftmirr-lcn=" << vol_->mftmirr_lcn << "\n";
        out << "mft records=" << slots << " initialized=" << initialized
            << " data-size=" << vol_->mft_na->data_size << " allocated-size=" << vol_->mft_na->allocated_size
            << " runs=" << runs.size() << "\n";
        for (const runlist_element* r : runs)
            out << "mft-run vcn=" << r->vcn << " lcn=" << r->lcn << " length=" << r->length << "\n";

        // Three passes, so that only what the paths need stays in memory, however large the volume:
        // the first finds the files that are some name's parent, the index allocations and the bad
        // records; the second the names those parents' paths go through; the third writes each
        // record's lines as it reads it.
        Record r;
        bool baad = false;
        for (uint64_t n = 0; n < initialized; ++n) {
            if (ReadRecord(n, Detail::kNames, r, baad))
                NoteParentsAndAllocations(r);
            if (baad)
                bad_.push_back(n);
        }
        for (uint64_t n = 0; n < initialized; ++n)
            if (ReadRecord(n, Detail::kNames, r, baad))
                NotePrimaryName(r);
        for (uint64_t n = 0; n < initialized; ++n)
            if (ReadRecord(n, Detail::kAll, r, baad))
                WriteRecord(out, r);
        for (const uint64_t n : bad_)
            out << "bad rec=" << n << "\n";
    }

  private:
    // Reads record n into r, with the detail asked for; false when it holds no FILE record. baad
    // tells whether its update sequence failed: the library marks such a record "BAAD" and carries on.
    bool ReadRecord(uint64_t n, Detail detail, Record& r, bool& baad) {
        std::unique_ptr<u8[], decltype(&free)> buffer(static_cast<u8*>(malloc(vol_->mft_record_size)), &free);
        MFT_RECORD* m = reinterpret_cast<MFT_RECORD*>(buffer.get());
        if (ntfs_mft_record_read(vol_, n, m) != 0)
            throw std::runtime_error("cannot read record " + std::to_string(n) + ": " + std::strerror(errno));
        baad = ntfs_is_baad_record(m->magic);
        if (!ntfs_is_file_record(m->magic))
            return false;
        r = Record();
        r.number = n;
        r.seq = le16_to_cpu(m->sequence_number);
        r.flags = le16_to_cpu(m->flags);
        r.links = le16_to_cpu(m->link_count);
        r.base = MREF_LE(m->base_mft_record);

        ntfs_attr_search_ctx* ctx = ntfs_attr_get_search_ctx(nullptr, m);
        if (!ctx)
            throw std::runtime_error("out of memory");
        while (ntfs_attrs_walk(ctx) == 0) {
            const ATTR_RECORD* a = ctx->attr;
            const u8* value = reinterpret_cast<const u8*>(a) + le16_to_cpu(a->value_offset);
            const size_t valueLength = a->non_resident ? 0 : le32_to_cpu(a->value_length);
            const uint32_t type = le32_to_cpu(a->type);
            if (detail == Detail::kNames && type != le32_to_cpu(AT_FILE_NAME) &&
                type != le32_to_cpu(AT_INDEX_ALLOCATION))
                continue;
            switch (type) {
            case le32_to_cpu(AT_ATTRIBUTE_LIST):
                r.attributeList = true;
                break;
            case le32_to_cpu(AT_FILE_NAME): {
                const auto* fn = reinterpret_cast<const FILE_NAME_ATTR*>(value);
                Name name;
                name.parent = MREF_LE(fn->parent_directory);
                name.parentSeq = MSEQNO_LE(fn->parent_directory);
                name.space = fn->file_name_type;
                name.flags = le32_to_cpu(fn->file_attributes);
                name.valueOffset = static_cast<size_t>(value - buffer.get());
                name.text = Units(value + offsetof(FILE_NAME_ATTR, file_name), fn->file_name_length);
                r.names.push_back(name);
                break;
            }
            case le32_to_cpu(AT_DATA): {
                Data d;
                d.stream = AttributeName(a);
                d.resident = !a->non_resident;
                if (d.resident) {
                    d.size = d.initialized = valueLength;
                } else {
                    d.size = static_cast<uint64_t>(sle64_to_cpu(a->data_size));
                    d.allocated = static_cast<uint64_t>(sle64_to_cpu(a->allocated_size));
                    d.initialized = static_cast<uint64_t>(sle64_to_cpu(a->initialized_size));
                    d.runs = Runs(vol_, a);
                }
                r.data.push_back(d);
                break;
            }
            case le32_to_cpu(AT_INDEX_ROOT): {
                const auto* root = reinterpret_cast<const INDEX_ROOT*>(value);
                r.indexes.push_back({AttributeName(a), le32_to_cpu(root->index_block_size),
                                     (root->index.ih_flags & LARGE_INDEX) != 0});
                break;
            }
            case le32_to_cpu(AT_INDEX_ALLOCATION):
                // Possibly in an extension record: joined to its INDEX_ROOT by file and name.
                if (sle64_to_cpu(a->lowest_vcn) == 0)
                    r.allocations.emplace_back(AttributeName(a),
                                               static_cast<uint64_t>(sle64_to_cpu(a->data_size)));
                break;
            case le32_to_cpu(AT_REPARSE_POINT):
                if (!a->non_resident)
                    r.junctions.push_back(ReadReparse(value, valueLength));
                break;
            default:
                break;
            }
        }
        ntfs_attr_put_search_ctx(ctx);
        return true;
    }

    void NoteParentsAndAllocations(const Record& r) {
        for (const Name& name : r.names)
            parents_.insert(name.parent);
        for (const auto& [name, bytes] : r.allocations)
            allocations_[{r.base ? r.base : r.number, name}] = bytes;
    }

    // Keeps the name a path goes through for each file that is a parent: the first of its names (in
    // its base record or in an extension record, in record order) that is not a pure DOS name.
    void NotePrimaryName(const Record& r) {
        const uint64_t file = r.base ? r.base : r.number;
        if (parents_.count(file) == 0)
            return;
        for (const Name& name : r.names) {
            const auto [it, added] = primary_.emplace(file, name);
            if (!added && it->second.space == FILE_NAME_DOS && name.space != FILE_NAME_DOS)
                it->second = name;
        }
    }

    // Path of the directory record n, "" for the root; "?" stands for an ancestor that cannot be
    // named.
    std::u16string DirectoryPath(uint64_t n, int depth) const {
        if (n == kRootRecord)
            return u"";
        const auto cached = paths_.find(n);
        if (cached != paths_.end())
            return cached->second;
        const auto primary = primary_.find(n);
        if (primary == primary_.end() || depth > kMaxDepth)
            return u"?";
        const Name* name = &primary->second;
        return paths_[n] = DirectoryPath(name->parent, depth + 1) + u"\\" + name->text;
    }

    // Image offset of the first byte of record n, through the $MFT run list.
    uint64_t ImageOffset(uint64_t n) const {
        const uint64_t vcn = n * vol_->mft_record_size / vol_->cluster_size;
        const uint64_t within = n * vol_->mft_record_size % vol_->cluster_size;
        for (const runlist_element* r = vol_->mft_na->rl; r->length; ++r)
            if (static_cast<uint64_t>(r->vcn) <= vcn &&
                vcn - static_cast<uint64_t>(r->vcn) < static_cast<uint64_t>(r->length))
                return (static_cast<uint64_t>(r->lcn) + vcn - static_cast<uint64_t>(r->vcn)) *
                           vol_->cluster_size +
                       within;
        throw std::runtime_error("record " + std::to_string(n) + " lies outside the $MFT runs");
    }

    void WriteRecord(std::ostream& out, const Record& r) const {
        const bool inUse = r.flags & le16_to_cpu(MFT_RECORD_IN_USE);
        const bool dir = r.flags & le16_to_cpu(MFT_RECORD_IS_DIRECTORY);
        char flags[8];
        std::snprintf(flags, sizeof flags, "0x%04x", r.flags);
        out << "record rec=" << r.number << " seq=" << r.seq << " flags=" << flags << " inuse=" << inUse
            << " dir=" << dir << " base=" << r.base << " links=" << r.links << " names=" << r.names.size()
            << " attribute-list=" << r.attributeList << " at=" << ImageOffset(r.number) << "\n";

        const Data* unnamed = nullptr;
        for (const Data& d : r.data)
            if (d.stream.empty() && !unnamed)
                unnamed = &d;
        std::string sizes = "data=none alloc=none";
        if (unnamed)
            sizes = "data=" + std::to_string(unnamed->size) + " alloc=" +
                    (unnamed->resident ? std::string("resident") : std::to_string(unnamed->allocated));
        for (const Name& name : r.names) {
            char nameFlags[12];
            std::snprintf(nameFlags, sizeof nameFlags, "0x%08x", name.flags);
            const std::u16string path = DirectoryPath(name.parent, 0) + u"\\" + name.text;
            out << "name rec=" << r.number << " seq=" << r.seq << " base=" << r.base
                << " parent=" << name.parent << " parent-seq=" << name.parentSeq
                << " ns=" << unsigned{name.space} << " dir=" << dir << " inuse=" << inUse
                << " fn-flags=" << nameFlags << " value=" << name.valueOffset << " " << sizes
                << " units=" << Utf16Hex(name.text) << " name=" << Text(name.text) << " path=" << Text(path)
                << "\n";
        }
        for (const Data& d : r.data) {
            out << "data rec=" << r.number << " stream=" << Text(d.stream) << " size=" << d.size;
            if (d.resident)
                out << " resident=1\n";
            else
                out << " resident=0 alloc=" << d.allocated << " init=" << d.initialized << " runs=" << d.runs
                    << "\n";
        }
        for (const Index& index : r.indexes) {
            const auto allocation = allocations_.find({r.base ? r.base : r.number, index.name});
            const uint64_t bytes = allocation == allocations_.end() ? 0 : allocation->second;
            out << "index rec=" << r.number << " name=" << Text(index.name)
                << " block-size=" << index.blockSize << " large=" << index.large
                << " blocks=" << (index.blockSize ? bytes / index.blockSize : 0) << "\n";
        }
        for (const Junction& j : r.junctions) {
            char tag[12];
            std::snprintf(tag, sizeof tag, "0x%08x", j.tag);
            out << "junction rec=" << r.number << " tag=" << tag << " target=" << Text(j.target)
                << " print=" << Text(j.print) << " target-units=" << Utf16Hex(j.target) << "\n";
        }
    }

    ntfs_volume* vol_;
    std::unordered_set<uint64_t> parents_;             // the files some name gives as its parent
    std::unordered_map<uint64_t, Name> primary_;       // by parent: the name its paths go through
    std::vector<uint64_t> bad_;                        // records that fail their fixups
    mutable std::map<uint64_t, std::u16string> paths_; // directory paths already built
    std::map<std::pair<uint64_t, std::u16string>, uint64_t>
        allocations_; // INDEX_ALLOCATION bytes by file and name
};

} // namespace

void WriteManifest(const std::string& image, std::ostream& out) {
    Reader reader(image);
    reader.Write(out);
}

} // namespace mkvol
