#include "lint/trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "actions.h"
#include "files.h"
#include "names.h"
#include "read_qlml.h"
#include "resolve.h"
#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;
using testing_support::source_dir;

// What the matrix needs of a document must be what the reader makes of it.
void expect_as_read(const std::string& content, const std::string& folder) {
  SCOPED_TRACE(folder);
  const TracedDocument traced = trace_document(content, folder);
  const Process process = read_qlml_lines(split_lines(content), document_path(folder));
  EXPECT_EQ(traced.number, process.number);
  EXPECT_EQ(traced.title, process.title);
  EXPECT_EQ(traced.revision, process.get_revision());
  ASSERT_EQ(traced.verifications.size(), process.verifications.size());
  for (std::size_t i = 0; i < traced.verifications.size(); ++i) {
    const TracedVerification& verification = traced.verifications[i];
    const LabelledRequirement& read = process.verifications[i];
    EXPECT_EQ(verification.requirement.rid, read.requirement.rid) << i;
    EXPECT_EQ(verification.requirement.text, read.requirement.text) << i;
    EXPECT_EQ(verification.requirement.method, read.requirement.method) << i;
    EXPECT_EQ(step_label(verification.section, verification.step), read.label) << i;
  }
}

TEST(Trace, DocumentsAreTracedAsTheReaderReadsThem) {
  expect_as_read(
      "\xEF\xBB\xBFVerification | REQ-0 | before the first section | T\r\n"
      "Number | QL-1\r\n"
      "Title | First\r\n"
      "Revision |  | no revision text\r\n"
      "Revision | B | later lines do not count\r\n"
      "Step | a step before any section\r\n"
      "verification|REQ-A|lower case, no blanks|d\r\n"
      "Section | One\r\n"
      "\tVerification | REQ-B | outside a step | Analysis\r\n"
      "\tStep\r\n"
      "\t\t// Verification | REQ-C | a comment | T\r\n"
      "\t\tV e r i f i cation | REQ-D | spaced keyword | I\r\n"
      "\t\tVeri\xEF\xAC\x81"
      "cation | REQ-E | a ligature upper-cases to FI | T\r\n"
      "\xC2\xA0\xC2\xA0Step | indented with no-break spaces\r\n"
      "\t\tVerification | REQ-F\r\n"
      "\t\tVerification\r\n"
      "\t\tCSVSTART | table\r\n"
      "\t\tVerification | REQ-G | a table row that reads as a statement | S\r\n"
      "\t\tCSVEND\r\n"
      "Section | Two, without steps\r\n"
      "Title | Second title wins\r\n"
      "Section | Three\r\n"
      "Step | x\r\n"
      "Verification | REQ-H | last | Test",
      "crafted");
  expect_as_read("", "empty");
  expect_as_read("Number | N\nRevision\n", "a revision without a bar");
  // The example documents name CSV files, which the reader finds from the library root.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(source_dir() + "/examples/library");
  for (const std::string& folder : list_process_folders()) {
    expect_as_read(read_text_file(document_path(folder)), folder);
  }
  std::filesystem::current_path(previous);
}

// Lines are found 64 bytes at a time: every statement of these lines, moved across the
// block boundaries by a growing first line, must still be read as the reader reads it.
TEST(Trace, LinesAcrossBlocksAreTracedAsTheReaderReadsThem) {
  const std::string lines =
      "Section | One\n"
      "\t \t   Step | indented\r\n"
      "\x01 Verification | REQ-1 | a control character first | T\n"
      " \x01Verification | REQ-2 | after a blank | T\n"
      "   \n"
      "\n"
      "        Verification | REQ-3 | " +
      std::string(90, 'x') +
      " | I\n"
      "Number | N-1\n"
      "                                                                      Step\n"
      "Verification | REQ-4 | last, without a line feed | D";
  for (std::size_t pad = 0; pad < 70; ++pad) {
    expect_as_read("// " + std::string(pad, '-') + "\n" + lines, "pad " + std::to_string(pad));
  }
}

TEST(Trace, ADocumentThatIsNotUtf8StopsAsTheReaderStops) {
  testing_support::ScratchFolder scratch;
  testing_support::write_file(scratch.path() + "/F/F.qlml", "Number | N\nTitle | \xC3(\n");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch.path());
  std::string content;
  EXPECT_EQ(fatal_message_of([&] { read_traced_document("F", content); }),
            "Could not load lines: ./F/F.qlml: line 2 is not valid UTF-8 text");
  std::filesystem::current_path(previous);
}

