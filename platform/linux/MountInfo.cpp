#include "platform/linux/MountInfo.h"

#include <sstream>
#include <tuple>

namespace platform {
namespace {

// mountinfo writes a blank, tab, line feed and backslash inside a field as \ and three octal digits.
std::string Unescape(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
                           field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
                           field[i + 3] >= '0' && field[i + 3] <= '7';
        if (octal) {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// Line layout: id parent major:minor root mount-point options [optional fields...] - type source
// super-options
bool ParseLine(const std::string& line, MountEntry& entry) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint, options, field;
    if (!(fields >> id >> parent >> device >> root >> mountPoint >> options))
        return false;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    if (field != "-" || !(fields >> type >> source))
        return false;
    char colon = 0;
    std::istringstream numbers(device);
    if (!(numbers >> entry.major >> colon >> entry.minor) || colon != ':')
        return false;
    entry.mountPoint = Unescape(mountPoint);
    entry.source = Unescape(source);
    entry.type = Unescape(type);
    return true;
}

// True if directory is mountPoint or lies below it.
bool Contains(const std::string& mountPoint, const std::string& directory) {
    if (directory.compare(0, mountPoint.size(), mountPoint) != 0)
        return false;
    return directory.size() == mountPoint.size() || mountPoint.back() == '/' ||
           directory[mountPoint.size()] == '/';
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::istream& text) {
    std::vector<MountEntry> table;
    std::string line;
    MountEntry entry;
    while (std::getline(text, line))
        if (ParseLine(line, entry))
            table.push_back(entry);
    return table;
}

const MountEntry* FindMount(const std::vector<MountEntry>& table, unsigned major, unsigned minor,
                            const std::string& directory) {
    const MountEntry* best = nullptr;
    auto rank = [&](const MountEntry& entry) {
        return std::make_tuple(entry.major == major && entry.minor == minor, entry.mountPoint.size());
    };
    for (const MountEntry& entry : table)
        if (!entry.mountPoint.empty() && Contains(entry.mountPoint, directory) &&
            (!best || rank(*best) <= rank(entry)))
            best = &entry;
    return best;
}

} // namespace platform
