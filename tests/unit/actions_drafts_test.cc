// The -l action: stub stylesheets of the document list and one draft per row.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <filesystem>
#include <sstream>

#include "actions.h"
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
  std::ostringstream out;
  std::vector<Process> processes = read_csv(path, false, out);
  EXPECT_EQ(out.str(), "") << path;
  return processes;
}

Process row(std::string number, std::string title, std::vector<std::string> templates = {}) {
  Process process;
  process.number = std::move(number);
  process.title = std::move(title);
  process.templates = std::move(templates);
  return process;
}

TEST(DraftsAction, RejectedListsWriteNothing) {
  struct Case {
    std::string rows;
    std::string problem;
  };
  const Case cases[] = {
      {"QL-1,T,S,P,A,R,x\nQL-2,T,S,P,A\n", "line 3: the row has 5 fields instead of at least 6"},
      {"QL-1,T,S,P,A,R,x\n\nQL-2,T,S,P,A,R,,x\n",
       "line 4: column 8 selects a template with an x, but the header has only 7 columns"},
      {"QL-1,T,S,P,A,R,x\nQL-2\n", "line 3: the row has 1 fields"},
  };
  for (const Case& c : cases) {
    ScratchFolder scratch;
    std::filesystem::create_directory("assets");
    write_file("list.csv", std::string(kHeader) + ",Corporate\n" + c.rows);
    const auto before = snapshot_tree(".");
    EXPECT_THAT(fatal_message_of([] { read_quietly("list.csv"); }),
                testing::StartsWith("Rejected document list: list.csv: " + c.problem))
        << c.rows;
    EXPECT_EQ(snapshot_tree("."), before) << c.rows;  // the first row's stub is not written
  }
}

TEST(DraftsAction, StubStylesheetsForMissingTemplates) {
  ScratchFolder scratch;
  write_file("assets/Existing.css", "body {}\n");
  write_file("list.csv", std::string(kHeader) + ",Corporate, Wide,Existing,Unused\n" +
                             "QL-1,T,S,P,A,R,x,x,x\n"
                             "QL-2,T,S,P,A,R,X,,x\n");
  const std::vector<Process> processes = read_quietly("list.csv");
  ASSERT_EQ(processes.size(), 2u);
  EXPECT_EQ(processes[0].templates,
            (std::vector<std::string>{"Corporate.css", "Wide.css", "Existing.css"}));
  EXPECT_EQ(
      read_whole_file("assets/Corporate.css"),
      "/* *******************************\n   Corporate.css\n   ******************************* */");
  // The stub keeps the heading as written, blank included; the template name is trimmed.
  EXPECT_EQ(
      read_whole_file("assets/ Wide.css"),
      "/* *******************************\n    Wide.css\n   ******************************* */");
  EXPECT_EQ(read_whole_file("assets/Existing.css"), "body {}\n");
  EXPECT_EQ(snapshot_tree("assets").size(), 3u);  // no Unused.css, no temporary files
}

TEST(DraftsAction, VerboseNamesTemplatesAndSummarisesRows) {
  ScratchFolder scratch;
  write_file("DocumentList.csv",
             std::string(kHeader) + ", Corporate\nQL-1,T,S,P,A,R,x\nQL-2,U,S,P,A,R\n");
  std::ostringstream out;
  const std::vector<Process> processes = read_csv("", true, out);
  ASSERT_EQ(processes.size(), 2u);
  std::ostringstream expected;
  expected << "Template identified:  Corporate.css\n";
  display_process_to_stdout(expected, processes[0]);
  display_process_to_stdout(expected, processes[1]);
  EXPECT_EQ(out.str(), expected.str());
}

constexpr std::string_view kDraftFolder = "./QL-WI-0010 - Pump Start_Stop";
constexpr std::string_view kDraftPath =
    "./QL-WI-0010 - Pump Start_Stop/./QL-WI-0010 - Pump Start_Stop.qlml";

TEST(DraftsAction, WritesDraftPageAndBatchFileOnce) {
  ScratchFolder scratch;
  write_file("assets/QLML-prototype.qlml",
             "\xEF\xBB\xBFNumber|$NUMBER\r\nTitle|$TITLE\r\nTemplate|$TEMPLATE\r\n// end");
  write_file("assets/QuickLever.bat", "@echo off\r\n");
  const Process process = row("QL-WI-0010", "Pump Start/Stop", {"Corporate.css"});
  std::ostringstream out;
  write_qlml(process, true, out);
  EXPECT_EQ(out.str(), "\n" + std::string(kDraftFolder) + " folder already exists: false\n" +
                           std::string(kDraftPath) + " file already exists: false\n" +
                           "Path to the new file will be: " + std::string(kDraftPath) + "\n");
  // Line feeds only, however the prototype ends its lines; its byte-order mark is not copied.
  EXPECT_EQ(read_whole_file(std::string(kDraftPath)),
            "Number|QL-WI-0010\nTitle|Pump Start/Stop\nTemplate|Corporate.css\n// end\n");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::string(kDraftFolder) +
                                               "/QL-WI-0010 - Pump Start_Stop.html"));
  EXPECT_EQ(read_whole_file(std::string(kDraftFolder) + "/QuickLever.bat"), "@echo off\r\n");
  EXPECT_EQ(snapshot_tree(std::string(kDraftFolder)).size(), 3u);  // no temporary file left

  // A second run, even after the draft was edited, touches nothing.
  write_file(std::string(kDraftPath), "edited");
  const auto before = snapshot_tree(".");
  std::ostringstream again;
  write_qlml(process, true, again);
  EXPECT_EQ(again.str(), "\n" + std::string(kDraftFolder) + " folder already exists: true\n" +
                             std::string(kDraftPath) + " file already exists: true\n" +
                             "Path to the new file will be: " + std::string(kDraftPath) + "\n" +
                             "File already exists!\n\n");
  EXPECT_EQ(snapshot_tree("."), before);
}

