// The builder itself: every recipe forces the structure it is named for, builds are reproducible,
// an independent reader (The Sleuth Kit) sees what the manifest says, patches keep or break fixups
// as documented, and recipe mistakes name their line.
#include "tests/common/scratch_folder.h"
#include "tools/mkvol/manifest_reader.h"
#include "tools/mkvol/utf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
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

// A field's text, or "" where the line has none.
const std::string& Field(const Line& line, const std::string& key) {
    static const std::string missing;
    const auto it = line.fields.find(key);
    return it == line.fields.end() ? missing : it->second;
}

// A path or name field as the UTF-8 that fls prints.
std::string Utf8(const Line& line, const std::string& key) {
    return mkvol::Utf16ToUtf8(line.Name(key));
}

std::vector<Line> LoadManifest(const std::string& path) {
    return mkvol::ReadManifest(path);
}

std::vector<Line> Kind(const std::vector<Line>& lines, const std::string& kind) {
    std::vector<Line> out;
    for (const Line& line : lines)
        if (line.kind == kind)
            out.push_back(line);
    return out;
}

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

// A private folder per test, removed at the end; names in it as text.
struct TempDir {
    vesk_test::ScratchFolder folder;
    std::string operator/(const std::string& name) const { return (folder / name).string(); }
};

const std::vector<std::string> kAllVolumes = {"basic",
                                              "windows-names",
                                              "junctions",
                                              "fragmented-mft",
                                              "attribute-list",
                                              "attribute-list-directory",
                                              "attribute-list-mft",
                                              "geometry-512-512",
                                              "geometry-512-65536",
                                              "geometry-4096-4096"};

bool Any(const std::vector<Line>& lines, const std::function<bool(const Line&)>& test) {
    for (const Line& line : lines)
        if (test(line))
            return true;
    return false;
}

bool UserRecord(const Line& line) {
    return line.Number("rec") >= 64;
}

