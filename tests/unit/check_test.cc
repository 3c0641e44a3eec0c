#include "lint/check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "files.h"
#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::ScratchFolder;
using testing_support::source_dir;
using testing_support::write_file;

constexpr std::string_view kStep = "Section | S\nStep | T\n";  // lines 1 and 2

struct RuleCase {
  std::string code;
  std::string document;  // P/P.qlml of a library in the scratch folder
  int line;
  int column;
};

TEST(Check, EveryRuleFindsItsLine) {
  ScratchFolder scratch;
  write_file("P/here.png", "");
  write_file("P/sub/pic.png", "");
  write_file("P/empty-heading.csv", "\nA\n");
  write_file("assets/Corporate.css", "");
  write_file("N - T/N - T.qlml", "");
  write_file("N0 - U/N0 - U.qlml", "");
  const std::string step(kStep);
  const std::vector<RuleCase> cases = {
      {"QL001", "Acton | x\n", 1, 1},
      {"QL002", "  Sub-ject | x\n", 1, 3},
      {"QL004", "Title | a\xff\n", 1, 10},
      {"QL101", "", 1, 1},
      {"QL102", "Author |\n", 1, 1},
      {"QL103", "Title | a\nTitle | b\n", 1, 1},
      {"QL104", "Number | N\n", 1, 1},
      {"QL201", "Context | x\n", 1, 1},
      {"QL201", "Step | early\n", 1, 1},
      {"QL202", "Section | S\nContext | x\nStep | t\n", 2, 1},
      {"QL202", step + "Section | B\nWarning | hot\nStep | b\n", 4, 1},
      {"QL203", step + "Action | a | b\n\nAction | c | d\n", 5, 1},
      {"QL203", step + "Action | a | b\n// qlml: ignore QL001\nAction | c | d\n", 5, 1},
      {"QL204", "Section | S\n", 1, 1},
      {"QL204", step + "Step |\n", 3, 1},
      {"QL301", step + "Action | a\n", 3, 1},
      {"QL302", step + "Action | a | b | maybe\n", 3, 17},
      {"QL303", "Revision | A | d | x\n", 1, 18},
      {"QL304", step + "Verification | R | t | Inspect\n", 3, 23},
      {"QL305", "Verification | R\n", 1, 1},
      {"QL306", "Resource |\n", 1, 1},
      {"QL401", step + "CSVSTART\nA,B\n", 3, 1},
      {"QL401", step + "CSVSTART\nA,B\nStep | U\nCSVEND\n", 3, 1},
      {"QL402", step + "CSVSTART\nA,B\nCSVSTART\nCSVEND\n", 5, 1},
      {"QL403", step + "CSVSTART\nA,B\nCommand | x\nCSVEND\n", 5, 1},
      {"QL404", step + "CSVSTART\nA,B\n1,2,3\nCSVEND\n", 5, 4},
      {"QL404", step + "CSVSTART\nA,B\n// note\nCSVEND\n", 5, 1},
      {"QL404", step + "CSVSTART\nA,B\nx,\"1,5\"\nCSVEND\n", 5, 3},
      {"QL405", step + "CSVSTART\n , \nA\nCSVEND\n", 4, 1},
      {"QL405", step + "CSVFILE | empty-heading.csv\n", 3, 11},
      {"QL501", step + "CSVFILE | none.csv\n", 3, 11},
      {"QL501", step + "CSVFILE | ../P/here.png\n", 3, 11},
      {"QL502", step + "Image |  none.png | x\n", 3, 10},
      {"QL502", "Subject Image | none.png\n", 1, 17},
      {"QL503", "Template | Missing.css\n", 1, 12},
      {"QL503", "Template | Corporate\n", 1, 12},
      {"QL504", step + "Image | sub/pic.png\n", 3, 9},
      {"QL601", step + "Command | cat <in\n", 3, 15},
      {"QL601", step + "Command | a &amp; b\n", 3, 13},
      {"QL701", "Title | T\nNumber | N\n", 2, 1},
  };
  CheckConfig config;
  config.with_library_checks_for_document = true;
  std::set<std::string> covered;
  for (const RuleCase& test : cases) {
    SCOPED_TRACE(test.code + ": " + test.document);
    const std::vector<Finding> findings = check_document("P/P.qlml", test.document, config);
    const auto found = std::find_if(findings.begin(), findings.end(), [&](const Finding& f) {
      return f.code == test.code && f.place.line == test.line && f.place.column == test.column;
    });
    EXPECT_NE(found, findings.end()) << format_gcc(findings);
    if (found != findings.end()) {
      EXPECT_EQ(found->place.file, "P/P.qlml");
      EXPECT_EQ(found->severity, find_rule(test.code)->severity);
    }
    covered.insert(test.code);
  }
  // The library rules, over the library in the scratch folder.
  const std::vector<Finding> library = check_library(".", "", CheckConfig{});
  const auto has = [&](std::string_view code, std::string_view file, int line) {
    return std::any_of(library.begin(), library.end(), [&](const Finding& f) {
      return f.code == code && f.place.file == file && f.place.line == line;
    });
  };
  EXPECT_TRUE(has("QL702", "assets", 0) == false);
  EXPECT_TRUE(has("QL702", "P", 0)) << format_gcc(library);
  write_file("N - T/N - T.qlml", "Number | N\nTitle | T\n");
  EXPECT_THAT(check_document("N - T/N - T.qlml", "Number | N\nTitle | T\n", config),
              testing::Contains(testing::Field(&Finding::code, "QL703")));
  covered.insert({"QL702", "QL703"});
  for (const Rule& rule : check_rules())
    EXPECT_TRUE(covered.contains(std::string(rule.code))) << rule.code;
}