TEST(DraftsAction, ExistingFolderWithoutDraftReceivesItAndMissingBatchFileIsIgnored) {
  ScratchFolder scratch;
  write_file("assets/QLML-prototype.qlml", "Number|$NUMBER\n");
  write_file(std::string(kDraftFolder) + "/notes.txt", "keep");
  std::ostringstream out;
  write_qlml(row("QL-WI-0010", "Pump Start/Stop"), false, out);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(read_whole_file(std::string(kDraftPath)), "Number|QL-WI-0010\n");
  EXPECT_EQ(read_whole_file(std::string(kDraftFolder) + "/notes.txt"), "keep");
  EXPECT_FALSE(std::filesystem::exists(std::string(kDraftFolder) + "/QuickLever.bat"));
}

TEST(DraftsAction, MissingPrototypeLeavesNothingBehind) {
  ScratchFolder scratch;
  std::filesystem::create_directory("assets");
  std::ostringstream out;
  EXPECT_THAT(fatal_message_of([&] { write_qlml(row("QL-1", "T"), false, out); }),
              testing::StartsWith("Could not load lines: ./assets/QLML-prototype.qlml: "));
  EXPECT_EQ(snapshot_tree("."), (std::map<std::string, std::string>{{"assets/", ""}}));
  // Nor does the whole action: the prototype is read before the stub of a selected template.
  write_file("list.csv",
             "Document Number,Title,Subject,Product,Author,Reviewer,Corp\nQL-1,T,s,p,a,r,x\n");
  EXPECT_THAT(fatal_message_of([&] { generate_drafts("list.csv", false, out); }),
              testing::StartsWith("Could not load lines: ./assets/QLML-prototype.qlml: "));
  EXPECT_FALSE(std::filesystem::exists("assets/Corp.css"));
  std::filesystem::remove("list.csv");
  // The next run, with the prototype in place, writes the draft.
  write_file("assets/QLML-prototype.qlml", "Number|$NUMBER\n");
  write_qlml(row("QL-1", "T"), false, out);
  EXPECT_EQ(read_whole_file("./QL-1 - T/./QL-1 - T.qlml"), "Number|QL-1\n");
}

TEST(DraftsAction, DraftThatCannotBeCreatedIsAFatalStop) {
  ScratchFolder scratch;
  write_file("assets/QLML-prototype.qlml", "Number|$NUMBER\n");
  write_file("QL-1 - T", "a plain file where the folder should be");
  std::ostringstream out;
  EXPECT_THAT(fatal_message_of([&] { write_qlml(row("QL-1", "T"), false, out); }),
              testing::StartsWith("Could not open the file!: ./QL-1 - T/./QL-1 - T.qlml: "));
}

#ifndef _WIN32
// Holds the file-size limit low (writes past it fail with EFBIG) for the scope's lifetime.
struct FileSizeLimit {
  rlimit previous{};
  explicit FileSizeLimit(rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit low = previous;
    low.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &low);
  }
  ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &previous); }
};

TEST(DraftsAction, FailedWriteLeavesNoPartialDraft) {
  ScratchFolder scratch;
  write_file("assets/QLML-prototype.qlml",
             "Context|" + std::string(200000, 'c') + "\nNumber|$NUMBER\n");
  std::ostringstream out;
  {
    FileSizeLimit limit(4096);
    EXPECT_THAT(fatal_message_of([&] { write_qlml(row("QL-1", "T"), false, out); }),
                testing::StartsWith(
                    "Could not write template line into new file!: ./QL-1 - T/./QL-1 - T.qlml: "));
  }
  for (const auto& [name, content] : snapshot_tree("./QL-1 - T"))
    ADD_FAILURE() << "left behind: " << name;
  write_qlml(row("QL-1", "T"), false, out);  // so the next run writes the draft
  EXPECT_EQ(read_whole_file("./QL-1 - T/./QL-1 - T.qlml").size(), 8u + 200000u + 1u + 12u);
}
#else
// A title whose folder name Windows would change stops the draft before anything is made.
TEST(DraftsAction, TitleWindowsWouldChangeIsRefused) {
  ScratchFolder scratch;
  write_file("assets/QLML-prototype.qlml", "Number|$NUMBER\n");
  std::ostringstream out;
  EXPECT_EQ(fatal_message_of([&] { write_qlml(row("QL-1", "Pump v2."), false, out); }),
            "Could not open the file!: ./QL-1 - Pump v2././QL-1 - Pump v2..qlml: the folder "
            "name \"QL-1 - Pump v2.\" ends in a dot or a blank, which Windows does not allow; "
            "change the title \"Pump v2.\" of QL-1");
  EXPECT_EQ(snapshot_tree(".").size(), 2u);  // assets/ and the prototype: no folder
}
#endif

}  // namespace
}  // namespace morvalen
