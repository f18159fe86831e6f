#include "manifest_reader.h"

#include "utf.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace mkvol {

namespace {

constexpr char kFirstLine[] = "# vesk-mkvol manifest 1";
constexpr size_t kHexDigitsPerUnit = 4;

[[noreturn]] void Malformed(const ManifestLine& line, const std::string& key) {
    throw std::runtime_error("manifest " + line.kind + " line: field " + key + " is missing or malformed");
}

// The whole of text as a number in base; false when it is not one (signs are not allowed).
bool ParseWhole(const std::string& text, int base, uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    try {
        size_t used = 0;
        value = std::stoull(text, &used, base);
        return used == text.size();
    } catch (const std::logic_error&) { // invalid_argument, out_of_range
        return false;
    }
}

} // namespace

const std::string& ManifestLine::Text(const std::string& key) const {
    const auto it = fields.find(key);
    if (it == fields.end())
        Malformed(*this, key);
    return it->second;
}

uint64_t ManifestLine::Number(const std::string& key) const {
    const std::string& text = Text(key);
    const bool hex = text.compare(0, 2, "0x") == 0;
    uint64_t value = 0;
    if (!ParseWhole(hex ? text.substr(2) : text, hex ? 16 : 10, value))
        Malformed(*this, key);
    return value;
}

std::u16string ManifestLine::Name(const std::string& key) const {
    const std::string& text = Text(key);
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        uint64_t byte = 0;
        if (text[i] != '%') {
            bytes += text[i];
        } else if (text.size() - i > 2 && ParseWhole(text.substr(i + 1, 2), 16, byte)) {
            bytes += static_cast<char>(byte);
            i += 2;
        } else {
            Malformed(*this, key);
        }
    }
    try {
        return Utf8ToUtf16(bytes);
    } catch (const std::runtime_error&) {
        Malformed(*this, key);
    }
}

std::u16string ManifestLine::Units(const std::string& key) const {
    const std::string& text = Text(key);
    if (text.size() % kHexDigitsPerUnit != 0)
        Malformed(*this, key);
    std::u16string units;
    for (size_t i = 0; i < text.size(); i += kHexDigitsPerUnit) {
        uint64_t unit = 0;
        if (!ParseWhole(text.substr(i, kHexDigitsPerUnit), 16, unit))
            Malformed(*this, key);
        units += static_cast<char16_t>(unit);
    }
    return units;
}

std::vector<ManifestRun> ManifestLine::Runs(const std::string& key) const {
    std::vector<ManifestRun> runs;
    std::istringstream list(Text(key));
    for (std::string entry; std::getline(list, entry, ',');) {
        const size_t first = entry.find(':');
        const size_t second = first == std::string::npos ? first : entry.find(':', first + 1);
        if (second == std::string::npos)
            Malformed(*this, key);
        const std::string lcn = entry.substr(first + 1, second - first - 1);
        uint64_t vcn = 0, length = 0, mapped = 0;
        if (!ParseWhole(entry.substr(0, first), 10, vcn) ||
            !ParseWhole(entry.substr(second + 1), 10, length) ||
            (lcn != "-1" && !ParseWhole(lcn, 10, mapped)))
            Malformed(*this, key);
        runs.push_back({vcn, lcn == "-1" ? -1 : static_cast<int64_t>(mapped), length});
    }
    return runs;
}

std::vector<ManifestLine> ReadManifest(const std::string& file) {
    std::ifstream in(file);
    std::string text;
    if (!std::getline(in, text) || text != kFirstLine)
        throw std::runtime_error(file + ": not a vesk-mkvol manifest");
    std::vector<ManifestLine> lines;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream words(text);
        ManifestLine line;
        words >> line.kind;
        for (std::string word; words >> word;) {
            const size_t equals = word.find('=');
            if (equals == std::string::npos)
                throw std::runtime_error(file + ": a " + line.kind + " line has a field without '='");
            line.fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
        lines.push_back(std::move(line));
    }
    if (in.bad())
        throw std::runtime_error(file + ": cannot be read");
    return lines;
}

} // namespace mkvol
