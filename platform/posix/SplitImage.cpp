// Raw images split into numbered pieces: NAME.001, NAME.002, ... read as one disk.

#include "platform/posix/ContainerDevice.h"
#include "platform/posix/Containers.h"
#include "platform/posix/FileDevice.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// "NAME." and the width of the number, when path is NAME. and a number of 1 in at least 3 digits.
struct Numbering {
    std::string stem;
    std::size_t width = 0;
};

std::optional<Numbering> FirstSegmentNumbering(const std::string& path) {
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.' || path.size() - dot - 1 < 3)
        return std::nullopt;
    const std::string digits = path.substr(dot + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos ||
        digits.find_first_not_of('0') != digits.size() - 1 || digits.back() != '1')
        return std::nullopt;
    return Numbering{path.substr(0, dot + 1), digits.size()};
}

std::string SegmentName(const Numbering& numbering, std::uint64_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < numbering.width)
        digits.insert(0, numbering.width - digits.size(), '0');
    return numbering.stem + digits;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// The highest number of a piece beside the stem, in the same width.
std::uint64_t HighestSegment(const Numbering& numbering) {
    const std::filesystem::path stem(numbering.stem);
    const std::string prefix = stem.filename().string();
    std::error_code error;
    std::uint64_t highest = 0;
    const std::filesystem::path folder = stem.parent_path().empty() ? "." : stem.parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + numbering.width || name.compare(0, prefix.size(), prefix) != 0 ||
            name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            continue;
        highest = std::max<std::uint64_t>(highest, std::stoull(name.substr(prefix.size())));
    }
    return highest;
}

class SplitReader : public DiskReader {
  public:
    struct Segment {
        std::unique_ptr<Device> file;
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
            if (ErrorCode error = segment.file->Seek(inside))
                return {error, {}};
            if (ErrorCode error = segment.file->Read(out, n))
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
    const std::optional<Numbering> numbering = FirstSegmentNumbering(path);
    return numbering && Exists(SegmentName(*numbering, 2));
}

std::vector<std::string> SplitSegmentNames(const std::string& path) {
    std::vector<std::string> names;
    const Numbering numbering = *FirstSegmentNumbering(path);
    for (std::uint64_t number = 1; Exists(SegmentName(numbering, number)); ++number)
        names.push_back(SegmentName(numbering, number));
    return names;
}

OpenResult OpenSplitImage(const std::string& path) {
    OpenResult result;
    const Numbering numbering = *FirstSegmentNumbering(path);
    std::vector<SplitReader::Segment> segments;
    std::uint64_t size = 0;
    for (std::uint64_t number = 1;; ++number) {
        const std::string name = SegmentName(numbering, number);
        const std::string kind = UnreadableFileKind(name);
        if (!kind.empty()) {
            result.problem = "The split image " + path + " cannot be read: its piece " + name + " is " +
                             kind + ", not a file or a block device.";
            return result;
        }
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            break;
        if (fd < 0) {
            result.error = static_cast<ErrorCode>(errno);
            return result;
        }
        std::unique_ptr<Device> file = MakeFileDevice(fd);
        const std::optional<std::uint64_t> length = file->Size();
        if (!length || *length > std::numeric_limits<std::uint64_t>::max() - size) {
            result.problem = "The split image " + path + " has a piece of unknown size: " + name + ".";
            return result;
        }
        segments.push_back({std::move(file), size, *length});
        size += *length;
    }
    // The pieces end at the first number missing; one found beyond it means a piece is lost.
    if (HighestSegment(numbering) > segments.size()) {
        result.problem =
            "The split image " + path + " is incomplete: its piece " +
            std::filesystem::path(SegmentName(numbering, segments.size() + 1)).filename().string() +
            " is missing.";
        return result;
    }
    result.device = std::make_unique<ContainerDevice>(std::make_unique<SplitReader>(std::move(segments)),
                                                      size, std::nullopt, "The split image " + path);
    return result;
}

} // namespace platform
