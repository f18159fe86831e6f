// vesk-genvol: builds a large NTFS volume image for the benchmarks, the same one for the same seed and record
// count, and writes the manifest: every live path of the volume with its MFT record number.

#include "names.h"
#include "ntfs_image.h"
#include "prng.h"
#include "tree_plan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using namespace genvol;

constexpr const char* kUsage =
    "usage: vesk-genvol [-seed N] [-size MIB] [-junctions FILE] RECORDS IMAGE MANIFEST\n"
    "  Formats IMAGE (a sparse file, created or replaced) with mkntfs and fills it through libntfs-3g\n"
    "  until its MFT holds about RECORDS records. MANIFEST receives one line per live path:\n"
    "  the record number, a tab and the path from the root (\\dir\\name, directories end with \\).\n"
    "  -junctions FILE lists each junction as record, path and target, tab-separated.\n";

// Sixteen times the MFT leaves the MFT zone (an eighth of the volume) room for the whole MFT, so that it
// stays in one run, and leaves the files' clusters plenty of space.
constexpr uint64_t kImageBytesPerRecord = 16 * 1024;
constexpr uint64_t kMinImageBytes = 256ull << 20;

// Rates per mille of created files.
constexpr unsigned kDeletedRate = 4;
constexpr unsigned kLinkRate = 15;
constexpr unsigned kStreamRate = 30;
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
    std::string manifest;
    std::string junctions;
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
        if ((arg == "-seed" || arg == "-size" || arg == "-junctions") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "-seed")
                options.seed = parse_number(value, "-seed");
            else if (arg == "-size")
                options.image_bytes = parse_number(value, "-size") << 20;
            else
                options.junctions = value;
        } else if (!arg.empty() && arg[0] == '-') {
            throw std::invalid_argument(kUsage);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3)
        throw std::invalid_argument(kUsage);
    options.records = parse_number(positional[0].c_str(), "RECORDS");
    options.image = positional[1];
    options.manifest = positional[2];
    if (!options.image_bytes)
        options.image_bytes = std::max(kMinImageBytes, options.records * kImageBytesPerRecord);
    return options;
}

std::string shell_quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A sparse file of the requested size with a fresh NTFS on it; -T keeps the system files' times fixed.
void format_image(const Options& options) {
    std::filesystem::remove(options.image);
    std::ofstream(options.image, std::ios::binary).close();
    std::filesystem::resize_file(options.image, options.image_bytes);
    const std::string command = "mkntfs -F -q -f -T -L vesk-bench " + shell_quoted(options.image);
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("mkntfs failed; run it by hand to see why: " + command);
}

struct Stats {
    uint64_t files = 0;
    uint64_t links = 0;
    uint64_t short_names = 0;
    uint64_t streams = 0;
    uint64_t deleted_files = 0;
    uint64_t deleted_directories = 0;
    uint64_t junctions = 0;
    uint64_t highest_record = 0;
    uint64_t attribute_lists = 0;
    uint64_t extension_records = 0;
    unsigned max_depth = 0;
    unsigned max_links = 0;
};

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
    }
    if (rng.chance(kStreamRate)) {
        body.stream_name = stream_name(rng);
        body.stream_data = body.stream_name == "Zone.Identifier" ? "[ZoneTransfer]\r\nZoneId=3\r\n" : name;
    }
    return body;
}

class Generator {
  public:
    Generator(NtfsImage& image, Prng& rng, const Plan& plan, std::ostream& manifest, std::ostream* junctions)
        : image_(image), rng_(rng), plan_(plan), manifest_(manifest), junctions_(junctions),
          records_(plan.directories.size()), paths_(plan.directories.size()) {
        records_[0] = 5; // the root directory's record
        paths_[0] = "\\";
    }

    // The root's few files first, then each directory with its files, then the deletions.
    void run() {
        fill(0);
        for (uint32_t i = 1; i < plan_.directories.size(); ++i)
            build_directory(i);
        for (const std::vector<Doomed>* doomed : {&doomed_files_, &doomed_directories_})
            for (const Doomed& entry : *doomed) {
                image_.remove(entry.record, entry.parent, entry.name);
                live_[entry.record] = false;
            }
        stats_.deleted_directories = doomed_directories_.size();
        count_attribute_lists();
    }

    const Stats& stats() const { return stats_; }

  private:
    void note_record(uint64_t record) {
        stats_.highest_record = std::max(stats_.highest_record, record);
        if (live_.size() <= record)
            live_.resize(record + 1);
        live_[record] = true;
    }

    // ntfs-3g moves names and attributes of full records into extension records as it sees fit; count them.
    void count_attribute_lists() {
        for (uint64_t record = 0; record < live_.size(); ++record) {
            if (!live_[record])
                continue;
            const AttributeListUse use = image_.attribute_list_use(record);
            stats_.attribute_lists += use.has_list;
            stats_.extension_records += use.extension_records;
        }
    }

    void list(uint64_t record, const std::string& path) { manifest_ << record << '\t' << path << '\n'; }

