// Paths, junctions and the upper-case table on volumes written by libntfs-3g (tests/volumes),
// checked against the builder's manifest of what the library reads back from each image.
#include "volume/FileNameAttribute.h"
#include "volume/JunctionTable.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <boost/intrusive_ptr.hpp>

#include <fstream>
#include <map>
#include <memory>
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

// The manifest writes paths in UTF-8 with blanks and bytes above 0x7F as %XX.
std::string PercentDecoded(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

// UTF-8 to UTF-16 code units.
std::wstring Utf16(const std::string& utf8) {
    std::wstring text;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if (code >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(code);
        }
        i += length;
    }
    return text;
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
            const std::wstring path = Utf16(PercentDecoded(Field(line, "path")));
            manifest.names.push_back({record, Units(Field(line, "units")), path});
            manifest.paths[record] = path;
        } else if (kind == "junction") {
            manifest.junctionTargets[record] = Units(Field(line, "target-units"));
        }
    }
    return manifest;
}

// One test volume opened as the program opens it, with its manifest.
struct OpenedImage {
    explicit OpenedImage(const std::string& name) {
        const std::string image = std::string(VESK_TEST_VOLUMES_DIR) + "/" + name + ".img";
        manifest = ReadManifest(image + ".manifest");
        boost::intrusive_ptr<CLogicalDisk> disk(new CLogicalDisk(Utf16(image).c_str()), false);
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
    EXPECT_EQ(image.junctions->GetEntries().size(), image.manifest.junctionTargets.size());
    EXPECT_EQ(image.upcase->ToUpper(L'a'), L'A');
    EXPECT_EQ(image.upcase->ToUpper(0x043A), 0x041A); // Cyrillic ka
    EXPECT_EQ(image.upcase->ToUpper(L'7'), L'7');
}

// Not the attribute-list volume: its names lie in extension records, which lookups do not follow.
INSTANTIATE_TEST_SUITE_P(Images, EveryVolume,
                         ::testing::Values("basic", "junctions", "windows-names", "filters", "fragmented-mft",
                                           "geometry-512-512", "geometry-4096-4096", "geometry-512-65536"));

class JunctionsVolume : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { image_ = new OpenedImage("junctions"); }
    static void TearDownTestSuite() { delete image_; }

    static std::vector<std::wstring> Paths(const std::wstring& path) {
        const auto paths = image_->junctions->GetAlternatePaths(path);
        return std::vector<std::wstring>(paths->begin(), paths->end());
    }

    static OpenedImage* image_;
};

OpenedImage* JunctionsVolume::image_;

TEST_F(JunctionsVolume, LoadsEveryJunctionOfTheReparseIndex) {
    std::set<std::wstring> expected;
    for (const auto& [record, target] : image_->manifest.junctionTargets) {
        std::wstring stripped = StripPathPrefix(target);
        image_->upcase->ToUpperString(stripped);
        expected.insert(std::to_wstring(record) + L" " + image_->manifest.paths.at(record) + L" -> " +
                        stripped);
    }
    std::set<std::wstring> loaded;
    for (const JunctionEntry& entry : image_->junctions->GetEntries())
        loaded.insert(std::to_wstring(entry.junction.GetRecordNumber()) + L" " + entry.sourcePath + L" -> " +
                      entry.targetDrive + L":" + entry.targetPath);
    EXPECT_EQ(image_->manifest.junctionTargets.size(), 407u) << "the recipe's junctions";
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
