// The built binary's -w action on small libraries: the page, the console and failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::read_whole_file;
using testing_support::run_morvalen_binary;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::source_dir;
using testing_support::write_file;

// The two documents whose menu is tests/golden/webmenu_two_processes.html.
constexpr const char* kPumpDocument =
    "Number | QL-WI-0010\n"
    "Title | Pump Start/Stop & Check\n"
    "Revision | C | Limits tightened\n"
    "Revision | B | Steps reordered\n"
    "Revision | A | Initial\n"
    "Subject | Pump P-101\n"
    "Author | Ada Author\n"
    "Reviewer | Rex Reviewer\n"
    "Section | Start\n"
    "    Step | Prepare\n"
    "        Objective |Start the pump\n"
    "        Out of Scope |Pump maintenance\n"
    "        Verification | REQ-001 | Pressure held | I\n"
    "        Resource |Multimeter\n"
    "        Command | ls -l | wc -l\n"
    "    Step | Run\n"
    "        Verification | REQ-002 | Flow reached | Test\n"
    "        Command | echo started\n"
    "Section | Stop\n"
    "    Step | Stop\n"
    "        Objective |Stop the pump\n"
    "        Verification | REQ-003 | Stops on demand | D\n"
    "        Resource | Torque wrench \n"
    "        Command | echo stopped\n"
    "        Context | not a command\n";
constexpr const char* kLeakDocument =
    "Number | QL-TP-0200\n"
    "Title | Leak <test>\n";

constexpr const char* kVerboseTail =
    "[E] Attempting to write the top of the HTML file...success!\n"
    "[F] Attempting to write the head of the HTML file, including all CSS and Javascript...success!\n"
    "[G] Attempting to write the body of the HTML file, including everything that appears on screen...success!\n"
    "[H] Attempting to write the bottom of the HTML file...success!\n"
    "\n\n"
    "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX\n"
    "XX LIBRARY VISUALIZER          XX\n"
    "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX\n";

void write_document(const std::string& root, const std::string& folder, const std::string& text) {
  write_file(root + "/" + folder + "/" + folder + ".qlml", text);
}

std::string verbose_head(const std::string& name) {
  return "\n[A] Attempting to edit WebMenu.html...success! WebMenu.html is open for editing.\n"
         "[B] Attempting to create new Library struct...success! New Library struct created.\n"
         "[C] Attempting to change the name of the Library to this folder's name...success! New name: " +
         name + "\n[D] Attempting list of all folders (excluding 'assets')...";
}

TEST(WebmenuEndToEnd, TwoProcessLibraryGivesTheGoldenPage) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Plant Library";
  fs::create_directories(root + "/assets");
  write_document(root, "QL-WI-0010 - Pump Start_Stop _ Check", kPumpDocument);
  write_document(root, "QL-TP-0200 - Leak _test_", kLeakDocument);
  write_file(root + "/DocumentList.csv", "plain files are not listed\n");

  const auto result = run_morvalen_binary({"-w"}, root);
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");

  // The rows follow the byte order of the folder names.
  EXPECT_EQ(read_whole_file(root + "/WebMenu.html"),
            read_whole_file(source_dir() + "/tests/golden/webmenu_two_processes.html"));
}

TEST(WebmenuEndToEnd, EmptyLibraryVerbose) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/ Empty Shelf ";
  fs::create_directories(root + "/assets");
  write_file(root + "/assets/assets.qlml", "Number | never read\n");
  write_file(root + "/WebMenu.html", "an older menu\n");

  const auto result = run_morvalen_binary({"-w", "-v"}, root);
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, verbose_head("Empty Shelf") +
                            "success! Folders found, now look for files to process:\n" +
                            kVerboseTail + " -> Name:       Empty Shelf\n -> Processes:\n\n\n");
  const std::string page = read_whole_file(root + "/WebMenu.html");
  EXPECT_THAT(page, testing::HasSubstr("<title>&#x1F4DA; Empty Shelf &#x1F4DA;</title>"));
  EXPECT_THAT(page, testing::HasSubstr("<p>Process Library with 0 processes.</p>"));
  EXPECT_THAT(page, testing::HasSubstr("\t\t\t\t<tbody>\n\t\t\t\t</tbody>\n"));
  EXPECT_THAT(page, testing::EndsWith("</html>\n"));
  // Nothing but the page changed: no temporary file stays behind.
  EXPECT_EQ(snapshot_tree(root).size(), 3u);
}

