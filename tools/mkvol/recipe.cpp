#include "recipe.h"

#include <stdexcept>

namespace mkvol {

namespace {

bool IsOption(const std::string& token) {
    const size_t eq = token.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    for (size_t i = 0; i < eq; ++i)
        if (!((token[i] >= 'a' && token[i] <= 'z') || token[i] == '-'))
            return false;
    return true;
}

uint64_t ParseNumber(const std::string& text) {
    if (text.empty())
        throw std::runtime_error("empty number");
    size_t used = 0;
    uint64_t value = 0;
    try {
        value = std::stoull(text, &used, 0);
    } catch (const std::exception&) {
        throw std::runtime_error("not a number: \"" + text + "\"");
    }
    if (text[0] == '-')
        throw std::runtime_error("negative number: \"" + text + "\"");
    const std::string suffix = text.substr(used);
    unsigned shift = 0;
    if (suffix == "K")
        shift = 10;
    else if (suffix == "M")
        shift = 20;
    else if (suffix == "G")
        shift = 30;
    else if (!suffix.empty())
        throw std::runtime_error("not a number: \"" + text + "\"");
    if (shift && value > (UINT64_MAX >> shift))
        throw std::runtime_error("number too large: \"" + text + "\"");
    return value << shift;
}

std::vector<uint8_t> ParseHex(const std::string& text) {
    if (text.empty() || text.size() % 2)
        throw std::runtime_error("hex bytes need an even, non-zero number of digits: \"" + text + "\"");
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw std::runtime_error("not hex: \"" + text + "\"");
        bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return bytes;
}

} // namespace

const std::string& Command::Operand(size_t index) const {
    if (index >= operands.size())
        Fail(verb + " needs " + std::to_string(index + 1) + " operand(s)");
    return operands[index];
}

uint64_t Command::Number(const std::string& key) const {
    const auto it = options.find(key);
    if (it == options.end())
        Fail(verb + " needs " + key + "=");
    try {
        return ParseNumber(it->second);
    } catch (const std::runtime_error& e) {
        Fail(key + ": " + e.what());
    }
}

uint64_t Command::Number(const std::string& key, uint64_t fallback) const {
    return options.count(key) ? Number(key) : fallback;
}

std::vector<uint8_t> Command::Bytes(const std::string& key) const {
    const auto it = options.find(key);
    if (it == options.end())
        Fail(verb + " needs " + key + "=");
    try {
        return ParseHex(it->second);
    } catch (const std::runtime_error& e) {
        Fail(key + ": " + e.what());
    }
}

std::string Command::Text(const std::string& key, const std::string& fallback) const {
    const auto it = options.find(key);
    return it == options.end() ? fallback : it->second;
}

void Command::Fail(const std::string& message) const {
    throw std::runtime_error(origin + ": " + message);
}

std::vector<Command> ParseRecipe(std::istream& in, const std::string& name) {
    std::vector<Command> commands;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        Command command;
        command.origin = name + ":" + std::to_string(number);
        std::vector<std::pair<std::string, bool>> tokens; // text, quoted
        size_t i = 0;
        while (i < line.size()) {
            const char c = line[i];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
            } else if (c == '#') {
                break;
            } else if (c == '"') {
                const size_t close = line.find('"', i + 1);
                if (close == std::string::npos)
                    command.Fail("unterminated quote");
                tokens.emplace_back(line.substr(i + 1, close - i - 1), true);
                i = close + 1;
            } else {
                size_t end = i;
                while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
                    ++end;
                tokens.emplace_back(line.substr(i, end - i), false);
                i = end;
            }
        }
        if (tokens.empty())
            continue;
        command.verb = tokens[0].first;
        for (size_t t = 1; t < tokens.size(); ++t) {
            const auto& [text, quoted] = tokens[t];
            if (!quoted && IsOption(text)) {
                const size_t eq = text.find('=');
                command.options[text.substr(0, eq)] = text.substr(eq + 1);
            } else {
                command.operands.push_back(text);
            }
        }
        commands.push_back(std::move(command));
    }
    return commands;
}

} // namespace mkvol
