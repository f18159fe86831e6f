// Raw images split into numbered pieces (NAME.001, NAME.002, ...; NAME.000, ...; NAME.aa, NAME.ab,
// ...) read as one disk.

#include "image/ContainerDevice.h"
#include "image/Containers.h"
#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>

namespace image {
namespace {

// How the pieces of a split image are named: "NAME." and a number of a fixed width, counted from 0
// or from 1 ("disk.000", "disk.001"), or letters counted from "aa" ("disk.aa", "disk.ab").
struct Numbering {
    std::string stem; // "NAME."
    std::size_t width = 0;
    bool letters = false;
    std::uint64_t first = 0; // the number of the first piece
};

constexpr std::size_t kShortestNumber = 2; // digits or letters of a piece's number, at least
constexpr std::uint64_t kLetters = 26;

// The name of piece index (0 for the first), or empty when the numbering has no such name.
std::string PieceName(const Numbering& numbering, std::uint64_t index) {
    if (!numbering.letters) {
        std::string digits = std::to_string(numbering.first + index);
        return numbering.stem + std::string(numbering.width - std::min(numbering.width, digits.size()), '0') +
               digits;
    }
    std::string letters(numbering.width, 'a');
    for (std::size_t i = numbering.width; i-- > 0 && index > 0; index /= kLetters)
        letters[i] = static_cast<char>('a' + index % kLetters);
    return index == 0 ? numbering.stem + letters : std::string();
}

// The numberings whose pieces path may be named as, each as far as it goes.
std::vector<Numbering> Numberings(const std::string& path) {
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.' || path.size() - dot - 1 < kShortestNumber)
        return {};
    const std::string number = path.substr(dot + 1);
    const std::string stem = path.substr(0, dot + 1);
    if (number.find_first_not_of("0123456789") == std::string::npos)
        return {{stem, number.size(), false, 0}, {stem, number.size(), false, 1}};
    if (number.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos)
        return {{stem, number.size(), true, 0}};
    return {};
}

// The numbering of the split image that path is a piece of: its first two pieces exist, and so do
// all from the first to path.
std::optional<Numbering> SplitNumbering(const std::string& path) {
    for (const Numbering& numbering : Numberings(path)) {
        if (!platform::FileExists(PieceName(numbering, 1)))
            continue;
        for (std::uint64_t index = 0; platform::FileExists(PieceName(numbering, index)); ++index)
            if (PieceName(numbering, index) == path)
                return numbering;
    }
    return std::nullopt;
}

// The last name of a piece beside the stem in the numbering's form, in the order of the numbers.
std::string LastPieceBeside(const Numbering& numbering) {
    const std::filesystem::path stem(numbering.stem);
    const std::string prefix = stem.filename().string();
    const char* const symbols = numbering.letters ? "abcdefghijklmnopqrstuvwxyz" : "0123456789";
    std::error_code error;
    std::string last;
    const std::filesystem::path folder = stem.parent_path().empty() ? "." : stem.parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + numbering.width && name.compare(0, prefix.size(), prefix) == 0 &&
            name.find_first_not_of(symbols, prefix.size()) == std::string::npos)
            last = std::max(last, name.substr(prefix.size())); // one width: text order is number order
    }
    return last;
}

class SplitReader : public DiskReader {
  public:
    struct Segment {
        std::unique_ptr<platform::Device> file;
        std::uint64_t start; // offset of its first byte in the disk
        std::uint64_t size;
    };
    explicit SplitReader(std::vector<Segment> segments) : segments_(std::move(segments)) {}

    DiskRead ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) override {
        // The last piece that starts at or before offset, then those after it.
        std::size_t i = std::upper_bound(segments_.begin(), segments_.end(), offset,
                                         [](std::uint64_t at, const Segment& s) { return at < s.start; }) -
                        segments_.begin();
        for (i = i == 0 ? segments_.size() : i - 1; size > 0 && i < segments_.size(); ++i) {
            const Segment& segment = segments_[i];
            const std::uint64_t inside = offset - segment.start;
            if (inside >= segment.size)
                continue; // an empty piece
            const std::size_t n = std::min<std::uint64_t>(size, segment.size - inside);
            if (platform::ErrorCode error = segment.file->Seek(inside))
                return {error, {}};
            if (platform::ErrorCode error = segment.file->Read(out, n))
                return {error, {}};
            out += n;
            offset += n;
            size -= n;
        }
        std::fill(out, out + size, 0);
        return {};
    }

  private:
    std::vector<Segment> segments_; // in order, each starting where the one before ends
};

} // namespace

bool IsSplitImage(const std::string& path) {
    return SplitNumbering(path).has_value();
}

std::vector<std::string> SplitSegmentNames(const std::string& path) {
    std::vector<std::string> names;
    const Numbering numbering = *SplitNumbering(path);
    for (std::uint64_t index = 0; platform::FileExists(PieceName(numbering, index)); ++index)
        names.push_back(PieceName(numbering, index));
    return names;
}

platform::OpenResult OpenSplitImage(const std::string& path) {
    platform::OpenResult result;
    const Numbering numbering = *SplitNumbering(path);
    const std::string first = PieceName(numbering, 0);
    if (path != first) {
        result.problem =
            "The file " + path + " is a later piece of a split image: name its first piece, " + first + ".";
        return result;
    }
    std::vector<SplitReader::Segment> segments;
    std::uint64_t size = 0;
    for (std::uint64_t index = 0;; ++index) {
        const std::string name = PieceName(numbering, index);
        if (name.empty())
            break;
        const std::string kind = platform::UnreadableFileKind(name);
        if (!kind.empty()) {
            result.problem = "The split image " + path + " cannot be read: its piece " + name + " is " +
                             kind + ", not a file or a block device.";
            return result;
        }
        platform::OpenResult piece = platform::OpenFile(name);
        if (!piece.device && piece.error == ENOENT)
            break;
        if (!piece.device) {
            result.error = piece.error;
            result.problem = std::move(piece.problem);
            return result;
        }
        std::unique_ptr<platform::Device> file = std::move(piece.device);
        const std::optional<std::uint64_t> length = file->Size();
        if (!length || *length > std::numeric_limits<std::uint64_t>::max() - size) {
            result.problem = "The split image " + path + " has a piece of unknown size: " + name + ".";
            return result;
        }
        segments.push_back({std::move(file), size, *length});
        size += *length;
    }
    // The pieces end at the first number missing; one found beyond it means a piece is lost.
    const std::string missing = PieceName(numbering, segments.size());
    const std::string number = missing.empty() ? std::string() : missing.substr(numbering.stem.size());
    if (number.size() == numbering.width && LastPieceBeside(numbering) > number) {
        result.problem = "The split image " + path + " is incomplete: its piece " +
                         std::filesystem::path(missing).filename().string() + " is missing.";
        return result;
    }
    result.device = std::make_unique<ContainerDevice>(std::make_unique<SplitReader>(std::move(segments)),
                                                      size, std::nullopt, "The split image " + path);
    return result;
}

} // namespace image
