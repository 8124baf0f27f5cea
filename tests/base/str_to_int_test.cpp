#include "base/str_to_int.h"

#include <gtest/gtest.h>

#include "base/exception.h"

namespace {

struct Case {
    const char* text;
    std::optional<int32_t> value;
};

TEST(StrToInt, AcceptsTheRuntimeLibraryForms) {
    const Case cases[] = {
        {"0", 0},
        {"007", 7},
        {"  12", 12},
        {"+5", 5},
        {"-3", -3},
        {"$10", 16},
        {"$ff", 255},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"12 ", std::nullopt},
        {"abc", std::nullopt},
        {"1a", std::nullopt},
        {"$", std::nullopt},
        {"-", std::nullopt},
        {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},
        {"\t1", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TryStrToInt(c.text), c.value) << "text '" << c.text << "'";
    }
}

TEST(StrToInt, RaisesWithTheTextInTheMessage) {
    try {
        StrToInt("12x");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'12x' is not a valid integer value");
    }
}

}  // namespace
