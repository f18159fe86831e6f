#include "app/ResultRow.h"

#include "app/ResultLine.h"

#include <algorithm>
#include <cstring>

namespace {

// File attribute flag of $STANDARD_INFORMATION that makes a file read-only.
constexpr std::uint32_t kReadOnly = 0x1;

// Room enough for a row without its texts (the volume, the paths, the name, its code units): 23
// keys with their quotes and separators take 322 bytes, six numbers 120, eight times 248 with
// their quotes, the rest fewer than 40; two bodyfile lines fewer than 500.
constexpr std::size_t kFieldsRoom = 1024;

// Copies literal, a string constant, to next; returns the end. Its length is known when compiled,
// so the copy is a few moves.
template <std::size_t N> char* PutLiteral(char* next, const char (&literal)[N]) {
    std::memcpy(next, literal, N - 1);
    return next + N - 1;
}

// Writes the path field of format made of the fields of a directory path and a name (see
// RowWriter::AppendRows) at next; returns the end: at most two bytes more than theirs.
char* PutPath(char* next, RowFormat format, const FieldText& directory, const FieldText& name) {
    const bool quote =
        format == RowFormat::JsonLines || (format == RowFormat::Csv && (directory.quoted || name.quoted));
    if (quote)
        *next++ = '"';
    next = std::copy(directory.bytes.begin(), directory.bytes.end(), next);
    next = std::copy(name.bytes.begin(), name.bytes.end(), next);
    if (quote)
        *next++ = '"';
    return next;
}

// Writes the fields of a row, or their names, in their order: once for the CSV header, and once
// per hit for its first CSV record or JSON object, so that names and order agree everywhere. The
// format is fixed when compiled, as every field of every row asks for it.
template <RowFormat kFormat, bool kHeader> class FieldWriter {
    static_assert(kFormat == RowFormat::Csv || kFormat == RowFormat::JsonLines);
    static constexpr bool kJson = kFormat == RowFormat::JsonLines;

  public:
    // kHeader: the CSV header row, else values of kFormat. Writes from next on, which has room for
    // them all.
    FieldWriter(char* next, IsoTimeText& times) : next_(next), times_(times) {}

    template <std::size_t N> void Text(const char (&name)[N], const FieldText& value) {
        if (Key(name))
            next_ = PutField(next_, kFormat, value);
    }
    template <std::size_t N> void Number(const char (&name)[N], std::uint64_t value) {
        if (Key(name))
            next_ = PutDecimal(next_, value);
    }
    template <std::size_t N> void Flag(const char (&name)[N], bool value) {
        if (Key(name))
            next_ = value ? PutLiteral(next_, "true") : PutLiteral(next_, "false");
    }
    // An empty CSV field or a JSON null when ticks is null.
    template <std::size_t N> void Time(const char (&name)[N], const std::uint64_t* ticks) {
        if (!Key(name))
            return;
        if (ticks == nullptr)
            return Null();
        Quote();
        next_ = times_.Put(next_, *ticks);
        Quote();
    }
    template <std::size_t N> void Flags(const char (&name)[N], const std::optional<std::uint32_t>& value) {
        if (!Key(name))
            return;
        if (!value)
            return Null();
        Quote();
        next_ = PutFlags(next_, *value);
        Quote();
    }
    // The code units of text when its field needs them, else null.
    template <std::size_t N>
    void CodeUnits(const char (&name)[N], const std::wstring& text, const FieldText& field) {
        if (!Key(name))
            return;
        if (!field.needsCodeUnits)
            return Null();
        Quote();
        next_ = PutCodeUnits(next_, text);
        Quote();
    }
    // The path of the name under directory (null for the header), and where it lies.
    template <std::size_t N>
    void Path(const char (&name)[N], const FieldText* directory, const FieldText& nameText) {
        if (!Key(name))
            return;
        pathAt = next_;
        next_ = PutPath(next_, kFormat, *directory, nameText);
        pathEnd = next_;
    }
    // Whether the path is an alternate: false, as in the first row of a hit, and where it lies.
    template <std::size_t N> void Alternate(const char (&name)[N]) {
        if (!Key(name))
            return;
        alternateAt = next_;
        next_ = PutLiteral(next_, "false");
        alternateEnd = next_;
    }
    // Ends the row; returns the end of what was written.
    char* End() { return kJson ? PutLiteral(next_, "}\n") : PutLiteral(next_, "\r\n"); }

    char* pathAt = nullptr;
    char* pathEnd = nullptr;
    char* alternateAt = nullptr;
    char* alternateEnd = nullptr;

  private:
    // Writes what comes before a value; false when the name alone is wanted.
    template <std::size_t N> bool Key(const char (&name)[N]) {
        if (kJson) {
            next_ = first_ ? PutLiteral(next_, "{\"") : PutLiteral(next_, ",\"");
            next_ = PutLiteral(next_, name);
            next_ = PutLiteral(next_, "\":");
        } else {
            if (!first_)
                *next_++ = ',';
            if (kHeader)
                next_ = PutLiteral(next_, name);
        }
        first_ = false;
        return !kHeader;
    }
    void Null() {
        if (kJson)
            next_ = PutLiteral(next_, "null");
    }
    void Quote() {
        if (kJson)
            *next_++ = '"';
    }

    char* next_;
    IsoTimeText& times_;
    bool first_ = true;
};

// Writes the fields but for End; the path under directory (null for the header) comes before
// the alternate flag.
template <typename Writer>
void WriteFields(Writer& fields, const ResultRow& hit, const FieldText& volume, const FieldText* directory,
                 const FieldText& name, const FieldText& nameSpace) {
    const Krod::FileTimes* standard = hit.standardTimes ? &*hit.standardTimes : nullptr;
    fields.Text("volume", volume);
    fields.Number("record", hit.record);
    fields.Number("sequence", hit.sequence);
    fields.Flag("in_use", hit.inUse);
    fields.Flag("directory", hit.directory);
    fields.Path("path", directory, name);
    fields.Text("name", name);
    fields.CodeUnits("name_units", hit.name, name);
    fields.Text("namespace", nameSpace);
    fields.Number("parent_record", hit.parentRecord);
    fields.Number("parent_sequence", hit.parentSequence);
    fields.Number("size", hit.size);
    fields.Number("allocated_size", hit.allocatedSize);
    fields.Time("si_created", standard ? &standard->created : nullptr);
    fields.Time("si_modified", standard ? &standard->modified : nullptr);
    fields.Time("si_record_changed", standard ? &standard->recordChanged : nullptr);
    fields.Time("si_accessed", standard ? &standard->accessed : nullptr);
    fields.Time("fn_created", &hit.nameTimes.created);
    fields.Time("fn_modified", &hit.nameTimes.modified);
    fields.Time("fn_record_changed", &hit.nameTimes.recordChanged);
    fields.Time("fn_accessed", &hit.nameTimes.accessed);
    fields.Flags("attributes", hit.fileAttributes);
    fields.Alternate("alternate_path");
}

char* PutInode(char* next, std::uint32_t record, const std::optional<ResultRow::AttributeId>& attribute) {
    next = PutDecimal(next, record);
    if (!attribute)
        return next;
    *next++ = '-';
    next = PutDecimal(next, attribute->type);
    *next++ = '-';
    return PutDecimal(next, attribute->instance);
}

} // namespace

