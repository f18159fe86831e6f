#include "synthetic_tree.h"

#include <algorithm>
#include <cstring>

namespace vesk_test {
namespace {

constexpr std::size_t kStride = 512;            // update-sequence stretch
constexpr std::size_t kBlockArrayOffset = 0x28; // where NTFS places an INDX block's update sequence
constexpr std::size_t kBlockNodeHeader = 0x18;  // INDX block node header
constexpr std::uint32_t kRecordSize = 1024;
constexpr std::uint64_t kSequence = 1;

std::size_t Align8(std::size_t n) {
    return (n + 7) / 8 * 8;
}

Bytes Utf16(const std::wstring& text) {
    Bytes bytes;
    for (std::size_t i = 0; i < text.size(); ++i)
        PutLe(bytes, 2 * i, static_cast<std::uint16_t>(text[i]), 2);
    return bytes;
}

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

} // namespace

std::uint64_t Ref(std::uint64_t record) {
    return kSequence << 48 | record;
}

Bytes IndexEntry(std::uint64_t fileReference, const Bytes& key, std::uint16_t flags) {
    const bool subNode = (flags & 1) != 0;
    Bytes entry(Align8(0x10 + key.size()) + (subNode ? 8 : 0), 0);
    PutLe(entry, 0x00, fileReference, 8);
    PutLe(entry, 0x08, entry.size(), 2);
    PutLe(entry, 0x0A, key.size(), 2);
    PutLe(entry, 0x0C, flags, 2);
    std::copy(key.begin(), key.end(), entry.begin() + 0x10);
    return entry;
}

Bytes LastIndexEntry() {
    return IndexEntry(0, {}, 2);
}

Bytes IndexNode(const std::vector<Bytes>& entries) {
    Bytes node(0x10, 0);
    const Bytes body = Join(entries);
    PutLe(node, 0x00, 0x10, 4);
    PutLe(node, 0x04, 0x10 + body.size(), 4);
    PutLe(node, 0x08, 0x10 + body.size(), 4);
    node.insert(node.end(), body.begin(), body.end());
    return node;
}

Bytes IndexRootValue(std::uint32_t blockSize, const std::vector<Bytes>& entries, bool hasSubNodes) {
    Bytes value(0x10, 0);
    PutLe(value, 0x08, blockSize, 4);
    PutLe(value, 0x0C, blockSize / 4096 == 0 ? 1 : blockSize / 4096, 1);
    const Bytes node = IndexNode(entries);
    value.insert(value.end(), node.begin(), node.end());
    value[0x1C] = hasSubNodes ? 1 : 0;
    return value;
}

Bytes IndexBlock(std::uint32_t blockSize, const std::vector<Bytes>& entries, std::uint16_t usn) {
    Bytes block(blockSize, 0);
    std::memcpy(block.data(), "INDX", 4);
    const std::size_t count = blockSize / kStride + 1;
    PutLe(block, 0x04, kBlockArrayOffset, 2);
    PutLe(block, 0x06, count, 2);
    Bytes node = IndexNode(entries);
    // Node offsets count from the node header, which sits behind the update sequence array.
    const std::size_t firstEntry = Align8(kBlockArrayOffset + 2 * count) - kBlockNodeHeader;
    const std::size_t length = node.size() - 0x10;
    PutLe(node, 0x00, firstEntry, 4);
    PutLe(node, 0x04, firstEntry + length, 4);
    PutLe(node, 0x08, blockSize - kBlockNodeHeader, 4);
    std::copy(node.begin(), node.begin() + 0x10, block.begin() + kBlockNodeHeader);
    std::copy(node.begin() + 0x10, node.end(), block.begin() + kBlockNodeHeader + firstEntry);
    PutLe(block, kBlockArrayOffset, usn, 2);
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t end = i * kStride - 2;
        PutLe(block, kBlockArrayOffset + 2 * i, block[end] | block[end + 1] << 8, 2);
        PutLe(block, end, usn, 2);
    }
    return block;
}

