// Every builder volume (tests/volumes/*.recipe, tools/mkvol/README.md) read by the library and
// compared with libntfs-3g's reading of the same image, its manifest: what the recipe says it
// forces, the geometry, $MFT's runs and record count, every record slot (its bytes are the image's
// through those runs, fixed up in 512-byte stretches), and of each FILE record its flags, FILE_NAMEs
// and $DATA streams with their sizes, runs and contents. A copy of each volume with two records
// damaged must give those records back as they lie on disk; the same records read a block at a
// time. Paths and junctions are compared on the same volumes by the program's runs (tests/e2e:
// fls_differential.py and the transcripts).
//
// The manifest lists each FILE_NAME and $DATA in the record that holds it, the library a file's
// attributes through its base record: a base record with an $ATTRIBUTE_LIST is compared with the
// lines of all its records, an extension record with its own.
#include "platform/MemoryDevice.h"
#include "tests/common/scratch_folder.h"
#include "tests/volume/rows.h"
#include "tools/mkvol/fixups.h"
#include "tools/mkvol/manifest_reader.h"
#include "tools/mkvol/utf.h"
#include "tools/recordcheck/names_in_place_check.h"
#include "volume/AttributeHeader.h"
#include "volume/FileNameAttribute.h"
#include "volume/Mft.h"
#include "volume/MftScan.h"

#include <gtest/gtest.h>

#include <boost/intrusive_ptr.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace Krod {
namespace {

using mkvol::ManifestLine;
using mkvol::ManifestRun;

// Record numbers from which libntfs-3g places the files a recipe creates.
constexpr std::uint64_t kFirstUserRecord = 64;

std::wstring Wide(const std::u16string& units) {
    return std::wstring(units.begin(), units.end());
}

std::string Hex(const std::wstring& text) {
    return mkvol::Utf16Hex(std::u16string(text.begin(), text.end()));
}

// What the manifest says about one record, its lines in record order.
struct RecordTruth {
    ManifestLine header;
    std::vector<ManifestLine> names;
    std::vector<ManifestLine> streams;
};

struct VolumeTruth {
    std::vector<ManifestLine> lines;
    ManifestLine volume;
    ManifestLine mft;
    std::vector<ManifestRun> mftRuns;
    std::map<std::uint64_t, RecordTruth> records; // every FILE record among the initialised ones
    std::set<std::uint64_t> bad;                  // records whose update sequence fails
};

VolumeTruth ReadTruth(const std::string& manifest) {
    VolumeTruth truth;
    truth.lines = mkvol::ReadManifest(manifest);
    for (const ManifestLine& line : truth.lines) {
        if (line.kind == "volume")
            truth.volume = line;
        else if (line.kind == "mft")
            truth.mft = line;
        else if (line.kind == "mft-run")
            truth.mftRuns.push_back(
                {line.Number("vcn"), static_cast<std::int64_t>(line.Number("lcn")), line.Number("length")});
        else if (line.kind == "record")
            truth.records[line.Number("rec")].header = line;
        else if (line.kind == "name")
            truth.records[line.Number("rec")].names.push_back(line);
        else if (line.kind == "data")
            truth.records[line.Number("rec")].streams.push_back(line);
        else if (line.kind == "bad")
            truth.bad.insert(line.Number("rec"));
    }
    return truth;
}

// The run list as the library decodes it: a sparse run (LCN -1 in the manifest) at LCN 0.
std::vector<DataRun> AsDecoded(const std::vector<ManifestRun>& runs) {
    std::vector<DataRun> decoded;
    for (const ManifestRun& run : runs)
        decoded.push_back(
            {run.vcn, run.length, run.lcn < 0 ? 0 : static_cast<std::uint64_t>(run.lcn), run.lcn < 0});
    return decoded;
}

// The image file read directly, record slots found through the manifest's $MFT runs.
class RawImage {
  public:
    RawImage(const std::string& path, const VolumeTruth& truth)
        : in_(path, std::ios::binary), clusterSize_(truth.volume.Number("cluster")),
          recordSize_(truth.volume.Number("record")), runs_(truth.mftRuns) {
        if (!in_)
            throw std::runtime_error("cannot open " + path);
    }

    std::uint64_t RecordSize() const { return recordSize_; }

