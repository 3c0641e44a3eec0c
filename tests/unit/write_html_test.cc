#include "write_html.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "test_support.h"

namespace morvalen {
namespace {

using testing::HasSubstr;
using testing::Not;
using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::write_file;

std::string page_of(const Process& process) {
  std::ostringstream out;
  write_complete_html(out, process);
  return out.str();
}

// The lines of `text` that contain `marker`, in order.
std::vector<std::string> lines_with(const std::string& text, std::string_view marker) {
  std::vector<std::string> found;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(marker) != std::string::npos) found.push_back(line);
  }
  return found;
}

// Every match of the first group of `pattern` in `text`, in order.
std::vector<std::string> all_matches(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it) {
    found.push_back((*it)[1].str());
  }
  return found;
}

TEST(WriteHtml, RevisionRowsRunFromOldestToCurrent) {
  struct Case {
    std::vector<RevisionEntry> revisions;
    std::string expected_body;
  };
  const std::string head = "\t\t\t\t\t\t\t\t<tbody>\n";
  const std::string tail = "\t\t\t\t\t\t\t\t</tbody>\n\t\t\t\t\t\t\t</table>\n";
  const Case cases[] = {
      {{}, ""},
      {{{"1", "Only"}},
       "\t\t\t\t\t\t\t\t\t<tr class=\"current-rev\">\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-rev\"><span class=\"current-rev\">1</span></td>\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-change\">Only</td>\n"
       "\t\t\t\t\t\t\t\t\t</tr>\n"},
      {{{"R3", "third"}, {"R2", "second"}, {"R1", "first"}},
       "\t\t\t\t\t\t\t\t\t<tr>\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-rev\">R1</td>\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-change\">first</td>\n"
       "\t\t\t\t\t\t\t\t\t</tr>\n"
       "\t\t\t\t\t\t\t\t\t<tr>\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-rev\">R2</td>\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-change\">second</td>\n"
       "\t\t\t\t\t\t\t\t\t</tr>\n"
       "\t\t\t\t\t\t\t\t\t<tr class=\"current-rev\">\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-rev\"><span class=\"current-rev\">R3</span></td>\n"
       "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-change\">third</td>\n"
       "\t\t\t\t\t\t\t\t\t</tr>\n"},
  };
  for (const Case& c : cases) {
    Process process;
    process.revisions = c.revisions;
    std::ostringstream out;
    compose_html_body_rev_req_page(out, process);
    EXPECT_THAT(out.str(), HasSubstr(head + c.expected_body + tail))
        << c.revisions.size() << " revisions";
  }
}

TEST(WriteHtml, RequirementsPageOnlyWithVerifications) {
  Process process;
  std::ostringstream without;
  compose_html_body_rev_req_page(without, process);
  EXPECT_THAT(without.str(), Not(HasSubstr("requirements-page")));
  EXPECT_EQ(lines_with(without.str(), "<tr><td>").size(), 1u) << "only the revision page row";

  process.verifications = {
      {Requirement{"R-1", "Text one", VerificationMethod::Analysis}, "Step 0.0"},
      {Requirement{"R-2", "Text two", VerificationMethod::Sampling}, "Step 2.3"},
      {Requirement{"R-1", "Text one", VerificationMethod::Analysis}, "Step 3.1"}};
  std::ostringstream with;
  compose_html_body_rev_req_page(with, process);
  EXPECT_EQ(lines_with(with.str(), "<tr><td>").size(), 2u);
  EXPECT_EQ(lines_with(with.str(), "<div id=\"requirements-page\">").size(), 1u);
  EXPECT_EQ(all_matches(with.str(), "requirements-table-step\">(Step [^<]*)<"),
            (std::vector<std::string>{"Step 0.0", "Step 2.3", "Step 3.1"}));
  EXPECT_EQ(all_matches(with.str(), "requirements-table-method\">([A-Z][a-z]+)<"),
            (std::vector<std::string>{"Analysis", "Sampling", "Analysis"}));
}

TEST(WriteHtml, BubbleColoursMoveOnWhenTheStepChanges) {
  Process process;
  for (const char* label : {"Step 1.1", "Step 1.1", "Step 1.2", "Step 2.1", "Step 1.1"}) {
    process.resources.push_back({{"thing"}, label});
  }
  std::ostringstream out;
  compose_html_body_toc(out, process, process.sections);
  EXPECT_EQ(all_matches(out.str(), "background-color: (#[0-9A-F]{6}); color: #5566AA;;\""),
            (std::vector<std::string>{"#CCBBFF", "#CCBBFF", "#CCDDFF", "#AABBEE", "#CCBBFF"}));
  EXPECT_THAT(
      out.str(),
      HasSubstr(
          "\t\t\t\t\t\t\t<div class=\"resource-bubble\" style=\"border: 2px solid #5566AA; background-color: #CCDDFF; color: #5566AA;;\"><span class=\"resource-bubble-step\">Step 1.2</span><br/>thing</div>\n"));
  EXPECT_THAT(out.str(), HasSubstr(">5 named resources are identified to perform this process:<"));
}

