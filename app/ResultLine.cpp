#include "app/ResultLine.h"

#include <iterator>

namespace {

// Appends value in plain decimal and one blank, without the temporary strings of std::to_wstring,
// which would cost more than the rest of a line.
void AppendColumn(std::wstring& text, std::uint64_t value) {
    wchar_t digits[20]; // 2^64 - 1 has 20 of them
    wchar_t* first = std::end(digits);
    do {
        *--first = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    text.append(first, std::end(digits));
    text += L' ';
}

} // namespace

const wchar_t* NamespaceTag(std::uint8_t nameSpace) {
    static const wchar_t* const kTags[] = {L"PSX", L"W32", L"DOS", L"W&D"};
    return nameSpace < 4 ? kTags[nameSpace] : L"???";
}

void AppendResultLine(std::wstring& text, const ResultColumns& columns, const std::wstring& drive,
                      const std::wstring& path, const ResultFields& fields) {
    if (columns.recordNumber)
        AppendColumn(text, fields.recordNumber);
    if (columns.size)
        AppendColumn(text, fields.size);
    if (columns.allocatedSize)
        AppendColumn(text, fields.allocatedSize);
    if (columns.nameSpace) {
        text += NamespaceTag(fields.nameSpace);
        text += L' ';
    }
    if (columns.drive)
        text += drive;
    text += path;
    text += fields.name;
    if (fields.isDirectoryName)
        text += L'\\';
    text += L'\n';
}
