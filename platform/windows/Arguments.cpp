// Arguments on Windows: wmain receives them in UTF-16 already; "/" starts an option as "-" does.

#include "platform/Arguments.h"

#include <windows.h>

namespace platform {

const wchar_t* const OptionSwitchChars = L"-/";

// Narrow arguments, as main would receive them, are in the ANSI code page.
std::vector<std::wstring> WideArguments(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i) {
        const int length = MultiByteToWideChar(CP_ACP, 0, argv[i], -1, nullptr, 0);
        std::wstring text(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
        if (length > 0)
            MultiByteToWideChar(CP_ACP, 0, argv[i], -1, text.data(), length);
        text.resize(text.size() - 1); // the terminator
        arguments.push_back(std::move(text));
    }
    return arguments;
}

} // namespace platform
