// The option parser as rows of command_lines.txt: "$ DECLARATION ARGS" parses ARGS through
// process_command_line (header "Head", footer "Foot", error base 100, help result 5), "-" or "+" after
// the name the only switch character; "$ integer|real|size TEXT" converts; "$ misuse" misdeclares.

#include "cmdline/ProcessCommandLine.h"
#include "tests/common/transcript.h"

#include <ios>
#include <sstream>
#include <stdexcept>

namespace cmdarg {
namespace {

// "prog": help "?" (alias "h"); "alpha <n> [<m>]" integers (0, -1); "beta"; "bet"; "name <text>"; "x"
// (aliases "xa", "xb"); "one" and "two", only one of them; "ratio [<r>]" real (0.5); "s8", "s9" with 8
// and 9 optional values; "s11" with one value and ten optional ones, unnamed. Up to one free value.
command_line Prog() {
    command_line cl(0, 1);
    cl.add(parameter(help_id, L"?").add_alias(L"h"));
    cl.add(parameter(0, L"alpha")
               .add_subparam(true, L"0", subparam_type::integer, L"n", false)
               .add_subparam(false, L"-1", subparam_type::integer, L"m", false));
    cl.add(parameter(1, L"beta"));
    cl.add(parameter(2, L"bet"));
    cl.add(parameter(3, L"name").add_subparam(true, nullptr, subparam_type::text, L"text", false));
    cl.add(parameter(4, L"x").add_alias(L"xa").add_alias(L"xb"));
    parameter one(5, L"one"), two(6, L"two");
    one.set_group(group(true, false, L"Pick"));
    two.set_group(one);
    cl.add(one);
    cl.add(two);
    cl.add(parameter(7, L"ratio").add_subparam(false, L"0.5", subparam_type::real, L"r", false));
    parameter eight(8, L"s8"), nine(9, L"s9"), eleven(10, L"s11");
    for (int k = 0; k < 11; ++k) {
        const std::wstring name = L"p" + std::to_wstring(k + 1);
        if (k < 8)
            eight.add_subparam(false, nullptr, subparam_type::text, name.c_str(), false);
        if (k < 9)
            nine.add_subparam(false, nullptr, subparam_type::text, name.c_str(), false);
        eleven.add_subparam(k == 0, nullptr, subparam_type::text, nullptr, false);
    }
    for (const parameter& p : {eight, nine, eleven})
        cl.add(p);
    return cl;
}

// "groups": help "help"; "p1" and "p2", only one; "a1" and "a2", at least one; "b1" and "b2", at
// least one; "size <min> [<max>]" sizes (0, -1), with help texts.
command_line Groups() {
    command_line cl(0, 0);
    cl.add(parameter(help_id, L"help"));
    const group pick(true, false, L"Pick one"), needA(false, true, L"Need A"), needB(false, true, L"Need B");
    const group* groups[] = {&pick, &pick, &needA, &needA, &needB, &needB};
    const std::int32_t ids[] = {11, 10, 20, 21, 30, 31};
    const wchar_t* names[] = {L"p2", L"p1", L"a1", L"a2", L"b1", L"b2"};
    for (int k = 0; k < 6; ++k) {
        parameter p(ids[k], names[k]);
        p.set_group(*groups[k]);
        p.help = std::wstring(L"Member ") + names[k];
        cl.add(p);
    }
    parameter size(40, L"size");
    size.add_subparam(true, L"0", subparam_type::size, L"min", false)
        .add_subparam(false, L"-1", subparam_type::size, L"max", false);
    size.help = L"Size range";
    cl.add(size);
    return cl;
}

// "bounds": no help option; 1 to 2 free values; "adds" (the lowest id, applied first) raises the minimum by
// 1, "none" and "zero" set it to 0, "fewer" lowers it by 5, "more" raises it by 2 and the maximum by 3,
// "huge" sets the maximum to -1.
command_line Bounds() {
    command_line cl(1, 2);
    parameter none(1, L"none"), zero(2, L"zero"), fewer(3, L"fewer"), more(4, L"more"), huge(5, L"huge"),
        adds(0, L"adds");
    none.set_min_free(0);
    zero.set_min_free(0);
    fewer.change_min_free(-5);
    more.change_min_free(2);
    more.change_max_free(3);
    huge.set_max_free(-1);
    adds.change_min_free(1);
    for (const parameter& p : {adds, none, zero, fewer, more, huge})
        cl.add(p);
    return cl;
}

// What f returns, "none" for a value that is no number, or the message of another exception.
template <typename F> std::wstring Outcome(F f) {
    std::wostringstream text;
    try {
        text << f();
    } catch (const std::ios_base::failure&) {
        text << L"none";
    } catch (const std::exception& e) {
        text << vesk_test::Unescape(e.what());
    }
    return text.str() + L"\n";
}

// Declarations and lookups that are faults of the program using the parser.
std::wstring Misuse() {
    command_line cl = Prog();
    parameter optional(20, L"opt");
    optional.add_subparam(false, L"b", subparam_type::text, L"o", true);
    return Outcome([] { return parameter(1, nullptr).id(); }) +
           Outcome([&] { return optional.add_alias(nullptr).id(); }) + Outcome([&] {
               return optional.add_subparam(true, nullptr, subparam_type::text, L"m", false).id();
           }) +
           Outcome(
               [&] { return optional.add_subparam(false, nullptr, subparam_type::text, L"o2", true).id(); }) +
           Outcome([&] { return cl.find(99).id(); }) + Outcome([&] { return cl.state(help_id).id; }) +
           Outcome([&] { return cl.state(not_a_parameter_id).id; });
}

std::wstring Parse(std::vector<std::wstring> words) {
    const std::wstring declaration = words[0];
    command_line cl = declaration.rfind(L"prog", 0) == 0 ? Prog()
                      : declaration == L"groups"         ? Groups()
                                                         : Bounds();
    if (declaration.size() == 5)
        cl.switch_chars = declaration.substr(4);
    std::vector<std::int32_t> ids;
    for (const parameter& p : cl.declarations())
        if (p.id() != help_id)
            ids.push_back(p.id());
    std::vector<const wchar_t*> argv;
    for (const std::wstring& word : words)
        argv.push_back(word.c_str());
    std::wostringstream help, errors, shown;
    try {
        const std::int32_t result = process_command_line(cl, static_cast<int>(argv.size()), argv.data(), help,
                                                         errors, L"Head", L"Foot", 100, 5);
        shown << L"[result " << result << L"]\n" << help.str() << errors.str();
        if (!errors.str().empty() && errors.str().back() != L'\n')
            shown << L" [no line feed]\n";
        if (result != 0)
            return shown.str();
    } catch (const std::logic_error& e) {
        return L"[logic_error] " + vesk_test::Unescape(e.what()) + L" " + errors.str() + L"\n";
    }
    for (const std::int32_t id : ids) {
        const parameter_state& state = cl.state(id);
        if (state.present || !state.values.empty()) {
            shown << L"option " << id << (state.present ? L" given:" : L":");
            for (const std::wstring& value : state.values)
                shown << L" [" << value << L"]";
            shown << L"\n";
        }
    }
    shown << L"free values " << cl.min_free << L" to " << cl.max_free << L":";
    for (const std::wstring& value : cl.free_values)
        shown << L" [" << value << L"]";
    return shown.str() + L"\n";
}

TEST(CommandLines, AsTheTranscriptShows) {
    vesk_test::ExpectTranscript(VESK_CMDLINE_TRANSCRIPT, [](const std::vector<std::wstring>& words) {
        parameter_state state(parameter(0, L"value")); // a value read by the getters the program uses
        state.values.assign(words.begin() + 1, words.end());
        if (words[0] == L"integer")
            return Outcome([&] { return state.int_value(0); });
        if (words[0] == L"real")
            return Outcome([&] { return state.real_value(0); });
        if (words[0] == L"size")
            return Outcome([&] { return state.size_value(0); });
        if (words[0] == L"misuse")
            return Misuse();
        return Parse(words);
    });
}

} // namespace
} // namespace cmdarg
