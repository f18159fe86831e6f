// A recipe: the committed description of one test volume, one command per line (README.md).
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <vector>

namespace mkvol {

struct Command {
    std::string origin; // "FILE:LINE", the prefix of every error about this command
    std::string verb;
    std::vector<std::string> operands;          // positional tokens in order (UTF-8 text)
    std::map<std::string, std::string> options; // key=value tokens

    // The operand at index, or a runtime_error naming the command when it is missing.
    const std::string& Operand(size_t index) const;
    // The numeric option key (decimal, 0x hex, or decimal with a K, M or G suffix), or fallback
    // when absent; a runtime_error when absent without fallback or malformed.
    uint64_t Number(const std::string& key) const;
    uint64_t Number(const std::string& key, uint64_t fallback) const;
    // The option key as bytes written in hex (two digits each, no separator); runtime_error when
    // absent or malformed.
    std::vector<uint8_t> Bytes(const std::string& key) const;
    // The text option key, or fallback when absent.
    std::string Text(const std::string& key, const std::string& fallback) const;
    // Throws a runtime_error that starts with origin.
    [[noreturn]] void Fail(const std::string& message) const;
};

// Splits the recipe into commands. A line holds blank-separated tokens; "#" starts a comment
// outside quotes; a token in double quotes may hold blanks and is always an operand; an unquoted
// token of the form key=value (key of lowercase letters and '-') is an option. Empty lines and
// comment lines give no command. Throws std::runtime_error on an unterminated quote.
std::vector<Command> ParseRecipe(std::istream& in, const std::string& name);

} // namespace mkvol
