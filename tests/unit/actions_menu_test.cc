// The -w action: the library scan and the menu written as it goes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "actions.h"
#include "read_qlml.h"
#include "test_support.h"
#include "write_webmenu.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::source_dir;
using testing_support::write_file;

// Runs `body` with the current folder set to `folder`, then goes back.
template <typename Body>
void inside(const std::string& folder, Body body) {
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  body();
  fs::current_path(previous);
}

TEST(MenuAction, LibraryNameIsTheTrimmedCurrentFolderName) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows drops blanks at the end of folder names";
#endif
  ScratchFolder scratch;
  struct Case {
    std::string folder, expected;
  };
  const Case cases[] = {{"Plant Library", "Plant Library"},
                        {"  Spaced\t ", "Spaced"},
                        {"\u00a0Caf\u00e9\u3000", "Caf\u00e9"}};
  for (const Case& c : cases) {
    fs::create_directory(c.folder);
    inside(c.folder, [&] { EXPECT_EQ(library_name(), c.expected) << c.folder; });
  }
}

TEST(MenuAction, LibraryNameFailures) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows names are UTF-16 and cannot be ill-formed UTF-8";
#endif
  ScratchFolder scratch;
  inside("/", [] { EXPECT_EQ(fatal_message_of([] { library_name(); }), "Naw1"); });
  fs::create_directory("bad\xff");
  inside("bad\xff", [] { EXPECT_EQ(fatal_message_of([] { library_name(); }), "Naw2"); });
}

// Every folder but "assets" and the hidden folders without their document, in ascending
// byte order: upper case before lower case, shorter prefix first, non-ASCII last. The
// folders are made in reverse of that order.
TEST(MenuAction, ListsProcessFoldersInByteOrder) {
#ifdef _WIN32
  GTEST_SKIP() << "links to folders need privileges on Windows";
#endif
  ScratchFolder scratch;
  for (const char* folder : {"\u00c9tude", "empty", "QL-9 - a", "QL-10 - b", "QL-10 - B", "QL-10",
                             "Assets", "assets", ".svn", ".hidden", ".git"}) {
    fs::create_directory(folder);
  }
  write_file(".hidden/.hidden.qlml", "Number | H\n");
  write_file(".git/HEAD", "ref: refs/heads/main\n");
  write_file("WebMenu.html", "old");
  write_file("DocumentList.csv", "x");
  fs::create_directory_symlink("QL-9 - a", "linked");
  const LibraryFolders found = scan_library_folders();
  EXPECT_EQ(found.process_folders,
            (std::vector<std::string>{".hidden", "Assets", "QL-10", "QL-10 - B", "QL-10 - b",
                                      "QL-9 - a", "empty", "linked", "\u00c9tude"}));
  EXPECT_EQ(found.skipped, (std::vector<std::string>{".git", ".svn"}));
  EXPECT_EQ(list_process_folders(), found.process_folders);
}

TEST(MenuAction, DanglingLinkIsABadPath) {
#ifdef _WIN32
  GTEST_SKIP() << "links to folders need privileges on Windows";
#endif
  ScratchFolder scratch;
  fs::create_directory_symlink("nowhere", "dangling");
  EXPECT_EQ(fatal_message_of([] { list_process_folders(); }),
            "that's not a good path?: ./dangling: No such file or directory");
}

// The action reads each document once and writes its row at once, in pieces; the page
// must be the one the full document model gives through the page writers, also when the
// rows outgrow one piece. The example procedures are copied under many folder names.
TEST(MenuAction, ActionPageEqualsThePageOfTheFullModels) {
  ScratchFolder scratch;
  fs::create_directory("Shelf");
  const std::string examples = source_dir() + "/examples/library";
  std::size_t copies = 0;
  for (const auto& entry : fs::directory_iterator(examples)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_directory() || name == "assets") continue;
    for (int copy = 0; copy < 60; ++copy) {
      const std::string folder = "Shelf/P" + std::to_string(copies++);
      fs::copy(entry.path(), folder, fs::copy_options::recursive);
      fs::rename(folder + "/" + name + ".qlml",
                 folder + "/" + fs::path(folder).filename().string() + ".qlml");
    }
  }
  ASSERT_GE(copies, 180u);
  inside("Shelf", [] {
    std::ostringstream console;
    generate_complete_webmenu(false, console);
    std::vector<Process> processes;
    for (const std::string& folder : list_process_folders()) {
      processes.push_back(read_qlml("./" + folder + "/" + folder + ".qlml"));
    }
    const std::string page = read_whole_file("WebMenu.html");
    EXPECT_GT(page.size(), std::size_t{1} << 18);  // more than one piece of rows
    std::ostringstream expected;
    write_complete_webmenu(expected, "Shelf", processes);
    EXPECT_EQ(page, expected.str());
    EXPECT_EQ(console.str(), "");
  });
}

}  // namespace
}  // namespace morvalen
