#include "base/trim.h"

#include <gtest/gtest.h>

TEST(Trim, RemovesControlCharactersAndBlanksAtBothEnds) {
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(Trim(std::string("\x01 a b \x1f", 7)), "a b");
    EXPECT_EQ(Trim("\x7f"
                   "x"),
              "\x7f"
              "x");  // DEL is above 32 and stays
}

TEST(Trim, OnlyOneEnclosingPairOfQuotesIsRemoved) {
    EXPECT_EQ(StripEnclosingQuotes("\"/a b/c\""), "/a b/c");
    EXPECT_EQ(StripEnclosingQuotes("\"\""), "");
    EXPECT_EQ(StripEnclosingQuotes("\"\"x\"\""), "\"x\"");
    for (const char* unchanged : {"", "\"", "\"a", "a\"", "a \"b\"", "/plain/path"})
        EXPECT_EQ(StripEnclosingQuotes(unchanged), unchanged);
}