Bytes ReparseKey(std::uint32_t tag, std::uint64_t fileReference) {
    Bytes key;
    PutLe(key, 0, tag, 4);
    PutLe(key, 4, fileReference, 8);
    return key;
}

Bytes MountPointValue(const std::wstring& target, std::uint32_t tag) {
    const Bytes substitute = Utf16(target);
    const Bytes print = Utf16(target.substr(std::min<std::size_t>(4, target.size())));
    Bytes data;
    PutLe(data, 0, 0, 2);
    PutLe(data, 2, substitute.size(), 2);
    PutLe(data, 4, substitute.size() + 2, 2);
    PutLe(data, 6, print.size(), 2);
    data.insert(data.end(), substitute.begin(), substitute.end());
    data.insert(data.end(), {0, 0});
    data.insert(data.end(), print.begin(), print.end());
    data.insert(data.end(), {0, 0});
    if ((tag & 0x80000000) == 0)
        data.insert(data.begin(), 16, 0xEE); // the GUID of a third-party tag
    Bytes value;
    PutLe(value, 0, tag, 4);
    PutLe(value, 4, data.size(), 2);
    PutLe(value, 6, 0, 2); // reserved
    value.insert(value.end(), data.begin(), data.end());
    return value;
}

Bytes UpcaseData() {
    Bytes table;
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
        std::uint32_t upper = c;
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x430 && c <= 0x44F))
            upper = c - 0x20;
        if (c == 0x1E01)
            upper = 0x1E00;
        PutLe(table, 2 * c, upper, 2);
    }
    return table;
}

void PutUpcase(SyntheticVolume& volume, std::uint64_t firstCluster) {
    const Bytes upcase = UpcaseData();
    volume.PutBytes(firstCluster * volume.BytesPerCluster(), upcase);
    const std::uint64_t clusters = upcase.size() / volume.BytesPerCluster();
    volume.PutRecord(
        10, RecordBuilder(volume.RecordSize())
                .Resident(0x30, FileNameValue(Ref(5), 3, L"$UpCase"))
                .NonResident(0x80, EncodeRunList({{firstCluster, clusters}}), upcase.size(), upcase.size())
                .Resident(0x80, Bytes(32, 0), L"$Info")
                .Build());
}

SyntheticTree::SyntheticTree() : SyntheticVolume(Geometry{}, 256, {{4, 16}}) {
    PutDirectory(5, {FileNameValue(Ref(5), 3, L".")});
    PutUpcase(*this, kUpcaseCluster);
}

RecordBuilder SyntheticTree::DirectoryRecord(const std::vector<Bytes>& names) {
    RecordBuilder record(kRecordSize, RecordBuilder::kInUse | RecordBuilder::kDirectory);
    for (const Bytes& name : names)
        record.Resident(0x30, name);
    return record;
}

void SyntheticTree::PutDirectory(std::uint64_t n, const std::vector<Bytes>& names) {
    PutRecord(n, DirectoryRecord(names).Build());
}

void SyntheticTree::PutExtend(const std::vector<Bytes>& entries) {
    std::vector<Bytes> all = entries;
    all.push_back(LastIndexEntry());
    PutRecord(11, DirectoryRecord({FileNameValue(Ref(5), 3, L"$Extend")})
                      .Resident(0x90, IndexRootValue(4096, all), L"$I30")
                      .Build());
}

Bytes SyntheticTree::ExtendEntry(const std::wstring& name, std::uint64_t n) {
    return IndexEntry(Ref(n), FileNameValue(Ref(11), 3, name));
}

void SyntheticTree::PutJunction(std::uint64_t n, std::uint64_t parent, const std::wstring& name,
                                const std::wstring& target) {
    PutRecord(n, DirectoryRecord({FileNameValue(Ref(parent), 1, name)})
                     .Resident(0xC0, MountPointValue(target))
                     .Build());
}

} // namespace vesk_test
