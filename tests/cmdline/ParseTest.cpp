#include "cmdline/CommandLine.h"
#include "cmdline/Errors.h"
#include "tests/cmdline/SampleCommandLine.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace cmdarg {
namespace {

using texts = std::vector<std::wstring>;

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// Parses args (the program name is added) and describes the outcome in one line.
std::string outcome(command_line& cl, std::vector<const wchar_t*> args) {
    args.insert(args.begin(), L"prog");
    try {
        cl.parse(static_cast<int>(args.size()), args.data());
        return "ok";
    } catch (const help_required&) {
        return "help";
    } catch (const error_invalid_option_with_supposition& e) {
        return "supposition " + std::to_string(e.argument_index) + " '" + narrow(e.option_text) + "' id " +
               std::to_string(e.option_id);
    } catch (const error_invalid_option& e) {
        return "invalid " + std::to_string(e.argument_index) + " '" + narrow(e.option_text) + "'";
    } catch (const error_option_ambiguous& e) {
        return "ambiguous " + std::to_string(e.argument_index) + " '" + narrow(e.option_text) + "' " +
               narrow(e.first_name) + " " + narrow(e.second_name);
    } catch (const error_unexpected_value& e) {
        return "unexpected " + std::to_string(e.argument_index) + " '" + narrow(e.value) + "'";
    } catch (const error_value_missing&) {
        return "missing";
    } catch (const error_not_enough_subparams& e) {
        return "not enough " + std::to_string(e.argument_index) + " id " + std::to_string(e.option_id) +
               " given " + std::to_string(e.given_count);
    } catch (const error_invalid_subparam_type& e) {
        return "bad type " + std::to_string(e.argument_index) + " id " + std::to_string(e.option_id) +
               " type " + std::to_string(static_cast<int>(e.expected_type));
    } catch (const error_double_exclusive_params& e) {
        return "exclusive id " + std::to_string(e.option_id) + " group " + std::to_string(e.group_id);
    } catch (const error_no_required_param& e) {
        return "no required group " + std::to_string(e.group_id);
    }
}

TEST(Parse, Outcomes) {
    const struct {
        std::vector<const wchar_t*> args;
        std::string expected;
    } cases[] = {
        {{}, "ok"},
        {{L""}, "ok"},
        {{L"a", L"b"}, "unexpected 2 'b'"},
        {{L"-", L"/"}, "unexpected 2 '/'"},
        {{L"-alpha"}, "not enough 1 id 0 given 0"},
        {{L"-beta", L"-alpha", L"-beta"}, "not enough 2 id 0 given 0"},
        {{L"-alpha", L"x"}, "bad type 2 id 0 type 1"},
        {{L"-alpha", L"1", L"2", L"3"}, "ok"},
        {{L"-alpha", L"1", L"2", L"3", L"4"}, "unexpected 5 '4'"},
        {{L"-alpha", L"5", L"-3"}, "invalid 3 '3'"},
        {{L"-al", L"5"}, "ok"},
        {{L"/alpha", L"5"}, "ok"},
        {{L"-be"}, "ambiguous 1 'be' bet beta"},
        {{L"-x"}, "ok"},
        {{L"-xb"}, "ok"},
        {{L"-xc"}, "invalid 1 'xc'"},
        {{L"-xaa"}, "invalid 1 'xaa'"},
        {{L"-ab"}, "supposition 1 'ab' id 0"},
        {{L"-nam", L"v"}, "ok"},
        {{L"-nab"}, "supposition 1 'nab' id 3"},
        {{L"-zz"}, "invalid 1 'zz'"},
        {{L"--"}, "invalid 1 '-'"},
        {{L"-?"}, "help"},
        {{L"-?", L"-zz"}, "help"},
        {{L"-zz", L"-?"}, "invalid 1 'zz'"},
        {{L"a", L"b", L"-?"}, "unexpected 2 'b'"},
        {{L"-one", L"-two"}, "exclusive id 6 group G"},
        {{L"-two", L"-one"}, "exclusive id 6 group G"},
        {{L"-ratio", L"x"}, "ok"},
        {{L"-ratio", L"x", L"y"}, "unexpected 3 'y'"},
    };
    for (const auto& c : cases) {
        command_line cl = sample_command_line();
        std::string expected = c.expected; // G stands for the id of the only-one group
        if (expected.back() == 'G')
            expected.replace(expected.size() - 1, 1, std::to_string(cl.find(one).get_group().id));
        std::string shown;
        for (const wchar_t* a : c.args)
            shown += " [" + narrow(a) + "]";
        EXPECT_EQ(outcome(cl, c.args), expected) << "arguments:" << shown;
    }
}

TEST(Parse, ValuesAndFreeValues) {
    const struct {
        std::vector<const wchar_t*> args;
        texts alpha_values;
        bool alpha_present;
        texts free;
    } cases[] = {
        {{}, {L"0", L"-1"}, false, {}},
        {{L"pat"}, {L"0", L"-1"}, false, {L"pat"}},
        {{L"-alpha", L"7"}, {L"7", L"-1"}, true, {}},
        {{L"-alpha", L"7", L"8"}, {L"7", L"8"}, true, {}},
        {{L"pat", L"-alpha", L"7", L"8"}, {L"7", L"8"}, true, {L"pat"}},
        // A repeated option replaces the values it is given again and keeps the others.
        {{L"-alpha", L"1", L"2", L"-alpha", L"3"}, {L"3", L"2"}, true, {}},
        // An optional value of the wrong type is not taken: it is the next argument.
        {{L"-alpha", L"100", L"pat"}, {L"100", L"-1"}, true, {L"pat"}},
        {{L"-alpha", L"100", L"-beta"}, {L"100", L"-1"}, true, {}},
        {{L"-alpha", L"1k", L"pat"}, {L"1k", L"-1"}, true, {L"pat"}},
    };
    for (const auto& c : cases) {
        command_line cl = sample_command_line();
        std::vector<const wchar_t*> args = c.args;
        args.insert(args.begin(), L"prog");
        ASSERT_TRUE(cl.parse(static_cast<int>(args.size()), args.data()));
        EXPECT_EQ(cl.state(alpha).values, c.alpha_values) << "first argument index " << c.args.size();
        EXPECT_EQ(cl.state(alpha).present, c.alpha_present);
        EXPECT_EQ(cl.free_values, c.free);
    }
}

TEST(Parse, TextValuesMayBeEmpty) {
    command_line cl = sample_command_line();
    const wchar_t* argv[] = {L"prog", L"-name", L"", L"-x"};
    ASSERT_TRUE(cl.parse(4, argv));
    EXPECT_EQ(cl.state(name).values, texts{L""});
    EXPECT_TRUE(cl.state(x).present);
    EXPECT_TRUE(cl.free_values.empty());
}

TEST(Parse, SwitchCharactersAreAParameter) {
    command_line cl = sample_command_line();
    cl.switch_chars = L"+";
    const wchar_t* argv[] = {L"prog", L"+alpha", L"3", L"-5", L"/x"};
    ASSERT_TRUE(cl.parse(5, argv));
    EXPECT_EQ(cl.state(alpha).values, (texts{L"3", L"-5"})); // "-" no longer starts an option
    EXPECT_EQ(cl.free_values, texts{L"/x"});
}

TEST(Parse, GroupRules) {
    // Groups are checked by ascending id: every at-least-one group first, then the only-one groups.
    const group pick_one(true, false, L"Pick one");
    const group need_a(false, true, L"Need A");
    const group need_b(false, true, L"Need B");
    auto declare = [&]() {
        command_line cl(0, 0);
        const struct {
            std::int32_t id;
            const wchar_t* name;
            const group& g;
        } members[] = {{11, L"p2", pick_one}, {10, L"p1", pick_one}, {20, L"a1", need_a},
                       {21, L"a2", need_a},   {30, L"b1", need_b},   {31, L"b2", need_b}};
        for (const auto& m : members) {
            parameter p(m.id, m.name);
            p.set_group(m.g);
            cl.add(p);
        }
        return cl;
    };
    const std::string a = std::to_string(need_a.id), b = std::to_string(need_b.id),
                      p = std::to_string(pick_one.id);
    const struct {
        std::vector<const wchar_t*> args;
        std::string expected;
    } cases[] = {
        {{}, "no required group " + a},
        {{L"-a1"}, "no required group " + b},
        {{L"-a2", L"-b1"}, "ok"},
        {{L"-a1", L"-a2", L"-b1", L"-b2"}, "ok"},
        {{L"-p1", L"-p2"}, "no required group " + a},
        {{L"-p2", L"-a1", L"-b1"}, "ok"},
        {{L"-p2", L"-p1", L"-a1", L"-b1"}, "exclusive id 11 group " + p},
    };
    for (const auto& c : cases) {
        command_line cl = declare();
        EXPECT_EQ(outcome(cl, c.args), c.expected) << "with " << c.args.size() << " arguments";
    }
}

TEST(Parse, BoundChangesApplyToGivenOptions) {
    auto declare = [](std::uint32_t min_free, std::uint32_t max_free) {
        command_line cl(min_free, max_free);
        parameter none_needed(1, L"none");
        none_needed.set_min_free(0);
        cl.add(none_needed);
        parameter also_none(2, L"zero");
        also_none.set_min_free(0);
        cl.add(also_none);
        parameter fewer(3, L"fewer");
        fewer.change_min_free(-5);
        cl.add(fewer);
        parameter more(4, L"more");
        more.change_min_free(2);
        more.change_max_free(3);
        cl.add(more);
        parameter huge(5, L"huge");
        huge.set_max_free(-1);
        cl.add(huge);
        return cl;
    };
    const struct {
        std::vector<const wchar_t*> args;
        const char* expected;
        std::uint32_t min_after;
        std::uint32_t max_after;
    } cases[] = {
        {{}, "missing", 1, 2},
        {{L"v"}, "ok", 1, 2},
        {{L"-none"}, "ok", 0, 2},
        {{L"-none", L"-zero"}, "ok", 0, 2},
        {{L"-fewer"}, "ok", 0, 2},
        {{L"-more", L"a", L"b"}, "missing", 3, 5},
        {{L"-huge", L"a"}, "ok", 1, 4294967295u},
        // The maximum is enforced as declared, while the values are collected.
        {{L"-more", L"a", L"b", L"c"}, "unexpected 4 'c'", 1, 2},
    };
    for (const auto& c : cases) {
        command_line cl = declare(1, 2);
        EXPECT_EQ(outcome(cl, c.args), c.expected) << "with " << c.args.size() << " arguments";
        EXPECT_EQ(cl.min_free, c.min_after) << "with " << c.args.size() << " arguments";
        EXPECT_EQ(cl.max_free, c.max_after) << "with " << c.args.size() << " arguments";
    }
}

TEST(Parse, ConflictingBoundSetsAreADeclarationError) {
    command_line cl(1, 1);
    parameter adds(1, L"adds");
    adds.change_min_free(1);
    cl.add(adds);
    parameter sets(2, L"sets");
    sets.set_min_free(0);
    cl.add(sets);
    const wchar_t* argv[] = {L"prog", L"-sets", L"-adds"};
    try {
        cl.parse(3, argv);
        FAIL() << "parse succeeded";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(),
                     "Parameter requested to set a free value bound after the bound has been already "
                     "modified by another parameter.");
    }
    EXPECT_FALSE(cl.declarations().empty());
}

} // namespace
} // namespace cmdarg
