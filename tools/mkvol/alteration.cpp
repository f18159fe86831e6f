#include "alteration.h"

#include "file_name_edit.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace mkvol {

namespace {

void ApplyUnprefixed(MftImage& image, const Alteration& a) {
    switch (a.kind) {
    case Alteration::Kind::Namespace:
        image.EditRecord(a.record, [&](std::vector<uint8_t>& r) {
            SetFileNameNamespace(r, a.name, static_cast<uint8_t>(a.value));
        });
        break;
    case Alteration::Kind::Flags:
        image.EditRecord(a.record,
                         [&](std::vector<uint8_t>& r) { ChangeFileNameFlags(r, a.name, a.value, a.clear); });
        break;
    case Alteration::Kind::Rename:
        image.EditRecord(a.record, [&](std::vector<uint8_t>& r) { RenameFileName(r, a.name, a.to); });
        break;
    case Alteration::Kind::RecordPatch:
        image.EditRecord(a.record, [&](std::vector<uint8_t>& r) {
            if (a.offset > r.size() || a.bytes.size() > r.size() - a.offset)
                throw std::runtime_error("patch reaches past the end of the record");
            std::copy(a.bytes.begin(), a.bytes.end(), r.begin() + static_cast<std::ptrdiff_t>(a.offset));
        });
        break;
    case Alteration::Kind::RawPatch:
        image.WriteRaw(a.offset, a.bytes);
        break;
    }
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (const uint8_t b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        out += pair;
    }
    return out;
}

} // namespace

void Apply(MftImage& image, const Alteration& alteration) {
    try {
        ApplyUnprefixed(image, alteration);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(alteration.origin + ": " + e.what());
    }
}

std::string DescribeDamage(const Alteration& a) {
    const std::string tail = "offset=" + std::to_string(a.offset) + " bytes=" + Hex(a.bytes);
    if (a.kind == Alteration::Kind::RecordPatch)
        return "patch record=" + std::to_string(a.record) + " " + tail;
    return "raw " + tail;
}

} // namespace mkvol