TEST(WriteHtml, SingularAndPluralHeadings) {
  struct Case {
    std::size_t objectives, out_of_scope;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {0, 0, {}},
      {1,
       1,
       {"This process has 1 stated objective:",
        "This process has 1 <em>Out Of Scope</em> declaration:"}},
      {2,
       3,
       {"This process has 2 stated objectives:",
        "This process has 3 <em>Out Of Scope</em> declarations:"}},
  };
  for (const Case& c : cases) {
    Process process;
    process.objectives.assign(c.objectives, LabelledText{"goal", "Step 1.1"});
    process.out_of_scope.assign(c.out_of_scope, LabelledText{"not this", "Step 1.2"});
    std::ostringstream out;
    compose_html_body_toc(out, process, process.sections);
    EXPECT_EQ(all_matches(out.str(), "<span class=\"toc-title\">(This process has [^\n]*)</span>"),
              c.expected)
        << c.objectives << " objectives, " << c.out_of_scope << " out-of-scope";
    EXPECT_EQ(out.str().find("all-objectives") != std::string::npos, c.objectives > 0);
    EXPECT_EQ(out.str().find("all-out-of-scopes") != std::string::npos, c.out_of_scope > 0);
  }
  // The step list never has a singular form.
  Section section{"S", {Step{"T", {{"one"}}, {}}}};
  std::ostringstream out;
  compose_html_body_section(out, "author", {section});
  EXPECT_THAT(out.str(), HasSubstr(">1 named resources are identified to perform this step:<"));
}

TEST(WriteHtml, ProcessTypeOnTheTitlePage) {
  struct Case {
    std::string process_type, expected;
  };
  const Case cases[] = {
      {std::string(kNoProcessType), "<div id=\"title-page-docno\">N-1<br/>Revision N-1</div>"},
      {"Test Procedure",
       "<div id=\"title-page-docno\">N-1<br/>Test Procedure<br/>Revision N-1</div>"},
      {"", "<div id=\"title-page-docno\">N-1<br/><br/>Revision N-1</div>"},
      {" NO PROCESS TYPE IDENTIFIED IN QLML FILE",
       "<div id=\"title-page-docno\">N-1<br/> NO PROCESS TYPE IDENTIFIED IN QLML FILE<br/>Revision N-1</div>"},
  };
  for (const Case& c : cases) {
    Process process;
    process.number = "N-1";
    process.process_type = c.process_type;
    EXPECT_THAT(page_of(process), HasSubstr(c.expected)) << c.process_type;
  }
}

