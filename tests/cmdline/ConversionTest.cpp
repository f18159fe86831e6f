#include "cmdline/Conversion.h"
#include "cmdline/Parameter.h"
#include "cmdline/ParameterState.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ios>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

namespace cmdarg {
namespace {

constexpr std::uint64_t all_bits = std::numeric_limits<std::uint64_t>::max();

TEST(Conversion, IntegerReadsTheLeadingDecimalNumber) {
    const struct {
        const wchar_t* text;
        std::optional<std::int32_t> expected;
    } cases[] = {
        {L"0", 0},
        {L"10k", 10},
        {L"12abc", 12},
        {L"  42", 42},
        {L"-5", -5},
        {L"0x10", 0},
        {L"2147483647", 2147483647},
        {L"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {L"2147483648", std::nullopt},
        {L"-2147483649", std::nullopt},
        {L"", std::nullopt},
        {L"abc", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(to_integer(c.text), c.expected) << "text: " << testing::PrintToString(std::wstring(c.text));
}

TEST(Conversion, RealReadsTheLeadingFloatingPointNumber) {
    const struct {
        const wchar_t* text;
        std::optional<double> expected;
    } cases[] = {
        {L"1.5", 1.5},       {L"-2.25x", -2.25},    {L"3e2", 300.0},          {L"7", 7.0},
        {L"", std::nullopt}, {L"x1", std::nullopt}, {L"1e999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(to_real(c.text), c.expected) << "text: " << testing::PrintToString(std::wstring(c.text));
}

TEST(Conversion, SizeTakesSuffixesWrapsNegativesAndRefusesOverflow) {
    const struct {
        const wchar_t* text;
        std::optional<std::uint64_t> expected;
    } cases[] = {
        {L"5", 5},
        {L"2k", 2048},
        {L"3m", 3u << 20},
        {L"1g", 1u << 30},
        {L"1G", 1073741824},
        {L"-1", all_bits},
        {L"-2", all_bits - 1},
        {L"18446744073709551615", all_bits},
        {L"16777215k", 16777215ull << 10},
        {L"17179869183g", 17179869183ull << 30},
        {L"17179869184g", std::nullopt}, // 2^34 * 2^30 does not fit in 64 bits
        {L"99999999999g", std::nullopt},
        {L"-1k", std::nullopt},
        {L"18446744073709551616", std::nullopt},
        {L"10x", 10},
        {L"k", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(to_size(c.text), c.expected) << "text: " << testing::PrintToString(std::wstring(c.text));
}

TEST(Conversion, StateGettersConvertOrThrow) {
    parameter_state state(parameter(0, L"opt"));
    state.values = {L"2k", L"0x10", L"1.5", L"-1", L"none"};
    EXPECT_EQ(state.int_value(0), 2);
    EXPECT_EQ(state.size_value(0), 2048u);
    EXPECT_EQ(state.int_value(1), 0);
    EXPECT_DOUBLE_EQ(state.real_value(2), 1.5);
    EXPECT_EQ(state.size_value(3), all_bits);
    EXPECT_EQ(state.int_value(3), -1);
    EXPECT_THROW(state.int_value(4), std::ios_base::failure);
    EXPECT_THROW(state.real_value(4), std::ios_base::failure);
    EXPECT_THROW(state.size_value(4), std::ios_base::failure);
    EXPECT_TRUE(state.has_value(4));
    EXPECT_FALSE(state.has_value(5));
    EXPECT_THROW(state.value(5), std::out_of_range);
    EXPECT_THROW(state.int_value(5), std::out_of_range);
    EXPECT_THROW(state.size_value(5), std::out_of_range);
}

} // namespace
} // namespace cmdarg
