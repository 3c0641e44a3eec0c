#include "read_csv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::write_file;

constexpr std::string_view kHeader = "Document Number,Title,Subject,Product,Author,Reviewer";

std::vector<Process> read_quietly(const std::string& path) {
  std::vector<Process> processes;
  for (DocumentListRow& row : read_document_list(path)) processes.push_back(std::move(row.process));
  return processes;
}

TEST(ReadCsv, HeaderCheckIgnoresCaseButNotBlanks) {
  struct Case {
    std::string header;
    std::string problem;  // empty when the header passes
  };
  const Case cases[] = {
      {std::string(kHeader), ""},
      {"DOCUMENT NUMBER,TITLE,SUBJECT,PRODUCT,AUTHOR,REVIEWER", ""},
      {"document number,title,subject,product,author,reviewer", ""},
      {"dOcUmEnT NuMbEr,tItLe,Subject,PRODUCT,author,Reviewer,Corporate", ""},
      {"\xEF\xBB\xBF" + std::string(kHeader), ""},  // spreadsheets export UTF-8 with a mark
      {"Document Number, Title,Subject,Product,Author,Reviewer",
       "line 1: column 2 is headed \" Title\" instead of \"Title\""},
      {"Document Number,Title,Subject,Product,Author,Reviewer ",
       "line 1: column 6 is headed \"Reviewer \" instead of \"Reviewer\""},
      {"Document Number;Title;Subject;Product;Author;Reviewer", "line 1: the header has 1 fields"},
      {"Document Number,Title,Subject,Product,Author", "line 1: the header has 5 fields"},
      {"", "line 1: the list is empty"},
      {std::string(kHeader) + ",Corp/orate",
       "line 1: the template column 7 is headed \"Corp/orate\""},
      {std::string(kHeader) + ",ok,..\\up", "line 1: the template column 8 is headed \"..\\\\up\""},
  };
  for (const Case& c : cases) {
    ScratchFolder scratch;
    std::filesystem::create_directory("assets");
    write_file("list.csv", c.header + (c.header.empty() ? "" : "\nQL-1,T,S,P,A,R\n"));
    if (c.problem.empty()) {
      const std::vector<Process> processes = read_quietly("list.csv");
      ASSERT_EQ(processes.size(), 1u) << c.header;
      EXPECT_EQ(processes[0].number, "QL-1") << c.header;
    } else {
      EXPECT_THAT(fatal_message_of([] { read_quietly("list.csv"); }),
                  testing::StartsWith("Rejected document list: list.csv: " + c.problem))
          << c.header;
    }
  }
}

// What spreadsheets write: classic Mac line ends, quoted fields, other separators.
TEST(ReadCsv, SpreadsheetListsAreReadOrRejectedWithWhatToDo) {
  const struct {
    std::string list;
    std::string problem;  // empty when the list is read: then its two rows are checked
  } cases[] = {
      {std::string(kHeader) + "\rQL-1,T,S,P,A,R\rQL-2,U,S,P,A,R\r", ""},
      {std::string(kHeader) + "\r\nQL-1,T,S,P,A,R\rQL-2,U,S,P,A,R", ""},
      {std::string(kHeader) + "\nQL-1,\"Pump Start, Run and Stop\",S,P,A,R\n",
       "line 2: field 2 is quoted; this list has no quoting: remove the quotes, and the commas "
       "inside fields"},
      {"\"Document Number\",Title,Subject,Product,Author,Reviewer\n", "line 1: field 1 is quoted"},
      {"Document Number;Title;Subject;Product;Author;Reviewer\n",
       "line 1: the header has 1 fields; it must begin with the six headings Document "
       "Number,Title,Subject,Product,Author,Reviewer; the list must be separated by commas, this "
       "one seems to use ';'"},
      {"Document Number\tTitle\tSubject\tProduct\tAuthor\tReviewer,x\n",
       "line 1: the header has 2 fields; it must begin with the six headings Document "
       "Number,Title,Subject,Product,Author,Reviewer; the list must be separated by commas, this "
       "one seems to use tabs"},
  };
  for (const auto& c : cases) {
    ScratchFolder scratch;
    write_file("list.csv", c.list);
    if (c.problem.empty()) {
      const std::vector<Process> processes = read_quietly("list.csv");
      ASSERT_EQ(processes.size(), 2u) << c.list;
      EXPECT_EQ(processes[0].title, "T");
      EXPECT_EQ(processes[1].number, "QL-2");
    } else {
      EXPECT_THAT(fatal_message_of([] { read_quietly("list.csv"); }),
                  testing::StartsWith("Rejected document list: list.csv: " + c.problem))
          << c.list;
    }
  }
}

