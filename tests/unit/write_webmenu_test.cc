#include "write_webmenu.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "files.h"
#include "read_qlml.h"
#include "tablesort_js.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::source_dir;
using testing_support::write_file;

void add_command(Process& process, std::size_t section, std::string text) {
  while (process.sections.size() <= section) process.add_section(Section{"S", {Step{}}});
  process.sections[section].steps.back().add_sub_step(Command{std::move(text)});
}

// The second process of tests/golden/webmenu_two_processes.html.
Process pump_process() {
  Process process;
  process.number = "QL-WI-0010";
  process.title = "Pump Start/Stop & Check";
  process.revisions = {{"C", "Limits tightened"}, {"B", "Steps reordered"}, {"A", "Initial"}};
  process.subject = "Pump P-101";
  process.author = "Ada Author";
  process.reviewer = "Rex Reviewer";
  process.add_objective("Start the pump", "Step 1.1");
  process.add_objective("Stop the pump", "Step 2.1");
  process.add_out_of_scope("Pump maintenance", "Step 1.1");
  process.add_verification({"REQ-001", "Pressure held", VerificationMethod::Inspection},
                           "Step 1.1");
  process.add_verification({"REQ-002", "Flow reached", VerificationMethod::Test}, "Step 1.2");
  process.add_verification({"REQ-003", "Stops on demand", VerificationMethod::Demonstration},
                           "Step 2.1");
  process.add_resource({"Multimeter"}, "Step 1.1");
  process.add_resource({" Torque wrench "}, "Step 2.1");
  add_command(process, 0, " ls -l | wc -l");
  add_command(process, 0, " echo started");
  add_command(process, 1, " echo stopped");
  process.sections[1].steps.back().add_sub_step(Context{" not a command"});
  return process;
}

// The first one: placeholders everywhere, no revisions, markup in the title.
Process leak_process() {
  Process process;
  process.number = "QL-TP-0200";
  process.title = "Leak <test>";
  return process;
}

std::string whole_page(std::string_view name, const std::vector<Process>& processes) {
  std::ostringstream page;
  write_complete_webmenu(page, name, processes);
  return page.str();
}

std::string table_of(const std::vector<Process>& processes) {
  std::ostringstream page;
  compose_body_table(page, processes);
  return page.str();
}

TEST(WriteWebmenu, TwoProcessPageMatchesTheGoldenPage) {
  const std::string expected =
      read_whole_file(source_dir() + "/tests/golden/webmenu_two_processes.html");
  ASSERT_FALSE(expected.empty());
  // The rows in the order the scan gives the folders: byte order of their names.
  EXPECT_EQ(whole_page("Plant Library", {leak_process(), pump_process()}), expected);
}

TEST(WriteWebmenu, EmptyLibraryHasNoRows) {
  const std::string page = whole_page("Empty", {});
  EXPECT_THAT(page, testing::HasSubstr(
                        "\t\t\t<h1>Empty</h1>\n\t\t\t<p>Process Library with 0 processes.</p>\n"));
  EXPECT_THAT(page, testing::HasSubstr("\t\t\t\t<tbody>\n\t\t\t\t</tbody>\n"));
  EXPECT_THAT(page, testing::HasSubstr("<title>&#x1F4DA; Empty &#x1F4DA;</title>\n"));
  EXPECT_THAT(page, testing::EndsWith("\t\t</main>\n\t</body>\n</html>\n"));
}

TEST(WriteWebmenu, HeadCarriesTablesortOnOneLine) {
  std::ostringstream head;
  write_webmenu_head(head, "L");
  const std::string text = head.str();
  const std::string line = "\t\t\t" + std::string(kTablesortJs) + "\n";
  EXPECT_EQ(line.size(), 2753u);
  EXPECT_THAT(line,
              testing::StartsWith(
                  "\t\t\t!function(){function a(b,c){if(!(this instanceof a))return new a(b,c);"));
  EXPECT_THAT(line, testing::EndsWith("window.Tablesort=a}();\n"));
  EXPECT_THAT(text, testing::HasSubstr("\t\t<script>\n" + line + "\t\t</script>\n"));
}

