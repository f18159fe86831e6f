#include "volume/AttributeListEntries.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace Krod {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One entry: type, length, name length and offset, lowest VCN, record reference, instance, then
// the name's bytes and padding up to length.
Bytes Entry(std::uint32_t type, std::uint16_t length, std::uint64_t record, std::uint16_t instance,
            std::uint8_t nameUnits = 0, std::uint8_t nameOffset = 0x1A, std::uint64_t lowestVcn = 0) {
    Bytes entry(length < 0x1A ? 0x1A : length, 0);
    auto put = [&entry](std::size_t offset, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            entry[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0x00, type, 4);
    put(0x04, length, 2);
    put(0x06, nameUnits, 1);
    put(0x07, nameOffset, 1);
    put(0x08, lowestVcn, 8);
    put(0x10, record, 8);
    put(0x18, instance, 2);
    return entry;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Truncated(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

TEST(AttributeListEntries, ParsesEntriesUntilOneIsMalformed) {
    const std::uint64_t extension = 0x0003000000000042; // record 0x42, sequence 3
    struct Case {
        const char* what;
        Bytes list;
        std::vector<std::uint16_t> instances; // of the entries parsed, in order
    };
    const Case cases[] = {
        {"empty", {}, {}},
        {"two entries", Join({Entry(0x10, 0x20, 65, 0), Entry(0x30, 0x20, extension, 7)}), {0, 7}},
        {"a named entry", Join({Entry(0x80, 0x28, 65, 2, 4), Entry(0x30, 0x20, 65, 3)}), {2, 3}},
        {"length zero ends the walk",
         Join({Entry(0x10, 0x20, 65, 0), Entry(0x30, 0, 65, 1), Entry(0x30, 0x20, 65, 2)}),
         {0}},
        {"shorter than its fields", Join({Entry(0x10, 0x20, 65, 0), Entry(0x30, 0x18, 65, 1)}), {0}},
        {"reaching past the list",
         Truncated(Join({Entry(0x10, 0x20, 65, 0), Entry(0x30, 0x40, 65, 1)}), 0x40),
         {0}},
        {"name past the entry", Join({Entry(0x80, 0x20, 65, 2, 8), Entry(0x30, 0x20, 65, 3)}), {}},
        {"name offset past the entry", Join({Entry(0x80, 0x20, 65, 2, 1, 0xFF)}), {}},
        {"a tail too short for an entry", Join({Entry(0x10, 0x20, 65, 0), Bytes(0x19, 0)}), {0}},
    };
    for (const Case& c : cases) {
        const std::vector<AttributeListEntry> entries = ParseAttributeList(c.list.data(), c.list.size());
        std::vector<std::uint16_t> instances;
        for (const AttributeListEntry& entry : entries)
            instances.push_back(entry.instance);
        EXPECT_EQ(instances, c.instances) << c.what;
    }
    const Bytes two = Join({Entry(0x10, 0x20, 65, 0), Entry(0x30, 0x20, extension, 7, 0, 0x1A, 0x1234)});
    const std::vector<AttributeListEntry> entries = ParseAttributeList(two.data(), two.size());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].type, 0x30u);
    EXPECT_EQ(entries[1].record.GetRecordNumber(), 0x42u);
    EXPECT_EQ(entries[1].record.GetSequenceNumber(), 3u);
    EXPECT_EQ(entries[1].lowestVcn, 0x1234u);
}

} // namespace
} // namespace Krod
