#include <gtest/gtest.h>

#include <string>

#include "settings/rwini1.h"

namespace {

struct Split {
  std::string before;
  std::string field;
  std::string after;
};

// Shows the line, not the bytes of the struct, when a case fails.
void PrintTo(const Split& split, std::ostream* os) {
  *os << ::testing::PrintToString(split.before);
}

class TakeFieldSplits : public ::testing::TestWithParam<Split> {};

TEST_P(TakeFieldSplits, ReturnsFieldAndLeavesRest) {
  std::string line = GetParam().before;
  EXPECT_EQ(TakeField(line), GetParam().field);
  EXPECT_EQ(line, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, TakeFieldSplits,
    ::testing::Values(Split{"abc,def", "abc", "def"}, Split{"abc, def, ghi", "abc", "def, ghi"},
                      Split{"abc ,def", "abc ", "def"}, Split{" abc,def", " abc", "def"},
                      Split{"abc;def", "abc", ""}, Split{"abc", "abc", ""},
                      Split{"abc,", "abc", ""}, Split{",abc", "", "abc"}, Split{"a,,b", "a", ",b"},
                      Split{"\"a,b\",c", "a,b", "c"}, Split{"'a;b';c", "a;b", ""},
                      Split{"ab\"c,d\"e,f", "abc,de", "f"}, Split{"it's, x", "its, x", ""},
                      Split{"\"it's\",x", "its,x", ""},
                      Split{"a\x01"
                            "b,c",
                            "a\"b", "c"},
                      Split{"", "", ""}));

INSTANTIATE_TEST_SUITE_P(
    MoreLines, TakeFieldSplits,
    ::testing::Values(Split{";abc,def", "", ""},            // starts with the terminator
                      Split{"\"a,b;c\"", "a,b;c", ""},      // only separators are quoted
                      Split{"a,\t b", "a", "\t b"},         // tabs after "," stay
                      Split{"Čas, žaga", "Čas", "žaga"}));  // UTF-8 passes through

TEST(TakeField, RepeatedCallsUseUpTheLine) {
  std::string line = "a, b, c";
  EXPECT_EQ(TakeField(line), "a");
  EXPECT_EQ(TakeField(line), "b");
  EXPECT_EQ(TakeField(line), "c");
  EXPECT_EQ(line, "");
  EXPECT_EQ(TakeField(line), "");
  EXPECT_EQ(line, "");
}

TEST(TakeField, SplitsLinesLongerThanAShortCounter) {
  const std::string longField(40'000, 'x');
  std::string line = longField;
  EXPECT_EQ(TakeField(line), longField);
  EXPECT_EQ(line, "");

  const std::string beforeSeparator(33'000, 'y');
  line = beforeSeparator + ", tail";
  EXPECT_EQ(TakeField(line), beforeSeparator);
  EXPECT_EQ(line, "tail");
}

}  // namespace
