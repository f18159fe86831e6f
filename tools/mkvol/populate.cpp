#include "populate.h"

#include "utf.h"
#include "writer.h"

#include <cstdio>
#include <map>
#include <stdexcept>

namespace mkvol {

namespace {

constexpr size_t kMaxNameUnits = 255; // a FILE_NAME holds its length in one byte

// A volume path split into its names: "\a\b" gives {"a", "b"}; "\" gives none.
std::vector<std::u16string> SplitPath(const Command& command, const std::string& path) {
    if (path.empty() || path[0] != '\\')
        command.Fail("a path starts with \\: " + path);
    std::vector<std::u16string> names;
    size_t start = 1;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end == start)
            command.Fail("empty name in " + path);
        names.push_back(Utf8ToUtf16(path.substr(start, end - start)));
        if (names.back().size() > kMaxNameUnits)
            command.Fail("name longer than 255 UTF-16 units in " + path);
        start = end + 1;
    }
    return names;
}

// Deterministic file content: a byte pattern that differs between files, so that no two
// clusters of different files look alike, and that never is all zeros.
uint8_t ContentByte(uint32_t seed, uint64_t offset) {
    return static_cast<uint8_t>(1 + (seed + offset) % 251);
}

uint32_t Seed(const std::string& text) {
    uint32_t h = 2166136261u; // FNV-1a
    for (const char c : text)
        h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h;
}

// Runs a recipe's commands through the writer, resolving paths from the root.
class Recipe {
  public:
    explicit Recipe(const std::string& image) : writer_(image) {}

    void Close() { writer_.Close(); }

    void Run(const Command& c, std::vector<Alteration>& alterations) {
        CheckOperands(c);
        try {
            Dispatch(c, alterations);
        } catch (const WriteError& e) {
            c.Fail(e.what());
        }
    }

  private:
    void Dispatch(const Command& c, std::vector<Alteration>& alterations) {
        if (c.verb == "dir")
            Directory(c, c.Operand(0));
        else if (c.verb == "file")
            File(c, c.Operand(0), c.Number("size"));
        else if (c.verb == "files")
            Files(c);
        else if (c.verb == "fill")
            Fill(c);
        else if (c.verb == "thin")
            Thin(c);
        else if (c.verb == "link")
            Link(c);
        else if (c.verb == "links")
            Links(c);
        else if (c.verb == "dos")
            Dos(c);
        else if (c.verb == "stream")
            Stream(c);
        else if (c.verb == "islands")
            Islands(c);
        else if (c.verb == "junction")
            Junction(c, c.Operand(0), c.Operand(1));
        else if (c.verb == "junctions")
            Junctions(c);
        else if (c.verb == "delete")
            Delete(c, c.Operand(0));
        else // namespace, fn-flags, rename, patch, raw: CheckOperands knows no other verb
            alterations.push_back(Resolve(c));
    }

    // Refuses unknown verbs, and quoting mistakes, which show up as extra operands: a name with
    // blanks split in two.
    static void CheckOperands(const Command& c) {
        static const std::map<std::string, size_t> counts = {
            {"dir", 1},      {"file", 1},      {"files", 1},  {"fill", 1},      {"thin", 1},
            {"link", 2},     {"links", 2},     {"dos", 2},    {"stream", 1},    {"islands", 1},
            {"junction", 2}, {"junctions", 1}, {"delete", 1}, {"namespace", 1}, {"fn-flags", 1},
            {"rename", 2},   {"raw", 0}};
        const auto it = counts.find(c.verb);
        if (it == counts.end() && c.verb != "patch")
            c.Fail("unknown command " + c.verb);
        // patch names its record by path or by record=N.
        const size_t expected = it != counts.end() ? it->second : c.operands.size() == 1 ? 1 : 0;
        if (c.operands.size() != expected)
            c.Fail(c.verb + " takes " + std::to_string(expected) + " operand(s), not " +
                   std::to_string(c.operands.size()) + " (a name with blanks needs double quotes)");
    }

    // The directory that holds the last name of path, created (with its own parents) when create
    // is set; its name goes to leaf.
    uint64_t Parent(const Command& c, const std::string& path, bool create, std::u16string& leaf) {
        std::vector<std::u16string> names = SplitPath(c, path);
        if (names.empty())
            c.Fail("the root has no parent");
        leaf = names.back();
        names.pop_back();
        uint64_t dir = kRootRecord;
        for (const auto& name : names) {
            std::optional<uint64_t> next = writer_.Find(dir, name);
            if (!next && !create)
                c.Fail("no directory " + Utf16ToUtf8(name) + " on the way to " + path);
            dir = next ? *next : writer_.Create(dir, name, Writer::Type::Directory);
        }
        return dir;
    }

