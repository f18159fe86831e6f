// An independent check of what a search finds: on every builder volume (but one its recipe damages
// on purpose), the (record number, full path) pairs that `vesk -si -silent "*"` prints equal what
// The Sleuth Kit's `fls -r -p -u` lists for the same image. fls reads the directory indexes from the root
// down; vesk reads every MFT record and climbs its parent references, so agreement means both ways through
// the volume meet.
//
// What is taken out of fls's listing, because vesk leaves it out by design:
// - NTFS's own files in the root ($MFT, $Bitmap, ..., $Extend: records below 16 named with "$";
//   fls lists $MFT a second time under the extension record that keeps its FILE_NAME, one of the
//   records 16 to 23 NTFS reserves for them), and everything below $Extend and "System Volume Information"
//   (vesk lists those only with -fsystem; the directory "System Volume Information" itself stays in both);
// - named streams ("name:stream", also fls's "dir/.:stream" for a directory's stream): vesk lists
//   names, not streams;
// - fls's own $OrphanFiles folder and what it puts there.
// A file whose names, data or index continue in extension records (an $ATTRIBUTE_LIST) is listed
// by both under its base record, with every name, and the paths below it climb through it.
// Differences allowed, each for a reason of the way the two read the volume:
// - fls also lists a directory index entry whose name no FILE_NAME of its record carries any more
//   (the builder renames some records after the fact and leaves the index as it was, as damage or
//   an interrupted rename would); vesk never reads indexes, so it cannot see such a name.
// - Paths: fls separates with "/" and starts without one, vesk with "\" and marks directories
//   with a trailing "\"; both are brought to fls's form. fls writes record numbers as
//   record-type-id; only the record is compared.

#include "tests/e2e/program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace {

using Entry = std::pair<unsigned long long, std::string>; // record, path in fls's form
using Entries = std::set<Entry>;

std::string Leaf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string Top(const std::string& path) {
    return path.substr(0, path.find('/'));
}

// What vesk finds.
Entries VeskEntries(const std::string& image) {
    const e2e::Outcome run = e2e::Vesk({"-si", "-silent", "*", "-d", image});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    Entries entries;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto blank = line.find(' ');
        const unsigned long long record = std::stoull(line.substr(0, blank));
        std::string path = line.substr(blank + 2); // without the root's backslash
        if (!path.empty() && path.back() == '\\')
            path.pop_back();
        for (char& c : path)
            if (c == '\\')
                c = '/';
        entries.insert({record, path});
    }
    return entries;
}

// What fls lists, without what vesk leaves out by design.
Entries FlsEntries(const std::string& image) {
    const e2e::Outcome run = e2e::Run(VESK_FLS, {"-r", "-p", "-u", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    Entries entries;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        // "r/r 224-128-2:\tProjects/Alpha/shared.txt"
        const auto tab = line.find('\t');
        const std::string meta = line.substr(0, tab), path = line.substr(tab + 1);
        const unsigned long long record = std::stoull(meta.substr(meta.rfind(' ') + 1));
        const std::string top = Top(path);
        const bool inRoot = top == path;
        if (Leaf(path).find(':') != std::string::npos || top == "$OrphanFiles")
            continue;
        if (inRoot ? record < 24 && path[0] == '$' : top == "$Extend" || top == "System Volume Information")
            continue;
        entries.insert({record, path});
    }
    return entries;
}

// Whether the recipe damaged the volume after its manifest was taken: a search on it may end
// early by design, so it is no ground for comparing listings.
bool IsDamaged(const std::string& image) {
    std::istringstream manifest(e2e::ReadFile(image + ".manifest"));
    std::string line;
    while (std::getline(manifest, line))
        if (line.rfind("patch ", 0) == 0 || line.rfind("raw ", 0) == 0)
            return true;
    return false;
}

TEST(FlsDifferential, SameRecordsAndPathsOnEveryVolume) {
    int volumes = 0;
    for (const auto& item : std::filesystem::directory_iterator(VESK_TEST_VOLUMES_DIR)) {
        if (item.path().extension() != ".img")
            continue;
        if (IsDamaged(item.path().string()))
            continue;
        const std::string name = item.path().stem().string();
        SCOPED_TRACE(name);
        ++volumes;
        std::set<Entry> names; // base record, leaf name: every FILE_NAME the records carry
        for (const e2e::ManifestName& n : e2e::ManifestNames(name))
            names.insert({n.base != 0 ? n.base : n.record, n.path.substr(n.path.rfind('\\') + 1)});
        const Entries vesk = VeskEntries(item.path().string());
        const Entries fls = FlsEntries(item.path().string());
        for (const Entry& e : vesk)
            EXPECT_TRUE(fls.count(e)) << "only vesk finds #" << e.first << " " << e.second;
        for (const Entry& e : fls) {
            // The manifest escapes bytes outside ASCII, so only ASCII names can be looked up there.
            const std::string leaf = Leaf(e.second);
            const bool ascii = std::all_of(
                leaf.begin(), leaf.end(), [](char c) { return c > ' ' && c <= '~' && c != '%' && c != '='; });
            const bool staleIndexName = ascii && !names.count({e.first, leaf});
            EXPECT_TRUE(vesk.count(e) || staleIndexName) << "only fls finds #" << e.first << " " << e.second;
        }
    }
    EXPECT_GE(volumes, 11);
}

} // namespace