TEST(Check, CleanDocumentsAndTheExampleLibraryHaveNoFindings) {
  const std::string clean =
      "Number | QL-1\nTitle | Clean\nRevision | A | First\nProcess Type | Test\nAuthor | A\n"
      "Reviewer | R\nSubject | S\n"
      "Section | One\nStep | First\nAction | a | b | TPV\nAction | c | d\n\nContext | x\n"
      "Action | e | f | no\nCSVSTART | cap\nA, B\n1, 2\nCSVEND\nCommand | a && b < c\n"
      "// qlml: ignore QL502\nImage | missing.png\nVerification | R-1 | text | T\n";
  EXPECT_EQ(format_gcc(check_document("x/x.qlml", clean, CheckConfig{})), "");
  std::ostringstream out, err;
  ScratchFolder scratch;
  testing_support::copy_example_library("library");
  std::filesystem::current_path("library");
  const std::vector<std::string> args;
  EXPECT_EQ(run_check(args, out, err), 0) << out.str() << err.str();
  EXPECT_EQ(out.str(), "");
}

TEST(Check, SuppressionsConfigurationAndExitStatuses) {
  ScratchFolder scratch;
  const std::string document =
      "// qlml: ignore-file QL101, QL104\n"
      "Section | S\nStep | T\n"
      "// qlml: ignore QL301\n"
      "\n"
      "Action | a\n"  // 6: QL301 suppressed (the next statement)
      "Action | b\n"  // 7: QL301
      "Acton | c\n";  // 8: QL001 (warning)
  write_file("P/P.qlml", document);
  const auto run = [](std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = run_check(args, out, err);
    return std::tuple{status, out.str(), err.str()};
  };
  auto [status, out, err] = run({"P/P.qlml"});
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out,
            "P/P.qlml:7:1: error: this Action has no expected result: the page shows \"ERROR: NO "
            "EXPECTED VALUE PROVIDED\"; write it after a second bar [QL301]\n"
            "P/P.qlml:8:1: warning: this line is ignored: \"Acton\" is not a keyword; did you mean "
            "\"Action\"? [QL001]\n");
  EXPECT_EQ(std::get<0>(run({"--fail-on", "never", "P/P.qlml"})), 0);
  EXPECT_EQ(std::get<0>(run({"--fail-on=error", "--ignore", "QL301", "P/P.qlml"})), 0);
  EXPECT_EQ(std::get<1>(run({"--select", "QL001", "P/P.qlml"})).find("QL301"), std::string::npos);
  // qlml.json: severities and ignores from the library root.
  write_file("qlml.json", R"({"severity": {"QL001": "error"}, "ignore": ["QL301"]})");
  std::tie(status, out, err) = run({"--fail-on", "error", "P"});
  EXPECT_EQ(status, 1);
  EXPECT_THAT(out, testing::HasSubstr("8:1: error: "));
  EXPECT_THAT(out, testing::Not(testing::HasSubstr("QL301")));
  // A wrong command line, an unknown code, an unreadable file.
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--format", "xml"},
                                                {"--select", "QL999"},
                                                {"--bogus"},
                                                {"--explain", "QL000"},
                                                {"--fail-on"}}) {
    EXPECT_EQ(std::get<0>(run(wrong)), 2) << wrong[0];
  }
  EXPECT_THAT(testing_support::fatal_message_of([&] { run({"missing.qlml"}); }),
              testing::HasSubstr("missing.qlml"));
  write_file("qlml.json", R"({"selct": []})");
  EXPECT_THAT(testing_support::fatal_message_of([&] { run({"P"}); }),
              testing::HasSubstr("qlml.json"));
}

