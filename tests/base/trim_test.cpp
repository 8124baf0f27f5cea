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
