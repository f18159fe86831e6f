// The builder itself: a build is reproducible, every committed recipe makes what its "# forces:"
// lines claim, a patch keeps a record's fixups right while a raw write breaks them, and a recipe
// mistake names its line. How the library reads each volume is checked by the volume tests against
// libntfs-3g, and the program's paths against The Sleuth Kit.
#include "tests/common/scratch_folder.h"
#include "tools/mkvol/manifest_reader.h"
#include "tools/mkvol/utf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kVolumes = VESK_TEST_VOLUMES_DIR;
const std::string kRecipes = VESK_TEST_RECIPES_DIR;
const std::string kMkvol = VESK_MKVOL;

using Line = mkvol::ManifestLine;

struct Outcome {
    int status = -1;
    std::string output; // stdout and stderr together
};

Outcome Shell(const std::string& command) {
    Outcome run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string In(const vesk_test::ScratchFolder& folder, const std::string& name) {
    return (folder / name).string();
}

const Line& Only(const std::vector<Line>& manifest, const std::string& kind) {
    for (const Line& line : manifest)
        if (line.kind == kind)
            return line;
    throw std::runtime_error("no " + kind + " line");
}

// The bytes of record n as they are on disk, found through the manifest's $MFT runs.
std::string DiskRecord(const std::string& image, const std::vector<Line>& manifest, uint64_t n) {
    const Line& volume = Only(manifest, "volume");
    const uint64_t cluster = volume.Number("cluster");
    const uint64_t size = volume.Number("record");
    const std::string bytes = ReadFile(image);
    std::string out;
    for (uint64_t at = n * size; at < (n + 1) * size; ++at)
        for (const Line& run : manifest) {
            const uint64_t vcn = at / cluster;
            if (run.kind == "mft-run" && vcn >= run.Number("vcn") &&
                vcn < run.Number("vcn") + run.Number("length"))
                out.push_back(
                    bytes.at((run.Number("lcn") + vcn - run.Number("vcn")) * cluster + at % cluster));
        }
    return out;
}

uint16_t U16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(at)) | static_cast<uint8_t>(bytes.at(at + 1))
                                                                          << 8);
}

TEST(Build, IsReproducible) {
    vesk_test::ScratchFolder dir;
    const std::string image = In(dir, "basic.img");
    const Outcome build = Shell("'" + kMkvol + "' build '" + kRecipes + "/basic.recipe' '" + image + "'");
    ASSERT_EQ(build.status, 0) << build.output;
    EXPECT_TRUE(ReadFile(image) == ReadFile(kVolumes + "/basic.img")) << "basic.img differs";
    EXPECT_EQ(ReadFile(image + ".manifest"), ReadFile(kVolumes + "/basic.img.manifest"));
}

// Whether some line of the manifest has the claim's kind and meets each of its conditions,
// `key=text` or `key>=number`: "name rec>=64 ns=1" claims a user file with a Win32 name.
bool Holds(const std::vector<Line>& lines, const std::string& claim) {
    std::istringstream in(claim);
    std::string kind, condition;
    in >> kind;
    std::vector<std::string> conditions;
    while (in >> condition)
        conditions.push_back(condition);
    return std::any_of(lines.begin(), lines.end(), [&](const Line& line) {
        return line.kind == kind &&
               std::all_of(conditions.begin(), conditions.end(), [&](const std::string& c) {
                   const std::size_t at = c.find('=');
                   const bool atLeast = at > 0 && c[at - 1] == '>';
                   const std::string key = c.substr(0, at - atLeast);
                   if (!line.fields.count(key))
                       return false;
                   return atLeast ? line.Number(key) >= std::stoull(c.substr(at + 1))
                                  : line.Text(key) == c.substr(at + 1);
               });
    });
}

TEST(Recipes, MakeWhatTheyClaim) {
    const std::string forces = "# forces:";
    for (const auto& entry : std::filesystem::directory_iterator(kRecipes)) {
        if (entry.path().extension() != ".recipe")
            continue;
        const std::vector<Line> lines =
            mkvol::ReadManifest(kVolumes + "/" + entry.path().stem().string() + ".img.manifest");
        std::ifstream recipe(entry.path());
        for (std::string line; std::getline(recipe, line);) {
            if (line.compare(0, forces.size(), forces) == 0) {
                EXPECT_TRUE(Holds(lines, line.substr(forces.size())))
                    << entry.path().filename() << ": " << line;
            }
        }
    }
}

