#include "support/FieldSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, const char* delimiters,
                               unsigned flags = 0) {
    char** fields = SplitFields(text.c_str(), delimiters, flags);
    EXPECT_NE(fields, nullptr);
    std::vector<std::string> out;
    for (int i = 0; i < CountFields(fields); ++i) {
        out.emplace_back(fields[i]);
    }
    EXPECT_EQ(FreeFields(fields), 0);
    return out;
}

using Fields = std::vector<std::string>;

TEST(FieldSplitter, RunsOfDelimitersSeparateLikeOne) {
    EXPECT_EQ(Split("abc def", " "), (Fields{"abc", "def"}));
    EXPECT_EQ(Split("  abc   def  ", " "), (Fields{"abc", "def"}));
    EXPECT_EQ(Split("1,,2", ","), (Fields{"1", "2"}));
    EXPECT_EQ(Split("a b,c", " ,"), (Fields{"a", "b", "c"}));
}

TEST(FieldSplitter, EmptyTextYieldsOneEmptyField) {
    EXPECT_EQ(Split("", " "), (Fields{""}));
    EXPECT_EQ(Split("   ", " "), (Fields{""}));
}

TEST(FieldSplitter, QuotesCountOnlyAtTheStartOfAField) {
    EXPECT_EQ(Split("\"a b\" c", " "), (Fields{"a b", "c"}));
    EXPECT_EQ(Split("ab\"c d", " "), (Fields{"ab\"c", "d"}));
    EXPECT_EQ(Split("\"ab\"cd e", " "), (Fields{"ab", "cd", "e"}));
    EXPECT_EQ(Split("\"\"", " "), (Fields{""}));
    EXPECT_EQ(Split("\"a\"\"b\"", " "), (Fields{"a", "b"}));
    EXPECT_EQ(Split("\"ab", " "), (Fields{"ab"}));
    EXPECT_EQ(Split("a \"", " "), (Fields{"a", ""}));
}

TEST(FieldSplitter, KeepEmptyFieldsFlagShowsTheGaps) {
    EXPECT_EQ(Split("1,,2", ",", kKeepEmptyFields), (Fields{"1", "", "2"}));
    EXPECT_EQ(Split(",1,2,", ",", kKeepEmptyFields), (Fields{"1", "2"}));
}

TEST(FieldSplitter, InputIsLeftUnchanged) {
    const std::string original = "\"x y\",z,,w";
    std::string text = original;
    FreeFields(SplitFields(text.c_str(), ",", 0));
    EXPECT_EQ(text, original);
}

TEST(FieldSplitter, NullArraysAreAccepted) {
    EXPECT_EQ(CountFields(nullptr), 0);
    EXPECT_EQ(FreeFields(nullptr), 0);
}

}  // namespace
