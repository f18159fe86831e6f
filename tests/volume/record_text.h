#pragma once
// FILE records as the rows of tests/volume/rows write them: attributes in order, separated by blanks,
//   TYPE[:NAME]=VALUE               a resident attribute (TYPE in hex, NAME its name), or
//   TYPE[:NAME]~RUNS/ALLOCATED/SIZE a non-resident one, RUNS as LCN+LENGTH,... or #HEX (the run list's
//   bytes),
// where VALUE is fn:NAMESPACE:TEXT (a FILE_NAME in the root), mp:TAG:TARGET (reparse data of a mount
// point, TAG in hex), fill:COUNT:BYTE (hex) or hex:BYTES, then patches @OFFSET:NUMBER (hex; NUMBER is
// written little-endian in as many bytes as it has digit pairs). Numbers of RUNS are decimal.

#include "tools/synthetic/synthetic_tree.h"

#include <sstream>
#include <string>
#include <vector>

namespace vesk_test {

// Applies each "@OFFSET:NUMBER" of patches to bytes.
inline Bytes Patched(Bytes bytes, const std::string& patches) {
    std::istringstream in(patches);
    for (std::string patch; std::getline(in, patch, '@');)
        if (!patch.empty()) {
            const std::string number = patch.substr(patch.find(':') + 1);
            PutLe(bytes, std::stoul(patch, nullptr, 16), std::stoull(number, nullptr, 16), number.size() / 2);
        }
    return bytes;
}

inline Bytes Hex(const std::string& digits) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline Bytes ValueFromText(const std::string& text) {
    const std::size_t at = text.find('@');
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first + 1);
    const std::string kind = text.substr(0, first);
    const std::string number = text.substr(first + 1, second - first - 1);
    const std::string rest = second < at ? text.substr(second + 1, at - second - 1) : "";
    Bytes value;
    if (kind == "fn")
        value = FileNameValue(5, static_cast<std::uint8_t>(std::stoul(number)),
                              std::wstring(rest.begin(), rest.end()));
    else if (kind == "mp")
        value = MountPointValue(std::wstring(rest.begin(), rest.end()), std::stoul(number, nullptr, 16));
    else if (kind == "fill")
        value =
            Bytes(std::stoul(number, nullptr, 16), static_cast<std::uint8_t>(std::stoul(rest, nullptr, 16)));
    else
        value = Hex(text.substr(first + 1, at - first - 1));
    return at == std::string::npos ? value : Patched(value, text.substr(at));
}

inline Bytes RecordFromText(const std::string& text, std::uint16_t flags = RecordBuilder::kInUse) {
    RecordBuilder record(1024, flags);
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const std::size_t split = word.find_first_of("=~");
        const std::size_t colon = word.find(':');
        const auto type = static_cast<std::uint32_t>(std::stoul(word, nullptr, 16));
        const std::string name = colon < split ? word.substr(colon + 1, split - colon - 1) : "";
        const std::wstring wideName(name.begin(), name.end());
        if (word[split] == '=') {
            record.Resident(type, ValueFromText(word.substr(split + 1)), wideName);
            continue;
        }
        std::istringstream fields(word.substr(split + 1));
        std::string runs, allocated, size;
        std::getline(std::getline(std::getline(fields, runs, '/'), allocated, '/'), size);
        std::vector<Run> list;
        std::istringstream each(runs[0] == '#' ? "" : runs);
        for (std::string run; std::getline(each, run, ',');)
            list.push_back({std::stoull(run), std::stoull(run.substr(run.find('+') + 1))});
        record.NonResident(type, runs[0] == '#' ? Hex(runs.substr(1)) : EncodeRunList(list),
                           std::stoull(allocated), std::stoull(size), wideName);
    }
    return record.Build();
}

} // namespace vesk_test