TEST(ReadCsv, DataRowsBecomeProcesses) {
  ScratchFolder scratch;
  write_file("./DocumentList.csv",
             std::string(kHeader) + ",Corporate,Wide\r\n" +
                 ",,,,,,,\n"                                   // commas only: skipped
                 "\n"                                          // empty: skipped
                 " ,T0,S0,P0,A0,R0\n"                          // one blank: accepted
                 "QL-1 , Pump \t, Sub,Prod,Auth,Rev ,x,X\r\n"  // trimmed; both templates
                 "QL-2,Pump, Start,Sub,Prod,Auth,Rev\n"        // comma in the title
                 "QL-3,T,S,P,A,R, x,xx\n"                      // not exactly x
                 "QL-4,T,S,P,A,R,,X\n"
                 "QL-5,T,S,P,A,R");  // no line feed at the end
  const std::vector<Process> processes = read_quietly("");
  struct Expected {
    std::string number, title, subject, product, author, reviewer;
    std::vector<std::string> templates;
  };
  const Expected expected[] = {
      {"", "T0", "S0", "P0", "A0", "R0", {}},
      {"QL-1", "Pump", "Sub", "Prod", "Auth", "Rev", {"Corporate.css", "Wide.css"}},
      {"QL-2", "Pump", "Start", "Sub", "Prod", "Auth", {}},
      {"QL-3", "T", "S", "P", "A", "R", {}},
      {"QL-4", "T", "S", "P", "A", "R", {"Wide.css"}},
      {"QL-5", "T", "S", "P", "A", "R", {}},
  };
  ASSERT_EQ(processes.size(), std::size(expected));
  for (std::size_t i = 0; i < processes.size(); ++i) {
    const Process& p = processes[i];
    const Expected& e = expected[i];
    EXPECT_EQ(p.number, e.number) << e.number;
    EXPECT_EQ(p.title, e.title) << e.number;
    EXPECT_EQ(p.subject, e.subject) << e.number;
    EXPECT_EQ(p.product, e.product) << e.number;
    EXPECT_EQ(p.author, e.author) << e.number;
    EXPECT_EQ(p.reviewer, e.reviewer) << e.number;
    EXPECT_EQ(p.templates, e.templates) << e.number;
    EXPECT_EQ(p.process_type, Process{}.process_type) << e.number;
    EXPECT_EQ(p.subject_image, Process{}.subject_image) << e.number;
    EXPECT_TRUE(p.revisions.empty() && p.sections.empty()) << e.number;
  }
  EXPECT_FALSE(std::filesystem::exists("assets"));  // no assets folder: no stubs either
}

TEST(ReadCsv, UnreadableListsAreFatalStops) {
  ScratchFolder scratch;
  EXPECT_THAT(fatal_message_of([] { read_quietly(""); }),
              testing::StartsWith("Could not load lines: ./DocumentList.csv: "));
  write_file("bad.csv", std::string(kHeader) + "\nQL-1,T\xff,S,P,A,R\n");
  EXPECT_EQ(fatal_message_of([] { read_quietly("bad.csv"); }),
            "Could not load lines: bad.csv: line 2 is not valid UTF-8 text");
}

}  // namespace
}  // namespace morvalen
