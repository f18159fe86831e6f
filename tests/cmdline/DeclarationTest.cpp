#include "cmdline/CommandLine.h"
#include "cmdline/Parameter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace cmdarg {
namespace {

using texts = std::vector<std::wstring>;

// Runs f and returns the message of the std::exception of type E it throws ("" when none).
template <typename E, typename F> std::string message_of(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}

TEST(Declaration, NullNamesAreRefused) {
    EXPECT_EQ(message_of<std::invalid_argument>([] { parameter(1, nullptr); }), "Parameter name is empty");
    parameter p(1, L"a");
    EXPECT_EQ(message_of<std::invalid_argument>([&] { p.add_alias(nullptr); }), "Parameter name is empty");
    EXPECT_EQ(p.names(), texts{L"a"});
}

TEST(Declaration, FaultySubparamsThrowAndChangeNothing) {
    parameter p(1, L"opt");
    p.add_subparam(true, L"a", subparam_type::text, L"m", true)
        .add_subparam(false, L"b", subparam_type::text, L"o", false);
    EXPECT_EQ(
        message_of<std::logic_error>([&] { p.add_subparam(true, L"c", subparam_type::text, L"m2", false); }),
        "Mandatory subparameter cannot follow optional ones");
    EXPECT_EQ(
        message_of<std::logic_error>([&] { p.add_subparam(false, L"c", subparam_type::text, L"o2", true); }),
        "Default subparameter is already defined");
    EXPECT_EQ(p.subparam_names(), (texts{L"m", L"o"}));
    EXPECT_EQ(p.default_subparam(), 0);
}

TEST(Declaration, LookupsRefuseUnknownIds) {
    command_line cl(0, 1);
    parameter p(3, L"three");
    p.add_subparam(true, nullptr, subparam_type::text, nullptr, false);
    cl.add(p);
    cl.add(parameter(help_id, L"?"));
    EXPECT_EQ(cl.find(3).names().front(), L"three");
    EXPECT_EQ(cl.find(help_id).names().front(), L"?");
    EXPECT_EQ(message_of<std::invalid_argument>([&] { cl.find(4); }), "Invalid ID");

    const wchar_t* argv[] = {L"prog"};
    ASSERT_TRUE(cl.parse(1, argv));
    EXPECT_FALSE(cl.state(3).present);
    EXPECT_FALSE(cl.state(3).has_value(0));
    EXPECT_THROW(cl.state(3).value(0), std::out_of_range);
    EXPECT_EQ(message_of<std::invalid_argument>([&] { cl.state(help_id); }), "Invalid ID");
    EXPECT_EQ(message_of<std::invalid_argument>([&] { cl.state(4); }), "Invalid ID");
    EXPECT_EQ(message_of<std::invalid_argument>([&] { cl.state(-1024); }), "Not-a-parameter ID");
    EXPECT_EQ(message_of<std::invalid_argument>([&] { cl.state(-5000); }), "Not-a-parameter ID");
    // The declarations are gone after a successful parse.
    EXPECT_TRUE(cl.declarations().empty());
    EXPECT_EQ(message_of<std::invalid_argument>([&] { cl.find(3); }), "Invalid ID");
}

} // namespace
} // namespace cmdarg
