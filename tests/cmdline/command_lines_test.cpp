// The option parser's outcomes and reports, and the value conversions, as rows of
// command_lines.txt: "$ DECLARATION ARGS" parses ARGS with one of the declarations below through
// process_command_line (header "Head", footer "Foot", error base 100, help result 5); a "-" or "+"
// after the declaration's name makes it the only switch character. "$ integer|real|size TEXT"
// converts TEXT.

#include "cmdline/Conversion.h"
#include "cmdline/ProcessCommandLine.h"
#include "tests/common/transcript.h"

#include <sstream>
#include <stdexcept>

namespace cmdarg {
namespace {

// "prog": help "?" (alias "h"); "alpha <n> [<m>]" integers (0, -1); "beta"; "bet"; "name <text>";
// "x" (aliases "xa", "xb"); "one" and "two", only one of them; "ratio [<r>]" real (0.5); "s8" and
// "s9" with eight and nine optional values; "s11" with one value and ten optional ones, unnamed. Up to one
// free value.
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
    const struct {
        std::int32_t id;
        const wchar_t* name;
        const group& g;
    } members[] = {{11, L"p2", pick},  {10, L"p1", pick},  {20, L"a1", needA},
                   {21, L"a2", needA}, {30, L"b1", needB}, {31, L"b2", needB}};
    for (const auto& m : members) {
        parameter p(m.id, m.name);
        p.set_group(m.g);
        p.help = std::wstring(L"Member ") + m.name;
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

template <typename T> std::wstring Shown(const std::optional<T>& value) {
    std::wostringstream text;
    if (value)
        text << *value;
    else
        text << L"none";
    return text.str() + L"\n";
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
        const wchar_t* text = words.size() > 1 ? words[1].c_str() : L"";
        if (words[0] == L"integer")
            return Shown(to_integer(text));
        if (words[0] == L"real")
            return Shown(to_real(text));
        if (words[0] == L"size")
            return Shown(to_size(text));
        return Parse(words);
    });
}

} // namespace
} // namespace cmdarg
