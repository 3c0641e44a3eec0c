// The built binary on the command line: screens, exit statuses and the order of actions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver.h"
#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::run_morvalen_binary;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;

TEST(CliEndToEnd, NoOptionOrOnlyVerboseIsSilent) {
  ScratchFolder scratch;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"-v"}}) {
    const auto result = run_morvalen_binary(args, scratch.path());
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
  }
  EXPECT_TRUE(snapshot_tree(scratch.path()).empty());
}

TEST(CliEndToEnd, HelpAndVersionExitZero) {
  ScratchFolder scratch;
  const auto short_help = run_morvalen_binary({"-h"}, scratch.path());
  EXPECT_EQ(short_help.exit_status, 0);
  EXPECT_EQ(short_help.out, help_screen("morvalen", false));
  const auto long_help = run_morvalen_binary({"--help"}, scratch.path());
  EXPECT_EQ(long_help.out, help_screen("morvalen", true));
  const auto version = run_morvalen_binary({"-V"}, scratch.path());
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.out, "morvalen 0.66.2\n");
}

TEST(CliEndToEnd, UsageErrorExitsTwoBeforeAnyAction) {
  ScratchFolder scratch;
  const auto result = run_morvalen_binary({"-e", "-s", "QL-WI-0010", "bash"}, scratch.path());
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_THAT(result.err, testing::StartsWith("error: "));
  EXPECT_THAT(result.err, testing::EndsWith("For more information, try '--help'.\n"));
}

TEST(CliEndToEnd, CheatSheetIsExact) {
  ScratchFolder scratch;
  const auto result = run_morvalen_binary({"--qlml-help"}, scratch.path());
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, qlml_cheat_sheet());
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < result.out.size()) {
    const std::size_t end = result.out.find('\n', start);
    lines.push_back(result.out.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 50u);
  EXPECT_EQ(
      lines[2],
      "Note: Process files passed into --process-qlml are specifically-formatted QLML files (Quick Lever Markup Language).");
  EXPECT_EQ(lines[17], "Subject       | <THING TO WHICH THE PROCESS APPLIES> ");
  EXPECT_EQ(lines[28], "        ");
  EXPECT_EQ(lines[30], "        ");
  EXPECT_EQ(lines[44],
            "        // To optionally include Two-Party Verification, <TPV> can be \"TPV\" ");
  EXPECT_THAT(lines[49], testing::StartsWith("For rendered examples, see "));
}

}  // namespace
}  // namespace morvalen