RowWriter::RowWriter(RowFormat format, const std::wstring& volume) : format_(format) {
    if (format_ == RowFormat::Lines)
        return;
    EscapeField(volume_, format_, volume);
    for (std::uint8_t nameSpace = 0; nameSpace < kNamespaceTags; ++nameSpace)
        EscapeField(namespaceTags_[nameSpace], format_, NamespaceTag(nameSpace));
}

std::string RowWriter::Header() const {
    if (format_ != RowFormat::Csv)
        return {};
    std::string header(kFieldsRoom, '\0');
    IsoTimeText unused;
    FieldWriter<RowFormat::Csv, true> names(&header[0], unused);
    WriteFields(names, ResultRow(), volume_, nullptr, nameText_, namespaceTags_[0]);
    header.resize(static_cast<std::size_t>(names.End() - &header[0]));
    return header;
}

void RowWriter::AppendRows(std::string& out, const ResultRow& hit,
                           const std::vector<FieldText>& directories) {
    if (directories.empty())
        return;
    EscapeField(nameText_, format_, hit.name);
    // The first row is written in place, with room for two paths and the texts in quotes, the code
    // units four bytes each.
    const std::size_t pathRoom = directories.front().bytes.size() + nameText_.bytes.size() + 2;
    const std::size_t room = kFieldsRoom + volume_.bytes.size() + 2 + 2 * pathRoom + nameText_.bytes.size() +
                             2 + 4 * hit.name.size();
    const std::size_t start = out.size();
    out.resize(start + room);
    Slot slots[kSlots];
    const std::size_t length =
        static_cast<std::size_t>(PutRow(&out[start], hit, directories.front(), slots) - &out[start]);
    out.resize(start + length);
    // The others are the first with another path, marked as alternates.
    for (std::size_t i = 1; i < directories.size(); ++i) {
        std::size_t from = start;
        for (const Slot& slot : slots) {
            out.append(out, from, start + slot.begin - from);
            if (slot.path)
                AppendPath(out, directories[i]);
            else
                out += "true";
            from = start + slot.end;
        }
        out.append(out, from, start + length - from);
    }
}

