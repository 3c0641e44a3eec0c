// The built binary with -l: drafts from a document list, run once and again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "model.h"
#include "read_qlml.h"
#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::copy_example_library;
using testing_support::read_whole_file;
using testing_support::run_morvalen_binary;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::write_file;

constexpr std::string_view kPrototype =
    "Template|$TEMPLATE\n"
    "Title|$TITLE\n"
    "Number|$NUMBER\n"
    "Author|$AUTHOR\n"
    "Reviewer|$REVIEWER\n"
    "Subject|$SUBJECT\n"
    "Product|$PRODUCT\n"
    "Revision|0|Draft of $NUMBER\n"
    "Section|Preparation\n"
    "Step|Check the $SUBJECT\n"
    "Action|Look at $SUBJECT|It is there\n";

TEST(DraftsEndToEnd, ExampleListProducesDraftsWhosePagesRender) {
  ScratchFolder scratch;
  copy_example_library("lib");
  const auto before = snapshot_tree("lib");
  const auto first = run_morvalen_binary({"-l", "DocumentList.csv"}, scratch.path() + "/lib");
  ASSERT_EQ(first.exit_status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out, "");

  // Every new folder holds a draft, its page and the batch file.
  std::vector<std::string> folders;
  const auto after = snapshot_tree("lib");
  for (const auto& [name, content] : after) {
    if (before.count(name) != 0 || name.find('/') + 1 != name.size()) continue;
    const std::string folder = name.substr(0, name.size() - 1);
    SCOPED_TRACE(folder);
    const auto document = after.find(folder + "/" + folder + ".qlml");
    ASSERT_NE(document, after.end());
    EXPECT_THAT(document->second, testing::Not(testing::HasSubstr("$NUMBER")));
    const auto page = after.find(folder + "/" + folder + ".html");
    ASSERT_NE(page, after.end());
    EXPECT_THAT(page->second, testing::StartsWith("<!DOCTYPE html>"));
    EXPECT_THAT(page->second, testing::EndsWith("</html>"));
    EXPECT_EQ(after.count(folder + "/QuickLever.bat"), 1u);
    folders.push_back(folder);
  }
  // Four new rows; QL-WI-0010 is already in the library and left alone.
  EXPECT_EQ(folders.size(), 4u);
  EXPECT_EQ(after.count("QL-WI-0010 - Pump Start_Stop/QuickLever.bat"), 0u);

  // The drafts read back as filled documents, and their pages show no placeholder text.
  for (const std::string& folder : folders) {
    const Process draft = read_qlml("lib/" + folder + "/" + folder + ".qlml");
    EXPECT_EQ(draft.number, folder.substr(0, folder.find(" - "))) << folder;
    EXPECT_EQ(draft.templates.empty(), folder.find("QL-IN-0320") == 0) << folder;
    EXPECT_FALSE(draft.sections.empty()) << folder;
    EXPECT_FALSE(draft.revisions.empty()) << folder;
    EXPECT_THAT(read_whole_file("lib/" + folder + "/" + folder + ".html"),
                testing::Not(testing::HasSubstr("IN QLML FILE")))
        << folder;
  }

  // The same list again writes nothing.
  const auto second = run_morvalen_binary({"-l", "DocumentList.csv"}, scratch.path() + "/lib");
  EXPECT_EQ(second.exit_status, 0) << second.err;
  EXPECT_EQ(snapshot_tree("lib"), after);
}

