// Whole procedure pages compared with checked-in expected files in tests/golden/.
// MORVALEN_UPDATE_GOLDEN=1 rewrites the expected files instead of comparing; every
// rewritten file has to be checked line by line before it is committed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "read_qlml.h"
#include "test_support.h"
#include "write_html.h"

namespace morvalen {
namespace {

using testing_support::copy_example_library;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::source_dir;
using testing_support::write_file;

std::string page_of(const Process& process) {
  std::ostringstream out;
  write_complete_html(out, process);
  return out.str();
}

// Where two pages first differ, as "line N: expected ... / actual ...".
std::string first_difference(const std::string& expected, const std::string& actual) {
  std::istringstream expected_lines(expected), actual_lines(actual);
  std::string e, a;
  for (int line = 1;; ++line) {
    const bool has_e = static_cast<bool>(std::getline(expected_lines, e));
    const bool has_a = static_cast<bool>(std::getline(actual_lines, a));
    if (!has_e && !has_a) return "only the final line feed differs";
    if (!has_e || !has_a || e != a) {
      return "line " + std::to_string(line) + ":\n  expected: " + (has_e ? e : "<end>") +
             "\n  actual:   " + (has_a ? a : "<end>");
    }
  }
}

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = source_dir() + "/tests/golden/" + name;
  const char* update = std::getenv("MORVALEN_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    write_file(path, actual);
    return;
  }
  const std::string expected = read_whole_file(path);
  ASSERT_FALSE(expected.empty()) << "missing expected page " << path;
  EXPECT_TRUE(expected == actual) << name << " differs at " << first_difference(expected, actual);
}

Table table_of(std::string caption, std::vector<std::vector<std::string>> rows) {
  Table table;
  table.caption = std::move(caption);
  for (auto& row : rows) table.add_row(std::move(row));
  return table;
}

Requirement requirement(std::string rid, std::string text, VerificationMethod method) {
  return Requirement{std::move(rid), std::move(text), method};
}

// Every variant the page knows: three revisions, a process type, two templates, markup in
// texts, two objectives and one out-of-scope line, a product without a product image,
// resources whose step labels change and come back, two verifications (one outside any
// step), every sub-step kind, tables with no row, only a header row, an empty header row
// and several rows, a step without content and a section without steps.
Process crafted_process() {
  Process process;
  process.number = "QL-TP-0042";
  process.revisions = {{"C", "Third <b>change</b>: tables"}, {"B", "Second"}, {"A", "First issue"}};
  process.title = "Crafted <i>every</i> variant";
  process.process_type = "Test Procedure";
  process.author = "A. Author, Esq.";
  process.reviewer = "R. Reviewer";
  process.subject = "Pump & valve";
  process.subject_image = "subject.png";
  process.product = "Tested pump";
  process.templates = {"Example.css", "noextension"};
  process.objectives = {{"Prove the pump starts", "Step 1.1"}, {"Prove it stops", "Step 3.1"}};
  process.out_of_scope = {{"Long-term wear", "Step 1.1"}};
  process.resources = {{{"Torque wrench"}, "Step 1.1"},
                       {{"Multimeter"}, "Step 1.1"},
                       {{"Gloves"}, "Step 1.2"},
                       {{"Ladder"}, "Step 2.1"},
                       {{"Second wrench"}, "Step 1.1"}};
  process.verifications = {
      {requirement("REQ-001", "The pump shall start within 2 s.", VerificationMethod::Test),
       "Step 1.1"},
      {requirement("REQ-002", "The casing shall be labelled.", VerificationMethod::Inspection),
       "Step 0.0"}};

  Step first{"Connect <b>power</b>", {{"Torque wrench"}, {"Multimeter"}}, {}};
  first.add_sub_step(Objective{"Prove the pump starts"});
  first.add_sub_step(OutOfScope{"Long-term wear"});
  first.add_sub_step(
      ActionSequence{{{"Close breaker", "Lamp lit", true}, {"Press start", "Pump runs", false}}});
  first.add_sub_step(Command{" ls -l > out.txt && echo done "});
  first.add_sub_step(Image{"wiring.png", "Wiring of the <em>pump</em>"});
  first.add_sub_step(Warning{"Live parts!"});
  first.add_sub_step(Verification{
      requirement("REQ-001", "The pump shall start within 2 s.", VerificationMethod::Test)});
  first.add_sub_step(Resource{"Torque wrench"});
  first.add_sub_step(Context{"Line one<br/>line two"});
  first.add_sub_step(table_of(
      "Readings",
      {{"Point", "Volts", "Amps"}, {"A", "230", "1.5"}, {"B", "229"}, {"C", "231", "1.4"}}));

  Step second{"Check tables", {{"Gloves"}}, {}};
  second.add_sub_step(Table{"Never shown", {}});
  second.add_sub_step(table_of("", {{"Only", "Header"}}));
  second.add_sub_step(table_of("No header cells", {{}, {"dropped"}, {}}));

  Step third{"Nothing to do", {}, {}};

  Step last{"Stop the pump", {{"Ladder"}}, {}};
  last.add_sub_step(ActionSequence{{{"Press stop", "Pump stops", false}}});
  last.add_sub_step(
      Verification{requirement("REQ-003", "Stops on demand.", VerificationMethod::Demonstration)});

  process.sections = {Section{"Preparation", {first, second, third}}, Section{"Empty section", {}},
                      Section{"Execution", {last}}};
  return process;
}

// One objective, two out-of-scope lines, an empty product, no revisions, no process type,
// no verifications, no resources and no sections.
Process sparse_process() {
  Process process;
  process.number = "QL-WI-0001";
  process.title = "Sparse";
  process.author = "Solo";
  process.reviewer = "Nobody";
  process.subject = "Nothing much";
  process.product = "";
  process.objectives = {{"Only objective", "Step 0.0"}};
  process.out_of_scope = {{"First exclusion", "Step 0.0"}, {"Second exclusion", "Step 1.0"}};
  return process;
}

TEST(WriteHtmlGolden, CraftedEveryVariant) {
  expect_golden("crafted_every_variant.html", page_of(crafted_process()));
}

TEST(WriteHtmlGolden, SparseDocument) {
  expect_golden("sparse_document.html", page_of(sparse_process()));
}

TEST(WriteHtmlGolden, FreshProcess) { expect_golden("fresh_process.html", page_of(Process{})); }

TEST(WriteHtmlGolden, ExampleProcedures) {
  // Documents are read as the program reads them: relative to the library root, which
  // places their CSV files.
  ScratchFolder scratch;
  copy_example_library(".");
  const char* const names[] = {
      "QL-IN-0310 - Cleanroom ISO 7 Particle Count Inspection",
      "QL-TP-0200 - Network Switch Acceptance Test_ Ports _ VLANs",
      "QL-WI-0010 - Pump Start_Stop",
  };
  for (const std::string name : names) {
    SCOPED_TRACE(name);
    const Process process = read_qlml("./" + name + "/" + name + ".qlml");
    expect_golden("examples/" + name + ".html", page_of(process));
  }
}

}  // namespace
}  // namespace morvalen
