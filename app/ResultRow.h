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
// the path and whether it is an alternate, so the first row is made field by field and the others
// are copied from it.
class RowWriter {
  public:
    // format is not Lines; volume is what every row names the volume by.
    RowWriter(RowFormat format, const std::wstring& volume);

    // What the rows begin with, as bytes: the CSV header row, naming the fields in their order;
    // nothing for the other formats.
    std::string Header() const;

    // Appends to out, as UTF-8 bytes, the rows of hit, one under each of its directory paths ("\"
    // for the root, "\A\B\" below it, or the orphan prefix) in directories, each as its field in
    // this format (EscapeField); a row's path is the directory's and the name. As a directory path
    // ends in a backslash, no character spans it and the name. The rows after the first are
    // alternates: paths through a junction.
    void AppendRows(std::string& out, const ResultRow& hit, const std::vector<FieldText>& directories);

  private:
    // Where the first row of a hit holds what differs between its rows, as offsets from its first
    // byte: the path and the alternate flag, or the paths of its two bodyfile lines.
    struct Slot {
        std::size_t begin = 0;
        std::size_t end = 0;
        bool path = false; // the path, else whether it is an alternate
    };
    static constexpr std::size_t kSlots = 2;

    char* PutRow(char* begin, const ResultRow& hit, const FieldText& directory, Slot (&slots)[kSlots]);
    char* PutBodyfileLine(char* next, const char* begin, Slot& path, const ResultRow& hit,
                          const FieldText& directory, const char* suffix,
                          const std::optional<ResultRow::AttributeId>& attribute,
                          const Krod::FileTimes* times) const;
    void AppendPath(std::string& out, const FieldText& directory) const;

    // The namespace tags (NamespaceTag) of the bytes 0 to 4 as fields; 4 and up share one.
    static constexpr int kNamespaceTags = 5;

    const RowFormat format_;
    FieldText volume_;
    FieldText namespaceTags_[kNamespaceTags];
    FieldText nameText_; // the last hit's name
    IsoTimeText times_;
};