TEST(WriteWebmenu, CountsHaveAtLeastThreeDigits) {
  struct Case {
    std::size_t count;
    std::string_view text;
  };
  const Case cases[] = {{0, "000"}, {7, "007"}, {42, "042"}, {1234, "1234"}};
  for (const Case& c : cases) {
    Process process;
    for (std::size_t k = 0; k < c.count; ++k) {
      process.add_objective("o", "Step 1.1");
      process.add_out_of_scope("x", "Step 1.1");
      process.add_verification({"R", "t", VerificationMethod::Test}, "Step 1.1");
      process.add_resource({"r"}, "Step 1.1");
      add_command(process, 0, "c");
    }
    const std::string table = table_of({process});
    for (std::string_view column : {"08", "10", "12", "14", "16"}) {
      EXPECT_THAT(table, testing::HasSubstr("<td class=\"col" + std::string(column) + "\">" +
                                            std::string(c.text) + "</td>\n"))
          << c.count << " in column " << column;
    }
  }
}

TEST(WriteWebmenu, VerificationShowsTheInitialOfItsMethod) {
  struct Case {
    VerificationMethod method;
    std::string_view item;
  };
  const Case cases[] = {{VerificationMethod::Demonstration, "<li>R-1 (D)</li>"},
                        {VerificationMethod::Inspection, "<li>R-1 (I)</li>"},
                        {VerificationMethod::Analysis, "<li>R-1 (A)</li>"},
                        {VerificationMethod::Test, "<li>R-1 (T)</li>"},
                        {VerificationMethod::Sampling, "<li>R-1 (S)</li>"}};
  for (const Case& c : cases) {
    Process process;
    process.add_verification({"R-1", "text", c.method}, "Step 1.1");
    EXPECT_THAT(table_of({process}),
                testing::HasSubstr("<td class=\"col13\"><ul>\n\t\t\t\t\t\t\t" +
                                   std::string(c.item) + "\n\t\t\t\t\t\t</ul></td>\n"))
        << c.item;
  }
}

TEST(WriteWebmenu, ProcessWithoutRevisionsShowsItsNumberAsRevision) {
  const std::string table = table_of({leak_process()});
  EXPECT_THAT(
      table,
      testing::HasSubstr(
          "<td class=\"col02\">QL-TP-0200</td>\n\t\t\t\t\t\t<td class=\"col03\">QL-TP-0200</td>\n"));
  EXPECT_THAT(
      table,
      testing::HasSubstr(
          "<td class=\"col08\">000</td>\n\t\t\t\t\t\t<td class=\"col09\"><ul>\n\t\t\t\t\t\t</ul></td>\n"));
}

TEST(WriteWebmenu, LinksFollowTheFolderNameRule) {
  Process process;
  process.number = "QL-WI-0010";
  process.title = "Pump Start/Stop";
  const std::string table = table_of({process});
  EXPECT_THAT(
      table,
      testing::HasSubstr(
          "<a href=\"./QL-WI-0010 - Pump Start_Stop/./QL-WI-0010 - Pump Start_Stop.qlml\">"));
  EXPECT_THAT(
      table,
      testing::HasSubstr(
          "<a href=\"./QL-WI-0010 - Pump Start_Stop/./QL-WI-0010 - Pump Start_Stop.html\">"));
  EXPECT_THAT(
      table, testing::HasSubstr(
                 "<a href=\"./QL-WI-0010 - Pump Start_Stop/./QL-WI-0010 - Pump Start_Stop.pdf\">"));
  EXPECT_THAT(table, testing::HasSubstr("<td class=\"col04\">Pump Start/Stop</td>"));
}

}  // namespace
}  // namespace morvalen