TEST(Volumes, EachRecipeForcesItsStructure) {
    struct Case {
        std::string volume;
        std::string what;
        std::function<bool(const std::vector<Line>&)> holds;
    };
    const auto names = [](const std::vector<Line>& m) { return Kind(m, "name"); };
    const auto geometry = [](uint64_t sector, uint64_t cluster, uint64_t record) {
        return [=](const std::vector<Line>& m) {
            const Line v = Kind(m, "volume").at(0);
            return v.Number("sector") == sector && v.Number("cluster") == cluster &&
                   v.Number("record") == record;
        };
    };
    const std::vector<Case> cases = {
        {"basic", "a user directory with INDEX_ALLOCATION",
         [](const std::vector<Line>& m) {
             return Any(Kind(m, "index"), [](const Line& l) {
                 return UserRecord(l) && Field(l, "name") == "$I30" && Field(l, "large") == "1" &&
                        l.Number("blocks") >= 1;
             });
         }},
        {"basic", "Win32, DOS and Win32&DOS names",
         [&](const std::vector<Line>& m) {
             std::set<std::string> spaces;
             for (const Line& l : names(m))
                 if (UserRecord(l))
                     spaces.insert(Field(l, "ns"));
             return spaces == std::set<std::string>{"0", "1", "2", "3"};
         }},
        {"basic", "a hard link across directories",
         [&](const std::vector<Line>& m) {
             std::map<std::string, std::set<std::string>> parents;
             for (const Line& l : names(m))
                 parents[Field(l, "rec")].insert(Field(l, "parent"));
             for (const auto& entry : parents)
                 if (entry.second.size() > 1)
                     return true;
             return false;
         }},
        {"basic", "resident and non-resident named streams",
         [](const std::vector<Line>& m) {
             const auto data = Kind(m, "data");
             return Any(data,
                        [](const Line& l) {
                            return UserRecord(l) && !Field(l, "stream").empty() &&
                                   Field(l, "resident") == "1";
                        }) &&
                    Any(data, [](const Line& l) {
                        return UserRecord(l) && !Field(l, "stream").empty() && Field(l, "resident") == "0";
                    });
         }},
        {"basic", "a name outside the BMP",
         [&](const std::vector<Line>& m) {
             return Any(names(m), [](const Line& l) {
                 return Field(l, "units").find("d83dde00") != std::string::npos;
             });
         }},
        {"basic", "a deleted directory holding a deleted file",
         [&](const std::vector<Line>& m) {
             return Any(names(m),
                        [](const Line& l) {
                            return Field(l, "inuse") == "0" && Field(l, "dir") == "0" &&
                                   Utf8(l, "path") == "\\Trash\\OldDir\\inner.txt";
                        }) &&
                    Any(names(m), [](const Line& l) {
                        return Field(l, "inuse") == "0" && Field(l, "dir") == "1" &&
                               Utf8(l, "path") == "\\Trash\\OldDir";
                    });
         }},
        {"windows-names", "a user file named $MFT in the root",
         [&](const std::vector<Line>& m) {
             return Any(names(m),
                        [](const Line& l) { return UserRecord(l) && Field(l, "path") == "\\$MFT"; });
         }},
        {"windows-names", "a Win32 name and a system-flagged name",
         [&](const std::vector<Line>& m) {
             return Any(names(m), [](const Line& l) { return UserRecord(l) && Field(l, "ns") == "1"; }) &&
                    Any(names(m),
                        [](const Line& l) { return UserRecord(l) && (l.Number("fn-flags") & 0x4); });
         }},
        {"junctions", "several $R index blocks",
         [](const std::vector<Line>& m) {
             return Any(Kind(m, "index"),
                        [](const Line& l) { return Field(l, "name") == "$R" && l.Number("blocks") >= 2; });
         }},
        {"junctions", "mount points to C: and D:",
         [](const std::vector<Line>& m) {
             const auto j = Kind(m, "junction");
             return j.size() >= 400 &&
                    Any(j, [](const Line& l) { return Field(l, "target") == "\\??\\D:\\Elsewhere"; }) &&
                    Any(j, [](const Line& l) { return Field(l, "target") == "\\??\\C:\\A"; });
         }},
        {"fragmented-mft", "an $MFT of three runs or more",
         [](const std::vector<Line>& m) {
             return Kind(m, "mft").at(0).Number("runs") >= 3 && Kind(m, "mft-run").size() >= 3;
         }},
        {"attribute-list", "FILE_NAMEs in extension records",
         [&](const std::vector<Line>& m) {
             return Any(Kind(m, "record"), [](const Line& l) { return Field(l, "attribute-list") == "1"; }) &&
                    Any(names(m), [](const Line& l) { return Field(l, "base") != "0"; });
         }},
        {"attribute-list-directory", "a directory named from an extension record",
         [&](const std::vector<Line>& m) {
             return Any(Kind(m, "record"),
                        [](const Line& l) {
                            return Field(l, "dir") == "1" && Field(l, "attribute-list") == "1" &&
                                   Field(l, "names") == "0";
                        }) &&
                    Any(names(m),
                        [](const Line& l) { return Field(l, "base") != "0" && Field(l, "path") == "\\Dir"; });
         }},
        {"attribute-list-mft", "an $MFT with an $ATTRIBUTE_LIST and no name of its own",
         [](const std::vector<Line>& m) {
             return Any(Kind(m, "record"), [](const Line& l) {
                 return Field(l, "rec") == "0" && Field(l, "attribute-list") == "1" &&
                        Field(l, "names") == "0";
             });
         }},
        {"geometry-512-512", "512-byte clusters", geometry(512, 512, 1024)},
        {"geometry-512-65536", "64 KiB clusters", geometry(512, 65536, 1024)},
        {"geometry-4096-4096", "4096-byte sectors and records", geometry(4096, 4096, 4096)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(c.holds(LoadManifest(kVolumes + "/" + c.volume + ".img.manifest")))
            << c.volume << ": " << c.what;
}

// Every in-use name but the DOS ones is a path fls finds under the same file, and every file fls
// lists is a record the manifest knows. fls reads the directory indexes, the manifest the records:
// an independent check of both the builder and the manifest. -u leaves out deleted entries, which
// fls finds through indexes only by chance.
TEST(Volumes, SleuthKitSeesWhatTheManifestSays) {
    for (const std::string& volume : kAllVolumes) {
        const std::string image = kVolumes + "/" + volume + ".img";
        const Outcome fls = Shell("fls -r -p -u '" + image + "'");
        ASSERT_EQ(fls.status, 0) << volume << "\n" << fls.output;
        std::set<std::pair<uint64_t, std::string>> listed; // base record, \path
        std::istringstream lines(fls.output);
        std::string text;
        while (std::getline(lines, text)) {
            const size_t tab = text.find('\t');
            const size_t star = text.find(" * ");
            if (tab == std::string::npos || text.compare(tab + 1, 13, "$OrphanFiles") == 0 || star < tab)
                continue;
            const size_t number = text.find_first_of("0123456789", 4);
            std::string path = "\\" + text.substr(tab + 1, text.find(':', tab + 1) - tab - 1);
            for (char& ch : path)
                if (ch == '/')
                    ch = '\\';
            listed.emplace(std::stoull(text.substr(number)), path);
        }
        const std::vector<Line> manifest = LoadManifest(image + ".manifest");
        std::set<uint64_t> known;
        // $MFT's extension records say base=0 too, so its own record is known by its record line.
        for (const Line& record : Kind(manifest, "record"))
            known.insert(record.Number("rec"));
        for (const Line& name : Kind(manifest, "name")) {
            const uint64_t file = Field(name, "base") == "0" ? name.Number("rec") : name.Number("base");
            known.insert(file);
            if (Field(name, "inuse") != "1" || Field(name, "ns") == "2" || file == 5)
                continue;
            EXPECT_TRUE(listed.count({file, Utf8(name, "path")}))
                << volume << ": fls does not list " << Utf8(name, "path") << " in record " << file;
        }
        for (const auto& [file, path] : listed)
            EXPECT_TRUE(known.count(file)) << volume << ": the manifest lacks record " << file << " " << path;
    }
}

TEST(Build, IsReproducible) {
    TempDir dir;
    for (const std::string volume : {"basic", "windows-names", "geometry-4096-4096"}) {
        const std::string image = dir / (volume + ".img");
        const Outcome build =
            Shell("'" + kMkvol + "' build '" + kRecipes + "/" + volume + ".recipe' '" + image + "'");
        ASSERT_EQ(build.status, 0) << build.output;
        EXPECT_TRUE(ReadFile(image) == ReadFile(kVolumes + "/" + volume + ".img"))
            << volume << ".img differs";
        EXPECT_EQ(ReadFile(image + ".manifest"), ReadFile(kVolumes + "/" + volume + ".img.manifest"));
    }
}

// The bytes of record n as they are on disk, found through the manifest's $MFT runs.
std::string DiskRecord(const std::string& image, const std::vector<Line>& manifest, uint64_t n) {
    const Line volume = Kind(manifest, "volume").at(0);
    const uint64_t cluster = volume.Number("cluster");
    const uint64_t record = volume.Number("record");
    const std::string bytes = ReadFile(image);
    std::string out;
    for (uint64_t at = n * record; at < (n + 1) * record; ++at)
        for (const Line& run : Kind(manifest, "mft-run")) {
            const uint64_t vcn = at / cluster;
            if (vcn >= run.Number("vcn") && vcn < run.Number("vcn") + run.Number("length"))
                out.push_back(
                    bytes.at((run.Number("lcn") + vcn - run.Number("vcn")) * cluster + at % cluster));
        }
    return out;
}

uint16_t U16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(at)) | static_cast<uint8_t>(bytes.at(at + 1))
                                                                          << 8);
}

