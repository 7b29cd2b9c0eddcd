// The custom application's command line with the item's data in place of placeholders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommonCodeLite.h"
#include "channels/program/customApp.h"

namespace {

using Words = std::vector<std::string>;

std::string Parse(const std::string& command, const std::string& description = "Dentist",
                  bool quote = true) {
  return ParseCustomizedString(command, "7", description, "2006-05-01", "10:00:00", "Zone X",
                               quote);
}

}  // namespace

TEST(CustomApp, PlaceholdersInAnyLetterCaseAndTheQuotedDescription) {
  EXPECT_EQ(Parse("notify.exe %ItemID %itemdesc"), "notify.exe 7 \"Dentist\"");
  EXPECT_EQ(Parse("run %ITEMDATE %ItemTime %itemtz"), "run 2006-05-01 10:00:00 \"Zone X\"");
  EXPECT_EQ(Parse("x %ItemDesc", "Dentist", false), "x Dentist");
  EXPECT_EQ(Parse("no placeholders"), "no placeholders");
  EXPECT_EQ(Parse(""), "");
}

TEST(CustomApp, OnlyTheFirstOccurrenceOfEachIsReplaced) {
  EXPECT_EQ(Parse("%ItemID %ItemID %itemID"), "7 %ItemID %itemID");
}

TEST(CustomApp, LaterPlaceholdersAreFoundInsideEarlierValues) {
  // %ITEMTZ comes after %ITEMDESC and is replaced inside the description;
  // %ITEMDATE came before it and stays as typed there.
  EXPECT_EQ(VIDodadaZadoVove::SplitCommandLine(Parse("%ItemDesc", "at %ItemTZ on %ItemDate")),
            Words{"at Zone X on %ItemDate"});
}

TEST(CustomApp, PlaceholderNamesThatContainOthersAreMatchedByTheirFullName) {
  // "%ITEMID" must not be taken from the start of another name; only the order decides.
  EXPECT_EQ(Parse("%ItemIDx %ItemDate"), "7x 2006-05-01");
}

TEST(CustomApp, EachValueReachesTheProgramAsExactlyItselfWhateverItHolds) {
  using VIDodadaZadoVove::SplitCommandLine;
  using namespace std::string_literals;
  const std::string hostile = "x\" --injected-option \"y \\\"q\\\\ a\0b\\"s;
  const std::string line =
      ParseCustomizedString("notify %ItemID %ItemDesc %ItemDate %ItemTime %ItemTZ", "", hostile,
                            "2006-05-01", "10:00:00", "Zone X", true);
  EXPECT_EQ(SplitCommandLine(line), (Words{"notify", "", "x\" --injected-option \"y \\\"q\\\\ ab\\",
                                           "2006-05-01", "10:00:00", "Zone X"}))
      << line;
  // Inside a quoted group, inside a word, and after backslashes typed before it.
  EXPECT_EQ(SplitCommandLine(Parse(
                "run \"--about=%ItemDesc and more\" --zone=%ItemTZ C:\\d\\%ItemID", "a \"b\" c\\")),
            (Words{"run", "--about=a \"b\" c\\ and more", "--zone=Zone X", "C:\\d\\7"}));
}