    // Image offset of byte offset of the $MFT's data; throws std::out_of_range beyond its runs.
    std::uint64_t MftOffset(std::uint64_t offset) const {
        const std::uint64_t vcn = offset / clusterSize_;
        for (const ManifestRun& run : runs_)
            if (run.lcn >= 0 && vcn >= run.vcn && vcn - run.vcn < run.length)
                return (static_cast<std::uint64_t>(run.lcn) + vcn - run.vcn) * clusterSize_ +
                       offset % clusterSize_;
        throw std::out_of_range("$MFT byte " + std::to_string(offset) + " lies outside its runs");
    }

    // Record slot n as it lies on disk, gathered cluster by cluster.
    std::vector<std::uint8_t> Record(std::uint64_t n) {
        std::vector<std::uint8_t> bytes(recordSize_);
        for (std::uint64_t done = 0; done < recordSize_;) {
            const std::uint64_t offset = n * recordSize_ + done;
            const std::uint64_t piece = std::min(recordSize_ - done, clusterSize_ - offset % clusterSize_);
            Read(MftOffset(offset), bytes.data() + done, piece);
            done += piece;
        }
        return bytes;
    }

    void Read(std::uint64_t offset, std::uint8_t* out, std::uint64_t size) {
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size));
        if (!in_)
            throw std::runtime_error("cannot read image byte " + std::to_string(offset));
    }

  private:
    std::ifstream in_;
    std::uint64_t clusterSize_;
    std::uint64_t recordSize_;
    std::vector<ManifestRun> runs_;
};

std::string NameKey(const ManifestLine& line) {
    return line.Text("units") + " parent " + line.Text("parent") + "/" + line.Text("parent-seq") + " ns " +
           line.Text("ns") + " flags " + std::to_string(line.Number("fn-flags"));
}

std::string NameKey(const CFileNameAttribute& name) {
    return Hex(name.GetFileNameText()) + " parent " +
           std::to_string(name.GetParentReference().GetRecordNumber()) + "/" +
           std::to_string(name.GetParentReference().GetSequenceNumber()) + " ns " +
           std::to_string(name.GetNamespace()) + " flags " + std::to_string(name.GetFileAttributes());
}

// The names in record order, each with its value's offset in the record; a file with an
// $ATTRIBUTE_LIST gathers them from several records, so only the multiset is compared for it.
void ExpectNamesAgree(const CFileRecord& record, const RecordTruth& truth, bool listed,
                      const std::string& where) {
    std::vector<std::string> expected, found;
    for (const ManifestLine& line : truth.names)
        expected.push_back(NameKey(line) + (listed ? "" : " at " + line.Text("value")));
    for (const CAttribute& attribute : record.GetFileNameAttributes(AnyNamespace))
        found.push_back(
            NameKey(CFileNameAttribute(attribute)) +
            (listed ? "" : " at " + std::to_string(attribute.GetResidentValue() - record.GetBuffer())));
    if (listed) {
        std::sort(expected.begin(), expected.end());
        std::sort(found.begin(), found.end());
    }
    EXPECT_EQ(found, expected) << where << ": FILE_NAMEs";
}

// The lines of a file whose base record carries an $ATTRIBUTE_LIST, gathered from the base record
// and its extension records in record order. libntfs-3g gives each piece of a non-resident stream
// that continues in another record as it lies in its record: the first one with a hole after its
// runs up to the stream's end, a later one as a stream of its own, of size 0, with a hole up to its
// first VCN ahead of its runs. The pieces are joined here, without the holes.
RecordTruth FileTruth(const VolumeTruth& truth, const std::vector<std::uint64_t>& records) {
    RecordTruth file;
    for (std::uint64_t n : records) {
        const RecordTruth& part = truth.records.at(n);
        file.names.insert(file.names.end(), part.names.begin(), part.names.end());
        for (const ManifestLine& stream : part.streams) {
            const bool piece = stream.Number("resident") == 0 && stream.Number("size") == 0 &&
                               !stream.Runs("runs").empty() && stream.Runs("runs").front().lcn < 0 &&
                               !file.streams.empty();
            if (!piece) {
                file.streams.push_back(stream);
                continue;
            }
            std::string& joined = file.streams.back().fields["runs"];
            if (!joined.empty() && joined.find(":-1:", joined.rfind(',') + 1) != std::string::npos)
                joined.erase(joined.rfind(',') == std::string::npos ? 0 : joined.rfind(','));
            const std::string& runs = stream.Text("runs");
            if (runs.find(',') != std::string::npos)
                joined += runs.substr(runs.find(','));
        }
    }
    return file;
}

