#include "filter/match.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include "filter/case_fold.h"
#include "filter/filter_rule.h"
#include "filter/header_decode.h"

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

// Real-world header forms under each setting of the two boxes: off (the classic result),
// "Compare decoded header text" alone, "Ignore upper and lower case" alone, and both.
struct SeenCase {
    const char* name;
    TLineBuffer header;  // the message's header block; a fixed body follows it
    const char* rule;
    const char* condemned;  // per setting (off, decode, fold, both): '1' condemned, '0' kept
};

void PrintTo(const SeenCase& c, std::ostream* os) {
    *os << '"' << c.rule << '"';
}

class MatchOptionsTest : public testing::TestWithParam<SeenCase> {};

TEST_P(MatchOptionsTest, ComparesWhatTheReaderSees) {
    const SeenCase& c = GetParam();
    TLineBuffer lines = c.header;
    for (const char* line : {"", "Hello,", "Subject: =?utf-8?Q?Body_line?=", "subject: lower"})
        lines.push_back(line);
    const TMatchOptions settings[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(MatchFilters(lines, {"To: = never", c.rule}, settings[i]), c.condemned[i] == '1')
            << "decode " << settings[i].DecodeHeaders << ", ignore case " << settings[i].IgnoreCase;
    }
}

#define BANGS_59 "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"

const SeenCase kSeenCases[] = {
    {"Utf8B", {"Subject: =?UTF-8?B?Q2hlYXAgcGlsbHM=?="}, "Subject: = Cheap pills", "0101"},
    {"Utf8QOtherCase", {"Subject: =?utf-8?q?CH=C3=89AP_pills?="}, "Subject: = chéap", "0001"},
    {"Latin1Q", {"From: =?ISO-8859-1?Q?J=FCrgen?= <j@example.com>"}, "From: = Jürgen <j@", "0101"},
    {"Windows1252B",
     {"Subject: =?windows-1252?B?gDEwMCCTZnJlZZQ=?="},
     "Subject: = €100 “free”",
     "0101"},
    {"Koi8rBOtherCase", {"Subject: =?KOI8-R?B?7sXEz9LPx88=?="}, "Subject: = недорого", "0001"},
    {"ShiftJisB", {"Subject: =?Shift_JIS?B?g2WDWINn?="}, "Subject: = テスト", "0101"},
    // The blank between adjacent words goes; the one encoded as "_" stays.
    {"AdjacentWords",
     {"Subject: =?utf-8?Q?Cheap?= =?utf-8?Q?_pills?="},
     "Subject: = Cheap pills",
     "0101"},
    {"AdjacentPaddedBWords",
     {"Subject: =?UTF-8?B?Q2hlYXA=?= =?UTF-8?B?IHBpbGxz?="},
     "Subject: = Cheap pills",
     "0101"},
    {"CharacterSplitAcrossWords",
     {"Subject: =?utf-8?Q?Gr=C3?= =?utf-8?Q?=BC=C3=9Fe?="},
     "Subject: = Grüße",
     "0101"},
    {"WordSplitAcrossFold",
     {"Subject: =?UTF-8?B?Q2hlYXAgcGls?=", "\t=?UTF-8?B?bHMgbm93?="},
     "Subject: = pills now",
     "0101"},
    {"UnpaddedB", {"Subject: =?utf-8?B?w6k?="}, "Subject: = é", "0101"},
    {"LanguageTagDropped",
     {"Subject: =?utf-8*en?Q?Hello_friend?="},
     "Subject: = Hello friend",
     "0101"},
    {"MalformedBStaysAsItWas",
     {"Subject: =?utf-8?B?!!bad!!?= deal"},
     "Subject: = =?utf-8?B?!!bad!!?= deal",
     "1111"},
    {"UnknownCharsetStaysAsItWas",
     {"Subject: =?x-no-such?Q?abc?= =?utf-8?Q?d?="},
     "Subject: = =?x-no-such?Q?abc?= d",
     "0101"},
    // Charset names are looked up only as short MIME tokens; "utf-8" with "!" or "@" added is
    // still UTF-8 to the converter.
    {"CharsetOf64BytesDecoded",
     {"Subject: =?utf-8" BANGS_59 "?Q?Ch=65ap?="},
     "Subject: = Cheap",
     "0101"},
    {"CharsetOver64BytesStaysAsItWas",
     {"Subject: =?utf-8!" BANGS_59 "?Q?Cheap?="},
     "Subject: = =?utf-8!" BANGS_59 "?Q?Cheap?=",
     "1111"},
    {"CharsetWithSpecialStaysAsItWas",
     {"Subject: =?utf-8@?Q?Cheap?="},
     "Subject: = =?utf-8@?Q?Cheap?=",
     "1111"},
    {"UnreadableAndCutOffBytesBecomeQuestionMarks",
     {"Subject: =?utf-8?Q?Ch=FFap_=C3?="},
     "Subject: = Ch?ap ?",
     "0101"},
    {"RawBytesOutsideWordsStay",
     {"Subject: Gr\xFC\xDF =?utf-8?Q?dich?="},
     "Subject: = Gr\xFC\xDF dich",
     "0101"},
    {"LowerCaseHeaderName", {"subject: Cheap"}, "Subject: = Cheap", "0011"},
    {"UpperCaseHeaderNameEncoded", {"SUBJECT: =?utf-8?B?Q2hlYXA=?="}, "Subject: = Cheap", "0001"},
    {"Latin1BytesFoldAsLetters", {"Subject: \xC4RGER"}, "Subject: = \xE4rger", "0011"},
    {"TextOnContinuationLine",
     {"Subject: Hello", " cheap pills"},
     "Subject: = Hello cheap",
     "0101"},
    // Unfolded, the header is one line that holds the text.
    {"DoesntContainSeesFoldedHeaderAsOneLine",
     {"To: a@example.org,", " b@example.org"},
     "To: <> b@example.org",
     "1010"},
    // Body lines stay raw, and still count.
    {"BodyLineStaysRaw", {"Subject: hi"}, "Subject: = Q?Body_line", "1111"},
    {"BodyLineNeverDecoded", {"Subject: hi"}, "Subject: = Body line", "0000"},
    {"BodyLineOtherCase", {"Subject: hi"}, "Subject: = LOWER", "0011"}};

