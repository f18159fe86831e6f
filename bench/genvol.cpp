// vesk-genvol: builds a large NTFS volume image for the benchmarks through the test-volume builder's
// writer, the same one for the same seed and record count, and writes the builder's manifest of it.

#include "names.h"
#include "prng.h"
#include "tree_plan.h"

#include "tools/mkvol/format.h"
#include "tools/mkvol/manifest.h"
#include "tools/mkvol/utf.h"
#include "tools/mkvol/writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using namespace genvol;

constexpr const char* kUsage =
    "usage: vesk-genvol [-seed N] [-size MIB] RECORDS IMAGE\n"
    "  Formats IMAGE (a sparse file, created or replaced) with mkntfs and fills it through libntfs-3g\n"
    "  until its MFT holds about RECORDS records, then writes IMAGE.manifest, the test-volume\n"
    "  builder's manifest of it (tools/mkvol/README.md).\n";

// Sixteen times the MFT leaves the MFT zone (an eighth of the volume) room for the whole MFT, so that it
// stays in one run, and leaves the files' clusters plenty of space.
constexpr uint64_t kImageBytesPerRecord = 16 * 1024;
constexpr uint64_t kMinImageBytes = 256ull << 20;

// Rates per mille of created files.
constexpr unsigned kDeletedRate = 8;
constexpr unsigned kLinkRate = 40;
constexpr unsigned kStreamRate = 36;
constexpr unsigned kSparseRate = 30;
// A sparse file's data lies after a hole of 1 to this many MiB.
constexpr uint64_t kMaxHoleMib = 64;
// Names at least this long count as long ones.
constexpr size_t kLongName = 90;
// Per mille of directories that receive a link to one of the heavily linked files.
constexpr unsigned kSharedLinkRate = 300;
// NTFS allows 1024 names per file; stay below.
constexpr unsigned kMaxLinks = 1000;
// Files recently created elsewhere that a directory may link to.
constexpr size_t kLinkPoolSize = 64;

// Shared runtime files, hard-linked into many directories as a component store does; one per 200,000
// records, at least two.
const char* const kSharedNames[] = {"license.txt",   "msvcp140.dll",    "vcruntime140.dll", "ucrtbase.dll",
                                    "concrt140.dll", "vccorlib140.dll", "mfc140u.dll",      "msvcp140_1.dll"};
constexpr uint64_t kRecordsPerSharedFile = 200000;

struct Options {
    uint64_t records = 0;
    uint64_t seed = 7;
    uint64_t image_bytes = 0;
    std::string image;
};

uint64_t parse_number(const char* text, const char* what) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (!*text || *end)
        throw std::invalid_argument(std::string("not a number for ") + what + ": " + text);
    return value;
}

Options parse_options(int argc, char** argv) {
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-seed" || arg == "-size") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "-seed")
                options.seed = parse_number(value, "-seed");
            else
                options.image_bytes = parse_number(value, "-size") << 20;
        } else if (!arg.empty() && arg[0] == '-') {
            throw std::invalid_argument(kUsage);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        throw std::invalid_argument(kUsage);
    options.records = parse_number(positional[0].c_str(), "RECORDS");
    options.image = positional[1];
    if (!options.image_bytes)
        options.image_bytes = std::max(kMinImageBytes, options.records * kImageBytesPerRecord);
    return options;
}

struct Stats {
    uint64_t files = 0;
    uint64_t links = 0;
    uint64_t short_names = 0;
    uint64_t streams = 0;
    uint64_t sparse_files = 0;
    uint64_t non_ascii_names = 0;
    uint64_t long_names = 0;
    uint64_t deleted_files = 0;
    uint64_t deleted_directories = 0;
    uint64_t junctions = 0;
    uint64_t highest_record = 0;
    unsigned max_depth = 0;
    unsigned max_links = 0;
};

// The unnamed data stream of a new file and, optionally, one named stream.
struct FileBody {
    std::string data;        // written as the file's content, after a hole of hole bytes
    uint64_t hole = 0;       // above 0: a sparse file
    uint64_t size = 0;       // when larger than data: the length is set without writing, clusters allocated
    std::string stream_name; // empty: no named stream
    std::string stream_data;
};

