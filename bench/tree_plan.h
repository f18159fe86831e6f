#pragma once

#include "prng.h"

#include <cstdint>
#include <string>
#include <vector>

// The shape of a generated volume, fixed before anything is written: which directories exist, where, and
// how many file records each one receives, so that the volume ends at the requested record count.
namespace genvol {

// ntfs-3g gives the first user file record 64; the records below are the system's, used or not.
constexpr uint64_t kFirstUserRecord = 64;
// Directories cannot nest deeper than this below the root.
constexpr unsigned kMaxDepth = 8;
// Files that a deleted directory held; they are deleted with it.
constexpr unsigned kFilesPerDeletedDirectory = 10;

enum class DirectoryKind {
    Normal,
    Junction, // an empty directory that becomes a junction to `target`
    Deleted,  // created with kFilesPerDeletedDirectory files, all deleted at the end
};

struct PlannedDirectory {
    uint32_t parent = 0; // index into Plan::directories; the root is its own parent
    unsigned depth = 0;  // 0 for the root
    std::string name;
    std::string short_name; // empty unless the parent gives its entries 8.3 names
    DirectoryKind kind = DirectoryKind::Normal;
    uint32_t target = 0;      // for a junction: the directory it points to
    uint64_t files = 0;       // file records to create in this directory
    bool short_names = false; // entries created here also get an 8.3 name
    std::vector<uint32_t> children;
};

struct Plan {
    // Parents come before their children, so creating them in order always finds the parent.
    std::vector<PlannedDirectory> directories;
    uint64_t file_records = 0; // over all directories, deleted ones included
    uint32_t shared_home = 0;  // the directory that holds the heavily linked files
};

// Plans about `records` MFT records: the system's, one per directory and one per file. Throws
// std::invalid_argument when `records` is too small for a tree.
Plan plan_tree(Prng& rng, uint64_t records);

} // namespace genvol
