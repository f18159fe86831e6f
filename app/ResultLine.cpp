#include "app/ResultLine.h"

const wchar_t* NamespaceTag(std::uint8_t nameSpace) {
    static const wchar_t* const kTags[] = {L"PSX", L"W32", L"DOS", L"W&D"};
    return nameSpace < 4 ? kTags[nameSpace] : L"???";
}

void AppendResultLine(std::wstring& text, const ResultColumns& columns, const std::wstring& drive,
                      const std::wstring& path, const ResultFields& fields) {
    if (columns.recordNumber)
        text += std::to_wstring(fields.recordNumber) + L' ';
    if (columns.size)
        text += std::to_wstring(fields.size) + L' ';
    if (columns.allocatedSize)
        text += std::to_wstring(fields.allocatedSize) + L' ';
    if (columns.nameSpace)
        text += std::wstring(NamespaceTag(fields.nameSpace)) + L' ';
    if (columns.drive)
        text += drive;
    text += path;
    text += fields.name;
    if (fields.isDirectoryName)
        text += L'\\';
    text += L'\n';
}
