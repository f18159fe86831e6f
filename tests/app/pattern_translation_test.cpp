#include "app/ReducedGrammar.h"

#include <boost/regex.hpp>
#include <gtest/gtest.h>

namespace {

TEST(ReducedGrammarToPerl, RewritesEachConstructIntoItsPerlEquivalent) {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        // Operators both grammars share pass unchanged, and so does every translated mask.
        {L"^(ab|c).+d?e*$", L"^(ab|c).+d?e*$"},
        {L".*\\.txt", L".*\\.txt"},
        {L"f\\(1\\)\\[2\\]\\.doc", L"f\\(1\\)\\[2\\]\\.doc"},
        {L"\u0434\u00e9", L"\u0434\u00e9"},
        // Braces, and a stray closing bracket, are ordinary characters.
        {L"a{2}", L"a\\{2\\}"},
        {L"a{2,}b}", L"a\\{2,\\}b\\}"},
        {L"a]", L"a\\]"},
        // A backslash makes the next character stand for itself, letters and digits included.
        {L"\\.\\*\\\\", L"\\.\\*\\\\"},
        {L"\\d\\w\\s\\b", L"dwsb"},
        {L"(a)\\1", L"(a)1"},
        {L"\\Qa.b\\E", L"Qa.bE"},
        {L"\\<\\x41", L"<x41"},
        {L"\\{", L"\\{"},
        // Inside brackets a backslash and an opening bracket are members.
        {L"[a\\]", L"[a\\\\]"},
        {L"[\\-z]", L"[\\\\-z]"},
        {L"[[:alpha:]]", L"[\\[:alpha:]\\]"},
        {L"[[.a.]]", L"[\\[.a.]\\]"},
        {L"[x[=b=]", L"[x\\[=b=]"},
        {L"[^a-z.*{]", L"[^a-z.*{]"},
        // A ']' first in the brackets is a member.
        {L"[]a]", L"[\\]a]"},
        {L"[^]a]", L"[^\\]a]"},
        {L"[]-a]", L"[\\]-a]"},
        // Stacked repeats amount to one.
        {L"a**", L"a*"},
        {L"a*?", L"a*"},
        {L"a+?", L"a*"},
        {L"a?+", L"a*"},
        {L"a*+", L"a*"},
        {L"a++", L"a+"},
        {L"a??", L"a?"},
        {L"a+++", L"a+"},
        {L"(ab)?*c", L"(ab)*c"},
    };
    for (const auto& [reduced, perl] : rows) {
        EXPECT_EQ(ReducedGrammarToPerl(reduced), perl) << "expression " << reduced;
        EXPECT_NO_THROW(boost::wregex(perl, boost::regex::perl)) << "expression " << perl;
    }
}

TEST(ReducedGrammarToPerl, RefusesWhatHasNoMeaning) {
    struct Row {
        const wchar_t* expression;
        boost::regex_constants::error_type code;
        const char* marked; // the expression as the message shows it, split where the error is
    };
    const Row rows[] = {
        {L"abc\\", boost::regex_constants::error_escape, "'abc>>>HERE>>>\\'"},
        {L"x[abc", boost::regex_constants::error_brack, "'x>>>HERE>>>[abc'"},
        {L"[]", boost::regex_constants::error_brack, "'>>>HERE>>>[]'"},
        {L"[^]", boost::regex_constants::error_brack, "'>>>HERE>>>[^]'"},
        {L"*a", boost::regex_constants::error_badrepeat, "'>>>HERE>>>*a'"},
        {L"a|+b", boost::regex_constants::error_badrepeat, "'a|>>>HERE>>>+b'"},
        {L"(?:ab)", boost::regex_constants::error_badrepeat, "'(>>>HERE>>>?:ab)'"},
        {L"(*FAIL)", boost::regex_constants::error_badrepeat, "'(>>>HERE>>>*FAIL)'"},
        {L"^*", boost::regex_constants::error_badrepeat, "'^>>>HERE>>>*'"},
        {L"\u0434$?", boost::regex_constants::error_badrepeat, "'?$>>>HERE>>>?'"},
    };
    for (const Row& row : rows) {
        try {
            ReducedGrammarToPerl(row.expression);
            ADD_FAILURE() << "accepted " << row.expression;
        } catch (const boost::regex_error& error) {
            EXPECT_EQ(error.code(), row.code) << row.expression;
            EXPECT_NE(std::string(error.what()).find(row.marked), std::string::npos) << error.what();
        }
    }
}

} // namespace
