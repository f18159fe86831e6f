// A file whose names continue in extension records, listed through its base record, and its
// $ATTRIBUTE_LIST or extension records damaged in copies of the volume. The attribute-list volume
// holds \Names\target.txt with 40 links: 6 names in its base record and 35 in five extension
// records, whose entries follow the base record's own ones in the list (one cluster,
// non-resident). Whatever the damage, the run ends by itself, reports the file under its base
// record only, and loses no more names than the damaged entries or records hold.

#include "tools/mkvol/manifest_reader.h"
#include "tests/common/scratch_folder.h"
#include "tests/e2e/program_run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned long long kBase = 65;           // \Names\target.txt
constexpr unsigned long long kFirstExtension = 66; // holds the names of list entries 7 to 14
constexpr unsigned long long kLastExtension = 70;  // holds those of entries 39 to 41
constexpr std::size_t kEntrySize = 0x20;           // every entry of this list: no attribute names

// Where the volume keeps the base record's attribute list: the image offset of its value, and the
// offset of its attribute in the record. Read from the record's bytes as the image holds them
// (the attribute lies in the first 512 bytes, which the update sequence leaves alone).
struct ListPlace {
    unsigned long long value = 0;
    unsigned long long attribute = 0;
};

std::uint64_t Le(const std::string& bytes, std::size_t offset, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i - 1));
    return value;
}

ListPlace FindList() {
    unsigned long long at = 0, cluster = 0;
    for (const mkvol::ManifestLine& line : mkvol::ReadManifest(e2e::Volume("attribute-list") + ".manifest")) {
        if (line.kind == "volume")
            cluster = line.Number("cluster");
        if (line.kind == "record" && line.Number("rec") == kBase)
            at = line.Number("at");
    }
    std::ifstream image(e2e::Volume("attribute-list"), std::ios::binary);
    image.seekg(static_cast<std::streamoff>(at));
    std::string record(512, '\0');
    image.read(&record[0], static_cast<std::streamsize>(record.size()));
    ListPlace place;
    for (std::size_t pos = Le(record, 0x14, 2); Le(record, pos, 4) != 0xFFFFFFFF;
         pos += Le(record, pos + 4, 4)) {
        if (Le(record, pos, 4) != 0x20)
            continue;
        // The first run of the non-resident value: a header byte, its length, then its LCN.
        const std::size_t run = pos + Le(record, pos + 0x20, 2);
        const unsigned header = static_cast<unsigned char>(record.at(run));
        place.value = Le(record, run + 1 + (header & 0x0F), header >> 4) * cluster;
        place.attribute = pos;
        break;
    }
    EXPECT_NE(place.value, 0u) << "no non-resident $ATTRIBUTE_LIST in record " << kBase;
    return place;
}

void PatchImage(const std::string& image, unsigned long long offset, const std::string& hexBytes) {
    const e2e::Outcome patched =
        e2e::Run(VESK_MKVOL, {"raw", image, "offset=" + std::to_string(offset), "bytes=" + hexBytes});
    ASSERT_EQ(patched.exitCode, 0) << patched.err;
}

TEST(AttributeList, DamagedListsAndExtensionsLoseOnlyWhatTheyHold) {
    const ListPlace list = FindList();
    struct Damage {
        const char* what;
        // A record patch (record, offset in the record), else a patch of the list's value (offset).
        unsigned long long record;
        unsigned long long offset;
        std::string bytes;
        std::size_t names; // of the file, listed under its base record
    } const damages[] = {
        {"nothing", 0, 0, "", 41},
        {"entry 7 of length zero: the walk ends there", 0, 7 * kEntrySize + 4, "0000", 6},
        {"entry 7 reaching past the list", 0, 7 * kEntrySize + 4, "f0ff", 6},
        {"entry 39 names an $ATTRIBUTE_LIST", 0, 39 * kEntrySize, "20000000", 40},
        {"entry 40 names the attribute entry 39 names", 0, 40 * kEntrySize + 0x18, "0000", 40},
        {"entry 39 names a record beyond the MFT", 0, 39 * kEntrySize + 0x10, "ffffffff0000", 40},
        {"entry 39 names an attribute the base record does not hold", 0, 39 * kEntrySize + 0x10,
         "410000000000", 40},
        {"a list larger than any NTFS writes", kBase, list.attribute + 0x30, "0000100000000000", 6},
        {"an extension whose base reference names another record", kFirstExtension, 0x20, "4300000000000100",
         33},
        {"an extension whose base reference has another sequence number", kFirstExtension, 0x26, "0200", 33},
        {"an extension not in use", kFirstExtension, 0x16, "0000", 33},
        {"an extension that is no FILE record", kLastExtension, 0, "00000000", 38},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        const vesk_test::ScratchFolder folder;
        const std::string image = e2e::CopyOfVolume(folder, "attribute-list");
        if (d.record != 0)
            e2e::PatchRecord(image, d.record, d.offset, d.bytes);
        else if (!d.bytes.empty())
            PatchImage(image, list.value + d.offset, d.bytes);
        // Every record, deleted ones too, so that an extension not in use would show if scanned.
        const e2e::Outcome run = e2e::Vesk({"*", "-nall", "-funused", "-si", "-silent", "-d", image});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        std::size_t names = 0;
        std::istringstream lines(run.out);
        std::string line;
        while (std::getline(lines, line)) {
            const unsigned long long record = std::stoull(line);
            EXPECT_FALSE(record >= kFirstExtension && record <= kLastExtension) << line;
            if (record == kBase) {
                ++names;
                EXPECT_EQ(line.rfind(std::to_string(kBase) + " \\Names\\", 0), 0u) << line;
            }
        }
        EXPECT_EQ(names, d.names);
    }
}

} // namespace
