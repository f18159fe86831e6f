// Every volume the builder makes, read by the library and compared with what libntfs-3g reads back
// from the same image (its manifest, tools/mkvol/README.md): the geometry; the $MFT's record
// count, sizes and runs; and every record slot, whose bytes must be the image's bytes found through
// those runs with the update sequence undone in 512-byte stretches. For each FILE record the flags,
// the FILE_NAMEs in record order and the $DATA streams with their sizes, runs and non-resident
// contents are compared too. Damaged copies check that records whose update sequence fails come
// back not fixed up.
//
// The manifest lists each FILE_NAME and $DATA in the record that holds it, the library a file's
// attributes through its base record: a base record with an $ATTRIBUTE_LIST is compared with the
// lines of all its records, an extension record with its own.
#include "tools/mkvol/fixups.h"
#include "tools/mkvol/manifest_reader.h"
#include "tools/mkvol/utf.h"
#include "tests/common/scratch_folder.h"
#include "tests/volume/names_in_place_check.h"
#include "volume/AttributeHeader.h"
#include "volume/FileNameAttribute.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <boost/intrusive_ptr.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace Krod {
namespace {

namespace fs = std::filesystem;
using mkvol::ManifestLine;
using mkvol::ManifestRun;

// Record numbers from which libntfs-3g places the files a recipe creates.
constexpr std::uint64_t kFirstUserRecord = 64;
constexpr char kFileSignature[] = "FILE";

// What the manifest says about one record, its lines in record order.
struct RecordTruth {
    ManifestLine header;
    std::vector<ManifestLine> names;
    std::vector<ManifestLine> streams;
};

struct VolumeTruth {
    ManifestLine volume;
    ManifestLine mft;
    std::vector<ManifestRun> mftRuns;
    std::map<std::uint64_t, RecordTruth> records; // every FILE record among the initialised ones
    std::set<std::uint64_t> bad;                  // records whose update sequence fails
};

VolumeTruth ReadTruth(const std::string& manifest) {
    VolumeTruth truth;
    for (ManifestLine& line : mkvol::ReadManifest(manifest)) {
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

std::wstring Wide(const std::u16string& units) {
    return std::wstring(units.begin(), units.end());
}

// The run list as the library decodes it: a sparse run has no offset, so it starts at the
// previous run's LCN (0 before the first). Only $BadClus:$Bad is sparse, and it is never read.
std::vector<DataRun> AsDecoded(const std::vector<ManifestRun>& runs) {
    std::vector<DataRun> decoded;
    std::uint64_t lcn = 0;
    for (const ManifestRun& run : runs) {
        lcn = run.lcn < 0 ? lcn : static_cast<std::uint64_t>(run.lcn);
        decoded.push_back({run.vcn, run.length, lcn});
    }
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

bool HasFileSignature(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), kFileSignature, 4) == 0;
}

// Position of the first byte in which actual[0, size) differs from expected, or -1.
long FirstDifference(const std::uint8_t* actual, std::size_t size,
                     const std::vector<std::uint8_t>& expected) {
    if (size != expected.size())
        return 0;
    const auto at = std::mismatch(expected.begin(), expected.end(), actual);
    return at.first == expected.end() ? -1 : static_cast<long>(at.first - expected.begin());
}

void ExpectNamesAgree(const CFileRecord& record, const RecordTruth& truth, const std::string& where) {
    const AttributeList names = record.GetFileNameAttributes(AnyNamespace);
    ASSERT_EQ(names.size(), truth.names.size()) << where << ": FILE_NAME count";
    const AttributeList unnamedData = record.FindAttributes(kAttributeData, L"");
    for (std::size_t i = 0; i < names.size(); ++i) {
        const ManifestLine& expected = truth.names[i];
        const std::string at = where + " FILE_NAME " + std::to_string(i) + " (" + expected.Text("name") + ")";
        const CFileNameAttribute name(names[i]);
        EXPECT_EQ(name.GetFileNameText(), Wide(expected.Units("units"))) << at << ": text";
        EXPECT_EQ(name.GetParentReference().GetRecordNumber(), expected.Number("parent")) << at << ": parent";
        EXPECT_EQ(name.GetParentReference().GetSequenceNumber(), expected.Number("parent-seq"))
            << at << ": parent sequence";
        EXPECT_EQ(name.GetNamespace(), expected.Number("ns")) << at << ": namespace";
        EXPECT_EQ(name.GetFileAttributes(), expected.Number("fn-flags")) << at << ": flags";
        EXPECT_EQ(static_cast<std::uint64_t>(name.GetResidentValue() - record.GetBuffer()),
                  expected.Number("value"))
            << at << ": value offset";

        // The first unnamed $DATA of the record, as each name line repeats it.
        if (expected.Text("data") == "none") {
            EXPECT_TRUE(unnamedData.empty()) << at << ": unnamed $DATA";
            continue;
        }
        ASSERT_FALSE(unnamedData.empty()) << at << ": unnamed $DATA";
        EXPECT_EQ(unnamedData.front().GetDataSize(), expected.Number("data")) << at << ": data size";
        const std::uint64_t allocated =
            expected.Text("alloc") == "resident" ? record.GetBufferSize() : expected.Number("alloc");
        EXPECT_EQ(unnamedData.front().GetAllocatedSize(), allocated) << at << ": allocated size";
    }
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

// The names of a file with an $ATTRIBUTE_LIST, whatever record holds each and in whatever order.
void ExpectFileNamesAgree(const CFileRecord& record, const RecordTruth& file, const std::string& where) {
    std::multiset<std::string> expected;
    for (const ManifestLine& line : file.names)
        expected.insert(line.Text("units") + " parent=" + line.Text("parent") + "/" +
                        line.Text("parent-seq") + " ns=" + line.Text("ns") +
                        " flags=" + std::to_string(line.Number("fn-flags")));
    std::multiset<std::string> found;
    for (const CAttribute& attribute : record.GetFileNameAttributes(AnyNamespace)) {
        const CFileNameAttribute name(attribute);
        std::string units;
        for (wchar_t unit : name.GetFileNameText()) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(unit));
            units += hex;
        }
        found.insert(units + " parent=" + std::to_string(name.GetParentReference().GetRecordNumber()) + "/" +
                     std::to_string(name.GetParentReference().GetSequenceNumber()) +
                     " ns=" + std::to_string(name.GetNamespace()) +
                     " flags=" + std::to_string(name.GetFileAttributes()));
    }
    EXPECT_EQ(found, expected) << where << ": the file's names";
}

// Reads a non-resident stream whole through the library's runs and compares it with the image's
// bytes through libntfs-3g's runs. Sparse streams are left out: their runs are not read as holes.
void ExpectContentAgrees(const CAttribute& stream, const std::vector<ManifestRun>& runs, RawImage& raw,
                         const std::string& at) {
    if (std::any_of(runs.begin(), runs.end(), [](const ManifestRun& run) { return run.lcn < 0; }))
        return;
    const std::uint64_t clusterSize = stream.GetDisk()->GetBytesPerCluster();
    std::vector<std::uint8_t> expected;
    for (const ManifestRun& run : runs) {
        expected.resize(expected.size() + run.length * clusterSize);
        raw.Read(static_cast<std::uint64_t>(run.lcn) * clusterSize,
                 expected.data() + expected.size() - run.length * clusterSize, run.length * clusterSize);
    }
    const auto clusters = static_cast<std::uint32_t>(expected.size() / clusterSize);
    std::vector<std::uint8_t> read(expected.size());
    ASSERT_EQ(stream.ReadClusters(read.data(), 0, clusters), clusters) << at << ": clusters read";
    EXPECT_EQ(FirstDifference(read.data(), read.size(), expected), -1)
        << at << ": first byte that differs from the image";
}

void ExpectStreamsAgree(const CFileRecord& record, const RecordTruth& truth, RawImage& raw,
                        const std::string& where) {
    const AttributeList streams = record.FindAttributes(kAttributeData);
    ASSERT_EQ(streams.size(), truth.streams.size()) << where << ": $DATA count";
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const ManifestLine& expected = truth.streams[i];
        const std::string at = where + " $DATA '" + expected.Text("stream") + "'";
        const std::wstring name = Wide(expected.Name("stream"));
        const bool resident = expected.Number("resident") == 1;
        const std::uint64_t allocated = resident ? record.GetBufferSize() : expected.Number("alloc");
        EXPECT_EQ(streams[i].GetName(), name) << at << ": name";
        ASSERT_EQ(streams[i].IsNonResident(), !resident) << at << ": non-resident";
        EXPECT_EQ(streams[i].GetDataSize(), expected.Number("size")) << at << ": data size";
        EXPECT_EQ(streams[i].GetAllocatedSize(), allocated) << at << ": allocated size";
        if (!resident) {
            EXPECT_EQ(streams[i].GetRuns(), AsDecoded(expected.Runs("runs"))) << at << ": runs";
            ExpectContentAgrees(streams[i], expected.Runs("runs"), raw, at);
        }

        const AttributeList found = record.FindAttributes(kAttributeData, name);
        ASSERT_EQ(found.size(), 1u) << at << ": found by its name";
        EXPECT_EQ(found.front().GetDataSize(), expected.Number("size")) << at << ": data size by name";
        EXPECT_EQ(found.front().GetAllocatedSize(), allocated) << at << ": allocated size by name";
    }
}