    uint64_t Existing(const Command& c, const std::string& path) {
        std::u16string leaf;
        if (SplitPath(c, path).empty())
            return kRootRecord;
        const std::optional<uint64_t> record = writer_.Find(Parent(c, path, false, leaf), leaf);
        if (!record)
            c.Fail("no such file or directory: " + path);
        return *record;
    }

    uint64_t Create(const Command& c, const std::string& path, Writer::Type type) {
        std::u16string leaf;
        const uint64_t dir = Parent(c, path, true, leaf);
        if (writer_.Find(dir, leaf))
            c.Fail("already exists: " + path);
        return writer_.Create(dir, leaf, type);
    }

    // Writes size bytes of content into the data stream named stream (empty: the unnamed one).
    void Write(uint64_t record, const std::u16string& stream, uint64_t size, uint32_t seed) {
        std::vector<uint8_t> content(static_cast<size_t>(size));
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = ContentByte(seed, i);
        writer_.Write(record, stream, 0, content);
    }

    void Directory(const Command& c, const std::string& path) { Create(c, path, Writer::Type::Directory); }

    void File(const Command& c, const std::string& path, uint64_t size) {
        Write(Create(c, path, Writer::Type::File), u"", size, Seed(path));
    }

    static std::string Numbered(const std::string& dir, const std::string& prefix, uint64_t i) {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%05llu", static_cast<unsigned long long>(i));
        return dir + "\\" + prefix + digits;
    }

    void Files(const Command& c) {
        const uint64_t count = c.Number("count");
        const uint64_t size = c.Number("size", 0);
        const std::string prefix = c.Text("prefix", "f");
        for (uint64_t i = 0; i < count; ++i)
            File(c, Numbered(c.Operand(0), prefix, i), size);
    }

    // Files of the given size while the volume has room for one more and keep bytes besides (room
    // for the directory's index and the MFT to grow).
    void Fill(const Command& c) {
        const uint64_t size = c.Number("size");
        const uint64_t keep = c.Number("keep", 0);
        const std::string prefix = c.Text("prefix", "f");
        if (size == 0)
            c.Fail("fill needs a size above 0");
        for (uint64_t i = 0; writer_.FreeBytes() >= size + keep; ++i)
            File(c, Numbered(c.Operand(0), prefix, i), size);
    }

    // Deletes the numbered files 0, every, 2 every, ... of a files or fill command, up to the first
    // number that does not exist.
    void Thin(const Command& c) {
        const uint64_t every = c.Number("every");
        if (every == 0)
            c.Fail("every must be at least 1");
        const std::string prefix = c.Text("prefix", "f");
        for (uint64_t i = 0;; i += every) {
            const std::string path = Numbered(c.Operand(0), prefix, i);
            std::u16string leaf;
            if (!writer_.Find(Parent(c, path, false, leaf), leaf))
                return;
            Delete(c, path);
        }
    }

    void Link(const Command& c) {
        const uint64_t record = Existing(c, c.Operand(0));
        std::u16string leaf;
        const uint64_t dir = Parent(c, c.Operand(1), true, leaf);
        writer_.Link(record, dir, leaf);
    }

    void Dos(const Command& c) {
        const std::string& path = c.Operand(0);
        std::u16string leaf;
        const uint64_t dir = Parent(c, path, false, leaf);
        const std::optional<uint64_t> record = writer_.Find(dir, leaf);
        if (!record)
            c.Fail("no such file or directory: " + path);
        writer_.SetDosName(*record, dir, c.Operand(1));
    }

    void Stream(const Command& c) {
        const std::string& streamPath = c.Operand(0);
        const size_t colon = streamPath.find(':');
        if (colon == std::string::npos || colon + 1 == streamPath.size())
            c.Fail("a stream is named PATH:NAME");
        const std::u16string stream = Utf8ToUtf16(streamPath.substr(colon + 1));
        const uint64_t record = Existing(c, streamPath.substr(0, colon));
        writer_.AddStream(record, stream);
        Write(record, stream, c.Number("size"), Seed(streamPath));
    }

