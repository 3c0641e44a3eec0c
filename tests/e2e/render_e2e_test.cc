// The render (-p), archive (-a) and cleanup (-c) actions run by the built binary, with the
// real Chromium where the PDF matters and a stand-in browser where only the run does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::StartsWith;
using testing_support::read_whole_file;
using testing_support::run_morvalen_binary;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::write_file;

const std::string kPump = "QL-WI-0010 - Pump Start_Stop";
const std::string kValve = "QL-WI-0020 - Valve Check";

// Writes the document of a process folder named "{number} - {folder_title}".
std::string write_document(const std::string& number, const std::string& title,
                           const std::string& revision, const std::string& folder_title) {
  const std::string name = number + " - " + folder_title;
  write_file(name + "/" + name + ".qlml",
             "Template | morvalen.css\nNumber | " + number + "\nTitle | " + title +
                 "\nAuthor | Rana Okafor\n" +
                 (revision.empty() ? "" : "Revision | " + revision + " | change\n") +
                 "Section | Preparation\n    Step | Open the valve\n"
                 "        Action | Open V-101 | Valve open | TPV\n");
  return name;
}

std::vector<std::string> archives_of(const std::string& name) {
  std::vector<std::string> archives;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(name + "/previous", error)) {
    if (entry.path().filename() != "assets") archives.push_back(entry.path().filename().string());
  }
  std::sort(archives.begin(), archives.end());
  return archives;
}

std::vector<std::string> files_of(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& [path, content] : snapshot_tree(folder)) files.push_back(path);
  return files;
}

// A browser stand-in named chromium in `folder`: appends "print {page}" and the archives
// present at that moment to log.txt, then writes a small PDF unless `writes_pdf` is false.
// Started without a PDF to print (to be kept open for many pages) it ends at once, so the
// render falls back to one browser per page.
void write_stand_in(const std::string& folder, bool writes_pdf) {
  const std::string path = folder + "/chromium";
  write_file(
      path,
      "#!/bin/sh\n"
      "for arg in \"$@\"; do case \"$arg\" in --print-to-pdf=*) pdf=\"${arg#--print-to-pdf=}\" ;; esac; done\n"
      "[ -n \"$pdf\" ] || exit 1\n"  // started to be driven over a pipe: refuse
      "for arg in \"$@\"; do page=\"$arg\"; done\n"
      "echo \"print $page\" >> \"$(dirname \"$0\")/log.txt\"\n"
      "ls -d */previous/Rev_* >> \"$(dirname \"$0\")/log.txt\" 2>/dev/null\n" +
          std::string(writes_pdf ? "printf '%%PDF-1.4 stand-in %%%%EOF' > \"$pdf\"\n"
                                 : "exit 1\n"));
  fs::permissions(path, fs::perms::owner_all);
}

class RenderEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    write_file("assets/morvalen.css", "body { font-family: sans-serif; }\n");
    write_file("assets/icons/pdf.png", "png");
    fs::create_directories("stand-in");
  }
  RunResult run(const std::vector<std::string>& args, bool stand_in = true) {
    return run_morvalen_binary(args, scratch_.path(),
                               stand_in ? scratch_.path() + "/stand-in" : "");
  }
  ScratchFolder scratch_;
};

TEST_F(RenderEndToEnd, OneDocumentGivesPagePdfAndArchiveWithChromium) {
  write_document("QL-WI-0010", "Pump Start/Stop", "B", "Pump Start_Stop");
  const RunResult result = run({"-v", "-p", "QL-WI-0010"}, false);
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  // A first render has no old page to delete.
  EXPECT_THAT(result.out, HasSubstr("[\"" + kPump + "\"]\nAttempting to process this file: ./" +
                                    kPump + "/" + kPump + ".qlml\n"));
  EXPECT_THAT(result.out, HasSubstr("\nAttempting to delete old HTML file: Err("));
  EXPECT_THAT(result.out, HasSubstr("Here's my command string to chrome:\n\n"));
  EXPECT_THAT(result.out, testing::ContainsRegex(" --headless --no-pdf-header-footer "
                                                 "--print-to-pdf=/[^ ]*/print.pdf "));
  EXPECT_THAT(result.out, HasSubstr(" '" + scratch_.path() + "/" + kPump + "/" + kPump +
                                    ".html'\n\n\nRevision: B\n"));

  const std::string pdf = kPump + "/" + kPump + ".pdf";
  const RunResult info = run_program({"pdfinfo", pdf}, scratch_.path());
  ASSERT_EQ(info.exit_status, 0) << info.err;
  const std::size_t pages_at = info.out.find("Pages:");
  ASSERT_NE(pages_at, std::string::npos);
  EXPECT_GE(std::stoi(info.out.substr(pages_at + 6)), 1);
  const RunResult text = run_program({"pdftotext", pdf, "-"}, scratch_.path());
  EXPECT_THAT(text.out, HasSubstr("Pump Start/Stop"));

  const std::vector<std::string> archives = archives_of(kPump);
  ASSERT_EQ(archives.size(), 1u);
  EXPECT_THAT(archives[0], StartsWith("Rev_B_UTC-"));
  EXPECT_EQ(files_of(kPump + "/previous/" + archives[0]),
            (std::vector<std::string>{kPump + ".html", kPump + ".pdf", kPump + ".qlml"}));
  EXPECT_EQ(read_whole_file(kPump + "/previous/" + archives[0] + "/" + kPump + ".pdf"),
            read_whole_file(pdf));
  EXPECT_EQ(read_whole_file(kPump + "/previous/assets/icons/pdf.png"), "png");
}

