#include "app/ResultRow.h"

#include "app/ResultLine.h"

#include <algorithm>

namespace {

// File attribute flag of $STANDARD_INFORMATION that makes a file read-only.
constexpr std::uint32_t kReadOnly = 0x1;

// Room enough for a hit's text without its texts (the volume, the name, its code units): 23 keys
// with their quotes and separators take 322 bytes, six numbers 120, eight times 248 with their
// quotes, the rest fewer than 40; two bodyfile lines fewer than 500.
constexpr std::size_t kFieldsRoom = 1024;

// Copies text, a C string, to next; returns the end.
char* PutText(char* next, const char* text) {
    while (*text != '\0')
        *next++ = *text++;
    return next;
}

// Writes the fields of a row, or their names, in their order: once for the CSV header, and once
// per hit for its CSV records or JSON objects, so that names and order agree everywhere. The path
// and whether it is an alternate are left out: where they go is kept instead.
class FieldWriter {
  public:
    // header: the CSV header row, else values of format (CSV or JSON). Writes from next on, which
    // has room for them all.
    FieldWriter(char* next, RowFormat format, bool header, IsoTimeText& times)
        : next_(next), format_(format), header_(header), times_(times) {}

    void Text(const char* name, const FieldText& value) {
        if (Key(name))
            next_ = PutField(next_, format_, value);
    }
    void Number(const char* name, std::uint64_t value) {
        if (Key(name))
            next_ = PutDecimal(next_, value);
    }
    void Flag(const char* name, bool value) {
        if (Key(name))
            next_ = PutText(next_, value ? "true" : "false");
    }
    // An empty CSV field or a JSON null when ticks is null.
    void Time(const char* name, const std::uint64_t* ticks) {
        if (!Key(name))
            return;
        if (ticks == nullptr)
            return Null();
        Quote();
        next_ = times_.Put(next_, *ticks);
        Quote();
    }
    void Flags(const char* name, const std::optional<std::uint32_t>& value) {
        if (!Key(name))
            return;
        if (!value)
            return Null();
        Quote();
        next_ = PutFlags(next_, *value);
        Quote();
    }
    // The code units of text when its field needs them, else null.
    void CodeUnits(const char* name, const std::wstring& text, const FieldText& field) {
        if (!Key(name))
            return;
        if (!field.needsCodeUnits)
            return Null();
        Quote();
        next_ = PutCodeUnits(next_, text);
        Quote();
    }
    // Where the path goes, and whether it is an alternate.
    void Path(const char* name) {
        Key(name);
        pathAt = next_;
    }
    void Alternate(const char* name) {
        Key(name);
        alternateAt = next_;
    }
    // Ends the row; returns the end of what was written.
    char* End() { return PutText(next_, format_ == RowFormat::JsonLines ? "}\n" : "\r\n"); }

    char* pathAt = nullptr;
    char* alternateAt = nullptr;

  private:
    // Writes what comes before a value; false when the name alone is wanted.
    bool Key(const char* name) {
        const bool json = format_ == RowFormat::JsonLines;
        next_ = PutText(next_, first_ ? (json ? "{\"" : "") : (json ? ",\"" : ","));
        first_ = false;
        if (json) {
            next_ = PutText(next_, name);
            next_ = PutText(next_, "\":");
        } else if (header_) {
            next_ = PutText(next_, name);
        }
        return !header_;
    }
    void Null() {
        if (format_ == RowFormat::JsonLines)
            next_ = PutText(next_, "null");
    }
    void Quote() {
        if (format_ == RowFormat::JsonLines)
            *next_++ = '"';
    }

