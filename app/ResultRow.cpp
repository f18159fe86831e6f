#include "app/ResultRow.h"

#include "app/ResultLine.h"

namespace {

// File attribute flag of $STANDARD_INFORMATION that makes a file read-only.
constexpr std::uint32_t kReadOnly = 0x1;

// Writes the fields of a row, or their names, in their order: once for the CSV header, and once
// per hit for its CSV records or JSON objects, so that names and order agree everywhere. The path
// and whether it is an alternate are left out: where they go is kept instead.
class FieldWriter {
  public:
    // header: the CSV header row, else values of format (CSV or JSON).
    FieldWriter(std::string& out, RowFormat format, bool header, IsoTimeText& times)
        : out_(out), format_(format), header_(header), times_(times) {}

    void Text(const char* name, const FieldText& value) {
        if (Key(name))
            AppendField(out_, format_, value);
    }
    void Text(const char* name, const std::wstring& value) {
        if (!Key(name))
            return;
        EscapeField(scratch_, format_, value);
        AppendField(out_, format_, scratch_);
    }
    void Number(const char* name, std::uint64_t value) {
        if (Key(name))
            AppendDecimal(out_, value);
    }
    void Flag(const char* name, bool value) {
        if (Key(name))
            out_ += value ? "true" : "false";
    }
    // An empty CSV field or a JSON null when ticks is null.
    void Time(const char* name, const std::uint64_t* ticks) {
        if (!Key(name))
            return;
        if (ticks == nullptr)
            return Null();
        Quote();
        times_.Append(out_, *ticks);
        Quote();
    }
    void Flags(const char* name, const std::optional<std::uint32_t>& value) {
        if (!Key(name))
            return;
        if (!value)
            return Null();
        Quote();
        AppendFlags(out_, *value);
        Quote();
    }
    void CodeUnits(const char* name, const std::wstring& text) {
        if (!Key(name))
            return;
        if (!NeedsCodeUnits(text))
            return Null();
        Quote();
        AppendCodeUnits(out_, text);
        Quote();
    }
    // Where the path goes, and whether it is an alternate.
    void Path(const char* name) {
        Key(name);
        pathAt = out_.size();
    }
    void Alternate(const char* name) {
        Key(name);
        alternateAt = out_.size();
    }
    void End() { out_ += format_ == RowFormat::JsonLines ? "}\n" : "\r\n"; }

    std::size_t pathAt = 0;
    std::size_t alternateAt = 0;

  private:
    // Writes what comes before a value; false when the name alone is wanted.
    bool Key(const char* name) {
        const bool json = format_ == RowFormat::JsonLines;
        out_ += first_ ? (json ? "{\"" : "") : (json ? ",\"" : ",");
        first_ = false;
        if (json) {
            out_ += name;
            out_ += "\":";
        } else if (header_) {
            out_ += name;
        }
        return !header_;
    }
    void Null() {
        if (format_ == RowFormat::JsonLines)
            out_ += "null";
    }
    void Quote() {
        if (format_ == RowFormat::JsonLines)
            out_ += '"';
    }

    std::string& out_;
    const RowFormat format_;
    const bool header_;
    IsoTimeText& times_;
    FieldText scratch_;
    bool first_ = true;
};

// The path comes before the alternate flag.
void WriteFields(FieldWriter& fields, const ResultRow& hit, const FieldText& volume, const FieldText& name) {
    const Krod::FileTimes* standard = hit.standardTimes ? &*hit.standardTimes : nullptr;
    fields.Text("volume", volume);
    fields.Number("record", hit.record);
    fields.Number("sequence", hit.sequence);
    fields.Flag("in_use", hit.inUse);
    fields.Flag("directory", hit.directory);
    fields.Path("path");
    fields.Text("name", name);
    fields.CodeUnits("name_units", hit.name);
    fields.Text("namespace", NamespaceTag(hit.nameSpace));
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
    fields.End();
}

void AppendInode(std::string& out, std::uint32_t record,
                 const std::optional<ResultRow::AttributeId>& attribute) {
    AppendDecimal(out, record);
    if (!attribute)
        return;
    out += '-';
    AppendDecimal(out, attribute->type);
    out += '-';
    AppendDecimal(out, attribute->instance);
}

bool IsHighSurrogate(wchar_t unit) {
    return (unit & 0xFFFF) >= 0xD800 && (unit & 0xFFFF) <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t unit) {
    return (unit & 0xFFFF) >= 0xDC00 && (unit & 0xFFFF) <= 0xDFFF;
}

} // namespace