// A scan reads records a block at a time, the next block in the background, and looks at each
// record where it lies: every record read so must be the record read alone, and the names read in
// place must be those the record selects. Blocks of seven records start and end inside runs and
// across them.
void ExpectBlocksAgree(const std::string& image) {
    boost::intrusive_ptr<CLogicalDisk> disk(new CLogicalDisk(Wide(mkvol::Utf8ToUtf16(image)).c_str()), false);
    CMft alone(disk.get());
    CMft scan(disk.get());
    const std::uint64_t count = alone.GetFileRecordCount();
    constexpr std::uint64_t kPerBlock = 7;
    for (std::uint64_t first = 0; first < count; first += kPerBlock) {
        const auto records = static_cast<std::uint32_t>(std::min(kPerBlock, count - first));
        scan.ReadBlock(first, records);
        if (first + records < count)
            scan.ReadBlockAhead(first + records, static_cast<std::uint32_t>(std::min(kPerBlock, count - first - records)));
        for (std::uint64_t n = first; n < first + records; ++n) {
            const std::string where = "record " + std::to_string(n);
            const CFileRecord expected = alone.ReadFileRecord(FileReference::FromRaw(n));
            const std::uint8_t* inPlace = scan.GetFixedUpBlockRecord(n);
            ASSERT_EQ(inPlace != nullptr, expected.IsFileRecord() && expected.IsFixedUp()) << where;
            const CFileRecord fromBlock = scan.ReadFileRecord(FileReference::FromRaw(n));
            EXPECT_EQ(fromBlock.IsFixedUp(), expected.IsFixedUp()) << where;
            ASSERT_TRUE(std::equal(expected.GetBuffer(), expected.GetBuffer() + expected.GetBufferSize(),
                                   fromBlock.GetBuffer()))
                << where;
            if (inPlace) {
                EXPECT_TRUE(std::equal(expected.GetBuffer(), expected.GetBuffer() + expected.GetBufferSize(), inPlace))
                    << where;
                std::string difference;
                EXPECT_TRUE(vesk_test::NamesInPlaceAgree(expected, difference)) << where << ": " << difference;
            }
        }
    }
}