TEST(RenderExampleLibrary, EveryProcedurePrintsWithChromium) {
  ScratchFolder scratch;
  testing_support::copy_example_library(scratch.path());
  const RunResult result = run_morvalen_binary({"-p", "QL-*"}, scratch.path());
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(scratch.path())) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("QL-") && entry.is_directory()) names.push_back(name);
  }
  ASSERT_GE(names.size(), 2u);
  for (const std::string& name : names) {
    const std::string pdf = name + "/" + name + ".pdf";
    const RunResult info = run_program({"pdfinfo", pdf}, scratch.path());
    ASSERT_EQ(info.exit_status, 0) << name << info.err;
    EXPECT_GE(std::stoi(info.out.substr(info.out.find("Pages:") + 6)), 1) << name;
    const RunResult text = run_program({"pdftotext", pdf, "-"}, scratch.path());
    EXPECT_THAT(text.out, HasSubstr(name.substr(0, name.find(' '))))
        << name;  // the document number
    const std::vector<std::string> archives = archives_of(name);
    ASSERT_EQ(archives.size(), 1u) << name;
    EXPECT_EQ(read_whole_file(name + "/previous/" + archives[0] + "/" + name + ".pdf"),
              read_whole_file(pdf))
        << name;
  }
}

TEST_F(RenderEndToEnd, EachDocumentIsArchivedBeforeTheNextIsPrinted) {
  write_stand_in("stand-in", true);
  write_document("QL-WI-0010", "Pump Start/Stop", "B", "Pump Start_Stop");
  write_document("QL-WI-0020", "Valve Check", "A", "Valve Check");
  const RunResult result = run({"-p", "QL-WI-*"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::string log = read_whole_file("stand-in/log.txt");
  const std::string second_print =
      "print " + scratch_.path() + "/" + kValve + "/" + kValve + ".html\n";
  ASSERT_THAT(log, StartsWith("print " + scratch_.path() + "/" + kPump + "/" + kPump + ".html\n"));
  ASSERT_THAT(log, HasSubstr(second_print));
  EXPECT_THAT(log.substr(log.find(second_print)), HasSubstr(kPump + "/previous/Rev_B_UTC-"));
  EXPECT_THAT(log.substr(0, log.find(second_print)), testing::Not(HasSubstr("/previous/Rev_")));

  // A second render finds the old page and deletes it.
  const RunResult again = run({"-v", "-p", "QL-WI-0010"});
  EXPECT_THAT(again.out, HasSubstr("\nAttempting to delete old HTML file: Ok(())\n"));
}

TEST_F(RenderEndToEnd, NoBrowserOnPathStopsAfterThePage) {
  write_document("QL-WI-0010", "Pump Start/Stop", "B", "Pump Start_Stop");
  // PATH names only a folder without any browser.
  const RunResult result =
      run_program({"/usr/bin/env", "PATH=" + scratch_.path() + "/stand-in",
                   testing_support::morvalen_binary(), "-p", "QL-WI-0010", "-i", "QL-WI-0010"},
                  scratch_.path());
  EXPECT_EQ(result.exit_status, 101);
  EXPECT_THAT(result.err, StartsWith("failed to execute process: "));
  EXPECT_THAT(result.err, HasSubstr("chromium"));
  EXPECT_EQ(result.out, "");  // the inspect action never ran
  EXPECT_TRUE(fs::exists(kPump + "/" + kPump + ".html"));
  EXPECT_FALSE(fs::exists(kPump + "/" + kPump + ".pdf"));
  EXPECT_FALSE(fs::exists(kPump + "/previous"));
}

TEST_F(RenderEndToEnd, BrowserWithoutPdfIsAWarningAndTheRunGoesOn) {
  write_stand_in("stand-in", false);
  write_document("QL-WI-0010", "Pump Start/Stop", "B", "Pump Start_Stop");
  write_document("QL-WI-0020", "Valve Check", "A", "Valve Check");
  const RunResult result = run({"-p", "QL-WI-*"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.err, "warning: no PDF was produced for ./" + kPump + "/" + kPump +
                            ".pdf: the browser ended with exit status 1\n"
                            "warning: no PDF was produced for ./" +
                            kValve + "/" + kValve + ".pdf: the browser ended with exit status 1\n");
  for (const std::string& name : {kPump, kValve}) {
    const std::vector<std::string> archives = archives_of(name);
    ASSERT_EQ(archives.size(), 1u) << name;
    EXPECT_EQ(files_of(name + "/previous/" + archives[0]),
              (std::vector<std::string>{name + ".html", name + ".qlml"}));
  }
}

TEST_F(RenderEndToEnd, PagePathsReplaceOnlyTheExtension) {
  write_stand_in("stand-in", true);
  const std::string name = write_document("QL-1", "a.qlml b", "A", "a.qlml b");
  const RunResult result = run({"-p", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(fs::exists(name + "/" + name + ".html"));
  EXPECT_EQ(read_whole_file(name + "/" + name + ".pdf"), "%PDF-1.4 stand-in %%EOF");
  EXPECT_FALSE(fs::exists("QL-1 - a.html b"));
}

TEST_F(RenderEndToEnd, RenamedDocumentIsArchivedWhereItLies) {
  write_stand_in("stand-in", true);
  // The document was renumbered and retitled after its folder was made.
  const std::string old = write_document("QL-1", "New Title", "A", "Old Title");
  write_file(old + "/" + old + ".qlml", "Number | QL-2\nTitle | New Title\nRevision | A | x\n");
  const RunResult result = run({"-p", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.err,
            "warning: ./" + old + "/" + old +
                ".qlml names the process folder \"./QL-2 - New Title\" but lies in \"./" + old +
                "\"; archiving in \"./" + old + "\"\n");
  EXPECT_FALSE(fs::exists("QL-2 - New Title"));
  const std::vector<std::string> archives = archives_of(old);
  ASSERT_EQ(archives.size(), 1u);
  EXPECT_EQ(files_of(old + "/previous/" + archives[0]),
            (std::vector<std::string>{old + ".html", old + ".pdf", old + ".qlml"}));
}

TEST_F(RenderEndToEnd, ArchiveActionAloneAndVerbose) {
  const std::string name = write_document("QL-1", "T", "", "T");
  write_file(name + "/notes/keep.txt", "sub");
  const RunResult quiet = run({"-a", "QL-1"});
  EXPECT_EQ(quiet.exit_status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  const RunResult verbose = run({"-a", "QL-1", "-v"});
  const std::vector<std::string> archives = archives_of(name);
  ASSERT_GE(archives.size(), 1u);
  const std::string latest = archives.back();
  EXPECT_THAT(latest, StartsWith("Rev_QL-1_UTC-"));
  EXPECT_EQ(verbose.out,
            "[\"QL-1 - T\"]\nRevision: QL-1\nSystemTime::now() ...ish: " + latest.substr(9) +
                "\nTrying to create this folder: \"./QL-1 - T/previous/" + latest + "\"\n");
  EXPECT_EQ(files_of(name + "/previous/" + latest), (std::vector<std::string>{name + ".qlml"}));
}

TEST_F(RenderEndToEnd, CleanupKeepsTheLatestArchivePerRevisionFolderByFolder) {
  for (const std::string name : {"QL-1 - A", "QL-2 - B[1]", "QL-2 - B1"}) {
    for (const std::string archive :
         {"Rev_A_UTC-2024-05-01-T10-00-00", "Rev_A_UTC-2025-01-01-T09-00-00",
          "Rev_[1]_UTC-2023-01-01-T00-00-00", "Rev_1_UTC-2022-01-01-T00-00-00"}) {
      write_file(name + "/previous/" + archive + "/x.pdf", "pdf");
    }
    write_file(name + "/previous/assets/morvalen.css", "css");
  }
  const RunResult result = run({"-c", "QL-[12] - A*"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::string listing =
      "For this process, these are all the revisions: [\"1\", \"A\", \"[1]\"]\n"
      "\nHere are all of the archive folders for Rev 1:\n"
      "   💾 Rev_1_UTC-2022-01-01-T00-00-00 💾  << only one to be saved...\n"
      "\nHere are all of the archive folders for Rev A:\n"
      "      Rev_A_UTC-2024-05-01-T10-00-00 \x1b[93mDELETE\x1b[0m\n"
      "   💾 Rev_A_UTC-2025-01-01-T09-00-00 💾  << only one to be saved...\n"
      "\nHere are all of the archive folders for Rev [1]:\n"
      "   💾 Rev_[1]_UTC-2023-01-01-T00-00-00 💾  << only one to be saved...\n"
      "Attempting to delete Rev_A_UTC-2024-05-01-T10-00-00 ... \n";
  EXPECT_EQ(result.out, listing);
  EXPECT_EQ(archives_of("QL-1 - A").size(), 3u);
  EXPECT_EQ(archives_of("QL-2 - B[1]").size(), 4u);

  const RunResult both = run({"-v", "-c", "QL-2"});
  EXPECT_EQ(both.out, "[\"QL-2 - B1\", \"QL-2 - B[1]\"]\n" + listing + listing);
  EXPECT_EQ(archives_of("QL-2 - B[1]").size(), 3u);
  EXPECT_EQ(archives_of("QL-2 - B1").size(), 3u);
  EXPECT_EQ(read_whole_file("QL-2 - B1/previous/assets/morvalen.css"), "css");
}

}  // namespace
}  // namespace morvalen
