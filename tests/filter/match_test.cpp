#include "filter/match.h"

#include <gtest/gtest.h>

#include "filter/filter_rule.h"

namespace {

struct SplitCase {
    const char* rule;
    const char* op;
    const char* header;
    const char* text;
};

// Test listings show the rule instead of the case's raw bytes.
void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << '"' << c.rule << '"';
}

class SplitFilterTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitFilterTest, SplitsAtTheOperatorThatBeginsFirst) {
    const SplitCase& c = GetParam();
    EXPECT_EQ(FilterOperator(c.rule), c.op);
    const FilterParts parts = SplitFilter(c.rule);
    EXPECT_EQ(parts.op, c.op);
    EXPECT_EQ(parts.header, c.header);
    EXPECT_EQ(parts.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitFilterTest,
    testing::Values(SplitCase{"Subject: = a=b", "=", "Subject:", "a=b"},
                    SplitCase{"Subject: <> a=b", "<>", "Subject:", "a=b"},
                    SplitCase{"Subject: = a<>b", "=", "Subject:", "a<>b"},
                    SplitCase{"From: =", "=", "From:", ""},
                    SplitCase{"From: <>", "<>", "From:", ""},
                    SplitCase{"Subject: =  two blanks", "=", "Subject:", " two blanks"},
                    // Without an operator piece the first two characters stand in for it.
                    SplitCase{"Subject:offer", "Su", "", "ject:offer"},
                    SplitCase{"Sub", "Su", "", ""}, SplitCase{"S", "S", "", ""},
                    SplitCase{"", "", "", ""},
                    // Built without operator piece from a text holding "=": split there.
                    SplitCase{"Subject:a=bc", "=", "Subject:", "c"}, SplitCase{"=x", "=", "", ""},
                    SplitCase{"X==y", "=", "", "y"}));

struct MatchCase {
    const char* name;
    const char* rule;
    TLineBuffer lines;
    bool condemned;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
    *os << '"' << c.rule << '"';
}

class MatchFilterTest : public testing::TestWithParam<MatchCase> {};

TEST_P(MatchFilterTest, DecidesByCandidateLines) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(MatchFilter(c.lines, c.rule), c.condemned);
}

const TLineBuffer kMessage = {
    "Return-Path: <spam@example.com>",
    "From: Seller <spam@example.com>",
    "To: me@example.org",
    "Reply-To: offers@example.com",
    "Subject: Re: offer",
    "",
    "Hello,",
    "Subject: cheap pills",
    "  folded line mentioning Cc: nothing",
};

INSTANTIATE_TEST_SUITE_P(
    Rules, MatchFilterTest,
    testing::Values(MatchCase{"ContainsInHeader", "From: = spam@", kMessage, true},
                    MatchCase{"ContainsCaseSignificant", "Subject: = OFFER", kMessage, false},
                    MatchCase{"ValueKeepsBlankAfterColon", "Subject: =  Re", kMessage, true},
                    MatchCase{"ValueIsAfterFirstColonOnly", "Subject: = Subject", kMessage, false},
                    MatchCase{"TextAfterColonInsideValue", "Subject: = Re:", kMessage, true},
                    MatchCase{"ReplyToIsNoToCandidate", "To: = offers", kMessage, false},
                    MatchCase{"HeaderCaseSignificant", "to: = me@", kMessage, false},
                    MatchCase{"BodyLinesAreScanned", "Subject: = cheap", kMessage, true},
                    MatchCase{"NoCandidateNeverCondemns", "Cc: <> anything", kMessage, false},
                    MatchCase{"NoCandidateContains", "Cc: = nothing", kMessage, false},
                    MatchCase{"DoesntContainAnyLineLacking", "Subject: <> offer", kMessage, true},
                    MatchCase{"DoesntContainAllLinesHold", "From: <> spam", kMessage, false},
                    MatchCase{"EmptyTextNeverContained", "From: =", kMessage, false},
                    MatchCase{"EmptyTextDoesntContain", "From: <>", kMessage, true},
                    MatchCase{"HeaderPieceTrimmed", "  From:  = Seller", kMessage, true},
                    MatchCase{"AnyHeaderName", "X-Spam: = yes", TLineBuffer{"X-Spam: yes"}, true},
                    MatchCase{"NoOperatorNeverMatches", "Subject:offer", kMessage, false},
                    MatchCase{"EmptyRuleNeverMatches", "", kMessage, false},
                    MatchCase{"EmptyHeaderNeverMatches", " = offer", kMessage, false},
                    MatchCase{"LineWithoutColonIsWholeValue", "Hello = llo",
                              TLineBuffer{"Hello there"}, true},
                    MatchCase{"EmptyMessage", "From: <>", TLineBuffer{}, false}),
    [](const testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

TEST(MatchFilter, TwoToLinesOneLackingTheTextCondemns) {
    const TLineBuffer lines = {"To: a@example.org", "To: b@example.org", "", "body"};
    EXPECT_TRUE(MatchFilter(lines, "To: <> a@"));
    EXPECT_TRUE(MatchFilter(lines, "To: <> b@"));
    EXPECT_FALSE(MatchFilter(lines, "To: <> @example.org"));
}

TEST(MatchFilters, FirstMatchingRuleDecidesAndEmptyListCondemnsNothing) {
    const TLineBuffer lines = {"From: x@example.com", "Subject: hi"};
    EXPECT_FALSE(MatchFilters(lines, {}));
    EXPECT_FALSE(MatchFilters(lines, {"Subject: = bye", "From: = y@"}));
    EXPECT_TRUE(MatchFilters(lines, {"Subject: = bye", "", "From: = x@"}));
}

}  // namespace