TEST(WriteHtml, TpvCellHoldsABoxOrNotApplicable) {
  const std::string box = "<span class=\"action-checkbox\">&#x25A2;</span>";
  Section section{"S",
                  {Step{"T", {}, {ActionSequence{{{"a1", "e1", true}, {"a2", "e2", false}}}}}}};
  std::ostringstream out;
  compose_html_body_section(out, "author", {section});
  EXPECT_THAT(out.str(),
              HasSubstr("\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-expected\">e1</td>\n"
                        "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-result\"></td>\n"
                        "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">" +
                        box +
                        "</td>\n"
                        "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">" +
                        box + "</td>\n"));
  EXPECT_THAT(out.str(),
              HasSubstr("\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-expected\">e2</td>\n"
                        "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-result\"></td>\n"
                        "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">" +
                        box +
                        "</td>\n"
                        "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">N/A</td>\n"));
}

TEST(WriteHtml, EveryTableOfContentsLinkFindsItsAnchor) {
  Process process;
  process.sections = {Section{"One", {Step{"a", {}, {}}, Step{"b", {}, {}}}}, Section{"Two", {}},
                      Section{"Three", {Step{"c", {}, {}}, Step{"d", {}, {}}, Step{"e", {}, {}}}}};
  const std::string page = page_of(process);
  const std::vector<std::string> links =
      all_matches(page, "<a class=\"pageref\" href=\"#([^\"]*)\">");
  const std::vector<std::string> anchors = all_matches(page, "<a name=\"([^\"]*)\"></a>");
  EXPECT_EQ(links, (std::vector<std::string>{"Section1", "Step1.1", "Step1.2", "Section2",
                                             "Section3", "Step3.1", "Step3.2", "Step3.3"}));
  EXPECT_EQ(anchors, links);
}

TEST(WriteHtml, StepWithoutContentIsTwoLines) {
  std::ostringstream out;
  compose_html_body_section(out, "author", {Section{"S", {Step{"Bare", {}, {}}}}});
  EXPECT_EQ(
      out.str(),
      "\t\t\t<tr><td>\n\n"
      "\t\t\t\t<section>\n"
      "\t\t\t\t\t<div class=\"section-title\"><a name=\"Section1\"></a>Section 1: S</div>\n"
      "\t\t\t\t\t<div class=\"step\"><span class=\"step-text\"><a name=\"Step1.1\"></a>Step 1.1: Bare</span><br/>\n"
      "\t\t\t\t\t</div>\n"
      "\t\t\t\t</section>\n\n"
      "\t\t\t</td></tr>\n\n");
  std::ostringstream nothing;
  compose_html_body_section(nothing, "author", {});
  EXPECT_EQ(nothing.str(), "");
}

TEST(WriteHtml, ShortTableRowGetsEmptyCells) {
  // A table filled directly, not through add_row, may have a row shorter than its header.
  Table table{"c", {{"h1", "h2", "h3"}, {"x"}}};
  std::ostringstream out;
  compose_html_body_section(out, "author", {Section{"S", {Step{"T", {}, {table}}}}});
  EXPECT_THAT(out.str(), HasSubstr("\t\t\t\t\t\t\t\t\t<tr>\n"
                                   "\t\t\t\t\t\t\t\t\t\t<td>x</td>\n"
                                   "\t\t\t\t\t\t\t\t\t\t<td></td>\n"
                                   "\t\t\t\t\t\t\t\t\t\t<td></td>\n"
                                   "\t\t\t\t\t\t\t\t\t</tr>\n"));
}

TEST(WriteHtml, HeadLinksTemplatesAsWritten) {
  Process process;
  EXPECT_EQ(
      lines_with(page_of(process), "rel=\"stylesheet\""),
      (std::vector<std::string>{"\t\t<link rel=\"stylesheet\" href=\"../assets/morvalen.css\"/>"}));
  process.templates = {"Example.css", "plain"};
  EXPECT_EQ(
      lines_with(page_of(process), "rel=\"stylesheet\""),
      (std::vector<std::string>{"\t\t<link rel=\"stylesheet\" href=\"../assets/morvalen.css\"/>",
                                "\t\t<link rel=\"stylesheet\" href=\"../assets/Example.css\"/>",
                                "\t\t<link rel=\"stylesheet\" href=\"../assets/plain\"/>"}));
}

TEST(WriteHtml, GeneratedFileReplacesTheOldPage) {
  ScratchFolder scratch;
  Process process;
  process.number = "N";
  write_file("page.html", std::string(200000, 'x'));
  generate_complete_html("page.html", process);
  const std::string written = read_whole_file("page.html");
  EXPECT_EQ(written, page_of(process));
  EXPECT_TRUE(written.ends_with("\t</body>\n\n</html>"));
}

TEST(WriteHtml, FailuresAreFatalStops) {
  ScratchFolder scratch;
  Process process;
  EXPECT_EQ(fatal_message_of([&] { generate_complete_html("missing/page.html", process); }),
            "cannot open file: missing/page.html: No such file or directory");
#ifdef _WIN32
  GTEST_SKIP() << "no /dev/full on Windows";
#endif
  EXPECT_EQ(fatal_message_of([&] { generate_complete_html("/dev/full", process); }),
            "write failed: /dev/full: No space left on device");
  // A page larger than any stream buffer fails while it is written, not only at the end.
  process.sections.assign(2000, Section{"S", {Step{"T", {}, {Context{"text"}}}}});
  EXPECT_EQ(fatal_message_of([&] { generate_complete_html("/dev/full", process); }),
            "write failed: /dev/full: No space left on device");
}

TEST(WriteHtml, MarkupAndSpecialCharactersGoInUnchanged) {
  Process process;
  process.title = "A <i>title</i> & \"quotes\"";
  process.author = "Doe, <b>J.</b>";
  process.sections = {
      Section{"S",
              {Step{"T",
                    {},
                    {Command{"a > b && c < d"},
                     Verification{Requirement{"R", "t", VerificationMethod::Test}}}}}}};
  const std::string page = page_of(process);
  EXPECT_THAT(
      page,
      HasSubstr(
          "<title>NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT \"A <i>title</i> & \"quotes\"\"</title>"));
  EXPECT_THAT(page, HasSubstr("<span class=\"command-text\">a > b && c < d</span>"));
  EXPECT_THAT(page, HasSubstr("consulting this procedure's author, Doe, <b>J.</b>.</div>"));
  EXPECT_THAT(page, HasSubstr("Written by: Doe, <b>J.</b><br/>"));
}

}  // namespace
}  // namespace morvalen
