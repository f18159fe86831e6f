#pragma once
// Tables of cases kept as text in tests/volume/rows/NAME.txt: one case a line, "INPUT => EXPECTED";
// lines starting with '#' and blank lines are comments.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vesk_test {

struct Row {
    std::string input;
    std::string expected;
    std::string where; // NAME.txt:LINE, for failure messages
};

inline std::vector<Row> ReadRows(const std::string& name) {
    std::ifstream in(std::string(VESK_TEST_ROWS_DIR) + "/" + name + ".txt");
    EXPECT_TRUE(in) << "cannot read " << name;
    std::vector<Row> rows;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t arrow = line.find(" => ");
        EXPECT_NE(arrow, std::string::npos) << name << ":" << number;
        rows.push_back(
            {line.substr(0, arrow), line.substr(arrow + 4), name + ".txt:" + std::to_string(number)});
    }
    EXPECT_FALSE(rows.empty()) << name;
    return rows;
}

// The blank-separated words of text.
inline std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

} // namespace vesk_test
