#include "base/line_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Empty lines, a line put in front and a cleared buffer keep every line where it belongs.
TEST(LineBufferTest, KeepsEachLineWhereItBelongs) {
    TLineBuffer lines;
    EXPECT_TRUE(lines.empty());
    for (const char* line : {"", "From: a", "", "body"}) lines.push_back(line);
    lines.push_front("[stamp]");
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()),
              (std::vector<std::string>{"[stamp]", "", "From: a", "", "body"}));
    EXPECT_EQ(lines[2], "From: a");
    EXPECT_EQ(lines, (TLineBuffer{"[stamp]", "", "From: a", "", "body"}));
    EXPECT_NE(lines, (TLineBuffer{"[stamp]", "From: a", "", "", "body"}));
    lines.assign(2, "x");
    EXPECT_EQ(lines, (TLineBuffer{"x", "x"}));
    lines.clear();
    lines.push_front("only");
    EXPECT_EQ(lines.back(), "only");
    EXPECT_EQ(lines.size(), 1u);
}

}  // namespace
