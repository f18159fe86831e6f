#include "cmdline/CommandLine.h"

#include <algorithm>
#include <ostream>

namespace cmdarg {

void command_line::print_help(std::wostream& out) const {
    const wchar_t switch_char = switch_chars.front();
    std::size_t column = help_min_column;
    for (const parameter& declaration : declarations_)
        column = std::max<std::size_t>(column, declaration.print_syntax(nullptr, switch_char) + help_gap);
    column = std::min<std::size_t>(column, help_max_column);

    // The default group is the oldest, so its options come first, under no header.
    std::vector<const parameter*> ordered;
    for (const parameter& declaration : declarations_)
        ordered.push_back(&declaration);
    std::stable_sort(ordered.begin(), ordered.end(), [](const parameter* a, const parameter* b) {
        return a->get_group().id < b->get_group().id;
    });

    const std::wstring indent(help_indent, L' ');
    std::int32_t current_group = group::default_group().id;
    for (const parameter* declaration : ordered) {
        const group& g = declaration->get_group();
        if (g.id != current_group) {
            current_group = g.id;
            out << indent << g.title << L':';
            if (g.only_one)
                out << L" (only one allowed)";
            if (g.at_least_one)
                out << L" (at least one required)";
            out << std::endl;
        }
        out << indent;
        const std::size_t length = declaration->print_syntax(&out, switch_char);
        out << std::wstring(length < column ? column - length : 0, L' ') << L"  " << declaration->help;
        if (!declaration->defaults().empty()) {
            out << L" (default:";
            for (const std::wstring& value : declaration->defaults())
                out << L' ' << value;
            out << L')';
        }
        const std::vector<std::wstring>& names = declaration->names();
        if (names.size() > 1) {
            out << L" (also";
            for (std::size_t k = 1; k < names.size(); ++k)
                out << (k > 1 ? L"," : L"") << L' ' << switch_char << names[k];
            out << L')';
        }
        out << std::endl;
    }
}

} // namespace cmdarg
