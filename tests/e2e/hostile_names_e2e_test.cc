// The built binary on numbers, titles, revisions and template names that hold path
// separators, "..", quotes, shell syntax, glob characters and HTML: every file stays in the
// library, in the process folder it belongs to, and no text is ever run.
#include "hostile_library.h"

namespace morvalen::hostile {
namespace {

using HostileNames = HostileLibrary;

// The fields of the rows below: each a number and a title to draft, render, archive,
// clean up and inspect.
const std::vector<std::pair<std::string, std::string>> kHostileRows = {
    {"QL-../../outside/dots", "../../outside/escape"},
    {"QL-a/b", "/etc/passwd"},
    {"QL-a\\b", "..\\..\\outside\\win"},
    {"QL-\"quoted\"", "'single' \"double\""},
    {"QL-$(touch PWNED-number)", "$(touch PWNED-title)"},
    {"QL-`touch PWNED-tick`", "`touch PWNED-title-tick`; touch PWNED-semicolon"},
    {"QL-[1]*?", "glob [a-z]* ? ** {x} !y"},
    {"QL-<b>html</b>", "<script>alert(1)</script> &amp; <!--"},
    {"QL-..", ".."},
    {"QL-  spaced  ", "  "},
};

std::vector<std::string> top_folders(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Nothing anywhere below the scratch folder was made by running the text as a command.
void expect_nothing_ran(const std::string& root) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    EXPECT_THAT(entry.path().filename().string(), Not(StartsWith("PWNED"))) << entry.path();
  }
}

TEST_F(HostileNames, DraftsRenderArchiveAndCleanupStayInTheirFolders) {
  std::string list =
      "Document Number,Title,Subject,Product,Author,Reviewer,$(touch PWNED-template),<i>x<i>\n";
  for (const auto& [number, title] : kHostileRows) {
    list += number + "," + title + ",$(touch PWNED-subject),<b>product</b>,`id`,r\"q\",x,X\n";
  }
  write_file("lib/list.csv", list);
  RunResult result = run({"-l", "list.csv"});
  ASSERT_EQ(result.exit_status, 0) << result.err;

  // One new folder per row, each directly in the library and holding its draft and page
  // under its own name; stubs only in the assets folder.
  const std::vector<std::string> folders = top_folders(lib());
  EXPECT_EQ(folders.size(), kHostileRows.size() + 1) << testing::PrintToString(folders);
  for (const std::string& folder : folders) {
    if (folder == "assets") continue;
    SCOPED_TRACE(folder);
    EXPECT_TRUE(fs::is_regular_file("lib/" + folder + "/" + folder + ".qlml"));
    EXPECT_TRUE(fs::is_regular_file("lib/" + folder + "/" + folder + ".html"));
    EXPECT_EQ(top_folders("lib/" + folder), std::vector<std::string>{});
  }
  EXPECT_TRUE(fs::exists("lib/assets/$(touch PWNED-template).css"));
  EXPECT_TRUE(fs::exists("lib/assets/<i>x<i>.css"));

  // Render and archive twice, a second apart (several archives per revision), clean up,
  // inspect: the revision of each draft is its hostile title.
  for (int round = 0; round < 2; ++round) {
    if (round > 0) ::sleep(1);
    result = run({"-p", "QL-*", "-a", "QL-*"});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
  }
  for (const std::string& folder : folders) {
    if (folder == "assets") continue;
    SCOPED_TRACE(folder);
    EXPECT_EQ(read_whole_file("lib/" + folder + "/" + folder + ".pdf"), "%PDF-1.4 stand-in %%EOF");
    std::vector<std::string> archives = top_folders("lib/" + folder + "/previous");
    // Archives made within one second share their folder: two or more, and the assets.
    EXPECT_GE(archives.size(), 3u) << testing::PrintToString(archives);
  }
  result = run({"-c", "QL-*"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  for (const std::string& folder : folders) {
    if (folder == "assets") continue;
    SCOPED_TRACE(folder);
    const std::vector<std::string> archives = top_folders("lib/" + folder + "/previous");
    ASSERT_EQ(archives.size(), 2u)
        << testing::PrintToString(archives);  // the latest and the assets
    EXPECT_EQ(archives[1], "assets");
    EXPECT_EQ(top_folders("lib/" + folder + "/previous/" + archives[0]),
              std::vector<std::string>{});
    EXPECT_TRUE(fs::exists("lib/" + folder + "/previous/" + archives[0] + "/" + folder + ".pdf"));
  }
  result = run({"-i", "QL-*"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  for (const auto& [number, title] : kHostileRows) {
    const std::string trimmed = number.substr(0, number.find_last_not_of(' ') + 1);
    EXPECT_THAT(result.out, HasSubstr("Document Number:          " + trimmed + "\n"));
  }
  expect_nothing_ran(scratch());
}

TEST_F(HostileNames, SeparatorsInTemplateHeadingsAreRefused) {
  const auto library_before = snapshot_tree(lib());
  for (const std::string heading : {"../../outside/evil", "..\\evil", "/tmp/evil", "evil/"}) {
    SCOPED_TRACE(heading);
    write_file("lib/list.csv", "Document Number,Title,Subject,Product,Author,Reviewer,Fine," +
                                   heading + "\nQL-1,Pump,p,q,a,r,x,x\n");
    const RunResult result = run({"-l", "list.csv"});
    expect_fatal(result, {"list.csv", "line 1", "evil", "holds \"/\" or \"\\\""});
    fs::remove("lib/list.csv");
    EXPECT_EQ(snapshot_tree(lib()), library_before);
  }
}

TEST_F(HostileNames, DocumentsNamingFilesOutsideTheirFolder) {
  const std::string folder = "QL-1 - Pump";
  const std::string base = "Title | Pump\nNumber | QL-1\nSection | S\nStep | T\n";
  for (const std::string name :
       {"../../outside/keep.txt", "/etc/passwd", "../QL-2 - Other/t.csv", ".."}) {
    SCOPED_TRACE(name);
    put_document(folder, base + "CSVFILE | " + name + " | caption\n");
    const RunResult result = run({"-p", "QL-1"});
    expect_fatal(result, {"Could not load lines: ./" + folder + "/" + folder + ".qlml", name});
    EXPECT_FALSE(fs::exists("lib/" + folder + "/" + folder + ".html"));
  }

  // Templates and images name files only as links of the page: never read, copied or run.
  put_document(folder,
               base +
                   "Template | ../../outside/keep.txt\nTemplate | $(touch PWNED)\"><script>\n"
                   "Image | ../../../etc/passwd | `touch PWNED-image`\n"
                   "Command | $(touch PWNED-command); rm -rf ..\n");
  const RunResult result = run({"-p", "QL-1", "-a", "QL-1", "-c", "QL-1", "-i", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(read_whole_file("lib/" + folder + "/" + folder + ".html"),
              HasSubstr("../assets/../../outside/keep.txt"));
  expect_nothing_ran(scratch());
}

TEST_F(HostileNames, HostileDocumentNumbersOnTheCommandLine) {
  put_document("QL-1 - Pump", "Title | Pump\nNumber | QL-1\n");
  struct Case {
    std::string pattern;
    int exit_status;  // of -i, -p and -a; the cleanup reads no document
    std::string err;
  };
  const std::vector<Case> cases = {
      // Matches outside the library are looked for as process folders of the library root.
      {"../outside/keep", 101, "Could not load lines: ./keep.txt/keep.txt.qlml: No such file"},
      {"/", 101, "Could not load lines: ./"},
      {"$(touch PWNED)", 0, ""},
      {"`touch PWNED`", 0, ""},
      {"QL-[1", 101, "Failed to read glob pattern"},
      {"QL-***", 101, "Failed to read glob pattern"},
      {"a**", 101, "Failed to read glob pattern"},
      {"\"", 0, ""},
  };
  for (const Case& item : cases) {
    for (const std::string option : {"-i", "-p", "-a", "-c"}) {
      SCOPED_TRACE(option + " " + item.pattern);
      const RunResult result = run({option, item.pattern});
      if (option == "-c" && item.err.starts_with("Could not")) {
        EXPECT_EQ(result.exit_status, 0) << result.err;
        continue;
      }
      EXPECT_EQ(result.exit_status, item.exit_status) << result.err;
      EXPECT_THAT(result.err, HasSubstr(item.err));
    }
  }
  expect_nothing_ran(scratch());
}

}  // namespace
}  // namespace morvalen::hostile