    // A sparse data stream: count islands of size bytes, the first at offset from, each every bytes
    // after the one before, holes between them. PATH names the unnamed stream of a new file,
    // PATH:NAME a new named stream of an existing one. Written one island at a time, as a program
    // writes a sparse file, so the run list alternates data and holes and, when long enough, is
    // split over extension records.
    void Islands(const Command& c) {
        const std::string& path = c.Operand(0);
        const size_t colon = path.find(':');
        const uint64_t count = c.Number("count");
        const uint64_t every = c.Number("every");
        const uint64_t size = c.Number("size");
        const uint64_t from = c.Number("from", 0);
        if (size == 0 || size > every)
            c.Fail("an island has a size above 0 and no larger than every");
        std::u16string stream;
        uint64_t record = 0;
        if (colon == std::string::npos) {
            record = Create(c, path, Writer::Type::File);
        } else {
            stream = Utf8ToUtf16(path.substr(colon + 1));
            record = Existing(c, path.substr(0, colon));
            writer_.AddStream(record, stream);
        }
        std::vector<uint8_t> island(static_cast<size_t>(size));
        for (size_t i = 0; i < island.size(); ++i)
            island[i] = ContentByte(Seed(path), i);
        for (uint64_t i = 0; i < count; ++i)
            writer_.Write(record, stream, from + i * every, island);
    }

    // A mount point on PATH, an existing or a new directory.
    void Junction(const Command& c, const std::string& path, const std::string& target) {
        std::u16string leaf;
        const uint64_t dir = Parent(c, path, true, leaf);
        const std::optional<uint64_t> record = writer_.Find(dir, leaf);
        writer_.MakeJunction(record ? *record : writer_.Create(dir, leaf, Writer::Type::Directory),
                             Utf8ToUtf16(target));
    }

    // All directories first, then their reparse data: created one by one, the directory's index
    // blocks and $R's would interleave, and the directory's run list would push its FILE_NAME out
    // to an extension record.
    void Junctions(const Command& c) {
        const uint64_t count = c.Number("count");
        const std::string target = c.Text("target", "");
        if (target.empty())
            c.Fail("junctions needs target=");
        const std::string prefix = c.Text("prefix", "j");
        for (uint64_t i = 0; i < count; ++i)
            Directory(c, Numbered(c.Operand(0), prefix, i));
        for (uint64_t i = 0; i < count; ++i)
            Junction(c, Numbered(c.Operand(0), prefix, i), target);
    }

    // More names for one file than its record holds: the library moves attributes, FILE_NAMEs
    // among them, to extension records listed in an $ATTRIBUTE_LIST.
    void Links(const Command& c) {
        const uint64_t count = c.Number("count");
        const std::string prefix = c.Text("prefix", "link");
        const uint64_t record = Existing(c, c.Operand(0));
        for (uint64_t i = 0; i < count; ++i) {
            std::u16string leaf;
            const uint64_t dir = Parent(c, Numbered(c.Operand(1), prefix, i), true, leaf);
            writer_.Link(record, dir, leaf);
        }
    }

    void Delete(const Command& c, const std::string& path) {
        std::u16string leaf;
        const uint64_t dir = Parent(c, path, false, leaf);
        const std::optional<uint64_t> record = writer_.Find(dir, leaf);
        if (!record)
            c.Fail("no such file or directory: " + path);
        writer_.Delete(*record, dir, leaf);
    }

    Alteration Resolve(const Command& c) {
        Alteration a;
        a.origin = c.origin;
        if (c.verb == "raw") {
            a.kind = Alteration::Kind::RawPatch;
            a.offset = c.Number("offset");
            a.bytes = c.Bytes("bytes");
            return a;
        }
        if (c.verb == "patch" && c.operands.empty()) {
            a.record = c.Number("record");
        } else {
            const std::vector<std::u16string> names = SplitPath(c, c.Operand(0));
            if (names.empty())
                c.Fail("the root's name cannot be changed here");
            a.name = names.back();
            a.record = Existing(c, c.Operand(0));
        }
        if (c.verb == "namespace") {
            a.kind = Alteration::Kind::Namespace;
            a.value = static_cast<uint32_t>(c.Number("ns"));
            if (a.value > 3)
                c.Fail("a namespace is 0 to 3");
        } else if (c.verb == "fn-flags") {
            a.kind = Alteration::Kind::Flags;
            a.value = static_cast<uint32_t>(c.Number("set", 0));
            a.clear = static_cast<uint32_t>(c.Number("clear", 0));
        } else if (c.verb == "rename") {
            a.kind = Alteration::Kind::Rename;
            a.to = Utf8ToUtf16(c.Operand(1));
        } else {
            a.kind = Alteration::Kind::RecordPatch;
            a.offset = c.Number("offset");
            a.bytes = c.Bytes("bytes");
        }
        return a;
    }

    Writer writer_;
};

} // namespace

std::vector<Alteration> Populate(const std::string& image, const std::vector<Command>& commands) {
    std::vector<Alteration> alterations;
    Recipe recipe(image);
    for (size_t i = 1; i < commands.size(); ++i)
        recipe.Run(commands[i], alterations);
    recipe.Close();
    return alterations;
}

} // namespace mkvol
