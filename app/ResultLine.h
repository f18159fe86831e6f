#pragma once
// The text of one result line: the chosen columns, the path and the name of a hit.

#include <cstdint>
#include <string>

// The columns shown before path and name, as the column options choose them. Whatever order the
// options come in, the columns keep this order.
struct ResultColumns {
    bool recordNumber = false;  // -si
    bool size = false;          // -ssize
    bool allocatedSize = false; // -salloc
    bool nameSpace = false;     // -snamespace
    bool drive = false;         // -sd
};

// What the lines of one hit show about it, whatever their path.
struct ResultFields {
    std::uint32_t recordNumber = 0;
    std::uint64_t size = 0;          // of the unnamed $DATA stream, 0 without one
    std::uint64_t allocatedSize = 0; // likewise
    std::uint8_t nameSpace = 0;      // the FILE_NAME's namespace byte
    std::wstring name;               // the FILE_NAME's text
    bool isDirectoryName = false;    // the FILE_NAME's flags mark a directory
};

// The tag of a FILE_NAME namespace byte: "PSX", "W32", "DOS", "W&D", and "???" for other values.
const wchar_t* NamespaceTag(std::uint8_t nameSpace);

// Appends one line to text: each chosen column (numbers in plain decimal, each followed by one
// blank, the drive followed by nothing), then path (as given: "\" for the root, "\A\B\" below it,
// empty without paths, or the orphan prefix), the name, a backslash for a directory name, and a
// line feed.
void AppendResultLine(std::wstring& text, const ResultColumns& columns, const std::wstring& drive,
                      const std::wstring& path, const ResultFields& fields);
