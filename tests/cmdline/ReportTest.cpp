#include "cmdline/ProcessCommandLine.h"
#include "tests/cmdline/SampleCommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace cmdarg {
namespace {

TEST(Report, SyntaxNestsOptionalSubparams) {
    auto with = [](std::uint32_t mandatory, std::uint32_t optional, bool named) {
        parameter p(0, L"o");
        for (std::uint32_t k = 0; k < mandatory + optional; ++k) {
            const std::wstring name = L"p" + std::to_wstring(k + 1);
            p.add_subparam(k < mandatory, nullptr, subparam_type::text, named ? name.c_str() : nullptr,
                           false);
        }
        return p;
    };
    const struct {
        parameter declaration;
        wchar_t switch_char;
        const wchar_t* expected;
    } cases[] = {
        {with(0, 0, true), L'-', L"-o"},
        {with(0, 0, true), L'/', L"/o"},
        {with(1, 0, true), L'-', L"-o <p1>"},
        {with(2, 0, false), L'-', L"-o <par> <par>"},
        {with(1, 1, true), L'-', L"-o <p1> [<p2>]"},
        {with(0, 3, true), L'-', L"-o [<p1> [<p2> [<p3>]]]"},
        {with(0, 8, true), L'-', L"-o [<p1> [<p2> [<p3> [<p4> [<p5> [<p6> [<p7> [<p8>]]]]]]]]"},
        {with(0, 9, true), L'-', L"-o [<p1>...]"},
        {with(1, 10, false), L'-', L"-o <par> [<par>...]"},
    };
    for (const auto& c : cases) {
        std::wostringstream out;
        const std::size_t length = c.declaration.print_syntax(&out, c.switch_char);
        EXPECT_EQ(out.str(), c.expected);
        EXPECT_EQ(length, out.str().size()) << testing::PrintToString(std::wstring(c.expected));
        EXPECT_EQ(c.declaration.print_syntax(nullptr, c.switch_char), length);
    }
}

TEST(Report, HelpPageLayout) {
    command_line cl(1, 1);
    parameter help(help_id, L"?");
    help.add_alias(L"h").add_alias(L"help");
    help.help = L"Help page";
    cl.add(help);
    parameter size(0, L"size");
    size.add_subparam(true, L"0", subparam_type::size, L"min", false)
        .add_subparam(false, L"-1", subparam_type::size, L"max", false);
    size.help = L"Size range";
    cl.add(size);
    const group mode(true, true, L"Mode");
    const group other(false, false, L"Other");
    parameter named(4, L"name");
    named.add_subparam(true, nullptr, subparam_type::text, nullptr, false)
        .add_subparam(false, L"x", subparam_type::text, nullptr, false);
    named.help = L"Name";
    named.set_group(other);
    cl.add(named);
    parameter fast(2, L"fast");
    fast.help = L"Fast";
    fast.set_group(mode);
    cl.add(fast);
    parameter slow(3, L"slow");
    slow.help = L"Slow";
    slow.set_group(cl.find(2));
    cl.add(slow);
    parameter verbose(1, L"v");
    verbose.help = L"Verbose";
    cl.add(verbose);

    std::wostringstream out;
    cl.print_help(out);
    EXPECT_EQ(out.str(), L"  -?                  Help page (also -h, -help)\n"
                         L"  -size <min> [<max>]  Size range (default: 0 -1)\n"
                         L"  -v                  Verbose\n"
                         L"  Mode: (only one allowed) (at least one required)\n"
                         L"  -fast               Fast\n"
                         L"  -slow               Slow\n"
                         L"  Other:\n"
                         L"  -name <par> [<par>]  Name (default:  x)\n");

    cl.switch_chars = L"/-";
    cl.help_indent = 1;
    cl.help_max_column = 40;
    std::wostringstream wide;
    cl.print_help(wide);
    EXPECT_EQ(wide.str(), L" /?                     Help page (also /h, /help)\n"
                          L" /size <min> [<max>]    Size range (default: 0 -1)\n"
                          L" /v                     Verbose\n"
                          L" Mode: (only one allowed) (at least one required)\n"
                          L" /fast                  Fast\n"
                          L" /slow                  Slow\n"
                          L" Other:\n"
                          L" /name <par> [<par>]    Name (default:  x)\n");
}

struct processed {
    std::int32_t result;
    std::wstring help;
    std::wstring errors;
};

processed process(command_line& cl, std::vector<const wchar_t*> args, const wchar_t* header = nullptr,
                  const wchar_t* footer = nullptr) {
    args.insert(args.begin(), L"prog");
    std::wostringstream help, errors;
    const std::int32_t result = process_command_line(cl, static_cast<int>(args.size()), args.data(), help,
                                                     errors, header, footer, 100, 5);
    return {result, help.str(), errors.str()};
}

TEST(Report, MissingRequiredOptionNamesItsGroup) {
    command_line cl(0, 0);
    cl.add(parameter(help_id, L"help"));
    const group needed(false, true, L"Needed");
    for (std::int32_t id : {1, 2}) {
        parameter p(id, id == 1 ? L"a1" : L"a2");
        p.set_group(needed);
        cl.add(p);
    }
    parameter more(3, L"more");
    more.change_min_free(1);
    cl.add(more);
    const processed p = process(cl, {L"-more"});
    EXPECT_EQ(p.errors, L"Required option is missing. \nOptions affected: a1 a2 \n"
                        L"Use option -help to get help on syntax and options.\n");
    EXPECT_EQ(p.result, 109);

    command_line raised(0, 1);
    raised.add(more);
    EXPECT_EQ(process(raised, {L"-more"}).errors,
              L"Required parameter is missing. At least 1 parameters are allowed except options.");
}

TEST(Report, WithoutHelpOptionTheReportEndsWithoutHint) {
    command_line cl(0, 1);
    cl.add(parameter(1, L"one"));
    const processed p = process(cl, {L"-zz"});
    EXPECT_EQ(p.errors, L"Error in option 'zz', parameter 1'. Parameter is invalid. ");
    EXPECT_EQ(p.result, 102);
}

TEST(Report, HelpPage) {
    // The sample has no help texts, so every line keeps its padding and separator.
    const std::wstring page = L"  -?                   (also -h)\n"
                              L"  -alpha <n> [<m>]     (default: 0 -1)\n"
                              L"  -beta               \n"
                              L"  -bet                \n"
                              L"  -name <text>        \n"
                              L"  -x                   (also -xa, -xb)\n"
                              L"  -ratio [<r>]         (default: 0.5)\n"
                              L"  Pick: (only one allowed)\n"
                              L"  -one                \n"
                              L"  -two                \n";
    const struct {
        const wchar_t* switch_chars;
        const wchar_t* header;
        const wchar_t* footer;
        std::wstring expected;
    } cases[] = {
        {L"-/", nullptr, nullptr, page + L"Following characters are accepted as option switch: -/\n"},
        {L"-/", L"Head\nline", L"Foot",
         L"Head\nline\n" + page + L"Following characters are accepted as option switch: -/\nFoot\n"},
        {L"-", nullptr, L"Foot", page + L"Foot\n"},
    };
    for (const auto& c : cases) {
        command_line cl = sample_command_line(1);
        cl.switch_chars = c.switch_chars;
        const processed p = process(cl, {L"-x", L"-?", L"-zz"}, c.header, c.footer);
        EXPECT_EQ(p.result, 5);
        EXPECT_EQ(p.help, c.expected);
        EXPECT_EQ(p.errors, L"");
    }
}

TEST(Report, DeclarationConflictsPassThrough) {
    command_line cl(0, 1);
    parameter a(1, L"a");
    a.set_min_free(0);
    cl.add(a);
    parameter b(2, L"b");
    b.set_min_free(1);
    cl.add(b);
    std::vector<const wchar_t*> args = {L"prog", L"-a", L"-b"};
    std::wostringstream help, errors;
    EXPECT_THROW(process_command_line(cl, 3, args.data(), help, errors, nullptr, nullptr, 10, 1),
                 std::logic_error);
    EXPECT_EQ(errors.str(), L"");
}

} // namespace
} // namespace cmdarg