// Opens image as the program does and compares everything the library reads with truth.
void ExpectVolumeAgrees(const std::string& image, const VolumeTruth& truth) {
    boost::intrusive_ptr<CLogicalDisk> disk(new CLogicalDisk(Wide(mkvol::Utf8ToUtf16(image)).c_str()), false);
    CMft mft(disk.get());
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

    // Every slot, the uninitialised ones too: the library must find each through the right run.
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
    const std::uint64_t initialized = truth.mft.Number("initialized");
    const std::uint64_t stretches = raw.RecordSize() / mkvol::kFixupStride;
    for (std::uint64_t n = 0; n < mft.GetFileRecordCount(); ++n) {
        const std::string where = "record " + std::to_string(n);
        const CFileRecord record = mft.ReadFileRecord(FileReference::FromRaw(n));
        std::vector<std::uint8_t> expected = raw.Record(n);
        const auto listed = truth.records.find(n);
        const bool bad = truth.bad.count(n) != 0;

        // What libntfs-3g reads as a FILE record must be fixed up, in 512-byte stretches whatever
        // the sector size; beyond the initialised records the manifest says nothing, and the
        // image's own bytes decide.
        bool fixedUp = false;
        if (HasFileSignature(expected) && !bad && (listed != truth.records.end() || n >= initialized)) {
            const mkvol::UpdateSequence sequence = mkvol::ReadUpdateSequence(expected);
            fixedUp = mkvol::UndoFixups(expected, sequence);
            ASSERT_TRUE(fixedUp || n >= initialized) << where << ": libntfs-3g read it, its fixups fail";
            EXPECT_EQ(sequence.count, stretches + 1) << where << ": update sequence entries";
        }
        if (n < initialized) {
            EXPECT_EQ(record.IsFileRecord(), listed != truth.records.end() || bad)
                << where << ": FILE signature";
        }
        EXPECT_EQ(record.IsFixedUp(), fixedUp) << where << ": fixed up";
        const long difference = FirstDifference(record.GetBuffer(), record.GetBufferSize(), expected);
        EXPECT_EQ(difference, -1) << where << ": first byte that differs from the image";
        if (difference != -1 || !fixedUp || listed == truth.records.end())
            continue;

        EXPECT_EQ(record.GetFlags(), listed->second.header.Number("flags")) << where << ": flags";
        if (listed->second.header.Number("attribute-list") == 1) {
            std::vector<std::uint64_t> parts = files[n];
            std::sort(parts.begin(), parts.end());
            const RecordTruth file = FileTruth(truth, parts);
            ExpectFileNamesAgree(record, file, where);
            ExpectStreamsAgree(record, file, raw, where);
            continue;
        }
        ExpectNamesAgree(record, listed->second, where);
        // The streams of an extension record are compared through its base record's.
        if (files.count(n))
            ExpectStreamsAgree(record, listed->second, raw, where);
    }
}

