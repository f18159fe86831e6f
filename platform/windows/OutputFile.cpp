// The output file on Windows: CreateFileW and WriteFile.

#include "platform/OutputFile.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

HANDLE HandleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// WriteFile takes a 32-bit count; larger texts go in several writes.
constexpr std::size_t kLargestWrite = 1u << 30;

ErrorCode WriteAll(HANDLE handle, const char* next, std::size_t left) {
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, next, static_cast<DWORD>(std::min(left, kLargestWrite)), &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT; // nothing moves: give up rather than spin
        next += written;
        left -= written;
    }
    return 0;
}

} // namespace

CreateOutputFileResult CreateOutputFile(const std::wstring& name) {
    CreateOutputFileResult result;
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = GetLastError();
        return result;
    }
    result.file = std::make_unique<OutputFile>(reinterpret_cast<std::intptr_t>(handle));
    return result;
}

OutputFile::~OutputFile() {
    CloseHandle(HandleOf(handle_));
}

// wchar_t is a UTF-16 code unit here, and little-endian in memory: the text is written as it is.
ErrorCode OutputFile::Write(const std::wstring& text) {
    return WriteAll(HandleOf(handle_), reinterpret_cast<const char*>(text.data()),
                    text.size() * sizeof(wchar_t));
}

ErrorCode OutputFile::WriteBytes(const std::string& bytes) {
    return WriteAll(HandleOf(handle_), bytes.data(), bytes.size());
}

} // namespace platform
