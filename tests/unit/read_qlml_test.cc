#include "read_qlml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "files.h"
#include "test_support.h"
#include "text.h"

namespace morvalen {
namespace {

using testing::StartsWith;
using testing_support::fatal_message_of;
using testing_support::ScratchFolder;
using testing_support::write_file;

Process read_text(std::string_view text, const std::string& path = "./D/D.qlml") {
  return read_qlml_lines(split_lines(text), path);
}

using Rows = std::vector<std::vector<std::string>>;

TEST(ReadQlml, StatementSplitAndKeywords) {
  struct Case {
    std::string_view line;
    Keyword keyword;
    std::string_view value;
  };
  const Case cases[] = {
      {"Title | Pump", Keyword::Title, " Pump"},
      {"  subject image|pic.png", Keyword::SubjectImage, "pic.png"},
      {"Pro cess\tType | x", Keyword::ProcessType, " x"},
      {"PROCESSTYPE|x", Keyword::ProcessType, "x"},
      {"Process_Type | x", Keyword::None, " x"},
      {"Sub-ject | x", Keyword::None, " x"},
      {"Command | ls | wc -l", Keyword::Command, " ls | wc -l"},
      {"Step", Keyword::Step, ""},
      {"  // Title | x", Keyword::None, " x"},
      {"", Keyword::None, ""},
      {"\u00a0out\u3000of scope|x", Keyword::OutOfScope, "x"},
      {"\ufb06ep | x", Keyword::Step, " x"},           // the ligature upper-cases to ST
      {"\xef\xbb\xbfTitle | x", Keyword::None, " x"},  // a byte-order mark is not white space
      {"VerificationVerification | x", Keyword::None, " x"},
      {"csv start | cap", Keyword::CsvStart, " cap"},
      {"CSVEND", Keyword::CsvEnd, ""},
      {"csvfile|a.csv", Keyword::CsvFile, "a.csv"},
      // Near misses: prefixes, one letter off, a keyword with more after it, characters
      // that are neither letters nor white space, a byte beyond ASCII after the letters.
      {"Ste | x", Keyword::None, " x"},
      {"Titles | x", Keyword::None, " x"},
      {"Verificatiom | x", Keyword::None, " x"},
      {"Product Imagex|x", Keyword::None, "x"},
      {"Title1 | x", Keyword::None, " x"},
      {std::string_view("Ti\0tle|x", 8), Keyword::None, "x"},
      {"Step\u00e9 | x", Keyword::None, " x"},
      {"S t\te\rp|", Keyword::Step, ""},
      {"number", Keyword::Number, ""},
  };
  for (const Case& c : cases) {
    const Statement statement = split_statement(c.line);
    EXPECT_EQ(keyword_of(statement.keyword), c.keyword) << c.line;
    EXPECT_EQ(classify_line(c.line), c.keyword) << c.line;
    // Indented as documents indent, and long enough for the classification of sixteen
    // bytes at once.
    const std::string long_line = "        " + std::string(c.line) + "|a value long enough";
    EXPECT_EQ(classify_line(long_line), c.keyword) << long_line;
    EXPECT_EQ(statement.value, c.value) << c.line;
    // Cut and classified in one walk: with the next lines to read beyond, and as the last.
    const std::string text = "//\n" + std::string(c.line) + "\n" + long_line + "\n" +
                             std::string(48, 'x') + "\n" + std::string(c.line);
    std::vector<std::string_view> lines;
    std::vector<Keyword> keywords;
    split_and_classify(text, lines, keywords);
    EXPECT_EQ(lines, split_line_views(text));
    ASSERT_EQ(keywords.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(keywords[i], i == 1 || i == 2 || i == 4 ? c.keyword : Keyword::None) << text;
    }
  }
}

TEST(ReadQlml, WrittenKeywordsNormaliseToTheirKeyword) {
  std::set<Keyword> seen;
  for (const KeywordSpelling& spelling : keyword_spellings()) {
    EXPECT_EQ(trim_whitespace_make_uppercase(spelling.written), spelling.normalised)
        << spelling.written;
    EXPECT_EQ(keyword_of(spelling.normalised), spelling.keyword) << spelling.written;
    seen.insert(spelling.keyword);
  }
  EXPECT_EQ(seen.size(), 25u);
  EXPECT_FALSE(seen.contains(Keyword::None));
}

TEST(ReadQlml, RevisionRule) {
  struct Case {
    std::string_view value, revision, description;
  };
  const Case cases[] = {
      {"|   ", "[No Rev]", ""},
      {"   | x", "", "x"},
      {" B", "B", "[No description provided by Author]"},
      {"", "[No Rev]", "[No description provided by Author]"},
      {" 2 | Fixed | extra", "2", "Fixed"},
  };
  for (const Case& c : cases) {
    const RevisionEntry entry = parse_revision_line(c.value);
    EXPECT_EQ(entry.revision, c.revision) << c.value;
    EXPECT_EQ(entry.description, c.description) << c.value;
  }
}

TEST(ReadQlml, ImageRule) {
  struct Case {
    std::string_view value, file, text;
  };
  const Case cases[] = {
      {" pic.png", " pic.png", " pic.png"},
      {"| caption", "../assets/placeholderImage-small.png", " caption"},
      {"", "../assets/placeholderImage-small.png", "../assets/placeholderImage-small.png"},
      {"a.png| b ", "a.png", " b "},
      {"a.png|", "a.png", "a.png"},
  };
  for (const Case& c : cases) {
    const Image image = parse_image_line(c.value);
    EXPECT_EQ(image.file, c.file) << c.value;
    EXPECT_EQ(image.text, c.text) << c.value;
  }
}

TEST(ReadQlml, ActionRule) {
  struct Case {
    std::string_view value, action, expected;
    bool tpv;
  };
  const Case cases[] = {
      {" Open valve", " Open valve", "ERROR: NO EXPECTED VALUE PROVIDED", false},
      {"", "", "ERROR: NO EXPECTED VALUE PROVIDED", false},
      {" a | b ", " a ", " b ", false},
      {"a|b|two party verification", "a", "b", true},
      {"a|b| y", "a", "b", true},
      {"a|b|Yes", "a", "b", true},
      {"a|b|tpv", "a", "b", true},
      {"a|b|true", "a", "b", true},
      {"a|b|T", "a", "b", true},
      {"a|b|no", "a", "b", false},
      {"a|b|X", "a", "b", false},
      {"a|b|   ", "a", "b", false},
      {"a|b|", "a", "b", false},
  };
  for (const Case& c : cases) {
    const Action action = parse_action_line(c.value);
    EXPECT_EQ(action.action, c.action) << c.value;
    EXPECT_EQ(action.expected, c.expected) << c.value;
    EXPECT_EQ(action.tpv, c.tpv) << c.value;
  }
}

TEST(ReadQlml, VerificationRuleAndMethods) {
  struct Case {
    std::string_view value, rid, text;
    VerificationMethod method;
  };
  const Case cases[] = {
      {" R1 | The pump starts ", "R1", "The pump starts", VerificationMethod::Sampling},
      {"R1|t| demo", "R1", "t", VerificationMethod::Demonstration},
      {"R1", "R1", "???", VerificationMethod::Sampling},
      {"R1|t|Inspect", "R1", "t", VerificationMethod::Sampling},
      {"R1|t|i", "R1", "t", VerificationMethod::Inspection},
      {"R1|t| Analysis ", "R1", "t", VerificationMethod::Analysis},
      {"R1|t|te st", "R1", "t", VerificationMethod::Test},
      {"R1|t|S", "R1", "t", VerificationMethod::Sampling},
      {"R1|t|", "R1", "t", VerificationMethod::Sampling},
  };
  for (const Case& c : cases) {
    const Requirement requirement = parse_verification_line(c.value);
    EXPECT_EQ(requirement.rid, c.rid) << c.value;
    EXPECT_EQ(requirement.text, c.text) << c.value;
    EXPECT_EQ(requirement.method, c.method) << c.value;
  }
  EXPECT_EQ(which_method("DEMONSTRATION"), VerificationMethod::Demonstration);
  EXPECT_EQ(which_method("???"), VerificationMethod::Sampling);
}

TEST(ReadQlml, ResourceRule) {
  struct Case {
    std::string_view value, name;
  };
  const Case cases[] = {
      {" Wrench | 10 mm", " Wrench | 10 mm"},
      {"", "ERROR: NO RESOURCE IDENTIFIED"},
      {"| Wrench", "ERROR: NO RESOURCE IDENTIFIED"},
      {"  ", "  "},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_resource_line(c.value).name, c.name) << c.value;
}

TEST(ReadQlml, HeaderStatements) {
  const Process process = read_text(
      "Title | First // not a comment\n"
      "Number | QL-1\n"
      "Number |  QL-2 \r\n"
      "  // Title | commented out\n"
      "Process Type | Test Procedure\n"
      "Author|A\nReviewer|R\nSubject|S\n"
      "  subject image|pic.png\n"
      "Product|P\nProduct Image|p.png\n"
      "Template |  style.css \n"
      "Revision | 3 | newest\nRevision | 2 | older\n");
  EXPECT_EQ(process.title, "First // not a comment");
  EXPECT_EQ(process.number, "QL-2");
  EXPECT_EQ(process.process_type, "Test Procedure");
  EXPECT_EQ(process.author, "A");
  EXPECT_EQ(process.reviewer, "R");
  EXPECT_EQ(process.subject, "S");
  EXPECT_EQ(process.subject_image, "pic.png");
  EXPECT_EQ(process.product, "P");
  EXPECT_EQ(process.product_image, "p.png");
  EXPECT_EQ(process.templates, std::vector<std::string>{"style.css"});
  ASSERT_EQ(process.revisions.size(), 2u);
  EXPECT_EQ(process.get_revision(), "3");
  EXPECT_EQ(process.revisions[1].description, "older");
}

TEST(ReadQlml, EmptyPathEmptyFileAndTitleWithoutBar) {
  EXPECT_EQ(read_qlml("").title, Process{}.title);
  EXPECT_TRUE(read_text("").sections.empty());
  EXPECT_EQ(read_text("").number, Process{}.number);
  EXPECT_EQ(read_text("Title | x\nTitle\n").title, "");
  EXPECT_EQ(read_text("Title | a\nSection|s\nStep|t\nTitle | b\n").title, "b");
}

TEST(ReadQlml, LabelsCountSectionsAndStepsAsMet) {
  const Process process = read_text(
      "Objective | before any section\n"
      "Step | orphan\n"
      "Resource | orphan wrench\n"
      "Action | dropped | x\n"
      "Command | dropped\n"
      "Section | One\n"
      "Out of Scope | before the first step\n"
      "Step | 1.1\n"
      "Step | 1.2\n"
      "Verification | R1 | t | T\n"
      "Section | Two\n"
      "Step | 2.1\n"
      "Resource | wrench\n");
  ASSERT_EQ(process.objectives.size(), 1u);
  EXPECT_EQ(process.objectives[0].label, "Step 0.0");
  EXPECT_EQ(process.objectives[0].text, " before any section");
  ASSERT_EQ(process.resources.size(), 2u);
  EXPECT_EQ(process.resources[0].label, "Step 0.1");
  EXPECT_EQ(process.resources[1].label, "Step 2.1");
  ASSERT_EQ(process.out_of_scope.size(), 1u);
  EXPECT_EQ(process.out_of_scope[0].label, "Step 1.0");
  ASSERT_EQ(process.verifications.size(), 1u);
  EXPECT_EQ(process.verifications[0].label, "Step 1.2");
  ASSERT_EQ(process.sections.size(), 2u);
  // The orphan step's Action and Command are kept nowhere.
  EXPECT_EQ(process.get_all_command_lines().size(), 0u);
  ASSERT_EQ(process.sections[0].steps.size(), 2u);
  const auto& items = process.sections[0].steps[1].sub_steps;
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(std::get<Verification>(items[0]).requirement.method, VerificationMethod::Test);
  // Content between a Section line and its first Step line is in no step.
  EXPECT_TRUE(process.sections[0].steps[0].sub_steps.empty());
}

TEST(ReadQlml, SectionLinesDoNotEndAStep) {
  const Process process = read_text(
      "Section | A\nStep | a1\nCommand | one\n"
      "Section | B\nContext | carried over\nStep |b1\nCommand|two\n"
      "Section | C\nSection | D\nStep\n");
  ASSERT_EQ(process.sections.size(), 4u);
  const Step& a1 = process.sections[0].steps.at(0);
  ASSERT_EQ(a1.sub_steps.size(), 2u);
  EXPECT_EQ(std::get<Context>(a1.sub_steps[1]).text, " carried over");
  const Step& b1 = process.sections[1].steps.at(0);
  EXPECT_EQ(b1.title, "b1");
  ASSERT_EQ(b1.sub_steps.size(), 1u);
  EXPECT_EQ(std::get<Command>(b1.sub_steps[0]).text, "two");
  EXPECT_EQ(process.sections[1].title, " B");
  EXPECT_TRUE(process.sections[2].steps.empty());
  ASSERT_EQ(process.sections[3].steps.size(), 1u);
  EXPECT_EQ(process.sections[3].steps[0].title, "");
}

std::vector<std::size_t> action_runs(const Step& step) {
  std::vector<std::size_t> runs;
  for (const SubStep& item : step.sub_steps) {
    if (const auto* sequence = std::get_if<ActionSequence>(&item)) {
      runs.push_back(sequence->actions.size());
    }
  }
  return runs;
}

TEST(ReadQlml, ActionRunsAndTheActionSwitch) {
  struct Case {
    std::string_view body;
    std::vector<std::size_t> runs;
  };
  const Case cases[] = {
      {"Action|a|b\nAction|c|d\nAction|e|f\n", {3}},
      {"Action|a|b\nAction|c|d\n\nAction|e|f\n", {2}},
      {"Action|a|b\n// note\nAction|e|f\n", {1}},
      {"Action|a|b\nbogus line\nAction|e|f\n", {1}},
      {"Action|a|b\nContext|c\nAction|e|f\n", {1, 1}},
      {"Action|a|b\nCSVFILE|t.csv\nAction|e|f\n", {1}},
      {"Action|a|b\nCSVSTART\nx\nCSVEND\nAction|e|f\n", {1}},
      {"Action|a|b\nImage|p.png\nAction|e|f\nAction|g|h\n", {1, 2}},
      {"Action|a|b\nResource|r\nAction|e|f\n", {1, 1}},
  };
  ScratchFolder scratch;
  write_file("D/t.csv", "h\n");
  for (const Case& c : cases) {
    const Process process = read_text("Section|S\nStep|T\n" + std::string(c.body));
    EXPECT_EQ(action_runs(process.sections.at(0).steps.at(0)), c.runs) << c.body;
  }
}

TEST(ReadQlml, StepContentItemsInOrder) {
  const Process process = read_text(
      "Section|S\nStep| T \n"
      "Objective| o \nOut of Scope| n \nCommand| c | d\nImage|p.png|cap\nWarning| w\n"
      "Verification|R|t|A\nResource| r\nContext| x\nAction|a|b|tpv\nAction|a|b\n");
  const Step& step = process.sections.at(0).steps.at(0);
  EXPECT_EQ(step.title, " T ");
  ASSERT_EQ(step.sub_steps.size(), 9u);
  EXPECT_EQ(std::get<Objective>(step.sub_steps[0]).text, " o ");
  EXPECT_EQ(std::get<OutOfScope>(step.sub_steps[1]).text, " n ");
  EXPECT_EQ(std::get<Command>(step.sub_steps[2]).text, " c | d");
  EXPECT_EQ(std::get<Image>(step.sub_steps[3]).text, "cap");
  EXPECT_EQ(std::get<Warning>(step.sub_steps[4]).text, " w");
  EXPECT_EQ(std::get<Verification>(step.sub_steps[5]).requirement.method,
            VerificationMethod::Analysis);
  EXPECT_EQ(std::get<Resource>(step.sub_steps[6]).name, " r");
  EXPECT_EQ(std::get<Context>(step.sub_steps[7]).text, " x");
  const auto& actions = std::get<ActionSequence>(step.sub_steps[8]).actions;
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_TRUE(actions[0].tpv);
  EXPECT_FALSE(actions[1].tpv);
  ASSERT_EQ(step.resources.size(), 1u);
  EXPECT_EQ(step.resources[0].name, " r");
  EXPECT_EQ(process.objectives.size(), 1u);
  EXPECT_EQ(process.verifications.size(), 1u);
}

TEST(ReadQlml, EmbeddedTables) {
  const Process process = read_text(
      "Section|S\nStep|T\n"
      "CSVSTART | Pressures | ignored\n"
      "Name, Value\n"
      " a , 1 , extra \n"
      "only\n"
      "\n"
      "\"x,y\",z\n"
      "CSVEND\n"
      "CSVSTART\nh\nCSVSTART|second start\nCSVEND\n"
      "CSVSTART\nCSVEND\n"
      "Step | U\n"
      "CSVSTART|open\nrow\n"
      "Step | V\n"
      "Context | c\nCSVEND\n"
      "CSVSTART\n\nNext\n");
  const auto& items = process.sections.at(0).steps.at(0).sub_steps;
  ASSERT_EQ(items.size(), 3u);
  const Table& first = std::get<Table>(items[0]);
  EXPECT_EQ(first.caption, "Pressures");
  EXPECT_EQ(first.rows,
            (Rows{{"Name", " Value"}, {"a", "1"}, {"only", ""}, {"", ""}, {"\"x", "y\""}}));
  const Table& second = std::get<Table>(items[1]);
  EXPECT_EQ(second.caption, "");
  // A second CSVSTART inside a block is a row, and opens no table of its own.
  EXPECT_EQ(second.rows, (Rows{{"h"}, {"CSVSTART|second start"}}));
  EXPECT_EQ(std::get<Table>(items[2]).get_size(), (std::pair<std::size_t, std::size_t>{0, 0}));
  // A table without CSVEND ends with its step; its CSVEND in the next step closes nothing
  // there, and that step's table opens as usual.
  const auto& open = process.sections.at(0).steps.at(1).sub_steps;
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(std::get<Table>(open[0]).rows, (Rows{{"row"}}));
  // In the last step it runs to the end; a blank first row is a one-cell header.
  const auto& last = process.sections.at(0).steps.at(2).sub_steps;
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(std::get<Table>(last[1]).rows, (Rows{{""}, {"Next"}}));
}

TEST(ReadQlml, SecondCsvStartBeforeCsvEndAddsNoTable) {
  const std::vector<std::string> lines = {"CSVSTART | a", "h", "CSVSTART | b", "x"};
  const Table table = extract_embedded_csv(lines);
  EXPECT_EQ(table.caption, "a");
  EXPECT_EQ(table.rows, (Rows{{"h"}, {"CSVSTART | b"}, {"x"}}));
  const Process process = read_text("Section|S\nStep|T\nCSVSTART|a\nh\nCSVSTART|b\nx\n");
  EXPECT_EQ(process.sections.at(0).steps.at(0).sub_steps.size(), 1u);
}

TEST(ReadQlml, ExternalTables) {
  ScratchFolder scratch;
  write_file("D/t.csv", "\xef\xbb\xbfName, Value\r\n a , 1 , x \n\nonly\n");
  write_file("D/sub/u.csv", "h\n");
  const Process process =
      read_text("Section|S\nStep|T\nCSVFILE | t.csv | Caption \nCSVFILE|sub/u.csv\n");
  const auto& items = process.sections.at(0).steps.at(0).sub_steps;
  ASSERT_EQ(items.size(), 2u);
  const Table& table = std::get<Table>(items[0]);
  EXPECT_EQ(table.caption, "Caption");
  // The byte-order mark does not end up in the first header cell.
  EXPECT_EQ(table.rows, (Rows{{"Name", "Value"}, {"a", "1"}, {"", ""}, {"only", ""}}));
  EXPECT_EQ(std::get<Table>(items[1]).rows, (Rows{{"h"}}));
  // A file named in several steps gives each of them the whole table.
  const Process twice = read_text("Section|S\nStep|A\nCSVFILE|t.csv|a\nStep|B\nCSVFILE|t.csv|b\n");
  const Table& second = std::get<Table>(twice.sections.at(0).steps.at(1).sub_steps.at(0));
  EXPECT_EQ(second.rows, table.rows);
  EXPECT_EQ(second.caption, "b");
  EXPECT_EQ(open_csv_file_and_return_data_array(""), Rows{});
  EXPECT_EQ(open_csv_file_and_return_data_array("D/sub/u.csv"), (Rows{{"h"}}));
}

TEST(ReadQlml, CsvFileFailuresNameTheDocumentLineAndStatement) {
  ScratchFolder scratch;
  write_file("D/bad.csv", "a,b\n\xff\n");
  write_file("secret.csv", "x\n");
  struct Case {
    std::string_view value;
    std::string_view expected;  // after "Could not load lines: ./D/D.qlml:7: CSVFILE "
  };
  const Case cases[] = {
      {"missing.csv | caption", "missing.csv: No such file or directory"},
      {"bad.csv", "bad.csv: line 2 is not valid UTF-8 text"},
      {"", ": Is a directory"},
      {"../secret.csv", "../secret.csv: leads outside the process folder"},
      {"sub/../../secret.csv", "sub/../../secret.csv: leads outside the process folder"},
      {" /etc/passwd ", "/etc/passwd: an absolute path outside the process folder"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fatal_message_of([&] { extract_external_csv(c.value, "./D/D.qlml", 7); }),
              "Could not load lines: ./D/D.qlml:7: CSVFILE " + std::string(c.expected))
        << c.value;
  }
  // In a document, the line is the statement's own, counted past a byte-order mark.
  write_file("D/D.qlml", "\xef\xbb\xbfSection | S\r\nStep | T\r\n\r\n  CSVFILE |  gone.csv \r\n");
  EXPECT_EQ(fatal_message_of([] { read_qlml("./D/D.qlml"); }),
            "Could not load lines: ./D/D.qlml:4: CSVFILE gone.csv: No such file or directory");
}

TEST(ReadQlml, DocumentFiles) {
  ScratchFolder scratch;
  write_file("A/A.qlml", "\xef\xbb\xbfTitle | Alpha\r\nNumber | QL-1\r\n");
  write_file("B/B.qlml", "Title | B\nContext | \xc3\x28\n");
  const Process alpha = read_qlml("./A/A.qlml");
  EXPECT_EQ(alpha.title, "Alpha");  // the byte-order mark does not swallow the first line
  EXPECT_EQ(alpha.number, "QL-1");
  EXPECT_THAT(fatal_message_of([] { read_qlml("./B/B.qlml"); }),
              StartsWith("Could not load lines: ./B/B.qlml: line 2 is not valid UTF-8"));
  EXPECT_THAT(fatal_message_of([] { read_qlml("./C/C.qlml"); }),
              StartsWith("Could not load lines: ./C/C.qlml: No such file"));
}

TEST(ReadQlml, ExtractNextSectionStopsAtTheNextSectionLine) {
  const std::vector<std::string> lines = {"Section | A", "Step | 1", "Context | c", "Section | B",
                                          "Step | 2"};
  const Section section = extract_next_section(lines, "./D/D.qlml");
  EXPECT_EQ(section.title, " A");
  ASSERT_EQ(section.steps.size(), 1u);
  EXPECT_EQ(section.steps[0].sub_steps.size(), 1u);
}

}  // namespace
}  // namespace morvalen