TEST(Trace, VerificationPlaces) {
  const TracedDocument traced = trace_document(
      "Verification | R1 | t | T\n"
      "Section | S\n"
      "  Verification |R2|   text | T\n"
      "  Step | s\n"
      "    Verification | R3\n"
      "    Verification\n",
      "F");
  struct Expected {
    std::size_t line, column;
    std::string location, anchor;
  };
  const Expected expected[] = {{1, 21, "before the first section", ""},
                               {3, 23, "outside a step", ""},
                               {5, 20, "Step 1.1", "Step1.1"},
                               {6, 5, "Step 1.1", "Step1.1"}};
  ASSERT_EQ(traced.verifications.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const TracedVerification& v = traced.verifications[i];
    EXPECT_EQ(v.line, expected[i].line) << i;
    EXPECT_EQ(v.column, expected[i].column) << i;
    EXPECT_EQ(location_text(v.section, v.step), expected[i].location) << i;
    EXPECT_EQ(step_anchor(v.section, v.step), expected[i].anchor) << i;
  }
}

TEST(Trace, RequirementsListReader) {
  struct Case {
    std::string content;
    std::vector<ListedRequirement> expected;
    std::string failure;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBFRequirement,Text,Source\r\n"
       "R-1,\"Hold, then release\",SRS\r\n"
       "R-2,\"Say \"\"stop\"\"\"\r\n",
       {{"R-1", "Hold, then release", 2}, {"R-2", "Say \"stop\"", 3}},
       ""},
      {" text , REQUIREMENT \n\"Two\nlines\", R-1 \n\nno id,\n,R-2\n\"\",\"\"\nlast,R-3",
       {{"R-1", "Two\nlines", 2}, {"R-2", "", 6}, {"R-3", "last", 8}},
       ""},
      {"Requirement,Text\nR-1,x,\r\nR-2,y\r", {{"R-1", "x", 2}, {"R-2", "y", 3}}, ""},
      {"Requirement,Description\nR-1,x\n",
       {},
       "Rejected requirements list: l.csv: line 1: the header must name the columns "
       "Requirement and Text"},
      {"",
       {},
       "Rejected requirements list: l.csv: line 1: the header must name the columns "
       "Requirement and Text"},
      {"Requirement,Text\nR-1,ok\nR-2,\"open\n\nR-3,x\n",
       {},
       "Rejected requirements list: l.csv: line 3: a quoted field is not closed"},
  };
  for (const Case& c : cases) {
    if (!c.failure.empty()) {
      EXPECT_EQ(fatal_message_of([&] { parse_requirements_list(c.content, "l.csv"); }), c.failure)
          << c.content;
      continue;
    }
    const std::vector<ListedRequirement> listed = parse_requirements_list(c.content, "l.csv");
    ASSERT_EQ(listed.size(), c.expected.size()) << c.content;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(listed[i].rid, c.expected[i].rid) << c.content;
      EXPECT_EQ(listed[i].text, c.expected[i].text) << c.content;
      EXPECT_EQ(listed[i].line, c.expected[i].line) << c.content;
    }
  }
}

TEST(Trace, MatrixRowsStatusesAndListFindings) {
  std::vector<TracedDocument> documents;
  documents.push_back(trace_document("Section|S\nStep|s\nVerification|B-10|ten|T\n", "B"));
  documents.push_back(
      trace_document("Section|S\nStep|s\nVerification|B-9|nine|T\nVerification|L-1|one|I\n", "A"));
  const RequirementsList list{
      "list.csv", {{"L-2", "two", 2}, {"L-1", "one", 3}, {"L-2", "zwei", 4}, {"L-2", "two", 5}}};
  const TraceMatrix matrix = build_trace_matrix(documents, list);
  std::vector<std::string> ids;
  std::vector<TraceStatus> statuses;
  for (const TraceRow& row : matrix.rows) {
    ids.push_back(row.rid);
    statuses.push_back(row.status);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"L-2", "L-1", "B-9", "B-10"}));
  EXPECT_EQ(statuses, (std::vector<TraceStatus>{TraceStatus::NotVerified, TraceStatus::Verified,
                                                TraceStatus::NotInList, TraceStatus::NotInList}));
  EXPECT_EQ(trace_summary_line(matrix),
            "4 requirements: 1 verified, 1 not verified, 2 not in the list");
  ASSERT_EQ(matrix.findings.size(), 1u);
  EXPECT_EQ(format_finding(matrix.findings[0]),
            "list.csv:4:1: note: L-2 is listed again with another text, \"zwei\"; the text of "
            "line 2 counts [QL803]");
  EXPECT_EQ(matrix.documents.front().folder, "A");
}

