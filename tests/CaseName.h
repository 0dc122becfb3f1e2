#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

// Names each case of a table test after its row's `name`: "cut in the file header" runs as
// .../CutInTheFileHeader. What is no letter or digit only separates words.
struct NameOfCase {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const
    {
        std::string name;
        bool wordStart = true;
        for (const char c : std::string(info.param.name)) {
            const auto u = static_cast<unsigned char>(c);
            if (std::isalnum(u))
                name += wordStart ? static_cast<char>(std::toupper(u)) : c;
            wordStart = !std::isalnum(u);
        }
        return name;
    }
};
