#include "model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;

std::string summary_of(const Process& process) {
  std::ostringstream out;
  display_process_to_stdout(out, process);
  return out.str();
}

TEST(Process, SummaryOfAFreshProcess) {
  EXPECT_EQ(summary_of(Process{}),
            "==============================================================\n"
            "NO TITLE IN QLML FILE\n"
            " ↪ Document Number:          NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT\n"
            " ↪ Process Type:             NO PROCESS TYPE IDENTIFIED IN QLML FILE\n"
            " ↪ Current Revision:         NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT\n"
            " ↪ Author of this Rev:       NO AUTHOR IN QLML FILE\n"
            " ↪ Reviewer of this Rev:     NO REVIEWER IN QLML FILE\n"
            " ↪ Subject of process:       NO SUBJECT IN QLML FILE\n"
            " ↪ Image of Subject:         DEFAULT-PLACEHOLDER-IMAGE.png\n"
            " ↪ Product produced:         N/A\n"
            " ↪ Image of Product:         N/A\n"
            " ↪ Count of Objectives:      0\n"
            " ↪ Count of Out of Scopes:   0\n"
            " ↪ Count of Sections:        0\n"
            " ↪ Count of Resources:       0\n"
            " ↪ Count of Verifications:   0\n"
            " ↪ Count of Templates:       0\n"
            " ↪ Count of TPV Actions:     0\n"
            " ↪ Count of Non-TPV Actions: 0\n"
            "==============================================================\n");
}

Process filled_process() {
  Process process;
  process.set_number("  QL-WI-0010 ");
  process.set_title("Pump Start/Stop");
  process.process_type = "Test Procedure";
  process.revisions = {{"B", "Second"}, {"A", "First"}};
  process.add_objective(" Start the pump", "Step 1.1");
  process.add_objective(" Stop it", "Step 2.1");
  process.add_out_of_scope(" Repairs", "Step 0.0");
  process.add_template(" Corporate.css ");
  process.add_resource({" Wrench"}, "Step 1.1");
  process.add_verification({"R-1", "Text", VerificationMethod::Test}, "Step 1.1");
  Section first{" Preparation", {}};
  Step step{" Check", {}, {}};
  step.add_sub_step(ActionSequence{{{"a", "b", true}, {"c", "d", false}, {"e", "f", false}}});
  step.add_sub_step(Command{" ls | wc -l "});
  first.steps.push_back(step);
  first.steps.push_back(Step{" Empty", {}, {}});
  Section second{" Run", {}};
  Step run{" Go", {}, {}};
  run.add_sub_step(Context{"ctx"});
  run.add_sub_step(Command{"make"});
  run.add_sub_step(ActionSequence{{{"g", "h", true}}});
  second.steps.push_back(run);
  process.add_section(first);
  process.add_section(second);
  return process;
}

TEST(Process, SummaryOfAFilledProcess) {
  EXPECT_EQ(summary_of(filled_process()),
            "==============================================================\n"
            "Pump Start/Stop\n"
            " ↪ Objectives:\n"
            "    1.  Start the pump\n"
            "    2.  Stop it\n"
            " ↪ Document Number:          QL-WI-0010\n"
            " ↪ Process Type:             Test Procedure\n"
            " ↪ Current Revision:         B\n"
            " ↪ Author of this Rev:       NO AUTHOR IN QLML FILE\n"
            " ↪ Reviewer of this Rev:     NO REVIEWER IN QLML FILE\n"
            " ↪ Subject of process:       NO SUBJECT IN QLML FILE\n"
            " ↪ Image of Subject:         DEFAULT-PLACEHOLDER-IMAGE.png\n"
            " ↪ Product produced:         N/A\n"
            " ↪ Image of Product:         N/A\n"
            " ↪ Count of Objectives:      2\n"
            " ↪ Count of Out of Scopes:   1\n"
            " ↪ Count of Sections:        2\n"
            " ↪ Count of Resources:       1\n"
            " ↪ Count of Verifications:   1\n"
            " ↪ Count of Templates:       1\n"
            " ↪ Count of TPV Actions:     2\n"
            " ↪ Count of Non-TPV Actions: 2\n"
            "==============================================================\n");
}

TEST(Process, GetRevisionFallsBackToTheNumber) {
  Process process;
  process.set_number("QL-WI-0010");
  EXPECT_EQ(process.get_revision(), "QL-WI-0010");
  process.revisions = {{"R3", "c"}, {"R2", "b"}, {"R1", "a"}};
  EXPECT_EQ(process.get_revision(), "R3");
}

TEST(Process, SettersTrimUnicodeWhiteSpaceAndTheLastCallWins) {
  Process process;
  process.set_number("\u00a0 first\t");
  process.set_number(" second\u3000");
  EXPECT_EQ(process.number, "second");
  process.add_template("  Example.css  ");
  EXPECT_EQ(process.templates, std::vector<std::string>{"Example.css"});
}

TEST(Process, CommandLinesCarryPositionLabelsAndUntrimmedText) {
  const std::vector<CommandLine> lines = filled_process().get_all_command_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].command, " ls | wc -l ");
  EXPECT_EQ(lines[0].label, "Step 1.1");
  EXPECT_EQ(lines[1].command, "make");
  EXPECT_EQ(lines[1].label, "Step 2.1");
}

TEST(Process, RequirementMethodWords) {
  const std::pair<VerificationMethod, std::string> cases[] = {
      {VerificationMethod::Demonstration, "Demonstration"},
      {VerificationMethod::Inspection, "Inspection"},
      {VerificationMethod::Analysis, "Analysis"},
      {VerificationMethod::Test, "Test"},
      {VerificationMethod::Sampling, "Sampling"}};
  for (const auto& [method, word] : cases)
    EXPECT_EQ((Requirement{"", "", method}.get_method()), word);
}

TEST(Table, RowsFollowTheHeaderWidth) {
  Table table;
  EXPECT_EQ(table.get_size(), (std::pair<std::size_t, std::size_t>{0, 0}));
  table.add_row({"Name", " Value"});
  table.add_row({" a ", " b ", " c "});
  table.add_row({" only"});
  EXPECT_EQ(table.get_row(0), (std::vector<std::string>{"Name", " Value"}));
  EXPECT_EQ(table.get_row(1), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(table.get_row(2), (std::vector<std::string>{"only", ""}));
  EXPECT_EQ(table.get_size(), (std::pair<std::size_t, std::size_t>{3, 2}));
  EXPECT_EQ(fatal_message_of([&] { table.get_row(3); }), "table reference out of bounds");
}

}  // namespace
}  // namespace morvalen