    void build_directory(uint32_t index) {
        const PlannedDirectory& planned = plan_.directories[index];
        const uint64_t parent = records_[planned.parent];
        records_[index] = image_.create_directory(parent, planned.name);
        note_record(records_[index]);
        paths_[index] = paths_[planned.parent] + planned.name + "\\";
        stats_.max_depth = std::max(stats_.max_depth, planned.depth);
        if (!planned.short_name.empty() && planned.kind != DirectoryKind::Deleted) {
            image_.set_short_name(records_[index], parent, planned.short_name);
            ++stats_.short_names;
        }
        switch (planned.kind) {
        case DirectoryKind::Junction: {
            const std::string& target_path = paths_[planned.target];
            const std::string target = "C:" + target_path.substr(0, target_path.size() - 1);
            image_.make_junction(records_[index], target);
            list(records_[index], paths_[index]);
            if (junctions_)
                *junctions_ << records_[index] << '\t' << paths_[index] << '\t' << target << '\n';
            ++stats_.junctions;
            break;
        }
        case DirectoryKind::Deleted:
            doomed_directories_.push_back({records_[index], parent, planned.name});
            fill(index);
            break;
        case DirectoryKind::Normal:
            list(records_[index], paths_[index]);
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
            const FileBody body = body_for(rng_, name);
            const uint64_t record = image_.create_file(records_[index], name, body);
            note_record(record);
            if (doomed) {
                doomed_files_.push_back({record, records_[index], name});
                ++stats_.deleted_files;
                continue;
            }
            ++stats_.files;
            stats_.streams += !body.stream_name.empty();
            list(record, paths_[index] + name);
            if (planned.short_names) {
                unsigned ordinal = 1;
                while (used_short_names_.count(short_name(name, ordinal)))
                    ++ordinal;
                const std::string short_form = short_name(name, ordinal);
                used_short_names_.insert(short_form);
                image_.set_short_name(record, records_[index], short_form);
                ++stats_.short_names;
            } else {
                remember_link_source(record, index, name);
            }
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
            const uint64_t record = image_.create_file(records_[index], name, body_for(rng_, name));
            note_record(record);
            list(record, paths_[index] + name);
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
        image_.link(source.record, records_[index], source.name);
        list(source.record, paths_[index] + source.name);
        ++source.links;
        ++stats_.links;
        stats_.max_links = std::max(stats_.max_links, source.links);
    }

    NtfsImage& image_;
    Prng& rng_;
    const Plan& plan_;
    std::ostream& manifest_;
    std::ostream* junctions_;
    std::vector<uint64_t> records_;
    std::vector<std::string> paths_;
    std::unordered_set<std::string> used_names_;
    std::unordered_set<std::string> used_short_names_;
    std::vector<LinkSource> pool_;
    std::vector<LinkSource> shared_;
    size_t shared_cursor_ = 0;
    std::vector<Doomed> doomed_files_;
    std::vector<Doomed> doomed_directories_;
    std::vector<bool> live_; // by record number: a file or directory created here and not deleted
    Stats stats_;
};

} // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parse_options(argc, argv);
        const auto start = std::chrono::steady_clock::now();
        Prng rng(options.seed);
        const Plan plan = plan_tree(rng, options.records);
        format_image(options);

        std::ofstream manifest(options.manifest, std::ios::binary);
        std::ofstream junctions;
        if (!options.junctions.empty())
            junctions.open(options.junctions, std::ios::binary);
        NtfsImage image(options.image);
        Generator generator(image, rng, plan, manifest, options.junctions.empty() ? nullptr : &junctions);
        generator.run();
        image.close();
        manifest.close();
        junctions.close();
        if (!manifest || (!options.junctions.empty() && !junctions))
            throw std::runtime_error("cannot write the manifest or the junction list");

        const Stats& s = generator.stats();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("image %s: %llu MiB, MFT records 0..%llu\n", options.image.c_str(),
                    static_cast<unsigned long long>(options.image_bytes >> 20),
                    static_cast<unsigned long long>(s.highest_record));
        std::printf("directories %llu (depth up to %u) and %llu junctions, files %llu, hard links %llu "
                    "(up to %u names per file)\n",
                    static_cast<unsigned long long>(plan.directories.size() - 1 - s.junctions -
                                                    s.deleted_directories),
                    s.max_depth, static_cast<unsigned long long>(s.junctions),
                    static_cast<unsigned long long>(s.files), static_cast<unsigned long long>(s.links),
                    s.max_links);
        std::printf("8.3 names %llu, named streams %llu, deleted files %llu, deleted directories %llu\n",
                    static_cast<unsigned long long>(s.short_names),
                    static_cast<unsigned long long>(s.streams),
                    static_cast<unsigned long long>(s.deleted_files),
                    static_cast<unsigned long long>(s.deleted_directories));
        std::printf("base records with an attribute list %llu, extension records %llu\n",
                    static_cast<unsigned long long>(s.attribute_lists),
                    static_cast<unsigned long long>(s.extension_records));
        std::printf("generated in %.1f s\n", seconds);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "vesk-genvol: " << e.what() << '\n';
        return 1;
    }
}
