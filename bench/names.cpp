#include "names.h"

#include <cstdio>
#include <cstring>

namespace genvol {
namespace {

const char* const kWords[] = {
    "report",  "invoice",   "budget",   "summary",  "notes",   "meeting",   "draft",   "final",     "backup",
    "letter",  "contract",  "proposal", "data",     "export",  "import",    "config",  "setup",     "readme",
    "changes", "license",   "index",    "main",     "utils",   "helper",    "module",  "resource",  "icon",
    "banner",  "thumbnail", "archive",  "project",  "plan",    "schedule",  "receipt", "statement", "tax",
    "holiday", "family",    "wedding",  "trip",     "concert", "lecture",   "chapter", "thesis",    "paper",
    "review",  "minutes",   "agenda",   "todo",     "list",    "inventory", "catalog", "manual",    "guide",
    "release", "install",   "update",   "client",   "server",  "network",   "driver",  "service",   "session",
    "profile", "account",   "customer", "order",    "payment", "quarterly", "annual",  "monthly",   "weekly",
    "sketch",  "design",    "layout",   "template", "sample",  "test",      "result",  "analysis",
};

// Stems outside ASCII, a third of them with characters outside the Basic Multilingual Plane (stored as
// surrogate pairs): emoji and CJK extension B.
const char* const kUnicodeWords[] = {
    "résumé", "Übersicht", "año nuevo", "café",    "naïve",      "Документы",  "отчёт",  "文档",    "写真",
    "データ", "회의록",    "Ελληνικά",  "😀 party", "🎵 playlist", "𠀋𠂉 notes", "📷 trip", "𝄞 score", "🏠 home",
};

const char* const kPeople[] = {"ana",  "bruno", "chen", "dmitri", "eva",   "farid", "greta",
                               "hiro", "ines",  "jon",  "kofi",   "laila", "mateo", "nora"};

const char* const kDirWords[] = {
    "Documents", "Pictures",  "Music",   "Downloads",    "Desktop",  "AppData", "Local",       "Roaming",
    "Microsoft", "System32",  "drivers", "Common Files", "src",      "include", "lib",         "build",
    "tests",     "docs",      "assets",  "Photos",       "Projects", "clients", "Archive",     "old",
    "backup",    "packages",  "temp",    "cache",        "logs",     "Fonts",   "locale",      "en-US",
    "de-DE",     "fr-FR",     "ja-JP",   "Invoices",     "Reports",  "Scans",   "Camera Roll", "Saved Games",
    "Videos",    "Templates", "Startup", "Resources",    "plugins",  "themes",  "icons",       "config",
    "data",      "Shared",    "Public",  "Work",         "Personal", "Taxes",   "Receipts",    "Recordings",
};

const char* const kJunctions[] = {"My Documents", "Application Data", "Local Settings", "Start Menu",
                                  "Templates",    "NetHood",          "Cookies",        "SendTo",
                                  "Recent",       "My Music",         "My Pictures",    "PrintHood"};

const char* const kStreams[] = {"Zone.Identifier", "SmartScreen", "favicon", "summary", "OECustomProperty"};

// The range of the long names, with their extension.
constexpr size_t kLongNameMin = 90;
constexpr size_t kLongNameMax = 200;

enum class Kind { Document, Photo, Code, Binary, Media, Data, Log, Temporary };

struct Extension {
    const char* text;
    unsigned weight; // per mille of all file names
    Kind kind;
};

// The weights add up to 1000; "txt" carries the 7% the benchmarks search for.
constexpr Extension kExtensions[] = {
    {"txt", 70, Kind::Document},  {"jpg", 110, Kind::Photo},    {"png", 60, Kind::Photo},
    {"pdf", 60, Kind::Document},  {"docx", 45, Kind::Document}, {"xlsx", 30, Kind::Document},
    {"dll", 100, Kind::Binary},   {"exe", 30, Kind::Binary},    {"mui", 25, Kind::Binary},
    {"sys", 10, Kind::Binary},    {"h", 40, Kind::Code},        {"cpp", 40, Kind::Code},
    {"c", 20, Kind::Code},        {"py", 25, Kind::Code},       {"js", 40, Kind::Code},
    {"json", 25, Kind::Data},     {"xml", 30, Kind::Data},      {"html", 20, Kind::Code},
    {"css", 15, Kind::Code},      {"log", 40, Kind::Log},       {"ini", 15, Kind::Data},
    {"dat", 20, Kind::Data},      {"csv", 20, Kind::Data},      {"mp3", 35, Kind::Media},
    {"mp4", 10, Kind::Media},     {"zip", 15, Kind::Data},      {"cab", 5, Kind::Binary},
    {"bak", 10, Kind::Temporary}, {"tmp", 10, Kind::Temporary}, {"md", 15, Kind::Document},
    {"", 10, Kind::Document},
};

constexpr unsigned total_weight() {
    unsigned total = 0;
    for (const Extension& extension : kExtensions)
        total += extension.weight;
    return total;
}
static_assert(total_weight() == 1000, "a draw below 1000 must land on an extension");

std::string number(const char* format, uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(value));
    return text;
}

std::string capitalised(std::string word) {
    if (!word.empty() && word[0] >= 'a' && word[0] <= 'z')
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
    return word;
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Each draw is its own statement: the operands of one expression are evaluated in no fixed order.
std::string date(Prng& rng) {
    std::string text = number("%llu-", 2008 + rng.below(18));
    text += number("%02llu-", 1 + rng.below(12));
    return text + number("%02llu", 1 + rng.below(28));
}

// Two to four words joined the way people join them, sometimes with a year, a copy number or many words.
std::string document_stem(Prng& rng) {
    static const char* const separators[] = {" ", "_", "-", ""};
    const char* separator = rng.pick(separators);
    const unsigned count = rng.chance(20) ? 6 + static_cast<unsigned>(rng.below(8)) : 1 + rng.below(3);
    std::string stem;
    for (unsigned i = 0; i < count; ++i) {
        if (i)
            stem += separator;
        std::string word = rng.pick(kWords);
        stem += *separator ? (rng.chance(400) ? capitalised(word) : word) : capitalised(word);
    }
    if (rng.chance(150))
        stem += separator + number("%llu", 2005 + rng.below(21));
    if (rng.chance(60))
        stem += number(" (%llu)", 2 + rng.below(4));
    return stem;
}

std::string photo_stem(Prng& rng) {
    switch (rng.below(4)) {
    case 0:
        return number("IMG_%04llu", rng.below(10000));
    case 1:
        return number("DSC%05llu", rng.below(100000));
    case 2: {
        std::string stem = "Screenshot " + date(rng);
        stem += number(" %02llu.", rng.below(24));
        stem += number("%02llu.", rng.below(60));
        return stem + number("%02llu", rng.below(60));
    }
    default: {
        const std::string word = capitalised(rng.pick(kWords));
        return word + number(" %03llu", rng.below(1000));
    }
    }
}

std::string two_words(Prng& rng, const char* separator) {
    std::string stem = rng.pick(kWords);
    return stem + separator + rng.pick(kWords);
}

std::string stem_for(Prng& rng, Kind kind) {
    if (rng.chance(20)) {
        const std::string word = rng.pick(kUnicodeWords);
        return word + number(" %llu", rng.below(100));
    }
    std::string stem;
    switch (kind) {
    case Kind::Document:
        return document_stem(rng);
    case Kind::Photo:
        return photo_stem(rng);
    case Kind::Code:
        return rng.chance(500) ? two_words(rng, "_") : rng.pick(kWords);
    case Kind::Binary:
        if (rng.chance(300)) {
            stem = "api-ms-win-core-" + two_words(rng, "-");
            return stem + number("-l1-%llu-0", 1 + rng.below(3));
        }
        if (rng.chance(300)) {
            stem = "Microsoft." + capitalised(rng.pick(kWords));
            return stem + "." + capitalised(rng.pick(kWords));
        }
        stem = rng.pick(kWords);
        return stem + (rng.chance(500) ? "32" : "64");
    case Kind::Media:
        stem = number("%02llu - ", 1 + rng.below(20));
        return stem + capitalised(two_words(rng, " "));
    case Kind::Data:
        stem = rng.pick(kWords);
        return stem + number("_%llu", rng.below(5000));
    case Kind::Log:
        stem = rng.pick(kWords);
        return stem + "-" + date(rng);
    case Kind::Temporary:
        return rng.chance(500) ? "~$" + std::string(rng.pick(kWords)) : number("tmp%04llX", rng.below(65536));
    }
    return stem;
}

// Win32 keeps these in 8.3 names; everything else of ASCII becomes "_" and spaces and dots vanish.
bool short_name_char(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    for (const char* p = "!#$%&'()-@^_`{}~"; *p; ++p)
        if (c == *p)
            return true;
    return false;
}

// Upper-cases what 8.3 allows and maps each other character (one per UTF-8 sequence) to "_".
std::string short_part(const std::string& part, size_t limit) {
    std::string out;
    for (size_t i = 0; i < part.size() && out.size() < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(part[i]);
        if (c == ' ' || c == '.' || (c >= 0x80 && c < 0xC0))
            continue;
        out += short_name_char(static_cast<char>(c)) ? upper(std::string(1, static_cast<char>(c))) : "_";
    }
    return out;
}

bool fits_short_form(const std::string& stem, const std::string& extension) {
    if (stem.empty() || stem.size() > 8 || extension.size() > 3)
        return false;
    for (const std::string* part : {&stem, &extension})
        for (char c : *part)
            if (!short_name_char(c))
                return false;
    return true;
}

} // namespace

std::string directory_name(Prng& rng, unsigned depth) {
    if (depth == 2 && rng.chance(250))
        return rng.pick(kPeople);
    std::string name = rng.pick(kDirWords);
    if (rng.chance(200))
        name += number(" %llu", 2005 + rng.below(21));
    else if (rng.chance(100))
        name = capitalised(rng.pick(kWords)) + " " + name;
    return name;
}

// Words joined by blanks, of exactly length characters: the long names of saved web pages and mail.
std::string long_stem(Prng& rng, size_t length) {
    std::string stem = capitalised(rng.pick(kWords));
    while (stem.size() < length) {
        const char* word = rng.pick(kWords);
        stem += std::string(" ") + word;
    }
    stem.resize(length);
    if (stem.back() == ' ')
        stem.back() = 'x';
    return stem;
}

std::string file_name(Prng& rng) {
    uint64_t draw = rng.below(1000);
    const Extension* extension = kExtensions;
    while (draw >= extension->weight) {
        draw -= extension->weight;
        ++extension;
    }
    const size_t tail = *extension->text ? 1 + std::strlen(extension->text) : 0;
    const size_t long_length = kLongNameMin + rng.below(kLongNameMax - kLongNameMin + 1) - tail;
    std::string stem = rng.chance(5) ? long_stem(rng, long_length) : stem_for(rng, extension->kind);
    if (!*extension->text)
        return upper(stem.substr(0, 1)) + stem.substr(1);
    const bool shouting = extension->kind == Kind::Photo ? rng.chance(300) : rng.chance(60);
    return stem + "." + (shouting ? upper(extension->text) : extension->text);
}

std::string stream_name(Prng& rng) {
    return rng.chance(700) ? kStreams[0] : rng.pick(kStreams);
}

std::string junction_name(Prng& rng) {
    return rng.pick(kJunctions);
}

std::string short_name(const std::string& long_name, unsigned ordinal) {
    const size_t dot = long_name.rfind('.');
    const std::string stem = dot == std::string::npos ? long_name : long_name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : long_name.substr(dot + 1);
    if (ordinal == 1 && fits_short_form(stem, extension))
        return upper(long_name);
    const std::string tail = "~" + number("%llu", ordinal);
    std::string base = short_part(stem, 8 - tail.size());
    if (base.empty())
        base = "_";
    const std::string short_extension = short_part(extension, 3);
    return base + tail + (short_extension.empty() ? "" : "." + short_extension);
}

std::string fold(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

} // namespace genvol
