// Paths, junctions and the upper-case table on volumes written by libntfs-3g (tests/volumes),
// checked against the builder's manifest of what the library reads back from each image.
#include "tools/mkvol/manifest_reader.h"
#include "volume/FileNameAttribute.h"
#include "volume/JunctionTable.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <boost/intrusive_ptr.hpp>

#include <map>
#include <memory>
#include <set>

namespace Krod {
namespace {

std::wstring Wide(const std::u16string& units) {
    return std::wstring(units.begin(), units.end());
}

struct ManifestName {
    std::uint64_t record;
    std::wstring name;
    std::wstring path;
};

struct Manifest {
    std::vector<ManifestName> names;             // names of records in use
    std::map<std::uint64_t, std::wstring> paths; // record -> its path
    std::map<std::uint64_t, std::wstring> junctionTargets;
};

Manifest ReadManifest(const std::string& file) {
    Manifest manifest;
    for (const mkvol::ManifestLine& line : mkvol::ReadManifest(file)) {
        if (line.kind == "name" && line.Number("inuse") == 1) {
            const std::wstring path = Wide(line.Name("path"));
            manifest.names.push_back({line.Number("rec"), Wide(line.Units("units")), path});
            manifest.paths[line.Number("rec")] = path;
        } else if (line.kind == "junction") {
            manifest.junctionTargets[line.Number("rec")] = Wide(line.Units("target-units"));
        }
    }
    return manifest;
}

// One test volume opened as the program opens it, with its manifest.
struct OpenedImage {
    explicit OpenedImage(const std::string& name) {
        const std::string image = std::string(VESK_TEST_VOLUMES_DIR) + "/" + name + ".img";
        manifest = ReadManifest(image + ".manifest");
        boost::intrusive_ptr<CLogicalDisk> disk(
            new CLogicalDisk(std::wstring(image.begin(), image.end()).c_str()), false);
        mft = std::make_unique<CMft>(disk.get());
        mft->EnableDirectoryCache = true;
        upcase = std::make_unique<CUpcaseTable>(*mft);
        junctions = std::make_unique<CJunctionTable>(mft.get(), *upcase, false, 1, L'C');
    }

    Manifest manifest;
    std::unique_ptr<CMft> mft;
    std::unique_ptr<CUpcaseTable> upcase;
    std::unique_ptr<CJunctionTable> junctions;
};

class EveryVolume : public ::testing::TestWithParam<const char*> {};

TEST_P(EveryVolume, ClimbsFromEveryNameToItsPathAndLoadsEveryJunction) {
    const OpenedImage image(GetParam());
    ASSERT_FALSE(image.manifest.names.empty());
    for (const ManifestName& expected : image.manifest.names) {
        const CFileRecord record = image.mft->ReadFileRecord(FileReference::FromRaw(expected.record));
        bool found = false;
        for (const CAttribute& attribute : record.GetFileNameAttributes(AnyNamespace)) {
            const CFileNameAttribute name(attribute);
            if (name.GetFileNameText() != expected.name)
                continue;
            found = true;
            EXPECT_EQ(name.GetParentPath(*image.mft) + expected.name, expected.path);
            const auto ancestors = name.GetAncestorRecords(*image.mft);
            EXPECT_EQ(ancestors->front().GetReference().GetRecordNumber(), 5u);
            EXPECT_EQ(ancestors->back().GetReference().GetRecordNumber(),
                      name.GetParentReference().GetRecordNumber());
        }
        EXPECT_TRUE(found) << "record " << expected.record;
    }

    std::set<std::wstring> junctions;
    for (const auto& [record, target] : image.manifest.junctionTargets) {
        std::wstring stripped = StripPathPrefix(target);
        image.upcase->ToUpperString(stripped);
        junctions.insert(std::to_wstring(record) + L" " + image.manifest.paths.at(record) + L" -> " +
                         stripped);
    }
    std::set<std::wstring> loaded;
    for (const JunctionEntry& entry : image.junctions->GetEntries())
        loaded.insert(std::to_wstring(entry.junction.GetRecordNumber()) + L" " + entry.sourcePath + L" -> " +
                      entry.targetDrive + L":" + entry.targetPath);
    EXPECT_EQ(loaded, junctions);

    EXPECT_EQ(image.upcase->ToUpper(L'a'), L'A');
    EXPECT_EQ(image.upcase->ToUpper(0x043A), 0x041A); // Cyrillic ka
    EXPECT_EQ(image.upcase->ToUpper(L'7'), L'7');
}

// Not the attribute-list volume: its names lie in extension records, which lookups do not follow.
INSTANTIATE_TEST_SUITE_P(Images, EveryVolume,
                         ::testing::Values("basic", "junctions", "windows-names", "filters", "fragmented-mft",
                                           "geometry-512-512", "geometry-4096-4096", "geometry-512-65536"));

// The junctions recipe: 407 junctions in a $R index of several blocks, nested targets, a junction
// inside its own target, a cycle, another drive and a target that prefixes another name.
TEST(JunctionsVolume, ListsAlternatePathsThroughTheVolumesJunctions) {
    const OpenedImage image("junctions");
    ASSERT_EQ(image.junctions->GetEntries().size(), 407u);
    const auto paths = [&image](const std::wstring& path) {
        const auto list = image.junctions->GetAlternatePaths(path);
        return std::vector<std::wstring>(list->begin(), list->end());
    };
    EXPECT_EQ(paths(L"\\A\\"), (std::vector<std::wstring>{L"\\A\\", L"\\ToA\\"}));
    EXPECT_EQ(paths(L"\\AB\\"), (std::vector<std::wstring>{L"\\AB\\"}));
    EXPECT_EQ(paths(L"\\Cycle\\A\\"),
              (std::vector<std::wstring>{L"\\Cycle\\A\\", L"\\Cycle\\B\\toA\\", L"\\Cycle\\A\\toB\\toA\\"}));
    EXPECT_EQ(paths(L"D:\\Elsewhere\\x\\"),
              (std::vector<std::wstring>{L"D:\\Elsewhere\\x\\", L"\\OtherDrive\\x\\"}));

    // Most specific target first; every path once; each \Many junction leads to \Data.
    const std::vector<std::wstring> src = paths(L"\\Data\\Projects\\Alpha\\Src\\");
    ASSERT_GE(src.size(), 4u);
    EXPECT_EQ(src[1], L"\\Deeper\\Src\\");
    EXPECT_EQ(src[2], L"\\Link\\Alpha\\Src\\");
    const std::set<std::wstring> all(src.begin(), src.end());
    EXPECT_EQ(all.size(), src.size());
    EXPECT_EQ(all.count(L"\\Many\\j00000\\Projects\\Alpha\\Src\\"), 1u);
    EXPECT_EQ(all.count(L"\\Many\\j00399\\Projects\\Alpha\\Src\\"), 1u);
    EXPECT_EQ(all.count(L"\\Data\\Projects\\Up\\Projects\\Alpha\\Src\\"), 1u);
}

} // namespace
} // namespace Krod