TEST(Check, EveryFormatParsesBack) {
  ScratchFolder scratch;
  write_file("A B/A B.qlml",
             "Section | S\nStep | T\nAction | a | b\n\nAction | \"é\" | d\nCommand | x <y\n");
  std::ostringstream out, err;
  const std::vector<std::string> select = {"--select", "QL203,QL601"};
  const auto run = [&](std::string format) {
    std::vector<std::string> args = select;
    args.insert(args.end(), {"--format", format, "A B"});
    std::ostringstream out, err;
    EXPECT_EQ(run_check(args, out, err), 1);
    return out.str();
  };
  const nlohmann::json json = nlohmann::json::parse(run("json"));
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["file"], "A B/A B.qlml");
  EXPECT_EQ(json[0]["line"], 5);
  EXPECT_EQ(json[0]["column"], 1);
  EXPECT_EQ(json[0]["end_column"], 17);  // characters, not bytes
  EXPECT_EQ(json[0]["severity"], "warning");
  EXPECT_EQ(json[0]["code"], "QL203");
  EXPECT_EQ(json[0]["related"][0]["line"], 4);
  EXPECT_EQ(json[1]["code"], "QL601");

  const nlohmann::json sarif = nlohmann::json::parse(run("sarif"));
  EXPECT_EQ(sarif["version"], "2.1.0");
  const nlohmann::json& run0 = sarif["runs"][0];
  EXPECT_EQ(run0["tool"]["driver"]["name"], "qlml");
  EXPECT_EQ(run0["tool"]["driver"]["rules"].size(), check_rules().size());
  for (const nlohmann::json& rule : run0["tool"]["driver"]["rules"]) {
    EXPECT_TRUE(rule.contains("id") && rule.contains("shortDescription") && rule.contains("help"));
  }
  ASSERT_EQ(run0["results"].size(), 2u);
  const nlohmann::json& result = run0["results"][0];
  EXPECT_EQ(result["ruleId"], "QL203");
  EXPECT_EQ(run0["tool"]["driver"]["rules"][result["ruleIndex"].get<int>()]["id"], "QL203");
  EXPECT_EQ(result["level"], "warning");
  EXPECT_EQ(result["locations"][0]["physicalLocation"]["artifactLocation"]["uri"],
            "A%20B/A%20B.qlml");
  EXPECT_EQ(result["locations"][0]["physicalLocation"]["region"]["startLine"], 5);
  // The fingerprint stays when lines are added above the finding.
  const std::string print = result["partialFingerprints"]["qlmlFinding/v1"];
  write_file("A B/A B.qlml", "// new\n" + testing_support::read_whole_file("A B/A B.qlml"));
  EXPECT_EQ(nlohmann::json::parse(
                run("sarif"))["runs"][0]["results"][0]["partialFingerprints"]["qlmlFinding/v1"],
            print);

  const std::string github = run("github");
  EXPECT_THAT(github, testing::StartsWith("::warning file=A B/A B.qlml,line=6,col=1,endLine=6,"
                                          "endColumn=17,title=QL203::this Action line"));
  EXPECT_THAT(run("gcc"), testing::StartsWith("A B/A B.qlml:6:1: warning: "));
}

TEST(Check, ExplainAndTheManualPageListEveryRule) {
  const std::string manual = testing_support::read_whole_file(source_dir() + "/docs/man/qlml.1");
  std::set<std::pair<std::string, std::string>> listed;
  const std::regex row("\n(QL[0-9]{3})\t(error|warning|note)\t");
  for (auto it = std::sregex_iterator(manual.begin(), manual.end(), row);
       it != std::sregex_iterator(); ++it) {
    listed.insert({(*it)[1], (*it)[2]});
  }
  std::set<std::pair<std::string, std::string>> rules;
  for (const Rule& rule : check_rules()) {
    rules.insert({std::string(rule.code), std::string(severity_name(rule.severity))});
    std::ostringstream out, err;
    const std::vector<std::string> args = {"--explain", std::string(rule.code)};
    EXPECT_EQ(run_check(args, out, err), 0);
    EXPECT_THAT(out.str(), testing::StartsWith(std::string(rule.code) + " ("));
    EXPECT_THAT(out.str(), testing::HasSubstr("\nBefore:\n    "));
    EXPECT_THAT(out.str(), testing::HasSubstr("\nAfter:\n    "));
  }
  EXPECT_EQ(listed, rules);
  EXPECT_EQ(keyword_suggestion("Acton"), "Action");
  EXPECT_EQ(keyword_suggestion("verfication"), "Verification");
  EXPECT_EQ(keyword_suggestion("Hello world"), "");
}

}  // namespace
}  // namespace morvalen