TEST(WebmenuEndToEnd, VerboseLinesForTwoFolders) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Lib";
  write_document(root, "A", "Number | NA\nTitle | Alpha\n");
  write_document(root, "Assets", "Number | NB\nTitle | Beta\n");
  const std::vector<std::string> order = {"A", "Assets"};

  const auto result = run_morvalen_binary({"-v", "-w"}, root);
  ASSERT_EQ(result.exit_status, 0) << result.err;
  std::string expected = verbose_head("Lib") + order[0] + "\n" + order[1] + "\n" +
                         "success! Folders found, now look for files to process:\n";
  for (const std::string& folder : order) {
    expected += "\t" + folder + "\n\t\t-> " + folder + "/" + folder + ".qlml" +
                "\n\t\t-> processed \n\t\t-> added to Library\n";
  }
  expected += std::string(kVerboseTail) + " -> Name:       Lib\n -> Processes:\n";
  for (const std::string& folder : order) expected += folder == "A" ? "    -> NA\n" : "    -> NB\n";
  expected += "\n\n";
  EXPECT_EQ(result.out, expected);
}

TEST(WebmenuEndToEnd, RowsFollowTheDocumentNotTheFolderName) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Lib";
  write_document(root, "Old Name", "Number | QL-WI-0099\nTitle | Renamed: now/then\n");
  const auto result = run_morvalen_binary({"-w"}, root);
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::string page = read_whole_file(root + "/WebMenu.html");
  EXPECT_THAT(page, testing::HasSubstr("<p>Process Library with 1 processes.</p>"));
  EXPECT_THAT(
      page,
      testing::HasSubstr(
          "<a href=\"./QL-WI-0099 - Renamed_ now_then/./QL-WI-0099 - Renamed_ now_then.qlml\">"));
  EXPECT_THAT(page, testing::HasSubstr("<td class=\"col04\">Renamed: now/then</td>"));
  EXPECT_THAT(page, testing::Not(testing::HasSubstr("Old Name")));
}

// A library kept under version control or opened in an editor: its hidden folders without
// a document are skipped (with -v, a line says so); a hidden folder holding its document
// is a process folder. The rows come in byte order of the folder names, whatever order
// the folders were made in.
TEST(WebmenuEndToEnd, HiddenFoldersAndTheOrderOfRows) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Lib";
  for (const char* folder : {"QL-3 - C", "QL-20 - B", "QL-1 - A", ".QL-0 - Hidden"}) {
    write_document(root, folder, "Number | N" + std::string(folder) + "\n");
  }
  write_file(root + "/.git/HEAD", "ref: refs/heads/main\n");
  fs::create_directories(root + "/.svn/pristine");

  const auto result = run_morvalen_binary({"-v", "-w"}, root);
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.out,
              testing::HasSubstr(
                  "'assets')....QL-0 - Hidden\nQL-1 - A\nQL-20 - B\nQL-3 - C\nsuccess! "
                  "Folders found, now look for files to process:\n"
                  "Skipped the hidden folder .git: it holds no document .git/.git.qlml\n"
                  "Skipped the hidden folder .svn: it holds no document .svn/.svn.qlml\n\t"));
  const std::string page = read_whole_file(root + "/WebMenu.html");
  std::vector<std::size_t> rows;
  for (const char* folder : {".QL-0 - Hidden", "QL-1 - A", "QL-20 - B", "QL-3 - C"}) {
    rows.push_back(page.find("<td class=\"col02\">N" + std::string(folder) + "</td>"));
  }
  EXPECT_NE(rows.front(), std::string::npos);
  EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end())) << page;
  EXPECT_THAT(page, testing::HasSubstr("<p>Process Library with 4 processes.</p>"));
}

TEST(WebmenuEndToEnd, StrayFolderKeepsThePreviousMenu) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Lib";
  write_document(root, "Good", "Number | G\n");
  fs::create_directories(root + "/Stray");
  write_file(root + "/Stray/notes.txt", "no document here\n");
  write_file(root + "/WebMenu.html", "the previous menu\n");
  const auto before = snapshot_tree(root);

  const auto result = run_morvalen_binary({"-w"}, root);
  EXPECT_EQ(result.exit_status, 101);
  EXPECT_THAT(result.err, testing::StartsWith("Could not load lines: ./Stray/Stray.qlml: "));
  EXPECT_EQ(snapshot_tree(root), before);
}

}  // namespace
}  // namespace morvalen
