// The inspect action (-i) run by the built binary on a small library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace morvalen {
namespace {

using testing::HasSubstr;
using testing::StartsWith;
using testing_support::run_morvalen_binary;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::write_file;

class InspectEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    write_file("QL-WI-0010 - Alpha/QL-WI-0010 - Alpha.qlml",
               "Title | Alpha\nNumber | QL-WI-0010\nRevision | B | second\nRevision | A\n"
               "Section | One\nStep | First\nObjective | Start the pump\n"
               "Action | Press start | Pump runs | TPV\nAction | Wait | Quiet\n"
               "CSVFILE | table.csv | Limits\n");
    write_file("QL-WI-0010 - Alpha/table.csv", "\xef\xbb\xbfName,Value\nP,3\n");
    write_file("QL-WI-0020 - Beta/QL-WI-0020 - Beta.qlml",
               "Title | Beta\r\nNumber | QL-WI-0020\r\n");
    write_file("assets/style.css", "");
  }
  ScratchFolder scratch_;
};

TEST_F(InspectEndToEnd, SummariesInNameOrderWithAndWithoutVerbose) {
  const auto before = snapshot_tree(scratch_.path());
  const auto quiet = run_morvalen_binary({"-i", "QL-WI-*"}, scratch_.path());
  EXPECT_EQ(quiet.exit_status, 0);
  EXPECT_EQ(quiet.err, "");
  const std::string rule = "==============================================================\n";
  EXPECT_THAT(quiet.out, StartsWith(rule + "Alpha\n ↪ Objectives:\n    1.  Start the pump\n"));
  EXPECT_THAT(quiet.out, HasSubstr(" ↪ Current Revision:         B\n"));
  EXPECT_THAT(quiet.out,
              HasSubstr(" ↪ Count of TPV Actions:     1\n ↪ Count of Non-TPV Actions: 1\n"));
  EXPECT_LT(quiet.out.find("\nAlpha\n"), quiet.out.find("\nBeta\n"));
  const auto verbose = run_morvalen_binary({"-v", "-i", "QL-WI-00"}, scratch_.path());
  EXPECT_EQ(verbose.exit_status, 0);
  EXPECT_EQ(verbose.out, "[\"QL-WI-0010 - Alpha\", \"QL-WI-0020 - Beta\"]\n" + quiet.out);
  EXPECT_EQ(snapshot_tree(scratch_.path()), before);  // inspecting writes nothing
}

TEST_F(InspectEndToEnd, NoMatchPrintsNothingOrAnEmptyList) {
  const auto quiet = run_morvalen_binary({"-i", "QL-XX"}, scratch_.path());
  EXPECT_EQ(quiet.exit_status, 0);
  EXPECT_EQ(quiet.out, "");
  const auto verbose = run_morvalen_binary({"-i", "QL-XX", "-v"}, scratch_.path());
  EXPECT_EQ(verbose.exit_status, 0);
  EXPECT_EQ(verbose.out, "[]\n");
}

TEST_F(InspectEndToEnd, InvalidPatternStopsBeforeAnyDocument) {
  const auto result = run_morvalen_binary({"-i", "QL-WI-[0-9", "-e"}, scratch_.path());
  EXPECT_EQ(result.exit_status, 101);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(
      result.err,
      "Failed to read glob pattern: Pattern syntax error near position 6: invalid range pattern\n");
}

TEST_F(InspectEndToEnd, InvalidUtf8DocumentNamesTheFile) {
  write_file("QL-WI-0030 - Bad/QL-WI-0030 - Bad.qlml", "Title | ok\nContext | \xff\xfe\n");
  const auto result = run_morvalen_binary({"-i", "QL-WI-*"}, scratch_.path());
  EXPECT_EQ(result.exit_status, 101);
  EXPECT_EQ(
      result.err,
      "Could not load lines: ./QL-WI-0030 - Bad/QL-WI-0030 - Bad.qlml: line 2 is not valid UTF-8 text\n");
  // The documents before it were summarised before the stop.
  EXPECT_THAT(result.out, HasSubstr("\nBeta\n"));
}

TEST_F(InspectEndToEnd, InspectRunsBeforeTheCheatSheet) {
  const auto result = run_morvalen_binary({"-e", "-i", "QL-WI-0020"}, scratch_.path());
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_THAT(result.out, StartsWith("==="));
  EXPECT_THAT(result.out, HasSubstr("Cheat Sheet"));
}

}  // namespace
}  // namespace morvalen