TEST(DraftsEndToEnd, VerboseReportsRowsInOrder) {
  ScratchFolder scratch;
  write_file("assets/QLML-prototype.qlml", std::string(kPrototype));
  write_file("plan.csv",
             "Document Number,Title,Subject,Product,Author,Reviewer,Corporate\n"
             "QL-1,Pump Start/Stop,Pump,Running pump,Ann,Bo,x\n"
             "QL-2,Valve,Valve,Open valve,Ann,Bo\n"
             "QL-3,Fan,Fan,Fan,Ann,Bo\n");
  write_file("QL-2 - Valve/QL-2 - Valve.qlml", "Number|QL-2\n");  // already drafted
  const auto result = run_morvalen_binary({"-v", "-l", "plan.csv"}, scratch.path());
  ASSERT_EQ(result.exit_status, 0) << result.err;

  std::vector<Process> rows(3);
  const std::string fields[3][6] = {
      {"QL-1", "Pump Start/Stop", "Pump", "Running pump", "Ann", "Bo"},
      {"QL-2", "Valve", "Valve", "Open valve", "Ann", "Bo"},
      {"QL-3", "Fan", "Fan", "Fan", "Ann", "Bo"}};
  for (std::size_t i = 0; i < 3; ++i) {
    rows[i].number = fields[i][0];
    rows[i].title = fields[i][1];
    rows[i].subject = fields[i][2];
    rows[i].product = fields[i][3];
    rows[i].author = fields[i][4];
    rows[i].reviewer = fields[i][5];
  }
  rows[0].templates = {"Corporate.css"};
  std::ostringstream expected;
  expected << "Template identified: Corporate.css\n";
  for (const Process& row : rows) display_process_to_stdout(expected, row);
  expected << "Morvalen found 3 QLML files to create in the CSV file.\n";
  const std::string folders[3] = {"./QL-1 - Pump Start_Stop", "./QL-2 - Valve", "./QL-3 - Fan"};
  for (std::size_t i = 0; i < 3; ++i) {
    display_process_to_stdout(expected, rows[i]);
    const bool exists = i == 1;
    const std::string path = folders[i] + "/" + folders[i] + ".qlml";
    expected << "\n"
             << folders[i] << " folder already exists: " << (exists ? "true" : "false") << "\n"
             << path << " file already exists: " << (exists ? "true" : "false") << "\n"
             << "Path to the new file will be: " << path << "\n";
    if (exists) expected << "File already exists!\n\n";
  }
  EXPECT_EQ(result.out, expected.str());
  EXPECT_EQ(read_whole_file("QL-2 - Valve/QL-2 - Valve.qlml"), "Number|QL-2\n");
  EXPECT_THAT(read_whole_file("QL-1 - Pump Start_Stop/QL-1 - Pump Start_Stop.qlml"),
              testing::StartsWith("Template|Corporate.css\nTitle|Pump Start/Stop\nNumber|QL-1\n"));
  EXPECT_THAT(read_whole_file("QL-3 - Fan/QL-3 - Fan.qlml"),
              testing::StartsWith("//Template|Example.css\n"));
  EXPECT_EQ(
      read_whole_file("assets/Corporate.css"),
      "/* *******************************\n   Corporate.css\n   ******************************* */");
}

TEST(DraftsEndToEnd, RejectedListOrMissingPrototypeWritesNothing) {
  struct Case {
    std::string list;
    bool with_prototype;
    std::string message;
  };
  const Case cases[] = {
      {"Document Number,Title,Subject,Product,Author,Reviewer,Corporate\nQL-1,T,S,P,A,R,x\nQL-2,Pump, Start/Stop\n",
       true,
       "Rejected document list: plan.csv: line 3: the row has 3 fields instead of at least 6 (a comma inside a field splits it)\n"},
      {"Document Number,Title,Subject,Product,Author,Reviewer,../Corporate\nQL-1,T,S,P,A,R,x\n",
       true,
       "Rejected document list: plan.csv: line 1: the template column 7 is headed \"../Corporate\", which holds \"/\" or \"\\\" and so names no stylesheet of the assets folder\n"},
      {"Document Number,Title,Subject,Product,Author,Reviewer\nQL-1,T,S,P,A,R\n", false,
       "Could not load lines: ./assets/QLML-prototype.qlml: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    ScratchFolder scratch;
    std::filesystem::create_directory("assets");
    if (c.with_prototype) write_file("assets/QLML-prototype.qlml", std::string(kPrototype));
    write_file("plan.csv", c.list);
    const auto before = snapshot_tree(".");
    const auto result = run_morvalen_binary({"-l", "plan.csv", "-e"}, scratch.path());
    EXPECT_EQ(result.exit_status, 101) << c.list;
    EXPECT_EQ(result.err, c.message) << c.list;
    EXPECT_EQ(result.out, "") << c.list;  // the later action is not reached
    EXPECT_EQ(snapshot_tree("."), before) << c.list;
  }
}

}  // namespace
}  // namespace morvalen
