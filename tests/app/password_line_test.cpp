#include "app/password_line.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace std::string_literals;

namespace {

// Each input: the line taken (or nothing), or the fault's text; and what is left to read.
TEST(PasswordLine, TakesOneBoundedCleanLine) {
    const std::string longest(kMaxPasswordLineBytes, 'a');
    const std::string tooLong = "The line on standard input is longer than 64 KiB.";
    const struct {
        std::string input;
        std::optional<std::string> line;
        std::string fault;
        std::string rest;
    } cases[] = {
        {"", std::nullopt, "", ""},
        {"secret", "secret", "", ""},
        {"secret\nnext\n", "secret", "", "next\n"},
        {"se cr\xC3\xA9t\r\nnext", "se cr\xC3\xA9t", "", "next"},
        {"\n\n", "", "", "\n"},
        {"\r\n", "", "", ""},
        {longest + "\n", longest, "", ""},
        {longest + "b\n", std::nullopt, tooLong, "\n"},
        {std::string(3 * kMaxPasswordLineBytes, 'a'), std::nullopt, tooLong, ""},
        {"sec\0ret\n"s, std::nullopt, "The line on standard input holds a NUL character.", ""},
        {"sec\rret\n", std::nullopt,
         "The line on standard input holds a carriage return inside it.", ""},
        {"secret\r\r\n", std::nullopt,
         "The line on standard input holds a carriage return inside it.", ""},
    };
    for (const auto& [input, line, fault, rest] : cases) {
        SCOPED_TRACE(input.substr(0, 20) + " (" + std::to_string(input.size()) + " bytes)");
        std::istringstream stream(input);
        try {
            EXPECT_EQ(ReadPasswordLine(stream), line);
            EXPECT_EQ(fault, "");
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stream), {}), rest);
        } catch (const EPasswordLine& e) {
            EXPECT_EQ(e.Message(), fault);
            // Nothing is read past the bound.
            if (input.size() > kMaxPasswordLineBytes + 1) {
                EXPECT_EQ(stream.rdbuf()->in_avail(),
                          std::streamsize(input.size() - kMaxPasswordLineBytes - 1));
            }
        }
    }
}

}  // namespace
