#include "cmdline/NameIndex.h"

#include "cmdline/Errors.h"

#include <algorithm>

namespace cmdarg {

namespace {

bool begins_with(const std::wstring& name, const std::wstring& prefix) {
    return name.size() >= prefix.size() && name.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

name_index::name_index(const std::vector<parameter>& declarations) {
    for (const parameter& declaration : declarations)
        for (const std::wstring& name : declaration.names())
            entries_.push_back({name, &declaration});
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const entry& a, const entry& b) { return a.name < b.name; });
}

const parameter& name_index::lookup(const std::wstring& text, std::int32_t argument_index) const {
    const auto nearest = std::lower_bound(entries_.begin(), entries_.end(), text,
                                          [](const entry& e, const std::wstring& t) { return e.name < t; });
    if (nearest == entries_.end() || text.size() > nearest->name.size())
        throw error_invalid_option(argument_index, text);
    if (!begins_with(nearest->name, text)) {
        if (nearest->name.front() == text.front())
            throw error_invalid_option_with_supposition(argument_index, text, nearest->declaration->id());
        throw error_invalid_option(argument_index, text);
    }
    if (nearest->name.size() == text.size())
        return *nearest->declaration;
    // The index is sorted, so a second name beginning with text can only be the next entry.
    const auto next = nearest + 1;
    if (next != entries_.end() && begins_with(next->name, text))
        throw error_option_ambiguous(argument_index, text, nearest->name, next->name);
    return *nearest->declaration;
}

} // namespace cmdarg
