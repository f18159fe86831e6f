// Paths and junctions on a volume written by libntfs-3g (tests/volumes/junctions.recipe), checked
// against the builder's manifest of what the library reads back from the image.
#include "volume/FileNameAttribute.h"
#include "volume/JunctionTable.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <boost/intrusive_ptr.hpp>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace Krod {
namespace {

// The value of key=value in a manifest line; values run to the next blank.
std::string Field(const std::string& line, const std::string& key) {
    const std::size_t at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + key.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}

// UTF-16 code units written as hex, four digits each.
std::wstring Units(const std::string& hex) {
    std::wstring text;
    for (std::size_t i = 0; i + 4 <= hex.size(); i += 4)
        text += static_cast<wchar_t>(std::stoul(hex.substr(i, 4), nullptr, 16));
    return text;
}

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
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
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        const std::uint64_t record = std::stoull(Field(line, "rec").empty() ? "0" : Field(line, "rec"));
        if (kind == "name" && Field(line, "inuse") == "1") {
            // Paths are the last field and may hold blanks; these volumes' names are ASCII.
            const std::wstring path = Wide(line.substr(line.find(" path=") + 6));
            manifest.names.push_back({record, Units(Field(line, "units")), path});
            manifest.paths[record] = path;
        } else if (kind == "junction") {
            manifest.junctionTargets[record] = Units(Field(line, "target-units"));
        }
    }
    return manifest;
}

class JunctionsVolume : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string image = std::string(VESK_TEST_VOLUMES_DIR) + "/junctions.img";
        manifest_ = new Manifest(ReadManifest(image + ".manifest"));
        boost::intrusive_ptr<CLogicalDisk> disk(new CLogicalDisk(Wide(image).c_str()), false);
        mft_ = new CMft(disk.get());
        mft_->EnableDirectoryCache = true;
        upcase_ = new CUpcaseTable(*mft_);
        junctions_ = new CJunctionTable(mft_, *upcase_, false, 1, L'C');
    }
    static void TearDownTestSuite() {
        delete junctions_;
        delete upcase_;
        delete mft_;
        delete manifest_;
    }

    static std::vector<std::wstring> Paths(const std::wstring& path) {
        const auto paths = junctions_->GetAlternatePaths(path);
        return std::vector<std::wstring>(paths->begin(), paths->end());
    }

    static Manifest* manifest_;
    static CMft* mft_;
    static CUpcaseTable* upcase_;
    static CJunctionTable* junctions_;
};

Manifest* JunctionsVolume::manifest_;
CMft* JunctionsVolume::mft_;
CUpcaseTable* JunctionsVolume::upcase_;
CJunctionTable* JunctionsVolume::junctions_;

TEST_F(JunctionsVolume, EveryNameClimbsToItsPath) {
    ASSERT_GT(manifest_->names.size(), 400u);
    for (const ManifestName& expected : manifest_->names) {
        const CFileRecord record = mft_->ReadFileRecord(FileReference::FromRaw(expected.record));
        bool found = false;
        for (const CAttribute& attribute : record.GetFileNameAttributes(AnyNamespace)) {
            const CFileNameAttribute name(attribute);
            if (name.GetFileNameText() != expected.name)
                continue;
            found = true;
            EXPECT_EQ(name.GetParentPath(*mft_) + expected.name, expected.path);
            const auto ancestors = name.GetAncestorRecords(*mft_);
            EXPECT_EQ(ancestors->front().GetReference().GetRecordNumber(), 5u);
            EXPECT_EQ(ancestors->back().GetReference().GetRecordNumber(),
                      name.GetParentReference().GetRecordNumber());
        }
        EXPECT_TRUE(found) << "record " << expected.record;
    }
}

TEST_F(JunctionsVolume, LoadsEveryJunctionOfTheReparseIndex) {
    std::set<std::wstring> expected;
    for (const auto& [record, target] : manifest_->junctionTargets) {
        std::wstring stripped = StripPathPrefix(target);
        upcase_->ToUpperString(stripped);
        expected.insert(std::to_wstring(record) + L" " + manifest_->paths.at(record) + L" -> " + stripped);
    }
    std::set<std::wstring> loaded;
    for (const JunctionEntry& entry : junctions_->GetEntries())
        loaded.insert(std::to_wstring(entry.junction.GetRecordNumber()) + L" " + entry.sourcePath + L" -> " +
                      entry.targetDrive + L":" + entry.targetPath);
    EXPECT_EQ(manifest_->junctionTargets.size(), 407u) << "the recipe's junctions";
    EXPECT_EQ(loaded, expected);
}

TEST_F(JunctionsVolume, ListsAlternatePathsThroughTheVolumesJunctions) {
    EXPECT_EQ(Paths(L"\\A\\"), (std::vector<std::wstring>{L"\\A\\", L"\\ToA\\"}));
    EXPECT_EQ(Paths(L"\\AB\\"), (std::vector<std::wstring>{L"\\AB\\"}));
    EXPECT_EQ(Paths(L"\\Cycle\\A\\"),
              (std::vector<std::wstring>{L"\\Cycle\\A\\", L"\\Cycle\\B\\toA\\", L"\\Cycle\\A\\toB\\toA\\"}));
    EXPECT_EQ(Paths(L"D:\\Elsewhere\\x\\"),
              (std::vector<std::wstring>{L"D:\\Elsewhere\\x\\", L"\\OtherDrive\\x\\"}));

    // Most specific target first; every path once; each \Many junction leads to \Data.
    const std::vector<std::wstring> src = Paths(L"\\Data\\Projects\\Alpha\\Src\\");
    ASSERT_GE(src.size(), 4u);
    EXPECT_EQ(src[1], L"\\Deeper\\Src\\");
    EXPECT_EQ(src[2], L"\\Link\\Alpha\\Src\\");
    EXPECT_EQ(std::set<std::wstring>(src.begin(), src.end()).size(), src.size());
    const std::set<std::wstring> all(src.begin(), src.end());
    for (int i : {0, 123, 399}) {
        std::wstring number = std::to_wstring(i);
        number.insert(0, 5 - number.size(), L'0');
        EXPECT_EQ(all.count(L"\\Many\\j" + number + L"\\Projects\\Alpha\\Src\\"), 1u) << i;
    }
    EXPECT_EQ(all.count(L"\\Data\\Projects\\Up\\Projects\\Alpha\\Src\\"), 1u);
}

} // namespace
} // namespace Krod
