#include "cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace morvalen {
namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/local/bin/morvalen");
  return parse_command_line(args);
}

TEST(Cli, EveryOptionInShortAndLongForm) {
  const ParsedCommandLine shorts = parse({"-l", "list.csv", "-w", "-p", "P*", "-s", "S", "bash",
                                          "1", "-a", "A", "-i", "I", "-c", "C", "-v", "-e"});
  const ParsedCommandLine longs =
      parse({"--listgen", "list.csv", "--webmenu", "--process-qlml=P*", "--scriptify-process", "S",
             "bash", "1", "--archive-process", "A", "--inspect-process", "I", "--cleanup-previous",
             "C", "--verbose", "--qlml-help"});
  for (const ParsedCommandLine* parsed : {&shorts, &longs}) {
    ASSERT_TRUE(parsed->args) << parsed->screen;
    const MorvalenArgs& args = *parsed->args;
    EXPECT_EQ(args.listgen, "list.csv");
    EXPECT_TRUE(args.webmenu);
    EXPECT_EQ(args.process_qlml, "P*");
    EXPECT_EQ(args.scriptify_process, (std::vector<std::string>{"S", "bash", "1"}));
    EXPECT_EQ(args.archive_process, "A");
    EXPECT_EQ(args.inspect_process, "I");
    EXPECT_EQ(args.cleanup_previous, "C");
    EXPECT_TRUE(args.verbose);
    EXPECT_TRUE(args.qlml_help);
  }
}

TEST(Cli, ScriptValuesSplitAtBlanksAndAccumulate) {
  const std::vector<std::vector<std::string>> same = {{"-s", "QL-WI-0010 bash true"},
                                                      {"-s", "QL-WI-0010", "bash", "true"},
                                                      {"-s", "QL-WI-0010 bash", "true"},
                                                      {"--scriptify-process=QL-WI-0010 bash true"},
                                                      {"-sQL-WI-0010", "bash", "true"}};
  for (const auto& args : same) {
    const ParsedCommandLine parsed = parse(args);
    ASSERT_TRUE(parsed.args) << args[0] << parsed.screen;
    EXPECT_EQ(parsed.args->scriptify_process,
              (std::vector<std::string>{"QL-WI-0010", "bash", "true"}));
  }
  const ParsedCommandLine twice = parse({"-s", "A", "bash", "1", "-s", "B", "python", "0"});
  ASSERT_TRUE(twice.args);
  EXPECT_EQ(twice.args->scriptify_process.size(), 6u);
  const ParsedCommandLine empty_value = parse({"-p", ""});
  ASSERT_TRUE(empty_value.args);
  EXPECT_EQ(empty_value.args->process_qlml, "");
}

TEST(Cli, UsageErrorsExitWithTwoOnStandardError) {
  const std::vector<std::vector<std::string>> wrong = {{"-s", "QL-WI-0010", "bash"},
                                                       {"-s", "A B C D"},
                                                       {"-s", "A", "B", "C", "D"},
                                                       {"-v", "-v"},
                                                       {"-w", "-w"},
                                                       {"-p", "A", "-p", "B"},
                                                       {"-x"},
                                                       {"--nope"},
                                                       {"stray"},
                                                       {"-p"},
                                                       {"-p", "-v"},
                                                       {"--verbose=yes"},
                                                       {"-i"},
                                                       {"--", "x"}};
  for (const auto& args : wrong) {
    const ParsedCommandLine parsed = parse(args);
    EXPECT_FALSE(parsed.args) << args[0];
    EXPECT_EQ(parsed.exit_status, 2) << args[0];
    EXPECT_TRUE(parsed.screen_to_stderr) << args[0];
    EXPECT_THAT(parsed.screen, testing::StartsWith("error: ")) << args[0];
    EXPECT_THAT(
        parsed.screen,
        testing::EndsWith("\n\nUsage: morvalen [OPTIONS]\n\nFor more information, try '--help'.\n"))
        << args[0];
  }
  EXPECT_THAT(parse({"-v", "-v"}).screen,
              testing::HasSubstr("'--verbose' cannot be used multiple times"));
  EXPECT_THAT(parse({"-s", "A", "bash"}).screen,
              testing::HasSubstr("requires 3 values, but 2 were provided"));
}

TEST(Cli, HelpScreensDifferOnlyInTheListgenEntry) {
  const ParsedCommandLine short_help = parse({"-h"});
  const ParsedCommandLine long_help = parse({"--help"});
  ASSERT_FALSE(short_help.args);
  EXPECT_EQ(short_help.exit_status, 0);
  EXPECT_FALSE(short_help.screen_to_stderr);
  EXPECT_EQ(short_help.screen, help_screen("morvalen", false));
  EXPECT_EQ(long_help.screen, help_screen("morvalen", true));
  EXPECT_THAT(
      short_help.screen,
      testing::StartsWith(
          "\n\n\x1b[1;30;47mMorvaen\x1b[0m\x1b[30;47m, the Quick Lever process generation engine.\x1b[0m\n\n"
          "Arguments passed into the options should be surrounded by single or double quotes, e.g.\n"
          "% ./morvalen -p \"QL-WI-0010\"    \x1b[36m<< double quotes are accepted\x1b[0m\n"
          "% ./morvalen -a 'QL-WI-*'       \x1b[36m<< single quotes are accepted\x1b[0m\n\n"
          "Usage: morvalen [OPTIONS]\n\nOptions:\n  -l, --listgen <CSV-FILE>\n"));
  EXPECT_THAT(short_help.screen, testing::HasSubstr("Print help (see more with '--help')"));
  EXPECT_THAT(long_help.screen, testing::HasSubstr("Print help (see a summary with '-h')"));
  EXPECT_THAT(long_help.screen, testing::HasSubstr("| \"Document Number\" | \"Title\" |"));
  EXPECT_THAT(short_help.screen, testing::Not(testing::HasSubstr("| \"Document Number\" |")));
  EXPECT_THAT(
      short_help.screen,
      testing::HasSubstr(
          "  -s, --scriptify-process <DOCUMENT-NUMBER> <SCRIPT-FORMAT> <PAUSE-AFTER-EACH>\n"));
  // Apart from the table and the help line, the two screens are the same text.
  std::string trimmed = long_help.screen;
  const std::size_t table = trimmed.find("\n\n          | \"Document Number\"");
  const std::size_t table_end = trimmed.find("\n", trimmed.find("|    x    |    x    | ... |"));
  trimmed.erase(table, table_end - table);
  trimmed.replace(trimmed.find("see a summary with '-h'"), 23, "see more with '--help'");
  EXPECT_EQ(trimmed, short_help.screen);
}

TEST(Cli, VersionScreen) {
  const ParsedCommandLine parsed = parse({"-V"});
  EXPECT_FALSE(parsed.args);
  EXPECT_EQ(parsed.screen, "morvalen 0.66.2\n");
  EXPECT_EQ(parse({"--version"}).screen, "morvalen 0.66.2\n");
}

}  // namespace
}  // namespace morvalen