// Writes the first row of hit at begin, under directory; returns its end, and sets slots to where
// its path (or its two paths) and its alternate flag lie, from begin on.
char* RowWriter::PutRow(char* begin, const ResultRow& hit, const FieldText& directory,
                        Slot (&slots)[kSlots]) {
    if (format_ == RowFormat::Bodyfile) {
        char* const next = PutBodyfileLine(begin, begin, slots[0], hit, directory, "", hit.stream,
                                           hit.standardTimes ? &*hit.standardTimes : nullptr);
        return PutBodyfileLine(next, begin, slots[1], hit, directory, " ($FILE_NAME)", hit.nameAttribute,
                               &hit.nameTimes);
    }
    // Every namespace byte from the last tag's on has that tag.
    const FieldText& nameSpace = namespaceTags_[std::min<int>(hit.nameSpace, kNamespaceTags - 1)];
    const auto put = [&](auto fields) {
        WriteFields(fields, hit, volume_, &directory, nameText_, nameSpace);
        slots[0] = {static_cast<std::size_t>(fields.pathAt - begin),
                    static_cast<std::size_t>(fields.pathEnd - begin), true};
        slots[1] = {static_cast<std::size_t>(fields.alternateAt - begin),
                    static_cast<std::size_t>(fields.alternateEnd - begin), false};
        return fields.End();
    };
    if (format_ == RowFormat::Csv)
        return put(FieldWriter<RowFormat::Csv, false>(begin, times_));
    return put(FieldWriter<RowFormat::JsonLines, false>(begin, times_));
}

// Writes one bodyfile line at next, returns its end: MD5|name|inode|mode|UID|GID|size|atime|mtime|
// ctime|crtime, times in seconds since 1970 with their fractions, 0 for times that are not there.
// Sets path to where the path lies, from begin on.
char* RowWriter::PutBodyfileLine(char* next, const char* begin, Slot& path, const ResultRow& hit,
                                 const FieldText& directory, const char* suffix,
                                 const std::optional<ResultRow::AttributeId>& attribute,
                                 const Krod::FileTimes* times) const {
    next = PutLiteral(next, "0|");
    path.begin = static_cast<std::size_t>(next - begin);
    next = PutPath(next, format_, directory, nameText_);
    path.end = static_cast<std::size_t>(next - begin);
    path.path = true;
    while (*suffix != '\0')
        *next++ = *suffix++;
    if (!hit.inUse)
        next = PutLiteral(next, " (deleted)");
    *next++ = '|';
    next = PutInode(next, hit.record, attribute);
    const bool readOnly = hit.fileAttributes && (*hit.fileAttributes & kReadOnly) != 0;
    next = hit.directory ? PutLiteral(next, "|d/d") : PutLiteral(next, "|r/r");
    next = readOnly ? PutLiteral(next, "r-xr-xr-x") : PutLiteral(next, "rwxrwxrwx");
    next = PutLiteral(next, "|0|0|");
    next = PutDecimal(next, hit.size);
    const Krod::FileTimes none;
    const Krod::FileTimes& shown = times != nullptr ? *times : none;
    for (const std::uint64_t ticks : {shown.accessed, shown.modified, shown.recordChanged, shown.created}) {
        *next++ = '|';
        if (times == nullptr)
            *next++ = '0';
        else
            next = PutUnixTime(next, ticks);
    }
    *next++ = '\n';
    return next;
}

void RowWriter::AppendPath(std::string& out, const FieldText& directory) const {
    const std::size_t at = out.size();
    out.resize(at + directory.bytes.size() + nameText_.bytes.size() + 2);
    out.resize(static_cast<std::size_t>(PutPath(&out[at], format_, directory, nameText_) - &out[0]));
}
