// Splitting at a delimiter and replacing text.

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "CommonCodeLite.h"
#include "Exceptions.h"

using VIDodadaZadoVove::GetDelimitedValues;
using VIDodadaZadoVove::qsStringReplace;
using Values = std::vector<std::string>;

namespace {

// The flags every caller in the program uses.
Values Split(const std::string& source, const std::string& delimiter) {
  return GetDelimitedValues(source, delimiter, -1, -1, false, true, false);
}

}  // namespace

TEST(GetDelimitedValues, KeepsEmptyFieldsAndTheFieldAfterATrailingDelimiter) {
  EXPECT_EQ(Split("a||b|", "|"), (Values{"a", "", "b", ""}));
  EXPECT_EQ(Split("|", "|"), (Values{"", ""}));
}

TEST(GetDelimitedValues, TextWithoutDelimiterIsOneValueUnlessADelimiterIsRequired) {
  EXPECT_EQ(Split("abc", "|"), (Values{"abc"}));
  EXPECT_EQ(Split("", "|"), (Values{""}));
  EXPECT_EQ(GetDelimitedValues("abc", "|", -1, -1, false, true, true), Values{});
  EXPECT_EQ(GetDelimitedValues("", "|", -1, -1, false, true, true), Values{});
  EXPECT_EQ(GetDelimitedValues("a|b", "|", -1, -1, false, true, true), (Values{"a", "b"}));
}

TEST(GetDelimitedValues, SkipFirstDropsTheFieldBeforeTheFirstDelimiter) {
  EXPECT_EQ(GetDelimitedValues("x|a|b", "|", -1, -1, true, true, false), (Values{"a", "b"}));
  EXPECT_EQ(GetDelimitedValues("x|a", "|", -1, -1, true, true, false), (Values{"a"}));
  EXPECT_EQ(GetDelimitedValues("x|", "|", -1, -1, true, true, false), (Values{""}));
  // The delimiter required is the one found before skipping.
  EXPECT_EQ(GetDelimitedValues("x|a", "|", -1, -1, true, true, true), (Values{"a"}));
  // Nothing to skip: the whole text, or nothing when a delimiter is required.
  EXPECT_EQ(GetDelimitedValues("abc", "|", -1, -1, true, true, false), (Values{"abc"}));
  EXPECT_EQ(GetDelimitedValues("abc", "|", -1, -1, true, true, true), Values{});
}

TEST(GetDelimitedValues, CaseInsensitiveMatchingFoldsAsciiLettersOnly) {
  EXPECT_EQ(GetDelimitedValues("aXbxc", "x", -1, -1, false, false, false), (Values{"a", "b", "c"}));
  EXPECT_EQ(GetDelimitedValues("aXbxc", "X", -1, -1, false, false, false), (Values{"a", "b", "c"}));
  EXPECT_EQ(GetDelimitedValues("aXbxc", "x", -1, -1, false, true, false), (Values{"aXb", "c"}));
  // Values are cut from the original text, keeping their case and their UTF-8 bytes.
  EXPECT_EQ(GetDelimitedValues("ÄbXöANDü", "and", -1, -1, false, false, false),
            (Values{"ÄbXö", "ü"}));
  EXPECT_EQ(GetDelimitedValues("ÄxÖ", "äx", -1, -1, false, false, false), (Values{"ÄxÖ"}));
}

TEST(GetDelimitedValues, LongerDelimitersMatchWholeAndDoNotOverlap) {
  EXPECT_EQ(Split("a<>b<>", "<>"), (Values{"a", "b", ""}));
  EXPECT_EQ(Split("a|||b", "||"), (Values{"a", "|b"}));
  EXPECT_EQ(Split("a<b>c", "<>"), (Values{"a<b>c"}));
  EXPECT_EQ(Split("<>", "<>"), (Values{"", ""}));
}

TEST(GetDelimitedValues, EmptyDelimiterFindsNothing) {
  EXPECT_EQ(Split("a|b", ""), (Values{"a|b"}));
  EXPECT_EQ(GetDelimitedValues("a|b", "", -1, -1, true, false, false), (Values{"a|b"}));
  EXPECT_EQ(GetDelimitedValues("a|b", "", -1, -1, false, true, true), Values{});
}

TEST(GetDelimitedValues, StartAndEndPositionsSelectAWindowCountedFromOne) {
  const std::string digits = "0|1|2|3|4|5";
  // Characters 3 to 8: "1|2|3|".
  EXPECT_EQ(GetDelimitedValues(digits, "|", 3, 9, false, true, false), (Values{"1", "2", "3", ""}));
  // One or less means from the start, or to the end.
  for (int unset : {1, 0, -1, INT_MIN}) {
    EXPECT_EQ(GetDelimitedValues("a|b", "|", unset, unset, false, true, false), (Values{"a", "b"}))
        << unset;
  }
  // A delimiter cut by the window is not found.
  EXPECT_EQ(GetDelimitedValues("ab<>c", "<>", -1, 4, false, true, false), (Values{"ab<"}));
  EXPECT_EQ(GetDelimitedValues("ab<>c", "<>", 4, -1, false, true, false), (Values{">c"}));
  // EndPos cuts first, then StartPos counts in what is left.
  EXPECT_EQ(GetDelimitedValues("abcdef", "|", 5, 3, false, true, false), (Values{""}));
}