uint64_t RecordOf(const std::vector<Line>& manifest, const std::string& path) {
    for (const Line& name : Kind(manifest, "name"))
        if (Utf8(name, "path") == path)
            return name.Number("rec");
    ADD_FAILURE() << "no " << path;
    return 0;
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
    TempDir dir;
    for (const Case& c : cases) {
        const std::string image = dir / (c.volume + ".img");
        ASSERT_EQ(Shell("cp '" + kVolumes + "/" + c.volume + ".img' '" + image + "'").status, 0);
        const std::vector<Line> manifest = LoadManifest(kVolumes + "/" + c.volume + ".img.manifest");
        const uint64_t n = RecordOf(manifest, c.path);
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
        for (const Line& record : Kind(manifest, "record"))
            if (record.Number("rec") == n)
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

// Damage in a recipe is applied after the manifest is taken, and listed at its end.
TEST(Patch, RecipeDamageFollowsTheManifest) {
    TempDir dir;
    std::ofstream(dir / "r") << "geometry size=4M\n"
                                "file \\a size=1\n"
                                "patch \\a offset=0x18 bytes=00000000\n"
                                "raw offset=3 bytes=58585858\n";
    const Outcome build = Shell("'" + kMkvol + "' build '" + (dir / "r") + "' '" + (dir / "v.img") + "'");
    ASSERT_EQ(build.status, 0) << build.output;
    const std::vector<Line> manifest = LoadManifest(dir / "v.img.manifest");
    const uint64_t n = RecordOf(manifest, "\\a");
    ASSERT_GE(manifest.size(), 2u);
    EXPECT_EQ(manifest[manifest.size() - 2].kind, "patch");
    EXPECT_EQ(Field(manifest[manifest.size() - 2], "record"), std::to_string(n));
    EXPECT_EQ(Field(manifest[manifest.size() - 2], "offset"), "24");
    EXPECT_EQ(manifest.back().kind, "raw");
    EXPECT_EQ(Field(manifest.back(), "bytes"), "58585858");
    EXPECT_EQ(ReadFile(dir / "v.img").substr(3, 4), "XXXX");
    EXPECT_EQ(U16(DiskRecord(dir / "v.img", manifest, n), 0x18), 0) << "bytes in use";
    EXPECT_NE(Shell("'" + kMkvol + "' manifest '" + (dir / "v.img") + "'").status, 0) << "still NTFS";
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
    TempDir dir;
    for (const Case& c : cases) {
        std::ofstream(dir / "r") << c.recipe;
        const Outcome build = Shell("cd '" + (dir / "") + "' && '" + kMkvol + "' build r v.img");
        EXPECT_EQ(build.status, 1) << c.recipe;
        EXPECT_NE(build.output.find(c.message), std::string::npos) << c.recipe << "gave: " << build.output;
        EXPECT_NE(::access((dir / "v.img").c_str(), F_OK), 0) << "a failed build left an image";
        EXPECT_NE(::access((dir / "v.img.partial").c_str(), F_OK), 0)
            << "a failed build left its partial image";
    }
}

} // namespace