// Each $DATA by position and by name; a non-resident one's runs and, unless sparse, its contents
// read through the library against the image's bytes through libntfs-3g's runs.
void ExpectStreamsAgree(const CFileRecord& record, const RecordTruth& truth, RawImage& raw,
                        const std::string& where) {
    const AttributeList streams = record.FindAttributes(kAttributeData);
    ASSERT_EQ(streams.size(), truth.streams.size()) << where << ": $DATA count";
    EXPECT_EQ(record.FindFirstAttribute(kAttributeData).IsEmpty(), streams.empty()) << where;
    if (!streams.empty()) {
        EXPECT_EQ(record.FindFirstAttribute(kAttributeData).GetHeader(), streams.front().GetHeader())
            << where;
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const ManifestLine& expected = truth.streams[i];
        const std::string at = where + " $DATA '" + expected.Text("stream") + "'";
        const bool resident = expected.Number("resident") == 1;
        const std::uint64_t allocated = resident ? record.GetBufferSize() : expected.Number("alloc");
        const AttributeList named = record.FindAttributes(kAttributeData, Wide(expected.Name("stream")));
        ASSERT_EQ(named.size(), 1u) << at << ": found by its name";
        const CAttribute first = record.FindFirstAttribute(kAttributeData, Wide(expected.Name("stream")));
        ASSERT_FALSE(first.IsEmpty()) << at << ": found first by its name";
        for (const CAttribute& stream : {streams[i], named.front(), first}) {
            ASSERT_EQ(stream.IsNonResident(), !resident) << at;
            EXPECT_EQ(stream.GetDataSize(), expected.Number("size")) << at << ": data size";
            EXPECT_EQ(stream.GetAllocatedSize(), allocated) << at << ": allocated size";
        }
        const std::vector<ManifestRun> runs = resident ? std::vector<ManifestRun>{} : expected.Runs("runs");
        if (resident ||
            std::any_of(runs.begin(), runs.end(), [](const ManifestRun& run) { return run.lcn < 0; }))
            continue;
        EXPECT_EQ(streams[i].GetRuns(), AsDecoded(runs)) << at << ": runs";
        const std::uint64_t clusterSize = record.GetDisk()->GetBytesPerCluster();
        std::vector<std::uint8_t> image, read(streams[i].GetClusterCount() * clusterSize);
        for (const ManifestRun& run : runs) {
            std::vector<std::uint8_t> piece(run.length * clusterSize);
            raw.Read(static_cast<std::uint64_t>(run.lcn) * clusterSize, piece.data(), piece.size());
            image.insert(image.end(), piece.begin(), piece.end());
        }
        streams[i].ReadClusters(read.data(), 0, static_cast<std::uint32_t>(streams[i].GetClusterCount()));
        EXPECT_TRUE(read == image) << at << ": contents";
    }
}

