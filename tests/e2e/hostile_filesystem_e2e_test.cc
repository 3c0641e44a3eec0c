// The built binary on hostile file systems: link loops, linked process folders, unreadable
// files and folders, a full disk, a browser that is missing or crashes.
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <thread>

#include "hostile_library.h"

namespace morvalen::hostile {
namespace {

const std::string kFolder = "QL-1 - Pump";
const std::string kDocument = "./" + kFolder + "/" + kFolder + ".qlml";
const std::string kPage = "lib/" + kFolder + "/" + kFolder + ".html";
const std::string kSound =
    "Title | Pump\nNumber | QL-1\nRevision | B\nSection | S\nStep | T\nCommand | ls\n";

using HostileFiles = HostileLibrary;

TEST_F(HostileFiles, LinkLoopsEndEveryWalk) {
  put_document(kFolder, kSound);
  fs::create_directories("lib/sub/deeper");
  fs::create_directory_symlink("..", "lib/sub/deeper/up");  // lib/sub/deeper/up -> lib/sub
  fs::create_directory_symlink(".", "lib/sub/self");        // lib/sub/self -> lib/sub
  fs::create_directory_symlink("../../assets", "lib/assets/hazards");  // assets inside assets
  fs::create_symlink("ring-b", "lib/" + kFolder + "/ring-a");          // a loop of plain links
  fs::create_symlink("ring-a", "lib/" + kFolder + "/ring-b");

  // The cleanup reads no documents, so every name the walk yields is harmless to it.
  for (const std::string pattern : {"**/QL-1*", "sub/**/x*", "**/*/QL*", "**/up/**/QL*"}) {
    SCOPED_TRACE(pattern);
    const RunResult result = run({"-v", "-c", pattern});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_THAT(result.out, StartsWith("["));
  }
  // The archive copies the assets folder with its link to itself, and the process folder
  // with its loop of links.
  const RunResult result = run({"-p", "QL-1", "-a", "QL-1", "-c", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  bool archived = false;
  for (const auto& entry : fs::directory_iterator("lib/" + kFolder + "/previous")) {
    archived |= fs::exists(entry.path() / (kFolder + ".qlml"));
  }
  EXPECT_TRUE(archived);
}

TEST_F(HostileFiles, LinkedProcessFolders) {
  // A process folder that is a link to a folder elsewhere in the library is used through
  // the link.
  write_file("lib/store/real/" + kFolder + ".qlml", kSound);
  fs::create_directory_symlink("store/real", "lib/" + kFolder);
  RunResult result = run({"-p", "QL-1", "-a", "QL-1", "-c", "QL-1", "-i", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(fs::is_symlink("lib/" + kFolder));
  EXPECT_TRUE(fs::exists("lib/store/real/" + kFolder + ".html"));
  EXPECT_TRUE(fs::exists("lib/store/real/previous/assets/morvalen.css"));

  // A link that leads nowhere is a document that cannot be read; one to a plain file too.
  fs::create_directory_symlink("missing", "lib/QL-2 - Dangling");
  result = run({"-i", "QL-2"});
  expect_fatal(result,
               {"Could not load lines: ./QL-2 - Dangling/QL-2 - Dangling.qlml", "No such file"});
  write_file("lib/plain", "not a folder");
  fs::create_symlink("plain", "lib/QL-3 - File");
  result = run({"-p", "QL-3"});
  expect_fatal(result, {"Could not load lines: ./QL-3 - File/QL-3 - File.qlml", "Not a directory"});

  // An archive entry that links outside the library is removed as a link by the cleanup;
  // what it points at stays.
  write_file("outside/precious/data.txt", "precious");
  fs::create_directory_symlink("../../../outside/precious",
                               "lib/store/real/previous/Rev_B_UTC-2000-01-01-T00-00-00");
  result = run({"-c", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_FALSE(fs::exists("lib/store/real/previous/Rev_B_UTC-2000-01-01-T00-00-00"));
  EXPECT_EQ(read_whole_file("outside/precious/data.txt"), "precious");
}

// A pipe where a document, a table file, a list or the prototype should be would block
// every read for ever: it is refused at once.
TEST_F(HostileFiles, PipesAreRefusedAtOnce) {
  put_document(kFolder, kSound + "CSVFILE | t.csv\n");
  ASSERT_EQ(::mkfifo(("lib/" + kFolder + "/t.csv").c_str(), 0644), 0);
  RunResult result = run({"-p", "QL-1"});
  expect_fatal(result,
               {"Could not load lines: " + kDocument + ":7: CSVFILE t.csv: not a regular file"});

  fs::remove_all("lib/" + kFolder);
  fs::create_directory("lib/QL-2 - Valve");
  ASSERT_EQ(::mkfifo("lib/QL-2 - Valve/QL-2 - Valve.qlml", 0644), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-i", "QL-2"},
                                               {"-p", "QL-2"},
                                               {"-a", "QL-2"},
                                               {"-s", "QL-2", "bash", "false"},
                                               {"-w"}}) {
    result = run(args);
    expect_fatal(result,
                 {"Could not load lines: ./QL-2 - Valve/QL-2 - Valve.qlml: not a regular file"});
  }
  fs::remove_all("lib/QL-2 - Valve");

  ASSERT_EQ(::mkfifo("lib/list.csv", 0644), 0);
  result = run({"-l", "list.csv"});
  expect_fatal(result, {"Could not load lines: list.csv: not a regular file"});
  fs::remove("lib/list.csv");
  write_file("lib/list.csv",
             "Document Number,Title,Subject,Product,Author,Reviewer\nQL-9,N,s,p,a,r\n");
  fs::remove("lib/assets/QLML-prototype.qlml");
  ASSERT_EQ(::mkfifo("lib/assets/QLML-prototype.qlml", 0644), 0);
  result = run({"-l", "list.csv"});
  expect_fatal(result, {"Could not load lines: ./assets/QLML-prototype.qlml: not a regular file"});
  EXPECT_FALSE(fs::exists("lib/QL-9 - N"));
}

// Folder names as long as a name may be with ".qlml" after it (250 bytes): temporaries are
// short, so drafts, renders and the menu work with them.
TEST_F(HostileFiles, LongestFolderNamesWork) {
  const std::string title(243, 'x');
  const std::string folder = "QL-L - " + title;
  ASSERT_EQ(folder.size(), 250u);
  write_file("lib/list.csv",
             "Document Number,Title,Subject,Product,Author,Reviewer\nQL-L," + title + ",s,p,a,r\n");
  RunResult result = run({"-l", "list.csv"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(fs::exists("lib/" + folder + "/" + folder + ".html"));
  // The prototype makes the title the revision, too long for an archive folder's name.
  put_document(folder, "Title | " + title + "\nNumber | QL-L\nRevision | A\n");
  result = run({"-p", "QL-L", "-w"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(read_whole_file("lib/" + folder + "/" + folder + ".pdf"), "%PDF-1.4 stand-in %%EOF");
  EXPECT_THAT(read_whole_file("lib/WebMenu.html"), HasSubstr(title));
}

// Permissions do not bind root: these run the binary as "nobody".
class HostileUnreadable : public HostileLibrary {
 protected:
  void SetUp() override {
    HostileLibrary::SetUp();
    if (as_nobody().empty()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    put_document(kFolder, kSound + "CSVFILE | t.csv\n");
    write_file("lib/" + kFolder + "/t.csv", "a,b\n");
    put_document("QL-2 - Valve", "Title | Valve\nNumber | QL-2\n");
    fs::permissions(scratch(), fs::perms::all);
    open_to_everyone(lib());
  }
  RunResult run_as_nobody(const std::vector<std::string>& args) { return run(args, as_nobody()); }
};

TEST_F(HostileUnreadable, UnreadableDocumentTableAndFolder) {
  RunResult result = run_as_nobody({"-i", "QL-*"});
  ASSERT_EQ(result.exit_status, 0) << result.err;  // the user can read everything so far

  fs::permissions("lib/" + kFolder + "/t.csv", fs::perms::none);
  result = run_as_nobody({"-p", "QL-1"});
  expect_fatal(
      result, {"Could not load lines: " + kDocument + ":", ": CSVFILE t.csv: Permission denied\n"});
  EXPECT_FALSE(fs::exists(kPage));

  fs::permissions("lib/" + kFolder + "/" + kFolder + ".qlml", fs::perms::none);
  result = run_as_nobody({"-i", "QL-1"});
  expect_fatal(result, {"Could not load lines: " + kDocument, "Permission denied"});

  // A folder that cannot be listed is reported and skipped by the walk (the cleanup reads
  // no document, so the walk's matches inside the other folder do no harm).
  fs::permissions("lib/" + kFolder, fs::perms::none);
  result = run_as_nobody({"-v", "-c", "**/QL-2*"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr(kFolder));
  EXPECT_THAT(result.out, HasSubstr("\"QL-2 - Valve.qlml\""));
}

TEST_F(HostileUnreadable, UnwritableFoldersStopWithTheirPath) {
  // The process folder is read-only: the page cannot be written.
  fs::permissions("lib/QL-2 - Valve", fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
  RunResult result = run_as_nobody({"-p", "QL-2"});
  expect_fatal(result, {"./QL-2 - Valve/QL-2 - Valve.html", "Permission denied"});

  // The library root is read-only: no draft folder can be made.
  write_file("lib/list.csv",
             "Document Number,Title,Subject,Product,Author,Reviewer\nQL-9,New,s,p,a,r\n");
  fs::permissions("lib/list.csv", fs::perms::all);
  fs::permissions(lib(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  result = run_as_nobody({"-l", "list.csv"});
  expect_fatal(result,
               {"Could not open the file!: ./QL-9 - New/./QL-9 - New.qlml", "Permission denied"});
  EXPECT_FALSE(fs::exists("lib/QL-9 - New"));
}

// An old PDF that may not be written stays, and the warning says why, one document or many.
TEST_F(HostileUnreadable, ReadOnlyOldPdfStaysWithTheReason) {
  const std::string pdf = "lib/" + kFolder + "/" + kFolder + ".pdf";
  for (const std::string pattern : {"QL-1", "QL-*"}) {
    write_file(pdf, "%PDF old %%EOF");
    fs::permissions(pdf, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const RunResult result = run_as_nobody({"-p", pattern});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr("warning: no PDF was produced for ./" + kFolder + "/" +
                                      kFolder + ".pdf: writing it failed: Permission denied\n"));
    EXPECT_EQ(read_whole_file(pdf), "%PDF old %%EOF");
    fs::remove(pdf);
  }
}

// A stand-in browser that crashes: the run warns about each missing PDF, archives, and
// ends with 0; with no browser at all the run stops after the page.
TEST_F(HostileFiles, BrowserCrashingOrMissing) {
  put_document(kFolder, kSound);
  put_document("QL-2 - Valve", "Title | Valve\nNumber | QL-2\n");
  set_browser(kCrashingBrowser);
  RunResult result = run({"-p", "QL-*"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.err, HasSubstr("warning: no PDF was produced for " +
                                    kDocument.substr(0, kDocument.size() - 5) + ".pdf"));
  EXPECT_THAT(result.err,
              HasSubstr("warning: no PDF was produced for ./QL-2 - Valve/QL-2 - Valve.pdf"));
  EXPECT_TRUE(fs::exists(kPage));
  EXPECT_TRUE(fs::exists("lib/" + kFolder + "/previous"));

  // A browser that prints nothing and hangs on after writing a bad file.
  set_browser(
      "#!/bin/sh\nfor a in \"$@\"; do case \"$a\" in --print-to-pdf=*) : > \"${a#--print-to-pdf=}\";; esac; done\nexit 0\n");
  result = run({"-p", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.err, HasSubstr("warning: no PDF was produced"));

  // No browser: a "chromium" that is not executable is no browser either.
  fs::permissions("bin/chromium", fs::perms::owner_read);
  const std::vector<std::string> no_browser = {"/usr/bin/env", "PATH=" + scratch() + "/bin"};
  result = run({"-p", "QL-1", "-i", "QL-1"}, no_browser);
  expect_fatal(result, {"failed to execute process: ", "chromium"});
  EXPECT_EQ(result.out, "");
}

// The disk fills up while the page, a draft, a script or the menu is written. A small
// file system is mounted over the library (in a mount namespace of this test process
// only) and filled; where mounting is impossible the case is skipped, and the /dev/full
// cases below still run.
class HostileFullDisk : public HostileLibrary {
 protected:
  void SetUp() override {
    HostileLibrary::SetUp();
    put_document(kFolder, kSound);
    write_file("lib/list.csv",
               "Document Number,Title,Subject,Product,Author,Reviewer\nQL-9,New,s,p,a,r\n");
    write_file("lib/WebMenu.html", "earlier menu");
    write_file(kPage, "earlier page");
    fs::rename("lib", "staged");
    fs::create_directory("lib");
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", lib().c_str(), "tmpfs", 0, "size=512k") != 0) {
      fs::remove("lib");
      fs::rename("staged", "lib");
      GTEST_SKIP() << "cannot mount a small file system here";
    }
    mounted_ = true;
    fs::copy("staged", "lib", fs::copy_options::recursive);
    fs::remove_all("staged");
    fill();
  }
  // Fills the file system to the last byte.
  void fill() {
    std::FILE* filler = std::fopen("lib/.filler", "ab");
    const std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    }
    std::fclose(filler);
    filler = std::fopen("lib/.filler", "ab");
    while (std::fputc('f', filler) != EOF && std::fflush(filler) == 0) {
    }
    std::fclose(filler);
  }
  void TearDown() override {
    if (mounted_) ::umount(lib().c_str());
  }
  void make_room() { fs::remove("lib/.filler"); }
  bool mounted_ = false;
};

TEST_F(HostileFullDisk, PageWriteFailsNamingThePage) {
  RunResult result = run({"-p", "QL-1"});
  expect_fatal(result, {"./" + kFolder + "/" + kFolder + ".html", "No space left on device"});
  EXPECT_FALSE(fs::exists("lib/" + kFolder + "/previous"));  // stopped before the archive
  EXPECT_EQ(read_whole_file("lib/" + kFolder + "/" + kFolder + ".qlml"), kSound);
  make_room();
  result = run({"-p", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(read_whole_file(kPage), testing::EndsWith("</html>"));
}

// A PDF that does not fit leaves the old one in place with the system's reason; an archive
// that does not fit is removed and stops the run, so no cut-off archive outranks a good one.
TEST_F(HostileFullDisk, PdfAndArchiveAreCompleteOrAbsent) {
  const std::string pdf = "lib/" + kFolder + "/" + kFolder + ".pdf";
  make_room();
  write_file(pdf, "%PDF old %%EOF");
  write_file("lib/.spare", std::string(160 << 10, 's'));
  fill();
  fs::remove("lib/.spare");
  set_browser(
      "#!/bin/sh\nfor a in \"$@\"; do case \"$a\" in --print-to-pdf=*) pdf=\"${a#--print-to-pdf=}\";; esac; done\n"
      "[ -n \"$pdf\" ] || exit 1\n"
      "{ printf '%%PDF-1.4 '; head -c 400000 /dev/zero | tr '\\0' x; printf ' %%%%EOF'; } > \"$pdf\"\n");
  RunResult result = run({"-p", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.err, HasSubstr("warning: no PDF was produced for ./" + kFolder + "/" +
                                    kFolder + ".pdf: writing it failed: No space left on device"));
  EXPECT_EQ(read_whole_file(pdf), "%PDF old %%EOF");

  fill();
  const auto archives = [&] {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator("lib/" + kFolder + "/previous"))
      count += entry.path().filename() != "assets";
    return count;
  };
  const std::size_t before = archives();
  std::this_thread::sleep_for(std::chrono::seconds(1));  // a new archive, not the render's
  result = run({"-a", "QL-1"});
  expect_fatal(result, {"Could not archive ./" + kFolder + "/", "No space left on device"});
  EXPECT_EQ(archives(), before);
}

TEST_F(HostileFullDisk, DraftWriteFailsAndLeavesNoPartialDraft) {
  RunResult result = run({"-l", "list.csv"});
  expect_fatal(result, {"QL-9 - New", "No space left on device"});
  EXPECT_FALSE(fs::exists("lib/QL-9 - New/QL-9 - New.qlml"));
  make_room();
  result = run({"-l", "list.csv"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(read_whole_file("lib/QL-9 - New/QL-9 - New.qlml"), HasSubstr("Number|QL-9\n"));
}

TEST_F(HostileFullDisk, ScriptAndMenuWritesFailAndKeepTheEarlierMenu) {
  RunResult result = run({"-w"});
  if (result.exit_status == 0 && read_whole_file("lib/WebMenu.html") == "earlier menu") {
    GTEST_SKIP() << "this build has no menu action";
  }
  expect_fatal(result, {"WebMenu.html", "No space left on device"});
  EXPECT_EQ(read_whole_file("lib/WebMenu.html"), "earlier menu");
  result = run({"-s", "QL-1", "bash", "false"});
  expect_fatal(result, {"./" + kFolder + "/" + kFolder + ".sh", "No space left on device"});
}

// Outputs that are links to /dev/full: every write to them fails at once.
TEST_F(HostileFiles, WritesToAFullDeviceStopWithThePath) {
  // The page of a new draft.
  write_file("lib/list.csv",
             "Document Number,Title,Subject,Product,Author,Reviewer\nQL-9,New,s,p,a,r\n");
  fs::create_directory("lib/QL-9 - New");
  fs::create_symlink("/dev/full", "lib/QL-9 - New/QL-9 - New.html");
  RunResult result = run({"-l", "list.csv"});
  expect_fatal(result, {"./QL-9 - New/./QL-9 - New.html", "No space left on device"});

  // An exported script.
  put_document(kFolder, kSound);
  fs::create_symlink("/dev/full", "lib/" + kFolder + "/" + kFolder + ".sh");
  result = run({"-s", "QL-1", "bash", "false"});
  if (result.exit_status == 0 && result.err.empty() && result.out.empty())
    return;  // no script export yet
  expect_fatal(result, {"./" + kFolder + "/" + kFolder + ".sh", "No space left on device"});
}

}  // namespace
}  // namespace morvalen::hostile