TEST(Trace, QuotesWithAnotherTextAreNotedWhereverTheFirstQuoteStands) {
  std::vector<TracedDocument> documents;
  documents.push_back(
      trace_document("Verification | R-1 | first | T\nVerification | R-1 | second | T\n"
                     "Verification | R-2 | two | T\n",
                     "A"));
  documents.push_back(trace_document("Verification | R-2 | zwei | T\n", "B"));
  const TraceMatrix matrix = build_trace_matrix(documents, std::nullopt);
  std::vector<std::string> notes;
  for (const TraceFinding& finding : matrix.findings) notes.push_back(format_finding(finding));
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "A/A.qlml:2:22: note: R-1 is quoted here as \"second\" but as \"first\" in "
                       "A/A.qlml:1 [QL801]",
                       "B/B.qlml:1:22: note: R-2 is quoted here as \"zwei\" but as \"two\" in "
                       "A/A.qlml:3 [QL801]"}));
  ASSERT_EQ(matrix.rows.size(), 2u);
  EXPECT_EQ(matrix.rows[0].texts, (std::vector<std::string>{"first", "second"}));
  ASSERT_EQ(matrix.rows[0].verifications.size(), 2u);
  EXPECT_EQ(matrix.rows[0].verifications[1].text, 1u);
}

// The page's id column sorts by each row's place in the natural order of all ids.
TEST(Trace, PageSortKeysFollowTheNaturalOrderOfAllIds) {
  const std::vector<TracedDocument> documents = {trace_document(
      "Verification | R-11 | x | T\nVerification | R-1 | x | T\nVerification | R-3 | x | T\n",
      "A")};
  const RequirementsList list{"l.csv", {{"R-10", "ten", 2}, {"R-2", "two", 3}}};
  TraceMatrix matrix = build_trace_matrix(documents, list);
  const auto keys = [](const TraceMatrix& m) {
    std::ostringstream page;
    write_requirements_page(page, m, "L", "now");
    std::vector<std::string> found;
    const std::string text = page.str();
    const std::string marker = "data-sort=\"";
    for (std::size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + 1)) {
      const std::size_t start = at + marker.size();
      found.push_back(text.substr(start, text.find('"', start) - start));
    }
    return found;
  };
  std::vector<std::string> ids;
  for (const TraceRow& row : matrix.rows) ids.push_back(row.rid);
  ASSERT_EQ(ids, (std::vector<std::string>{"R-10", "R-2", "R-1", "R-3", "R-11"}));
  EXPECT_EQ(keys(matrix), (std::vector<std::string>{"3", "1", "0", "2", "4"}));
  // Rows outside the list in another order (a matrix made elsewhere) still get their places.
  std::swap(matrix.rows[2], matrix.rows[4]);
  EXPECT_EQ(keys(matrix), (std::vector<std::string>{"3", "1", "4", "2", "0"}));
}

TEST(Trace, NaturalOrder) {
  const std::pair<std::string_view, std::string_view> ordered[] = {
      {"REQ-2", "REQ-10"}, {"REQ-1.9", "REQ-1.10"}, {"REQ-01", "REQ-1"}, {"REQ-1", "REQ-1a"},
      {"A-9", "B-1"},      {"REQ-9", "REQ-A"},      {"", "0"},           {"R-007", "R-8"}};
  for (const auto& [less, more] : ordered) {
    EXPECT_TRUE(natural_less(less, more)) << less << " < " << more;
    EXPECT_FALSE(natural_less(more, less)) << more << " < " << less;
  }
  EXPECT_FALSE(natural_less("REQ-1", "REQ-1"));
}

TEST(Trace, CsvFields) {
  const std::pair<std::string_view, std::string_view> cases[] = {{"plain text", "plain text"},
                                                                 {"a, b", "\"a, b\""},
                                                                 {"say \"x\"", "\"say \"\"x\"\"\""},
                                                                 {"two\nlines", "\"two\nlines\""},
                                                                 {"", ""}};
  for (const auto& [field, expected] : cases) EXPECT_EQ(csv_field(field), expected) << field;
}

}  // namespace
}  // namespace morvalen