// Opens image as the program does and compares everything the library reads with truth.
void ExpectVolumeAgrees(const std::string& image, const VolumeTruth& truth) {
    std::vector<std::string> notes;
    boost::intrusive_ptr<CLogicalDisk> disk(
        new CLogicalDisk(Wide(mkvol::Utf8ToUtf16(image)).c_str(), "-d value", notes), false);
    CMft mft(disk.get());
    mft.EnableDirectoryCache = true;
    EXPECT_EQ(disk->GetBytesPerSector(), truth.volume.Number("sector")) << "bytes per sector";
    EXPECT_EQ(disk->GetBytesPerCluster(), truth.volume.Number("cluster")) << "cluster size";
    ASSERT_EQ(disk->GetFileRecordSize(), truth.volume.Number("record")) << "record size";
    EXPECT_EQ(disk->GetMftCluster(), truth.volume.Number("mft-lcn")) << "$MFT cluster";
    const AttributeList mftData = mft.ReadFileRecord(0).FindAttributes(kAttributeData);
    ASSERT_EQ(mftData.size(), 1u) << "$MFT's $DATA";
    EXPECT_EQ(mftData.front().GetRuns(), AsDecoded(truth.mftRuns)) << "$MFT's runs";
    EXPECT_EQ(mftData.front().GetDataSize(), truth.mft.Number("data-size")) << "$MFT's data size";
    EXPECT_EQ(mftData.front().GetAllocatedSize(), truth.mft.Number("allocated-size"))
        << "$MFT's allocated size";
    ASSERT_EQ(mft.GetFileRecordCount(), truth.mft.Number("records")) << "record count";

    RawImage raw(image, truth);
    // Each base record with the records of its file, found by the base reference in the header
    // (u64 at 0x20) of the image's bytes: the manifest's base=0 cannot tell $MFT's extensions.
    std::map<std::uint64_t, std::vector<std::uint64_t>> files;
    for (const auto& [n, record] : truth.records) {
        if (truth.bad.count(n))
            continue;
        const std::vector<std::uint8_t> bytes = raw.Record(n);
        std::uint64_t base = 0;
        for (int i = 7; i >= 0; --i)
            base = base << 8 | bytes.at(0x20 + i);
        files[base == 0 ? n : base & 0xFFFFFFFFFFFFull].push_back(n);
    }
    // Every slot, the uninitialised ones too: the library must find each through the right run.
    const std::uint64_t initialized = truth.mft.Number("initialized");
    for (std::uint64_t n = 0; n < mft.GetFileRecordCount(); ++n) {
        const std::string where = "record " + std::to_string(n);
        const CFileRecord record = mft.ReadFileRecord(FileReference::FromRaw(n));
        std::vector<std::uint8_t> expected = raw.Record(n);
        const auto listed = truth.records.find(n);
        const bool bad = truth.bad.count(n) != 0;
        // What libntfs-3g reads as a FILE record must be fixed up, in 512-byte stretches whatever
        // the sector size; beyond the initialised records the image's own bytes decide.
        bool fixedUp = false;
        if (std::equal(expected.begin(), expected.begin() + 4, "FILE") && !bad &&
            (listed != truth.records.end() || n >= initialized)) {
            const mkvol::UpdateSequence sequence = mkvol::ReadUpdateSequence(expected);
            fixedUp = mkvol::UndoFixups(expected, sequence);
            ASSERT_TRUE(fixedUp || n >= initialized) << where << ": libntfs-3g read it, its fixups fail";
            EXPECT_EQ(sequence.count, raw.RecordSize() / mkvol::kFixupStride + 1) << where << ": fixups";
        }
        if (n < initialized) {
            EXPECT_EQ(record.IsFileRecord(), listed != truth.records.end() || bad)
                << where << ": FILE signature";
        }
        EXPECT_EQ(record.IsFixedUp(), fixedUp) << where << ": fixed up";
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), record.GetBuffer())) << where << ": bytes";
        if (!fixedUp || listed == truth.records.end())
            continue;

        EXPECT_EQ(record.GetFlags(), listed->second.header.Number("flags")) << where << ": flags";
        if (listed->second.header.Number("attribute-list") == 1) {
            std::vector<std::uint64_t> parts = files[n];
            std::sort(parts.begin(), parts.end());
            const RecordTruth file = FileTruth(truth, parts);
            ExpectNamesAgree(record, file, true, where);
            ExpectStreamsAgree(record, file, raw, where);
            continue;
        }
        ExpectNamesAgree(record, listed->second, false, where);
        // The streams of an extension record are compared through its base record's.
        if (files.count(n))
            ExpectStreamsAgree(record, listed->second, raw, where);
    }
}