TEST(GetDelimitedValues, PositionsBeyondTheTextAreClamped) {
  EXPECT_EQ(GetDelimitedValues("a|b", "|", -1, 100, false, true, false), (Values{"a", "b"}));
  EXPECT_EQ(GetDelimitedValues("a|b", "|", 100, -1, false, true, false), (Values{""}));
  EXPECT_EQ(GetDelimitedValues("a|b", "|", INT_MAX, INT_MAX, false, true, false), (Values{""}));
  EXPECT_EQ(GetDelimitedValues("a|b", "|", 4, -1, false, true, true), Values{});
  EXPECT_EQ(GetDelimitedValues("", "|", 2, 5, true, false, false), (Values{""}));
}

TEST(GetDelimitedValues, SplitsAMillionFieldsWithoutCopyingTheRestEachTime) {
  const std::string source(1 << 20, '|');
  const Values values = Split(source, "|");
  ASSERT_EQ(values.size(), (1u << 20) + 1);
  EXPECT_EQ(values.front(), "");
  EXPECT_EQ(values.back(), "");
}

TEST(qsStringReplace, ReplacesTheFirstOccurrenceOrEvery) {
  const std::string text = "play %1 then %1";
  EXPECT_EQ(qsStringReplace(text, "%1", "a.wav", false), "play a.wav then %1");
  EXPECT_EQ(qsStringReplace(text, "%1", "a.wav", true), "play a.wav then a.wav");
  EXPECT_EQ(qsStringReplace(text, "%2", "a.wav", true), text);
  EXPECT_EQ(qsStringReplace("aaaa", "aa", "b", true), "bb");
  // Matching is exact.
  EXPECT_EQ(qsStringReplace("Ab ab", "ab", "x", false), "Ab x");
}

TEST(qsStringReplace, EmptySourceAndEmptyFind) {
  EXPECT_EQ(qsStringReplace("", "%1", "x", false), "");
  EXPECT_EQ(qsStringReplace("", "", "x", false), "");
  // An empty Find matches at the start.
  EXPECT_EQ(qsStringReplace("abc", "", "x", false), "xabc");
}

TEST(qsStringReplace, EveryOccurrenceIncludesThoseTheReplacementsCreate) {
  // Each replacement restarts the search from the beginning of the changed text.
  EXPECT_EQ(qsStringReplace("aabb", "ab", "", true), "");
  EXPECT_EQ(qsStringReplace("aabb", "ab", "ba", true), "bbaa");
  EXPECT_EQ(qsStringReplace("xaab", "ab", "b", true), "xb");
  EXPECT_EQ(qsStringReplace("abcbc", "bc", "c", true), "acc");
}

TEST(qsStringReplace, RefusesArgumentsThatWouldNeverFinishWithAll) {
  for (const auto& [find, replace] :
       {std::pair<std::string, std::string>{"", "x"}, {"", ""}, {"%1", "<%1>"}, {"a", "a"}}) {
    try {
      qsStringReplace("a %1 b", find, replace, true);
      ADD_FAILURE() << "accepted Find [" << find << "] Replace [" << replace << "]";
    } catch (const Platform::Exception& e) {
      EXPECT_NE(e.Message().find("Find must not be empty"), std::string::npos) << e.Message();
    }
  }
  // Without All they are harmless.
  EXPECT_EQ(qsStringReplace("a %1 b", "%1", "<%1>", false), "a <%1> b");
}

TEST(qsStringReplace, StopsReplacementsThatKeepGrowingTheText) {
  // Each leading "a" doubles the "b"s: 2^40 of them is out of reach.
  const std::string source = std::string(40, 'a') + "b";
  EXPECT_THROW(qsStringReplace(source, "ab", "bba", true), Platform::Exception);
  // The same rule on a short text completes.
  EXPECT_EQ(qsStringReplace("aab", "ab", "bba", true), "bbbbaa");
}

namespace {

// Replacing every occurrence word for word: find the first, replace it, start over.
std::optional<std::string> ReplaceAllByRestarting(std::string text, const std::string& find,
                                                  const std::string& replace) {
  for (int steps = 0; steps < 10000; ++steps) {
    const std::size_t p = text.find(find);
    if (p == std::string::npos) {
      return text;
    }
    text.replace(p, find.size(), replace);
  }
  return std::nullopt;
}

std::string RandomText(std::mt19937& random, std::size_t maxLength) {
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<int> letter(0, 2);
  std::string text(length(random), 'a');
  for (char& c : text) {
    c = static_cast<char>('a' + letter(random));
  }
  return text;
}

}  // namespace

TEST(qsStringReplace, AgreesWithRestartingTheSearchOnRandomTexts) {
  std::mt19937 random(20240611);
  int compared = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string source = RandomText(random, 12);
    std::string find = RandomText(random, 3);
    const std::string replace = RandomText(random, 4);
    if (source.empty() || find.empty() || replace.find(find) != std::string::npos) {
      continue;
    }
    const std::optional<std::string> expected = ReplaceAllByRestarting(source, find, replace);
    if (!expected) {
      continue;
    }
    ASSERT_EQ(qsStringReplace(source, find, replace, true), *expected)
        << "source [" << source << "] find [" << find << "] replace [" << replace << "]";
    ++compared;
  }
  EXPECT_GT(compared, 5000);
}
