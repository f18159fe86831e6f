#pragma once
// The names of all declared options in ordinal order, for finding the option an argument names,
// exactly or by an unambiguous abbreviation. Used by the parser only.

#include "cmdline/Parameter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cmdarg {

class name_index {
  public:
    // Refers to the declarations, which must outlive the index and stay in place.
    explicit name_index(const std::vector<parameter>& declarations);

    // The declaration whose name is text, or the only one that begins with it. Throws
    // error_invalid_option, error_invalid_option_with_supposition (the nearest name begins with the
    // same character) or error_option_ambiguous, with argument_index and text as their payload.
    const parameter& lookup(const std::wstring& text, std::int32_t argument_index) const;

  private:
    struct entry {
        std::wstring name;
        const parameter* declaration;
    };
    std::vector<entry> entries_; // sorted by name; equal names in declaration order
};

} // namespace cmdarg