std::vector<uint8_t> bytes_of(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool non_ascii(const std::string& name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A file whose name lives on somewhere else than where it was created.
struct LinkSource {
    uint64_t record;
    uint32_t directory;
    std::string name;
    unsigned links;
};

// A name to delete once everything is created: ntfs-3g reuses a freed record at once.
struct Doomed {
    uint64_t record;
    uint64_t parent;
    std::string name;
};

FileBody body_for(Prng& rng, const std::string& name) {
    FileBody body;
    const uint64_t kind = rng.below(1000);
    if (kind >= 920) {
        body.size = 4096 * (1 + rng.below(8));
        body.size <<= rng.below(3);
    } else if (kind >= 50) {
        const uint64_t length = 1 + rng.below(700);
        while (body.data.size() < length)
            body.data += name + "\r\n";
        body.data.resize(length);
        if (rng.chance(kSparseRate))
            body.hole = (1 + rng.below(kMaxHoleMib)) << 20;
    }
    if (rng.chance(kStreamRate)) {
        body.stream_name = stream_name(rng);
        body.stream_data = body.stream_name == "Zone.Identifier" ? "[ZoneTransfer]\r\nZoneId=3\r\n" : name;
    }
    return body;
}

class Generator {
  public:
    Generator(mkvol::Writer& writer, Prng& rng, const Plan& plan)
        : writer_(writer), rng_(rng), plan_(plan), records_(plan.directories.size()),
          paths_(plan.directories.size()) {
        records_[0] = mkvol::kRootRecord;
        paths_[0] = "\\";
    }

    // The root's few files first, then each directory with its files, then the deletions.
    void run() {
        fill(0);
        for (uint32_t i = 1; i < plan_.directories.size(); ++i)
            build_directory(i);
        for (const std::vector<Doomed>* doomed : {&doomed_files_, &doomed_directories_})
            for (const Doomed& entry : *doomed)
                writer_.Delete(entry.record, entry.parent, mkvol::Utf8ToUtf16(entry.name));
        stats_.deleted_directories = doomed_directories_.size();
    }

    const Stats& stats() const { return stats_; }

  private:
    uint64_t create(uint64_t parent, const std::string& name, mkvol::Writer::Type type) {
        const uint64_t record = writer_.Create(parent, mkvol::Utf8ToUtf16(name), type);
        stats_.highest_record = std::max(stats_.highest_record, record);
        stats_.non_ascii_names += non_ascii(name);
        stats_.long_names += mkvol::Utf8ToUtf16(name).size() >= kLongName;
        return record;
    }

    // The names come first, as Windows gives a file its DOS name when it creates it, then the small
    // stream: a resident content that then outgrows the record is moved out to clusters, whereas a
    // name or a stream added to a full record would push the file into an attribute list.
    uint64_t create_file(uint64_t parent, const std::string& name, const FileBody& body,
                         const std::string& short_form = {}) {
        const uint64_t record = create(parent, name, mkvol::Writer::Type::File);
        if (!short_form.empty()) {
            writer_.SetDosName(record, parent, short_form);
            ++stats_.short_names;
        }
        if (!body.stream_name.empty()) {
            const std::u16string stream = mkvol::Utf8ToUtf16(body.stream_name);
            writer_.AddStream(record, stream);
            writer_.Write(record, stream, 0, bytes_of(body.stream_data));
            ++stats_.streams;
        }
        if (body.size > body.data.size())
            writer_.Allocate(record, body.size);
        else if (!body.data.empty())
            writer_.Write(record, u"", body.hole, bytes_of(body.data));
        stats_.sparse_files += body.hole > 0;
        return record;
    }

    void build_directory(uint32_t index) {
        const PlannedDirectory& planned = plan_.directories[index];
        const uint64_t parent = records_[planned.parent];
        records_[index] = create(parent, planned.name, mkvol::Writer::Type::Directory);
        paths_[index] = paths_[planned.parent] + planned.name + "\\";
        stats_.max_depth = std::max(stats_.max_depth, planned.depth);
        if (!planned.short_name.empty() && planned.kind != DirectoryKind::Deleted) {
            writer_.SetDosName(records_[index], parent, planned.short_name);
            ++stats_.short_names;
        }
        switch (planned.kind) {
        case DirectoryKind::Junction: {
            const std::string& target = paths_[planned.target];
            writer_.MakeJunction(records_[index],
                                 mkvol::Utf8ToUtf16("\\??\\C:" + target.substr(0, target.size() - 1)));
            ++stats_.junctions;
            break;
        }
        case DirectoryKind::Deleted:
            doomed_directories_.push_back({records_[index], parent, planned.name});
            fill(index);
            break;
        case DirectoryKind::Normal:
            fill(index);
            break;
        }
    }

    void fill(uint32_t index) {
        const PlannedDirectory& planned = plan_.directories[index];
        const bool doomed_directory = planned.kind == DirectoryKind::Deleted;
        used_names_.clear();
        used_short_names_.clear();
        for (uint32_t child : planned.children) {
            used_names_.insert(fold(plan_.directories[child].name));
            used_short_names_.insert(plan_.directories[child].short_name);
        }
        uint64_t remaining = planned.files;
        if (index == plan_.shared_home)
            remaining -= create_shared_files(index);
        for (; remaining > 0; --remaining) {
            const std::string name = unique_name(file_name(rng_));
            const bool doomed = doomed_directory || rng_.chance(kDeletedRate);
            std::string short_form;
            if (planned.short_names && !doomed) {
                unsigned ordinal = 1;
                while (used_short_names_.count(short_name(name, ordinal)))
                    ++ordinal;
                short_form = short_name(name, ordinal);
                used_short_names_.insert(short_form);
            }
            const uint64_t record = create_file(records_[index], name, body_for(rng_, name), short_form);
            if (doomed) {
                doomed_files_.push_back({record, records_[index], name});
                ++stats_.deleted_files;
                continue;
            }
            ++stats_.files;
            if (!planned.short_names)
                remember_link_source(record, index, name);
            if (rng_.chance(kLinkRate) && !pool_.empty())
                link_from(pool_[rng_.below(pool_.size())], index);
        }
        if (!doomed_directory && index != plan_.shared_home && !shared_.empty() &&
            rng_.chance(kSharedLinkRate))
            link_from(shared_[shared_cursor_++ % shared_.size()], index);
    }

    uint64_t create_shared_files(uint32_t index) {
        const uint64_t count =
            std::min<uint64_t>(std::max<uint64_t>(2, plan_.file_records / kRecordsPerSharedFile),
                               std::min<uint64_t>(std::size(kSharedNames), plan_.directories[index].files));
        for (uint64_t i = 0; i < count; ++i) {
            const std::string name = kSharedNames[i];
            used_names_.insert(fold(name));
            const uint64_t record = create_file(records_[index], name, body_for(rng_, name));
            shared_.push_back({record, index, name, 1});
            ++stats_.files;
        }
        return count;
    }

    std::string unique_name(const std::string& wanted) {
        std::string name = wanted;
        const size_t dot = wanted.rfind('.');
        for (unsigned copy = 2; used_names_.count(fold(name)); ++copy)
            name = dot == std::string::npos
                       ? wanted + " " + std::to_string(copy)
                       : wanted.substr(0, dot) + " " + std::to_string(copy) + wanted.substr(dot);
        used_names_.insert(fold(name));
        return name;
    }

    void remember_link_source(uint64_t record, uint32_t index, const std::string& name) {
        if (pool_.size() < kLinkPoolSize)
            pool_.push_back({record, index, name, 1});
        else
            pool_[rng_.below(kLinkPoolSize)] = {record, index, name, 1};
    }

    void link_from(LinkSource& source, uint32_t index) {
        if (source.directory == index || source.links >= kMaxLinks || used_names_.count(fold(source.name)))
            return;
        used_names_.insert(fold(source.name));
        writer_.Link(source.record, records_[index], mkvol::Utf8ToUtf16(source.name));
        ++source.links;
        ++stats_.links;
        stats_.max_links = std::max(stats_.max_links, source.links);
    }

    mkvol::Writer& writer_;
    Prng& rng_;
    const Plan& plan_;
    std::vector<uint64_t> records_;
    std::vector<std::string> paths_;
    std::unordered_set<std::string> used_names_;
    std::unordered_set<std::string> used_short_names_;
    std::vector<LinkSource> pool_;
    std::vector<LinkSource> shared_;
    size_t shared_cursor_ = 0;
    std::vector<Doomed> doomed_files_;
    std::vector<Doomed> doomed_directories_;
    Stats stats_;
};

} // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parse_options(argc, argv);
        Prng rng(options.seed);
        const Plan plan = plan_tree(rng, options.records);
        mkvol::Geometry geometry;
        geometry.size = options.image_bytes;
        mkvol::FormatImage(options.image, geometry);

        mkvol::Writer writer(options.image);
        Generator generator(writer, rng, plan);
        generator.run();
        writer.Close();
        std::ofstream manifest(options.image + ".manifest", std::ios::binary | std::ios::trunc);
        mkvol::WriteManifest(options.image, manifest);
        if (!manifest.flush())
            throw std::runtime_error(options.image + ".manifest: cannot write");

        const Stats& s = generator.stats();
        const auto n = [](uint64_t value) { return static_cast<unsigned long long>(value); };
        std::printf("image %s: %llu MiB, MFT records 0..%llu\n", options.image.c_str(),
                    n(options.image_bytes >> 20), n(s.highest_record));
        std::printf("directories %llu (depth up to %u) and %llu junctions, files %llu, extra hard links %llu "
                    "(up to %u names per file)\n",
                    n(plan.directories.size() - 1 - s.junctions - s.deleted_directories), s.max_depth,
                    n(s.junctions), n(s.files), n(s.links), s.max_links);
        std::printf(
            "DOS names %llu, non-ASCII names %llu, names of %zu units or more %llu, named streams %llu, "
            "sparse files %llu\n",
            n(s.short_names), n(s.non_ascii_names), kLongName, n(s.long_names), n(s.streams),
            n(s.sparse_files));
        std::printf("deleted files %llu, deleted directories %llu\n", n(s.deleted_files),
                    n(s.deleted_directories));
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "vesk-genvol: " << e.what() << '\n';
        return 1;
    }
}