// A copy of a volume in a folder of its own, two user records damaged with `vesk-mkvol raw`: one in
// its first stretch, one in its last (one that spans two runs, if any does), and the manifest
// libntfs-3g takes of the damaged copy.
class DamagedCopy {
    // Removed with everything in it, also when the constructor fails half-way.
    vesk_test::ScratchFolder folder_;

  public:
    explicit DamagedCopy(const std::string& volume) {
        const std::string original = std::string(VESK_TEST_VOLUMES_DIR) + "/" + volume + ".img";
        image = (folder_ / (volume + ".img")).string();
        manifest = image + ".manifest";
        fs::copy_file(original, image);

        const VolumeTruth truth = ReadTruth(original + ".manifest");
        RawImage raw(original, truth);
        const std::uint64_t size = raw.RecordSize();
        std::vector<std::uint64_t> users; // in use, from the recipe
        for (const auto& [n, record] : truth.records)
            if (n >= kFirstUserRecord && record.header.Number("inuse") == 1)
                users.push_back(n);
        if (users.size() < 2)
            throw std::runtime_error(volume + " has fewer than two user records to damage");
        const auto split = std::find_if(users.begin() + 1, users.end(), [&](std::uint64_t n) {
            return raw.MftOffset(n * size + size - 1) != raw.MftOffset(n * size) + size - 1;
        });
        Break(raw, users.front(), mkvol::kFixupStride - 2);
        // The last stretch lies in the next run when a record spans two.
        Break(raw, split != users.end() ? *split : users[1], size - 2);
        Run("manifest '" + image + "' > '" + manifest + "'");
    }
    std::string image;
    std::string manifest;
    std::set<std::uint64_t> broken; // the records damaged

  private:
    // Flips the word at the end of record n's stretch that ends at offset end.
    void Break(RawImage& raw, std::uint64_t n, std::uint64_t end) {
        const std::uint64_t offset = raw.MftOffset(n * raw.RecordSize() + end);
        std::uint8_t word[2];
        raw.Read(offset, word, sizeof word);
        char flipped[5];
        std::snprintf(flipped, sizeof flipped, "%02x%02x", word[0] ^ 0xFF, word[1] ^ 0xFF);
        Run("raw '" + image + "' offset=" + std::to_string(offset) + " bytes=" + flipped);
        broken.insert(n);
    }

    static void Run(const std::string& arguments) {
        const std::string command = std::string("'") + VESK_MKVOL + "' " + arguments;
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("failed: " + command);
    }
};

