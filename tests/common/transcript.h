#pragma once
// Rows of a unit test as data: a transcript file of commands ("$ " lines, words split at blanks, ""
// for an empty word) each followed by what it gives, and "# " comments. The test runs every command
// through a function of its own and compares the transcript it makes with the file; on a difference
// the made one is written beside the build (NAME.actual) for review. Text outside printable ASCII is
// written <U+XXXX>, one UTF-16 code unit each.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace vesk_test {

inline std::wstring Unescape(const std::string& text) {
    std::wstring units;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "<U+") == 0 && i + 7 < text.size() && text[i + 7] == '>') {
            units += static_cast<wchar_t>(std::stoul(text.substr(i + 3, 4), nullptr, 16));
            i += 7;
        } else {
            units += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
        }
    }
    return units;
}

inline std::string Escape(const std::wstring& units) {
    std::string text;
    for (const wchar_t unit : units) {
        char escaped[16];
        std::snprintf(escaped, sizeof escaped, "<U+%04X>", static_cast<unsigned>(unit));
        text += (unit >= 0x20 && unit < 0x7F) || unit == L'\n' ? std::string(1, static_cast<char>(unit))
                                                               : escaped;
    }
    return text;
}

// run gets a command's words and returns its lines, each ending with a line feed.
inline void ExpectTranscript(const std::string& path,
                             const std::function<std::wstring(const std::vector<std::wstring>&)>& run) {
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "cannot read " << path;
    std::string expected, made;
    for (std::string line; std::getline(in, line);) {
        expected += line + "\n";
        if (line.rfind("# ", 0) == 0)
            made += line + "\n";
        if (line.rfind("$ ", 0) != 0)
            continue;
        std::istringstream words(line.substr(2));
        std::vector<std::wstring> command;
        for (std::string word; words >> word;)
            command.push_back(word == "\"\"" ? L"" : Unescape(word));
        made += line + "\n" + Escape(run(command));
    }
    EXPECT_EQ(made, expected) << path;
    if (made != expected)
        std::ofstream(path.substr(path.rfind('/') + 1) + ".actual", std::ios::binary) << made;
}

} // namespace vesk_test
