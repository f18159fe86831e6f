// Reading a manifest back (README.md gives its lines), for the tests that compare what they read
// from an image with what libntfs-3g read from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mkvol {

// One run of a run list as the manifest writes it (`mft-run` lines, `runs=` of `data` lines).
struct ManifestRun {
    uint64_t vcn = 0;
    int64_t lcn = 0; // -1 for a sparse run
    uint64_t length = 0;
};

// One line: its kind word ("volume", "record", "name", ...) and its key=value fields.
struct ManifestLine {
    std::string kind;
    std::map<std::string, std::string> fields;

    // Each accessor throws std::runtime_error naming the kind and key when the line has no such
    // field or its value is malformed.

    // The value as written.
    const std::string& Text(const std::string& key) const;
    // An unsigned number: decimal or 0x hex (`fn-flags=0x00000020`).
    uint64_t Number(const std::string& key) const;
    // A name (`name=`, `stream=`): percent escapes undone, UTF-8 to UTF-16 code units.
    std::u16string Name(const std::string& key) const;
    // Code units written as four hex digits each (`units=`).
    std::u16string Units(const std::string& key) const;
    // A run list `vcn:lcn:length,...` (empty for an empty value).
    std::vector<ManifestRun> Runs(const std::string& key) const;
};

// The lines of the manifest file in order, comments left out. Throws std::runtime_error when the
// file cannot be read or does not begin with the manifest's first line.
std::vector<ManifestLine> ReadManifest(const std::string& file);

} // namespace mkvol