// A patch of a stretch end goes to the update sequence array and the stretch end keeps the sequence
// number, so libntfs-3g still reads the record; a raw write over the stretch end breaks it, and
// then the record can no longer be patched.
TEST(Patch, KeepsFixupsValidUnlessRaw) {
    struct Case {
        std::string volume;
        std::string path;
        uint64_t offset; // a stretch end: 512 i - 2
    };
    const std::vector<Case> cases = {
        {"basic", "\\Projects\\readme.txt", 510},
        {"geometry-512-512", "\\Dir\\Sub\\small.txt", 1022},   // the record's second cluster
        {"geometry-4096-4096", "\\Dir\\Sub\\small.txt", 4094}, // the ninth entry of the array
    };
    vesk_test::ScratchFolder dir;
    for (const Case& c : cases) {
        const std::string image = In(dir, c.volume + ".img");
        ASSERT_EQ(Shell("cp '" + kVolumes + "/" + c.volume + ".img' '" + image + "'").status, 0);
        const std::vector<Line> manifest = mkvol::ReadManifest(kVolumes + "/" + c.volume + ".img.manifest");
        uint64_t n = 0;
        for (const Line& line : manifest)
            if (line.kind == "name" && mkvol::Utf16ToUtf8(line.Name("path")) == c.path)
                n = line.Number("rec");
        ASSERT_NE(n, 0u) << c.volume << ": no " << c.path;
        const std::string before = DiskRecord(image, manifest, n);

        const Outcome patch = Shell("'" + kMkvol + "' patch '" + image + "' record=" + std::to_string(n) +
                                    " offset=" + std::to_string(c.offset) + " bytes=abcd");
        ASSERT_EQ(patch.status, 0) << patch.output;
        const std::string after = DiskRecord(image, manifest, n);
        const size_t array = U16(after, 4);
        const size_t stretch = (c.offset + 2) / 512;
        EXPECT_EQ(U16(after, c.offset), U16(after, array))
            << c.volume << ": the stretch end keeps the sequence number";
        EXPECT_EQ(U16(after, array + 2 * stretch), 0xcdab)
            << c.volume << ": the array holds the patched bytes";
        EXPECT_EQ(U16(after, array), U16(before, array)) << c.volume << ": same sequence number";
        const Outcome reread = Shell("'" + kMkvol + "' manifest '" + image + "'");
        EXPECT_EQ(reread.status, 0) << c.volume << ": libntfs-3g rejects the patched record\n"
                                    << reread.output;

        uint64_t offset = 0; // the records patched here lie in one cluster run
        for (const Line& record : manifest)
            if (record.kind == "record" && record.Number("rec") == n)
                offset = record.Number("at") + c.offset;
        ASSERT_EQ(
            Shell("'" + kMkvol + "' raw '" + image + "' offset=" + std::to_string(offset) + " bytes=abcd")
                .status,
            0);
        EXPECT_EQ(U16(DiskRecord(image, manifest, n), c.offset), 0xcdab);
        const Outcome broken = Shell("'" + kMkvol + "' manifest '" + image + "'");
        EXPECT_NE(broken.output.find("\nbad rec=" + std::to_string(n) + "\n"), std::string::npos)
            << c.volume << ": fixup not broken";
        const Outcome again = Shell("'" + kMkvol + "' patch '" + image + "' record=" + std::to_string(n) +
                                    " offset=0 bytes=00");
        EXPECT_EQ(again.status, 1);
        EXPECT_NE(again.output.find("fails its fixups already"), std::string::npos) << again.output;
    }
}

TEST(Recipe, MistakesNameTheirLine) {
    struct Case {
        std::string recipe;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"file \\a size=1\n", "r:1: a recipe starts with geometry"},
        {"geometry size=4M\nbogus \\a\n", "r:2: unknown command bogus"},
        {"geometry size=4M\nfile \\a b.txt size=1\n", "r:2: file takes 1 operand(s), not 2"},
        {"geometry size=4M\nfile \"\\a size=1\n", "r:2: unterminated quote"},
        {"geometry size=4M\nfile \\a\n", "r:2: file needs size="},
        {"geometry size=4M\nfile \\a size=12Q\n", "r:2: size: not a number"},
        {"geometry size=4M\nlink \\missing \\b\n", "r:2: no such file or directory: \\missing"},
        {"geometry size=4M\nfile \\a size=1\nfile \\a size=1\n", "r:3: already exists: \\a"},
        {"geometry size=4M sector=1000\n", "r:1: sector must be a power of two"},
        {"geometry size=4M\nfile \\a size=1\nrename \\a xy\n", "r:3: a FILE_NAME can only be renamed"},
        {"geometry size=4M\npatch record=0 offset=1022 bytes=00112233\n", "r:2: patch reaches past the end"},
    };
    vesk_test::ScratchFolder dir;
    for (const Case& c : cases) {
        std::ofstream(In(dir, "r")) << c.recipe;
        const Outcome build = Shell("cd '" + dir.Path().string() + "' && '" + kMkvol + "' build r v.img");
        EXPECT_EQ(build.status, 1) << c.recipe;
        EXPECT_NE(build.output.find(c.message), std::string::npos) << c.recipe << "gave: " << build.output;
        EXPECT_NE(::access(In(dir, "v.img").c_str(), F_OK), 0) << "a failed build left an image";
        EXPECT_NE(::access(In(dir, "v.img.partial").c_str(), F_OK), 0)
            << "a failed build left its partial image";
    }
}

} // namespace
