#pragma once
// Rows for other programs: what a result line tells about a hit and one of its paths, with every
// field besides, whatever the column options. Written as CSV, JSON objects or bodyfile lines.

#include "app/LongOptions.h"
#include "app/RowText.h"
#include "volume/FileTimes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What every row of one hit tells, whichever path it is written under.
struct ResultRow {
    // One attribute of the record: its type and its instance number.
    struct AttributeId {
        std::uint32_t type;
        std::uint16_t instance;
    };

    std::uint32_t record = 0;
    std::uint16_t sequence = 0;
    bool inUse = false;     // the record header's flags
    bool directory = false; // likewise
    std::wstring name;      // the matched FILE_NAME's
    std::uint8_t nameSpace = 0;
    std::uint64_t parentRecord = 0;
    std::uint16_t parentSequence = 0;
    std::uint64_t size = 0;                       // of the unnamed $DATA stream, 0 without one
    std::uint64_t allocatedSize = 0;              // likewise
    std::optional<Krod::FileTimes> standardTimes; // none without a readable $STANDARD_INFORMATION
    std::optional<std::uint32_t> fileAttributes;  // $STANDARD_INFORMATION's, likewise
    Krod::FileTimes nameTimes;                    // the matched FILE_NAME's
    // What a bodyfile's inode field names beside the record: the unnamed $DATA, else a
    // directory's $I30 INDEX_ROOT, else nothing; and the matched FILE_NAME.
    std::optional<AttributeId> stream;
    AttributeId nameAttribute{0x30, 0};
};

// Writes the rows of hit after hit in one format. A CSV record ends in CR LF; a JSON object is one
// line; a hit's path gives two bodyfile lines, the first with the $STANDARD_INFORMATION times, the
// second with the FILE_NAME's and " ($FILE_NAME)" after the name. The rows of a hit differ only in
// the path and whether it is an alternate, so the rest is made into text once per hit.
class RowWriter {
  public:
    // format is not Lines; volume is what every row names the volume by.
    RowWriter(RowFormat format, const std::wstring& volume);

    // What the rows begin with, as bytes: the CSV header row, naming the fields in their order;
    // nothing for the other formats.
    std::string Header() const;

    // Makes the text of what the rows of hit tell.
    void SetHit(const ResultRow& hit);

    // Appends to out, as UTF-8 bytes, the row of the last hit set under a directory path ("\" for
    // the root, "\A\B\" below it, or the orphan prefix) whose field in this format is directory
    // (EscapeField); the row's path is the directory's and the name. As the directory path ends in a
    // backslash, no character spans it and the name. alternate: a path through a junction, not the
    // first one.
    void AppendRow(std::string& out, const FieldText& directory, bool alternate) const;

  private:
    // Where the hit's text leaves room for what differs between its rows.
    struct Slot {
        std::size_t at; // offset in hitText_
        bool path;      // the path, else whether it is an alternate
    };

    char* PutBodyfileLine(char* next, const ResultRow& hit, const char* suffix,
                          const std::optional<ResultRow::AttributeId>& attribute,
                          const Krod::FileTimes* times);
    void AppendPath(std::string& out, const FieldText& directory) const;

    // The namespace tags (NamespaceTag) of the bytes 0 to 4 as fields; 4 and up share one.
    static constexpr int kNamespaceTags = 5;

    const RowFormat format_;
    FieldText volume_;
    FieldText namespaceTags_[kNamespaceTags];
    FieldText nameText_;  // the last hit's name
    std::string hitText_; // what the hit's rows share, in its first hitLength_ bytes
    std::size_t hitLength_ = 0;
    std::vector<Slot> slots_; // in hitText_'s order
    IsoTimeText times_;
};
