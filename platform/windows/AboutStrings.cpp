// The about page's texts on Windows: the program's string table (AboutStrings.rc).

#include "platform/AboutStrings.h"

#include <windows.h>

#include <vector>

namespace platform {

std::wstring LoadAboutString(unsigned id) {
    const HINSTANCE program = GetModuleHandleW(nullptr);
    // LoadStringW cuts a text to the buffer without saying so: the buffer doubles until the text
    // leaves room to spare, which proves it whole. A missing string loads as empty.
    std::vector<wchar_t> buffer(1);
    while (true) {
        const int length = LoadStringW(program, id, buffer.data(), static_cast<int>(buffer.size()));
        const std::size_t loaded = length > 0 ? static_cast<std::size_t>(length) : 0;
        if (loaded + 2 <= buffer.size())
            return std::wstring(buffer.data(), loaded);
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