RowWriter::RowWriter(RowFormat format, const std::wstring& volume) : format_(format) {
    if (format_ != RowFormat::Lines)
        EscapeField(volume_, format_, volume);
}

std::string RowWriter::Header() const {
    std::string header;
    if (format_ == RowFormat::Csv) {
        IsoTimeText unused;
        FieldWriter names(header, format_, true, unused);
        WriteFields(names, ResultRow(), volume_, nameText_);
    }
    return header;
}

void RowWriter::SetHit(const ResultRow& hit) {
    name_ = hit.name;
    EscapeField(nameText_, format_, hit.name);
    hitText_.clear();
    slots_.clear();
    if (format_ == RowFormat::Bodyfile) {
        AppendBodyfileLine(hit, "", hit.stream, hit.standardTimes ? &*hit.standardTimes : nullptr);
        AppendBodyfileLine(hit, " ($FILE_NAME)", hit.nameAttribute, &hit.nameTimes);
        return;
    }
    FieldWriter fields(hitText_, format_, false, times_);
    WriteFields(fields, hit, volume_, nameText_);
    slots_.push_back({fields.pathAt, true});
    slots_.push_back({fields.alternateAt, false});
}

// One bodyfile line: MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime, times in seconds
// since 1970 with their fractions, 0 for times that are not there.
void RowWriter::AppendBodyfileLine(const ResultRow& hit, const char* suffix,
                                   const std::optional<ResultRow::AttributeId>& attribute,
                                   const Krod::FileTimes* times) {
    std::string& out = hitText_;
    out += "0|";
    slots_.push_back({out.size(), true});
    out += suffix;
    if (!hit.inUse)
        out += " (deleted)";
    out += '|';
    AppendInode(out, hit.record, attribute);
    const bool readOnly = hit.fileAttributes && (*hit.fileAttributes & kReadOnly) != 0;
    out += hit.directory ? "|d/d" : "|r/r";
    out += readOnly ? "r-xr-xr-x" : "rwxrwxrwx";
    out += "|0|0|";
    AppendDecimal(out, hit.size);
    const Krod::FileTimes none;
    const Krod::FileTimes& shown = times != nullptr ? *times : none;
    for (const std::uint64_t ticks : {shown.accessed, shown.modified, shown.recordChanged, shown.created}) {
        out += '|';
        if (times == nullptr)
            out += '0';
        else
            AppendUnixTime(out, ticks);
    }
    out += '\n';
}

void RowWriter::AppendRow(std::string& out, const std::wstring& directory, const FieldText& directoryText,
                          bool alternate) const {
    std::size_t from = 0;
    for (const Slot& slot : slots_) {
        out.append(hitText_, from, slot.at - from);
        from = slot.at;
        if (slot.path)
            AppendPath(out, directory, directoryText);
        else
            out += alternate ? "true" : "false";
    }
    out.append(hitText_, from, std::string::npos);
}

void RowWriter::AppendPath(std::string& out, const std::wstring& directory,
                           const FieldText& directoryText) const {
    if (!directory.empty() && IsHighSurrogate(directory.back()) && !name_.empty() &&
        IsLowSurrogate(name_.front())) {
        // The two halves of a character: the path is escaped whole.
        FieldText path;
        EscapeField(path, format_, directory + name_);
        AppendField(out, format_, path);
        return;
    }
    const bool quote = format_ == RowFormat::JsonLines ||
                       (format_ == RowFormat::Csv && (directoryText.quoted || nameText_.quoted));
    if (quote)
        out += '"';
    out += directoryText.bytes;
    out += nameText_.bytes;
    if (quote)
        out += '"';
}
