#include "synthetic_volume.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace vesk_test {
namespace {

constexpr std::size_t kStride = 512;         // update-sequence stretch
constexpr std::uint16_t kArrayOffset = 0x30; // where NTFS places the update-sequence array

std::size_t Align8(std::size_t n) {
    return (n + 7) / 8 * 8;
}

void PutName(Bytes& attribute, std::size_t offset, const std::wstring& name) {
    for (std::size_t i = 0; i < name.size(); ++i)
        PutLe(attribute, offset + 2 * i, static_cast<std::uint16_t>(name[i]), 2);
}

std::size_t UnsignedWidth(std::uint64_t value) {
    std::size_t width = 1;
    while (width < 8 && (value >> (8 * width)) != 0)
        ++width;
    return width;
}

std::size_t SignedWidth(std::int64_t value) {
    std::size_t width = 1;
    while (width < 8) {
        const std::int64_t low = -(std::int64_t{1} << (8 * width - 1));
        if (value >= low && value < -low)
            break;
        ++width;
    }
    return width;
}

} // namespace

void PutLe(Bytes& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    if (bytes.size() < offset + width)
        bytes.resize(offset + width);
    for (std::size_t i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes AttributeListEntry(std::uint32_t type, std::uint64_t lowestVcn, std::uint64_t fileReference,
                         std::uint16_t instance) {
    Bytes entry(0x20, 0);
    PutLe(entry, 0x00, type, 4);
    PutLe(entry, 0x04, entry.size(), 2);
    PutLe(entry, 0x07, 0x1A, 1);
    PutLe(entry, 0x08, lowestVcn, 8);
    PutLe(entry, 0x10, fileReference, 8);
    PutLe(entry, 0x18, instance, 2);
    return entry;
}

Bytes EncodeRunList(const std::vector<Run>& runs) {
    Bytes out;
    std::int64_t previous = 0;
    for (const Run& run : runs) {
        const std::int64_t delta = static_cast<std::int64_t>(run.lcn) - previous;
        const std::size_t lengthWidth = UnsignedWidth(run.length);
        const std::size_t offsetWidth = SignedWidth(delta);
        const std::size_t at = out.size();
        out.push_back(static_cast<std::uint8_t>(offsetWidth << 4 | lengthWidth));
        PutLe(out, at + 1, run.length, lengthWidth);
        PutLe(out, at + 1 + lengthWidth, static_cast<std::uint64_t>(delta), offsetWidth);
        previous = static_cast<std::int64_t>(run.lcn);
    }
    out.push_back(0);
    return out;
}

RecordBuilder::RecordBuilder(std::uint32_t recordSize, std::uint16_t flags)
    : recordSize_(recordSize), flags_(flags),
      firstAttribute_(static_cast<std::uint16_t>(Align8(kArrayOffset + 2 * (recordSize / kStride + 1)))) {}

RecordBuilder& RecordBuilder::Resident(std::uint32_t type, const Bytes& value, const std::wstring& name) {
    Bytes attribute;
    const std::size_t valueOffset = Align8(0x18 + 2 * name.size());
    PutLe(attribute, 0x00, type, 4);
    PutLe(attribute, 0x09, name.size(), 1);
    PutLe(attribute, 0x0A, 0x18, 2);
    PutLe(attribute, 0x10, value.size(), 4);
    PutLe(attribute, 0x14, valueOffset, 2);
    PutName(attribute, 0x18, name);
    attribute.resize(Align8(valueOffset + value.size()));
    std::copy(value.begin(), value.end(), attribute.begin() + static_cast<std::ptrdiff_t>(valueOffset));
    PutLe(attribute, 0x04, attribute.size(), 4);
    return Raw(attribute);
}

RecordBuilder& RecordBuilder::NonResident(std::uint32_t type, const Bytes& runList,
                                          std::uint64_t allocatedSize, std::uint64_t dataSize,
                                          const std::wstring& name) {
    Bytes attribute;
    const std::size_t runListOffset = Align8(0x40 + 2 * name.size());
    PutLe(attribute, 0x00, type, 4);
    PutLe(attribute, 0x08, 1, 1);
    PutLe(attribute, 0x09, name.size(), 1);
    PutLe(attribute, 0x0A, 0x40, 2);
    PutLe(attribute, 0x20, runListOffset, 2);
    PutLe(attribute, 0x28, allocatedSize, 8);
    PutLe(attribute, 0x30, dataSize, 8);
    PutLe(attribute, 0x38, dataSize, 8);
    PutName(attribute, 0x40, name);
    attribute.resize(Align8(runListOffset + runList.size()));
    std::copy(runList.begin(), runList.end(), attribute.begin() + static_cast<std::ptrdiff_t>(runListOffset));
    PutLe(attribute, 0x04, attribute.size(), 4);
    return Raw(attribute);
}

RecordBuilder& RecordBuilder::Raw(const Bytes& attribute) {
    attributes_.insert(attributes_.end(), attribute.begin(), attribute.end());
    return *this;
}

Bytes RecordBuilder::Build(std::uint16_t usn) const {
    const std::size_t used = firstAttribute_ + attributes_.size() + 8;
    if (used > recordSize_)
        throw std::length_error("attributes do not fit the record");
    Bytes record(recordSize_, 0);
    std::memcpy(record.data(), "FILE", 4);
    const std::size_t count = recordSize_ / kStride + 1;
    PutLe(record, 0x04, kArrayOffset, 2);
    PutLe(record, 0x06, count, 2);
    PutLe(record, 0x10, 1, 2); // sequence number
    PutLe(record, 0x12, 1, 2); // hard links
    PutLe(record, 0x14, firstAttribute_, 2);
    PutLe(record, 0x16, flags_, 2);
    PutLe(record, 0x18, used, 4);
    PutLe(record, 0x1C, recordSize_, 4);
    std::copy(attributes_.begin(), attributes_.end(), record.begin() + firstAttribute_);
    PutLe(record, firstAttribute_ + attributes_.size(), 0xFFFFFFFF, 4);

    PutLe(record, kArrayOffset, usn, 2);
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t end = i * kStride - 2;
        PutLe(record, kArrayOffset + 2 * i, record[end] | record[end + 1] << 8, 2);
        PutLe(record, end, usn, 2);
    }
    return record;
}

Bytes FileNameValue(std::uint64_t parentReference, std::uint8_t nameSpace, const std::wstring& name) {
    Bytes value(0x42 + 2 * name.size(), 0);
    PutLe(value, 0x00, parentReference, 8);
    PutLe(value, 0x40, name.size(), 1);
    PutLe(value, 0x41, nameSpace, 1);
    PutName(value, 0x42, name);
    return value;
}

SyntheticVolume::SyntheticVolume(Geometry geometry, std::uint64_t clusters, std::vector<Run> mftRuns)
    : geometry_(geometry), mftRuns_(std::move(mftRuns)), image_(clusters * BytesPerCluster(), 0) {
    std::memcpy(image_.data() + 3, "NTFS    ", 8);
    PutLe(image_, 0x0B, geometry_.bytesPerSector, 2);
    PutLe(image_, 0x0D, geometry_.sectorsPerCluster, 1);
    PutLe(image_, 0x28, clusters * geometry_.sectorsPerCluster, 8);
    PutLe(image_, 0x30, mftRuns_.front().lcn, 8);
    PutLe(image_, 0x40, static_cast<std::uint8_t>(geometry_.clustersPerRecord), 1);
    image_[0x1FE] = 0x55;
    image_[0x1FF] = 0xAA;

    std::uint64_t mftBytes = 0;
    for (const Run& run : mftRuns_)
        mftBytes += run.length * BytesPerCluster();
    PutRecord(0, RecordBuilder(RecordSize())
                     .Resident(0x30, FileNameValue(5, 3, L"$MFT"))
                     .NonResident(0x80, EncodeRunList(mftRuns_), mftBytes, mftBytes)
                     .Build());
}

SyntheticVolume::SyntheticVolume() : SyntheticVolume(Geometry{}, 64, {{4, 2}, {20, 2}}) {}

std::uint32_t SyntheticVolume::RecordSize() const {
    if (geometry_.clustersPerRecord > 0)
        return BytesPerCluster() * static_cast<std::uint32_t>(geometry_.clustersPerRecord);
    return std::uint32_t{1} << -geometry_.clustersPerRecord;
}

std::uint32_t SyntheticVolume::BytesPerCluster() const {
    return std::uint32_t{geometry_.bytesPerSector} * geometry_.sectorsPerCluster;
}

std::uint64_t SyntheticVolume::RecordOffset(std::uint64_t n) const {
    std::uint64_t skip = n * RecordSize();
    for (const Run& run : mftRuns_) {
        const std::uint64_t runBytes = run.length * BytesPerCluster();
        if (skip < runBytes)
            return run.lcn * BytesPerCluster() + skip;
        skip -= runBytes;
    }
    throw std::out_of_range("record lies beyond the MFT runs");
}

void SyntheticVolume::PutRecord(std::uint64_t n, const Bytes& record) {
    PutBytes(RecordOffset(n), record);
}

void SyntheticVolume::PutBytes(std::uint64_t offset, const Bytes& bytes) {
    if (offset + bytes.size() > image_.size())
        throw std::out_of_range("bytes lie beyond the volume");
    std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(offset));
}

OpenedVolume SyntheticVolume::Open(std::optional<std::uint32_t> deviceSectorSize) const {
    auto device = std::make_unique<platform::MemoryDevice>(image_, deviceSectorSize);
    platform::MemoryDevice* raw = device.get();
    boost::intrusive_ptr<Krod::CLogicalDisk> disk(new Krod::CLogicalDisk(std::move(device)), false);
    return {disk, raw};
}

} // namespace vesk_test
