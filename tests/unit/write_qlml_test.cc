#include "write_qlml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

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

Process named(std::string number, std::string title) {
  Process process;
  process.number = std::move(number);
  process.title = std::move(title);
  return process;
}

Process row(std::string number, std::string title, std::vector<std::string> templates = {}) {
  Process process = named(std::move(number), std::move(title));
  process.subject = "Pump P-101";
  process.product = "Running pump";
  process.author = "A. Author";
  process.reviewer = "R. Reviewer";
  process.templates = std::move(templates);
  return process;
}

TEST(WriteQlml, TemplateLines) {
  EXPECT_EQ(compose_template_lines(row("N", "T")), "//Template|Example.css");
  EXPECT_EQ(compose_template_lines(row("N", "T", {"Corporate.css"})), "Template|Corporate.css");
  EXPECT_EQ(compose_template_lines(row("N", "T", {"Corporate.css", "Wide.css"})),
            "Template|Corporate.css\nTemplate|Wide.css");
}

TEST(WriteQlml, DraftLinesReplacePlaceholdersInOrder) {
  struct Case {
    Process process;
    std::string prototype_line, expected;
  };
  const Case cases[] = {
      {row("QL-1", "Pump"), "Number | $NUMBER", "Number | QL-1\n"},
      {row("QL-1", "Pump"), "Title|$TITLE ($TITLE)", "Title|Pump (Pump)\n"},
      {row("QL-1", "Pump"), "Subject|$SUBJECT, Product|$PRODUCT",
       "Subject|Pump P-101, Product|Running pump\n"},
      {row("QL-1", "Pump"), "$AUTHOR/$REVIEWER", "A. Author/R. Reviewer\n"},
      {row("QL-1", "Pump"), "Step | Check the pump", "Step | Check the pump\n"},
      {row("QL-1", "Pump"), "", "\n"},
      {row("QL-$TITLE-2", "Pump"), "Number|$NUMBER", "Number|QL-Pump-2\n"},  // replaced in order
      {row("QL-1", "$NUMBER"), "Title|$TITLE", "Title|$NUMBER\n"},           // no second pass
      {row("QL-1", "Pump"), "Template|$TEMPLATE", "//Template|Example.css\n"},
      {row("QL-1", "Pump", {"Corporate.css", "Wide.css"}), "  Template|$TEMPLATE  ",
       "  Template|Corporate.css\nTemplate|Wide.css  \n"},
      {row("QL-1", "Pump"), "Template | $TEMPLATE",
       "Template | $TEMPLATE\n"},  // only the exact fragment
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compose_draft_line(c.prototype_line, c.process, compose_template_lines(c.process)),
              c.expected)
        << c.prototype_line << " / " << c.process.number;
  }
}

constexpr std::string_view kDraftFolder = "./QL-WI-0010 - Pump Start_Stop";
constexpr std::string_view kDraftPath =
    "./QL-WI-0010 - Pump Start_Stop/./QL-WI-0010 - Pump Start_Stop.qlml";

TEST(WriteQlml, WritesDraftPageAndBatchFileOnce) {
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

TEST(WriteQlml, ExistingFolderWithoutDraftReceivesItAndMissingBatchFileIsIgnored) {
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

TEST(WriteQlml, MissingPrototypeLeavesNothingBehind) {
  ScratchFolder scratch;
  std::filesystem::create_directory("assets");
  std::ostringstream out;
  EXPECT_THAT(fatal_message_of([&] { write_qlml(row("QL-1", "T"), false, out); }),
              testing::StartsWith("Could not load lines: ./assets/QLML-prototype.qlml: "));
  EXPECT_EQ(snapshot_tree("."), (std::map<std::string, std::string>{{"assets/", ""}}));
  // The next run, with the prototype in place, writes the draft.
  write_file("assets/QLML-prototype.qlml", "Number|$NUMBER\n");
  write_qlml(row("QL-1", "T"), false, out);
  EXPECT_EQ(read_whole_file("./QL-1 - T/./QL-1 - T.qlml"), "Number|QL-1\n");
}

TEST(WriteQlml, DraftThatCannotBeCreatedIsAFatalStop) {
  ScratchFolder scratch;
  write_file("assets/QLML-prototype.qlml", "Number|$NUMBER\n");
  write_file("QL-1 - T", "a plain file where the folder should be");
  std::ostringstream out;
  EXPECT_THAT(fatal_message_of([&] { write_qlml(row("QL-1", "T"), false, out); }),
              testing::StartsWith("Could not open the file!: ./QL-1 - T/./QL-1 - T.qlml: "));
}

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

TEST(WriteQlml, FailedWriteLeavesNoPartialDraft) {
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

}  // namespace
}  // namespace morvalen