// A scan reads records a block at a time, the next block in the background, takes blocks ahead
// while the device fetches, and gives each record where it lies: every record so given, or read
// from the blocks the scan holds, must be the record read alone, and the names read in place must be
// those the record selects. Blocks of seven records start and end inside runs and across them, on
// a warm device and on a cold one.
void ExpectBlocksAgree(const std::string& image) {
    std::vector<std::string> notes;
    boost::intrusive_ptr<CLogicalDisk> disk(
        new CLogicalDisk(Wide(mkvol::Utf8ToUtf16(image)).c_str(), "-d value", notes), false);
    CMft alone(disk.get());
    const std::uint64_t count = alone.GetFileRecordCount();
    std::ifstream file(image, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    for (const bool cold : {false, true}) {
        auto device = std::make_unique<platform::MemoryDevice>(bytes);
        device->ServeBackgroundReads(true);
        device->ReportFetches(cold);
        boost::intrusive_ptr<CLogicalDisk> memory(new CLogicalDisk(std::move(device)), false);
        CMft mft(memory.get());
        CMftScan scan(mft, 7 * mft.GetFileRecordSize());
        scan.Walk(0, count, [](std::uint16_t) { return true; });
        std::uint64_t next = 0; // the first record of the next block
        while (scan.NextBlock()) {
            ASSERT_EQ(scan.GetFirst(), next);
            next = scan.GetEnd();
            // The records of the blocks taken ahead are read from them.
            for (std::uint64_t n = scan.GetFirst(); n < std::min(next + 2 * 7, count); ++n) {
                const std::string where = "record " + std::to_string(n) + (cold ? ", cold" : ", warm");
                const CFileRecord expected = alone.ReadFileRecord(FileReference::FromRaw(n));
                const CFileRecord fromBlock = mft.ReadFileRecord(FileReference::FromRaw(n));
                EXPECT_EQ(fromBlock.IsFixedUp(), expected.IsFixedUp()) << where;
                const std::uint8_t* bytes = expected.GetBuffer();
                ASSERT_TRUE(std::equal(bytes, bytes + expected.GetBufferSize(), fromBlock.GetBuffer()))
                    << where;
                if (n >= next)
                    continue; // the records of later blocks are read, not looked at in place
                const std::uint8_t* inPlace = scan.Record(n);
                ASSERT_EQ(inPlace != nullptr, expected.IsFileRecord() && expected.IsFixedUp()) << where;
                std::string difference;
                if (inPlace) {
                    EXPECT_TRUE(std::equal(bytes, bytes + expected.GetBufferSize(), inPlace)) << where;
                    EXPECT_TRUE(vesk_test::NamesInPlaceAgree(expected, difference))
                        << where << ": " << difference;
                }
            }
        }
        EXPECT_EQ(next, count);
    }
}

// Copies volume to image with two user records damaged: one in its first stretch, one in its last
// (one that spans two runs, if any does), and writes beside it the manifest libntfs-3g takes of the
// copy. Returns the records damaged.
std::set<std::uint64_t> DamagedCopy(const std::string& volume, const std::string& image) {
    const std::string original = std::string(VESK_TEST_VOLUMES_DIR) + "/" + volume + ".img";
    std::filesystem::copy_file(original, image);
    const VolumeTruth truth = ReadTruth(original + ".manifest");
    RawImage raw(original, truth);
    const std::uint64_t size = raw.RecordSize();
    std::vector<std::uint64_t> users; // in use, from the recipe
    for (const auto& [n, record] : truth.records)
        if (n >= kFirstUserRecord && record.header.Number("inuse") == 1)
            users.push_back(n);
    const auto split = std::find_if(users.begin() + 1, users.end(), [&](std::uint64_t n) {
        return raw.MftOffset(n * size + size - 1) != raw.MftOffset(n * size) + size - 1;
    });
    std::fstream copy(image, std::ios::in | std::ios::out | std::ios::binary);
    std::set<std::uint64_t> broken;
    for (const auto& [n, end] : {std::pair{users.at(0), mkvol::kFixupStride - 2},
                                 std::pair{split != users.end() ? *split : users.at(1), size - 2}}) {
        const std::uint64_t offset = raw.MftOffset(n * size + end);
        std::uint8_t word[2];
        raw.Read(offset, word, sizeof word);
        word[0] ^= 0xFF;
        word[1] ^= 0xFF;
        copy.seekp(static_cast<std::streamoff>(offset));
        copy.write(reinterpret_cast<const char*>(word), sizeof word);
        broken.insert(n);
    }
    copy.close();
    const std::string command =
        std::string("'") + VESK_MKVOL + "' manifest '" + image + "' > '" + image + ".manifest'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return broken;
}

// The volumes: every recipe in tests/volumes.
std::vector<std::string> Volumes() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(VESK_TEST_RECIPES_DIR))
        if (entry.path().extension() == ".recipe")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class BuilderVolume : public ::testing::TestWithParam<std::string> {};

TEST_P(BuilderVolume, LibraryReadsWhatLibntfs3gReads) {
    const std::string image = std::string(VESK_TEST_VOLUMES_DIR) + "/" + GetParam() + ".img";
    const VolumeTruth truth = ReadTruth(image + ".manifest");
    // The manifest is taken before a recipe's own damage: such a volume's reading is pinned by the
    // program's transcripts, with the notes the damage gives.
    for (const ManifestLine& line : truth.lines)
        if (line.kind == "patch" || line.kind == "raw")
            GTEST_SKIP() << "damaged by its recipe";
    ExpectVolumeAgrees(image, truth);
    ExpectBlocksAgree(image);
}

TEST_P(BuilderVolume, DamagedRecordsAreReadAsTheyLie) {
    const vesk_test::ScratchFolder folder;
    const std::string image = (folder / (GetParam() + ".img")).string();
    const std::set<std::uint64_t> broken = DamagedCopy(GetParam(), image);
    const VolumeTruth truth = ReadTruth(image + ".manifest");
    EXPECT_EQ(truth.bad, broken) << "records libntfs-3g finds damaged";
    ExpectVolumeAgrees(image, truth);
    ExpectBlocksAgree(image);
}

INSTANTIATE_TEST_SUITE_P(Recipes, BuilderVolume, ::testing::ValuesIn(Volumes()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace Krod