struct VolumeCase {
    const char* volume;
    // What the recipe forces, so that the comparison cannot pass on a volume that lost it.
    std::uint32_t sectorSize;
    std::uint32_t clusterSize;
    std::uint32_t recordSize;
    std::size_t minMftRuns;
    bool recordsAcrossRuns; // some record begins in one $MFT run and ends in the next
    bool namesInExtensionRecords;
    // Compared as a DamagedCopy rather than as built.
    bool damaged;
};

void PrintTo(const VolumeCase& volume, std::ostream* out) {
    *out << volume.volume << (volume.damaged ? ", damaged" : "");
}

class BuilderVolume : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(BuilderVolume, LibraryReadsWhatLibntfs3gReads) {
    const VolumeCase& volume = GetParam();
    std::string image = std::string(VESK_TEST_VOLUMES_DIR) + "/" + volume.volume + ".img";
    std::unique_ptr<DamagedCopy> copy;
    if (volume.damaged) {
        copy = std::make_unique<DamagedCopy>(volume.volume);
        image = copy->image;
    }
    const VolumeTruth truth = ReadTruth(image + ".manifest");

    EXPECT_EQ(truth.volume.Number("sector"), volume.sectorSize);
    EXPECT_EQ(truth.volume.Number("cluster"), volume.clusterSize);
    EXPECT_EQ(truth.volume.Number("record"), volume.recordSize);
    EXPECT_GE(truth.mftRuns.size(), volume.minMftRuns);
    const std::uint64_t clusterSize = truth.volume.Number("cluster");
    const std::uint64_t recordSize = truth.volume.Number("record");
    EXPECT_EQ(std::any_of(truth.mftRuns.begin(), truth.mftRuns.end(),
                          [&](const ManifestRun& run) { return run.vcn * clusterSize % recordSize != 0; }),
              volume.recordsAcrossRuns);
    const bool extensionNames =
        std::any_of(truth.records.begin(), truth.records.end(), [](const auto& record) {
            return record.second.header.Number("base") != 0 && !record.second.names.empty();
        });
    EXPECT_EQ(extensionNames, volume.namesInExtensionRecords);
    const std::set<std::uint64_t> damaged = copy ? copy->broken : std::set<std::uint64_t>{};
    EXPECT_EQ(truth.bad, damaged) << "records libntfs-3g finds damaged";

    ExpectVolumeAgrees(image, truth);
    ExpectBlocksAgree(image);
}

// Every recipe of tests/volumes; basic is the 512-byte-sector, 4096-byte-cluster point of the
// geometry matrix.
INSTANTIATE_TEST_SUITE_P(
    Volumes, BuilderVolume,
    ::testing::Values(VolumeCase{"basic", 512, 4096, 1024, 1, false, false, false},
                      VolumeCase{"windows-names", 512, 4096, 1024, 1, false, false, false},
                      VolumeCase{"junctions", 512, 4096, 1024, 1, false, false, false},
                      VolumeCase{"fragmented-mft", 512, 4096, 1024, 10, false, false, false},
                      VolumeCase{"fragmented-mft-512", 512, 512, 1024, 3, true, false, false},
                      VolumeCase{"attribute-list", 512, 4096, 1024, 1, false, true, false},
                      VolumeCase{"attribute-list-directory", 512, 512, 1024, 10, true, true, false},
                      VolumeCase{"attribute-list-mft", 512, 512, 1024, 100, true, true, false},
                      VolumeCase{"filters", 512, 4096, 1024, 1, false, false, false},
                      VolumeCase{"geometry-512-512", 512, 512, 1024, 1, false, false, false},
                      VolumeCase{"geometry-512-65536", 512, 65536, 1024, 1, false, false, false},
                      VolumeCase{"geometry-512-131072", 512, 131072, 1024, 1, false, false, false},
                      VolumeCase{"geometry-512-2097152", 512, 2097152, 1024, 1, false, false, false},
                      VolumeCase{"geometry-4096-4096", 4096, 4096, 4096, 1, false, false, false},
                      VolumeCase{"basic", 512, 4096, 1024, 1, false, false, true},
                      VolumeCase{"geometry-4096-4096", 4096, 4096, 4096, 1, false, false, true},
                      VolumeCase{"fragmented-mft-512", 512, 512, 1024, 3, true, false, true}),
    [](const ::testing::TestParamInfo<VolumeCase>& info) {
        std::string name = std::string(info.param.volume) + (info.param.damaged ? "_damaged" : "");
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

} // namespace
} // namespace Krod
