#include "cmdline/ProcessCommandLine.h"

#include "cmdline/Errors.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace cmdarg {

namespace {

// Result offsets from the error base, by kind of error.
enum error_offset : std::int32_t {
    option_ambiguous = 1,
    invalid_option = 2,
    unexpected_value = 3,
    value_missing = 4,
    bad_argument = 6,
    double_exclusive = 7,
    not_enough_subparams = 8,
    no_required_param = 9,
};

// An error report is written in stages, from the most specific part of an error to the most general.
// Each stage is a handler that writes its part and passes the same exception on to the next one.
struct report {
    command_line& cl;
    std::wostream& out;
    const std::int32_t base;
    std::int32_t result; // the base until a stage knows better
};

// The number of argv[index] on the command line as typed.
int typed_position(const command_line& cl, int index) {
    const bool known = index >= 0 && static_cast<std::size_t>(index) < cl.argument_positions.size();
    return known ? cl.argument_positions[static_cast<std::size_t>(index)] : index;
}

// Stage 1: which argument is wrong.
void parse_reporting_argument(report& r, int argc, const wchar_t* const* argv) {
    try {
        r.cl.parse(argc, argv);
    } catch (const error_invalid_option_base& e) {
        r.out << L"Error in option '" << e.option_text << L"', parameter "
              << std::to_wstring(typed_position(r.cl, e.argument_index)) << L"'. ";
        throw;
    } catch (const error_argument_base& e) {
        r.out << L"Error in parameter " << std::to_wstring(typed_position(r.cl, e.argument_index)) << L". ";
        r.result = r.base + bad_argument;
        throw;
    }
}

// Stage 2: what kind of mistake it is; replaces stage 1's result.
void parse_reporting_kind(report& r, int argc, const wchar_t* const* argv) {
    try {
        parse_reporting_argument(r, argc, argv);
    } catch (const error_option_ambiguous& e) {
        r.out << L"Option is ambiguous: can be either " << e.first_name << L" or " << e.second_name << L". ";
        r.result = r.base + option_ambiguous;
        throw;
    } catch (const error_invalid_option&) {
        r.out << L"Parameter is invalid. ";
        r.result = r.base + invalid_option;
        throw;
    } catch (const error_unexpected_value& e) {
        r.out << L"Parameter '" << e.value << L"' is redundant. No more than "
              << std::to_wstring(r.cl.max_free) << L" parameters are allowed except options.";
        r.result = r.base + unexpected_value;
        throw;
    } catch (const error_value_missing&) {
        r.out << L"Required parameter is missing. At least " << std::to_wstring(r.cl.min_free)
              << L" parameters are allowed except options.";
        r.result = r.base + value_missing;
        throw;
    } catch (const error_double_exclusive_params&) {
        r.out << L"Two or more mutual exclusive parameters specified. ";
        r.result = r.base + double_exclusive;
        throw;
    } catch (const error_not_enough_subparams& e) {
        r.out << L"Not enough subparameters specified: " << std::to_wstring(e.given_count) << L", expected: "
              << std::to_wstring(r.cl.find(e.option_id).mandatory_count()) << L" ";
        r.result = r.base + not_enough_subparams;
        throw;
    } catch (const error_no_required_param&) {
        r.out << L"Required option is missing. ";
        r.result = r.base + no_required_param;
        throw;
    }
}

// Stage 3: the syntax of the option concerned.
void parse_reporting_option(report& r, int argc, const wchar_t* const* argv) {
    try {
        parse_reporting_kind(r, argc, argv);
    } catch (const error_option_id_base& e) {
        r.out << std::endl << L"Option syntax is: ";
        r.cl.find(e.option_id).print_syntax(&r.out, r.cl.switch_chars.front());
        throw;
    }
}

// Stage 4: the options of the group concerned.
void parse_reporting_group(report& r, int argc, const wchar_t* const* argv) {
    try {
        parse_reporting_option(r, argc, argv);
    } catch (const error_group_id_base& e) {
        r.out << std::endl << L"Options affected: ";
        for (const parameter& declaration : r.cl.declarations())
            if (declaration.get_group().id == e.group_id)
                r.out << declaration.names().front() << L' ';
        throw;
    }
}

// Stage 5: where to find help, when the command line has a help option.
void parse_reporting_help_hint(report& r, int argc, const wchar_t* const* argv) {
    try {
        parse_reporting_group(r, argc, argv);
    } catch (const error&) {
        const std::vector<parameter>& declarations = r.cl.declarations();
        const auto help = std::find_if(declarations.begin(), declarations.end(),
                                       [](const parameter& p) { return p.id() == help_id; });
        if (help != declarations.end())
            r.out << std::endl
                  << L"Use option " << r.cl.switch_chars.front() << help->names().front()
                  << L" to get help on syntax and options." << std::endl;
        throw;
    }
}

void print_help_page(const command_line& cl, std::wostream& out, const wchar_t* header,
                     const wchar_t* footer) {
    if (header != nullptr)
        out << header << std::endl;
    cl.print_help(out);
    if (cl.switch_chars.size() > 1)
        out << L"Following characters are accepted as option switch: " << cl.switch_chars << std::endl;
    if (footer != nullptr)
        out << footer << std::endl;
}

} // namespace

std::int32_t process_command_line(command_line& cl, int argc, const wchar_t* const* argv,
                                  std::wostream& help_out, std::wostream& error_out, const wchar_t* header,
                                  const wchar_t* footer, std::int32_t error_base, std::int32_t help_result) {
    report r{cl, error_out, error_base, error_base};
    try {
        parse_reporting_help_hint(r, argc, argv);
        return 0;
    } catch (const help_required&) {
        print_help_page(cl, help_out, header, footer);
        return help_result;
    } catch (const error&) {
        return r.result;
    }
}

} // namespace cmdarg