    char* next_;
    const RowFormat format_;
    const bool header_;
    IsoTimeText& times_;
    bool first_ = true;
};

// Writes the fields but for End; the path comes before the alternate flag.
void WriteFields(FieldWriter& fields, const ResultRow& hit, const FieldText& volume, const FieldText& name,
                 const FieldText& nameSpace) {
    const Krod::FileTimes* standard = hit.standardTimes ? &*hit.standardTimes : nullptr;
    fields.Text("volume", volume);
    fields.Number("record", hit.record);
    fields.Number("sequence", hit.sequence);
    fields.Flag("in_use", hit.inUse);
    fields.Flag("directory", hit.directory);
    fields.Path("path");
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
    FieldWriter names(&header[0], format_, true, unused);
    WriteFields(names, ResultRow(), volume_, nameText_, namespaceTags_[0]);
    header.resize(static_cast<std::size_t>(names.End() - &header[0]));
    return header;
}

void RowWriter::SetHit(const ResultRow& hit) {
    EscapeField(nameText_, format_, hit.name);
    // The texts in quotes, the code units four bytes each.
    const std::size_t room =
        kFieldsRoom + volume_.bytes.size() + 2 + nameText_.bytes.size() + 2 + 4 * hit.name.size();
    if (hitText_.size() < room)
        hitText_.resize(room);
    char* const begin = &hitText_[0];
    char* end = nullptr;
    slots_.clear();
    if (format_ == RowFormat::Bodyfile) {
        end = PutBodyfileLine(begin, hit, "", hit.stream, hit.standardTimes ? &*hit.standardTimes : nullptr);
        end = PutBodyfileLine(end, hit, " ($FILE_NAME)", hit.nameAttribute, &hit.nameTimes);
    } else {
        // Every namespace byte from the last tag's on has that tag.
        const FieldText& nameSpace = namespaceTags_[std::min<int>(hit.nameSpace, kNamespaceTags - 1)];
        FieldWriter fields(begin, format_, false, times_);
        WriteFields(fields, hit, volume_, nameText_, nameSpace);
        end = fields.End();
        slots_.push_back({static_cast<std::size_t>(fields.pathAt - begin), true});
        slots_.push_back({static_cast<std::size_t>(fields.alternateAt - begin), false});
    }
    hitLength_ = static_cast<std::size_t>(end - begin);
}

// Writes one bodyfile line at next, returns its end: MD5|name|inode|mode|UID|GID|size|atime|mtime|
// ctime|crtime, times in seconds since 1970 with their fractions, 0 for times that are not there.
char* RowWriter::PutBodyfileLine(char* next, const ResultRow& hit, const char* suffix,
                                 const std::optional<ResultRow::AttributeId>& attribute,
                                 const Krod::FileTimes* times) {
    char* const begin = &hitText_[0];
    next = PutText(next, "0|");
    slots_.push_back({static_cast<std::size_t>(next - begin), true});
    next = PutText(next, suffix);
    if (!hit.inUse)
        next = PutText(next, " (deleted)");
    *next++ = '|';
    next = PutInode(next, hit.record, attribute);
    const bool readOnly = hit.fileAttributes && (*hit.fileAttributes & kReadOnly) != 0;
    next = PutText(next, hit.directory ? "|d/d" : "|r/r");
    next = PutText(next, readOnly ? "r-xr-xr-x" : "rwxrwxrwx");
    next = PutText(next, "|0|0|");
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

void RowWriter::AppendRow(std::string& out, const FieldText& directory, bool alternate) const {
    std::size_t from = 0;
    for (const Slot& slot : slots_) {
        out.append(hitText_.data() + from, slot.at - from);
        from = slot.at;
        if (slot.path)
            AppendPath(out, directory);
        else
            out += alternate ? "true" : "false";
    }
    out.append(hitText_.data() + from, hitLength_ - from);
}

void RowWriter::AppendPath(std::string& out, const FieldText& directory) const {
    const bool quote = format_ == RowFormat::JsonLines ||
                       (format_ == RowFormat::Csv && (directory.quoted || nameText_.quoted));
    if (quote)
        out += '"';
    out += directory.bytes;
    out += nameText_.bytes;
    if (quote)
        out += '"';
}
