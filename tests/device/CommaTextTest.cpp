#include "CommaText.h"
#include "FailureOf.h"

#include <gtest/gtest.h>

namespace qdl {
namespace {

struct SplitCase {
    const char* Name;
    std::string Text;
    ReplyList Items;
    friend void PrintTo(const SplitCase& row, std::ostream* out) { *out << row.Name; }
};

class SplitCommaTextTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommaTextTest, GivesTheItems) {
    ReplyList list{"stale"};
    SplitCommaText(list, GetParam().Text);
    EXPECT_EQ(list, GetParam().Items);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SplitCommaTextTest,
    testing::Values(SplitCase{"Empty", "", {}}, SplitCase{"AllBlank", " \t\r\n ", {}},
                    SplitCase{"Commas", "a,b,c", {"a", "b", "c"}},
                    SplitCase{"BlanksSeparateToo", "a b\tc", {"a", "b", "c"}},
                    SplitCase{"BlanksAroundCommas", " a , b ,c ", {"a", "b", "c"}},
                    SplitCase{"DoubleComma", "a,,b", {"a", "", "b"}},
                    SplitCase{"LeadingComma", ",a", {"", "a"}}, SplitCase{"TrailingComma", "a,", {"a", ""}},
                    SplitCase{"LoneComma", ",", {"", ""}}, SplitCase{"TrailingCommaThenBlank", "a, ", {"a"}},
                    SplitCase{"Quoted", "\"a b\",c", {"a b", "c"}},
                    SplitCase{"DoubledQuote", "\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
                    SplitCase{"QuoteEndsItem", "\"ab\"cd", {"ab", "cd"}},
                    SplitCase{"UnclosedQuoteLosesLastCharacter", "x,\"abcd", {"x", "abc"}},
                    SplitCase{"NulEndsText", std::string("a,b\0c", 5), {"a", "b"}},
                    SplitCase{"EightBitBytesKept", "\x82\xa0,\xe3\x81\x82", {"\x82\xa0", "\xe3\x81\x82"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.Name; });

struct JoinCase {
    const char* Name;
    ReplyList Items;
    std::string Text;
    friend void PrintTo(const JoinCase& row, std::ostream* out) { *out << row.Name; }
};

class JoinCommaTextTest : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinCommaTextTest, GivesTheText) {
    EXPECT_EQ(JoinCommaText(GetParam().Items), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Rows, JoinCommaTextTest,
                         testing::Values(JoinCase{"Nothing", {}, ""}, JoinCase{"OneEmptyItem", {""}, "\"\""},
                                         JoinCase{"TwoEmptyItems", {"", ""}, ","},
                                         JoinCase{"Plain", {"a", "b=1"}, "a,b=1"},
                                         JoinCase{"BlankQuoted", {"a b", "c"}, "\"a b\",c"},
                                         JoinCase{"CommaQuoted", {"a,b"}, "\"a,b\""},
                                         JoinCase{"QuoteDoubled", {"x\"y"}, "\"x\"\"y\""}),
                         [](const testing::TestParamInfo<JoinCase>& info) { return info.param.Name; });

struct BodyCase {
    const char* Name;
    std::string Body;
    ReplyList Items;
    friend void PrintTo(const BodyCase& row, std::ostream* out) { *out << row.Name; }
};

class ReplyBodyTest : public testing::TestWithParam<BodyCase> {};

TEST_P(ReplyBodyTest, StripsToThePayload) {
    ReplyList list;
    SplitCommaText(list, GetParam().Body);
    EXPECT_EQ(StripHtmlReply(list), GetParam().Items);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReplyBodyTest,
    testing::Values(
        BodyCase{"Outlets", "<html>P60=1,P61=0,P62=0,P63=1</html>", {"P60=1", "P61=0", "P62=0", "P63=1"}},
        BodyCase{"BlanksAroundCommas",
                 "<html>P60=1, P61=0 ,P62=0,P63=1</html>",
                 {"P60=1", "P61=0", "P62=0", "P63=1"}},
        BodyCase{"UpperCaseMarkers", "<HTML>P60=1</HTML>", {}},
        BodyCase{"NoClosingMarker", "<html>P60=1,P61=0", {}}, BodyCase{"EmptyPayload", "<html></html>", {}},
        BodyCase{"LoneComma", "<html>,</html>", {"", ""}},
        BodyCase{"LineBreaksInsideMarkers", "<html>\r\nP60=1,P61=1\r\n</html>", {"", "P60=1", "P61=1", ""}},
        BodyCase{"UnclosedQuoteSwallowsMarker", "<html>P60=1,\"abc</html>", {}},
        BodyCase{"Schedule", "<html>2006-11-27,08:05:05-128-1</html>\r\n", {"2006-11-27", "08:05:05-128-1"}},
        BodyCase{"TextAroundMarkers", "junk <html>a,b</html> tail", {"a", "b"}},
        BodyCase{"NoOpeningMarkerDropsFiveCharacters", "12345a,b</html>", {"a", "b"}},
        BodyCase{"EmptyBody", "", {}}),
    [](const testing::TestParamInfo<BodyCase>& info) { return info.param.Name; });

TEST(NamedValueTest, FindsTheFirstItemOfThatNameIgnoringCase) {
    const ReplyList list{"junk", "p60=1", "P60=0", "P61=1=2", "P62=", "P63"};
    EXPECT_EQ(NamedValue(list, "P60"), "1");
    EXPECT_EQ(NamedValue(list, "P61"), "1=2");
    EXPECT_EQ(NamedValue(list, "P62"), "");
    EXPECT_EQ(NamedValue(list, "P63"), "") << "an item without '=' has no name";
    EXPECT_EQ(NamedValue(list, "junk"), "");
}

TEST(ListItemTest, FailsWithTheListIndexMessage) {
    const ReplyList list{"a"};
    EXPECT_EQ(ListItem(list, 0), "a");
    EXPECT_EQ(test::FailureOf([&] { ListItem(list, 1); }), "リストのインデックスが範囲を超えています (1)");
}

} // namespace
} // namespace qdl