INSTANTIATE_TEST_SUITE_P(HeaderForms, MatchOptionsTest, testing::ValuesIn(kSeenCases),
                         [](const testing::TestParamInfo<SeenCase>& info) {
                             return info.param.name;
                         });

// Each message may name charsets never seen before: decoding keeps nothing of them. Half the
// names are spellings the converter knows (it skips "!#..."), half it does not know.
TEST(HeaderDecode, DistinctCharsetNamesKeepNothing) {
    static constexpr std::string_view kSkipped = "!#$%&'+^`{|}~";
    const auto name = [](int n) {
        std::string text = n % 2 ? "utf-8" : "x-unknown-";
        for (n /= 2; n > 0; n /= static_cast<int>(kSkipped.size()))
            text += kSkipped[static_cast<size_t>(n) % kSkipped.size()];
        return text.append(60 - text.size(), '~');
    };
    EXPECT_EQ(DecodeHeaderText("=?" + name(1) + "?Q?a?="), "a");
    EXPECT_EQ(DecodeHeaderText("=?" + name(2) + "?Q?a?="), "=?" + name(2) + "?Q?a?=");
    const size_t before = mallinfo2().uordblks;
    for (int n = 3; n < 20000; ++n) DecodeHeaderText("=?" + name(n) + "?Q?a?=");
    EXPECT_LT(mallinfo2().uordblks, before + 100'000);  // 1.2 MB if the names were kept
}

// Simple case folding per code point, where lowering alone would differ.
TEST(FoldCase, FoldsAsUnicodeSimpleCaseFolding) {
    EXPECT_EQ(FoldCase("ΣΟΦΌΣ σοφός"), "σοφόσ σοφόσ");  // final sigma folds to sigma
    EXPECT_EQ(FoldCase("ẞ ß ſ µ"), "ß ß s μ");          // one code point each, never "ss"
    EXPECT_EQ(FoldCase("K Ω Ⅻ Ⓐ"), "k ω ⅻ ⓐ");          // Kelvin, Ohm, numerals, circled
    EXPECT_EQ(FoldCase("ꭰ Ꭰ"), "Ꭰ Ꭰ");              // Cherokee folds to its capitals
    EXPECT_EQ(FoldCase("İ"), "İ");                      // no simple folding
    // Not UTF-8: Latin-1 capitals lowered byte for byte, × and the rest as they were.
    EXPECT_EQ(FoldCase("\xC0\xD7\xDE\xDF\xC3"), "\xE0\xD7\xFE\xDF\xE3");
    EXPECT_EQ(FoldCase("\xED\xA0\x80 \xC0\xAF"), "\xED\xA0\x80 \xE0\xAF");  // surrogate, overlong
}

}  // namespace
