#pragma once
// One row for other programs: what a result line tells about a hit and one of its paths, with
// every field besides, whatever the column options. Written as CSV, a JSON object or bodyfile lines.

#include "app/LongOptions.h"
#include "volume/FileTimes.h"

#include <cstdint>
#include <optional>
#include <string>

struct ResultRow {
    // One attribute of the record: its type and its instance number.
    struct AttributeId {
        std::uint32_t type;
        std::uint16_t instance;
    };

    std::wstring volume; // the -d value as typed, else the volume searched
    std::uint32_t record = 0;
    std::uint16_t sequence = 0;
    bool inUse = false;     // the record header's flags
    bool directory = false; // likewise
    std::wstring path;      // the directory path (or the orphan prefix) and the name
    std::wstring name;      // the matched FILE_NAME's
    std::uint8_t nameSpace = 0;
    std::uint64_t parentRecord = 0;
    std::uint16_t parentSequence = 0;
    std::uint64_t size = 0;                       // of the unnamed $DATA stream, 0 without one
    std::uint64_t allocatedSize = 0;              // likewise
    std::optional<Krod::FileTimes> standardTimes; // none without a readable $STANDARD_INFORMATION
    std::optional<std::uint32_t> fileAttributes;  // $STANDARD_INFORMATION's, likewise
    Krod::FileTimes nameTimes;                    // the matched FILE_NAME's
    bool alternatePath = false;                   // a path through a junction, not the first one
    // What a bodyfile's inode field names beside the record: the unnamed $DATA, else a
    // directory's $I30 INDEX_ROOT, else nothing; and the matched FILE_NAME.
    std::optional<AttributeId> stream;
    AttributeId nameAttribute{0x30, 0};
};

// What a row output begins with, as bytes: the CSV header row, naming the fields in their order;
// nothing for the other formats.
std::string RowsHeader(RowFormat format);

// Appends row to out as UTF-8 bytes: a CSV record ending in CR LF; a JSON object on one line; two
// bodyfile lines, the first with the $STANDARD_INFORMATION times, the second with the FILE_NAME's
// and " ($FILE_NAME)" after the name.
void AppendRow(std::string& out, RowFormat format, const ResultRow& row);
