#include "app/ResultRow.h"

#include "app/ResultLine.h"
#include "app/RowText.h"

namespace {

// File attribute flag of $STANDARD_INFORMATION that makes a file read-only.
constexpr std::uint32_t kReadOnly = 0x1;

// Writes the fields of a row, or their names, in their order: once for the CSV header, once per
// CSV record and once per JSON object, so that names and order agree everywhere.
class FieldWriter {
  public:
    enum class Mode { CsvHeader, Csv, Json };

    FieldWriter(std::string& out, Mode mode) : out_(out), mode_(mode) {}

    void Text(const char* name, const std::wstring& value) {
        if (Key(name))
            mode_ == Mode::Json ? AppendJsonString(out_, value) : AppendCsvField(out_, value);
    }
    void Number(const char* name, std::uint64_t value) {
        if (Key(name))
            AppendDecimal(out_, value);
    }
    void Flag(const char* name, bool value) {
        if (Key(name))
            out_ += value ? "true" : "false";
    }
    // An empty CSV field or a JSON null when value is null.
    void Time(const char* name, const std::uint64_t* ticks) {
        if (!Key(name))
            return;
        if (ticks == nullptr)
            return Null();
        Quote();
        // The times of a file are often the same; each is made into text once.
        if (timeText_.empty() || *ticks != timeTicks_) {
            const std::size_t start = out_.size();
            AppendIsoTime(out_, *ticks);
            timeTicks_ = *ticks;
            timeText_.assign(out_, start, std::string::npos);
        } else {
            out_ += timeText_;
        }
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
    void End() {
        if (mode_ == Mode::Json)
            out_ += "}\n";
        else
            out_ += "\r\n";
    }

  private:
    // Writes what comes before a value; false when the name alone is wanted.
    bool Key(const char* name) {
        out_ += first_ ? (mode_ == Mode::Json ? "{\"" : "") : (mode_ == Mode::Json ? ",\"" : ",");
        first_ = false;
        if (mode_ == Mode::Json) {
            out_ += name;
            out_ += "\":";
        } else if (mode_ == Mode::CsvHeader) {
            out_ += name;
        }
        return mode_ != Mode::CsvHeader;
    }
    void Null() {
        if (mode_ == Mode::Json)
            out_ += "null";
    }
    void Quote() {
        if (mode_ == Mode::Json)
            out_ += '"';
    }

    std::string& out_;
    const Mode mode_;
    bool first_ = true;
    std::uint64_t timeTicks_ = 0; // the last time written, and its text
    std::string timeText_;
};

void WriteFields(FieldWriter& fields, const ResultRow& row) {
    const Krod::FileTimes* standard = row.standardTimes ? &*row.standardTimes : nullptr;
    fields.Text("volume", row.volume);
    fields.Number("record", row.record);
    fields.Number("sequence", row.sequence);
    fields.Flag("in_use", row.inUse);
    fields.Flag("directory", row.directory);
    fields.Text("path", row.path);
    fields.Text("name", row.name);
    fields.CodeUnits("name_units", row.name);
    fields.Text("namespace", NamespaceTag(row.nameSpace));
    fields.Number("parent_record", row.parentRecord);
    fields.Number("parent_sequence", row.parentSequence);
    fields.Number("size", row.size);
    fields.Number("allocated_size", row.allocatedSize);
    fields.Time("si_created", standard ? &standard->created : nullptr);
    fields.Time("si_modified", standard ? &standard->modified : nullptr);
    fields.Time("si_record_changed", standard ? &standard->recordChanged : nullptr);
    fields.Time("si_accessed", standard ? &standard->accessed : nullptr);
    fields.Time("fn_created", &row.nameTimes.created);
    fields.Time("fn_modified", &row.nameTimes.modified);
    fields.Time("fn_record_changed", &row.nameTimes.recordChanged);
    fields.Time("fn_accessed", &row.nameTimes.accessed);
    fields.Flags("attributes", row.fileAttributes);
    fields.Flag("alternate_path", row.alternatePath);
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

// One bodyfile line: MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime, times in seconds
// since 1970 with their fractions, 0 for times that are not there.
void AppendBodyfileLine(std::string& out, const ResultRow& row, const char* suffix,
                        const std::optional<ResultRow::AttributeId>& attribute,
                        const Krod::FileTimes* times) {
    out += "0|";
    AppendBodyfileField(out, row.path);
    out += suffix;
    if (!row.inUse)
        out += " (deleted)";
    out += '|';
    AppendInode(out, row.record, attribute);
    const bool readOnly = row.fileAttributes && (*row.fileAttributes & kReadOnly) != 0;
    out += row.directory ? "|d/d" : "|r/r";
    out += readOnly ? "r-xr-xr-x" : "rwxrwxrwx";
    out += "|0|0|";
    AppendDecimal(out, row.size);
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

} // namespace

std::string RowsHeader(RowFormat format) {
    std::string header;
    if (format == RowFormat::Csv) {
        FieldWriter names(header, FieldWriter::Mode::CsvHeader);
        WriteFields(names, ResultRow());
    }
    return header;
}

void AppendRow(std::string& out, RowFormat format, const ResultRow& row) {
    if (format == RowFormat::Bodyfile) {
        AppendBodyfileLine(out, row, "", row.stream, row.standardTimes ? &*row.standardTimes : nullptr);
        AppendBodyfileLine(out, row, " ($FILE_NAME)", row.nameAttribute, &row.nameTimes);
        return;
    }
    FieldWriter fields(out, format == RowFormat::Csv ? FieldWriter::Mode::Csv : FieldWriter::Mode::Json);
    WriteFields(fields, row);
}
