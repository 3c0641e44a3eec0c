// The DevTools pipe with the real Chromium, and with programs that are no browser at all.
#include "devtools_pipe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "names.h"
#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::read_whole_file;
using testing_support::run_program;
using testing_support::ScratchFolder;
using testing_support::write_file;

std::string find_chromium() {
  for (const char* name :
       {"chromium", "chromium-browser", "google-chrome", "google-chrome-stable"}) {
    const std::string path = run_program({"sh", "-c", std::string("command -v ") + name}, ".").out;
    if (!path.empty()) return path.substr(0, path.find('\n'));
  }
  return "";
}

std::string fresh_profile() {
  std::error_code error;
  return make_profile_folder(error);
}

BrowserStart start_chromium(const BrowserTimeouts& timeouts = {}) {
  const std::string profile = fresh_profile();
  return start_browser_session(devtools_pipe_command(find_chromium(), profile, ::geteuid() == 0),
                               profile, timeouts);
}

std::string page(const std::string& words) {
  return "<!DOCTYPE html><html><head><style>@page { size: A4 landscape; }</style></head><body>"
         "<h1>" +
         words + "</h1><div style=\"page-break-before: always\">second sheet</div></body></html>";
}

TEST(DevtoolsPipe, FileUrlEncodesWhatAUrlCannotHold) {
  struct Case {
    std::string_view path, url;
  };
  const Case cases[] = {
      {"/a/b.html", "file:///a/b.html"},
      {"/lib/QL-1 - Pump #2?/x.html", "file:///lib/QL-1%20-%20Pump%20%232%3F/x.html"},
      {"/é%\\.html", "file:///%C3%A9%25%5C.html"},
      {"C:/Lib/QL-1 - Pump/x.html", "file:///C:/Lib/QL-1%20-%20Pump/x.html"},
      {"z:\\a:b\\x.html", "file:///z:/a%3Ab/x.html"}};
  for (const Case& c : cases) EXPECT_EQ(file_url(std::string(c.path)), c.url) << c.path;
}

TEST(DevtoolsPipe, OneBrowserPrintsManyPagesAndSurvivesABadOne) {
  ScratchFolder scratch;
  ASSERT_FALSE(find_chromium().empty());
  BrowserStart start = start_chromium();
  ASSERT_TRUE(start.session) << start.problem << start.exec_error.message();
  BrowserSession& session = *start.session;
  const std::string profile = session.profile_folder;
  EXPECT_TRUE(std::filesystem::is_directory(profile));

  const std::string folder = scratch.path() + "/QL-1 - Pump #2 (é)";
  write_file(folder + "/a.html", page("Alpha words"));
  write_file(folder + "/b.html", page("Bravo words"));
  const struct {
    std::string html, pdf, text;
    PagePrint outcome;
  } prints[] = {
      {folder + "/a.html", folder + "/a.pdf", "Alpha words", PagePrint::Printed},
      {folder + "/missing.html", folder + "/missing.pdf", "", PagePrint::PageFailed},
      {folder + "/b.html", folder + "/b.pdf", "Bravo words", PagePrint::Printed},
  };
  for (const auto& print : prints) {
    EXPECT_EQ(print_page_to_pdf(session, print.html, print.pdf), print.outcome) << print.html;
    if (print.outcome != PagePrint::Printed) {
      EXPECT_FALSE(std::filesystem::exists(print.pdf)) << print.pdf;
      continue;
    }
    EXPECT_EQ(read_whole_file(print.pdf).substr(0, 5), "%PDF-") << print.pdf;
    const auto info = run_program({"pdfinfo", print.pdf}, ".");
    EXPECT_THAT(info.out, testing::ContainsRegex("Pages: +2\n")) << print.pdf;
    EXPECT_THAT(run_program({"pdftotext", print.pdf, "-"}, ".").out, testing::HasSubstr(print.text))
        << print.pdf;
  }
  // Nothing but the PDFs and the pages: no temporary file left beside them.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 4);

  end_browser_session(session);
  EXPECT_FALSE(std::filesystem::exists(profile));
  EXPECT_EQ(print_page_to_pdf(session, folder + "/a.html", folder + "/c.pdf"),
            PagePrint::BrowserLost);
}

TEST(DevtoolsPipe, ABrowserKilledMidRunIsLostNotFatal) {
  ScratchFolder scratch;
  BrowserStart start = start_chromium();
  ASSERT_TRUE(start.session) << start.problem;
  write_file("a.html", page("Alpha"));
  const std::string html = scratch.path() + "/a.html";
  ::kill(static_cast<pid_t>(subprocess_id(start.session->browser)), SIGKILL);
  // Writing to the dead browser's pipe must come back as a lost browser, not a SIGPIPE.
  EXPECT_EQ(print_page_to_pdf(*start.session, html, scratch.path() + "/a.pdf"),
            PagePrint::BrowserLost);
  EXPECT_EQ(subprocess_id(start.session->browser), -1);
  EXPECT_FALSE(std::filesystem::exists("a.pdf"));
}

TEST(DevtoolsPipe, NoBrowserOrNoPipeIsReportedWithinTheDeadline) {
  ScratchFolder scratch;
  const BrowserTimeouts quick{std::chrono::milliseconds(1500)};
  struct Case {
    std::vector<std::string> argv;
    bool exec_fails;
  };
  const Case cases[] = {{{scratch.path() + "/no-such-browser"}, true},
                        {{"/bin/true"}, false},         // ends at once: end of file
                        {{"/bin/sleep", "30"}, false},  // never answers: deadline
                        {{"/bin/sh", "-c", "cat <&3 >/dev/null"}, false}};  // reads, never writes
  for (const Case& c : cases) {
    const std::string profile = fresh_profile();
    const auto began = std::chrono::steady_clock::now();
    const BrowserStart start = start_browser_session(c.argv, profile, quick);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5)) << c.argv[0];
    EXPECT_FALSE(start.session) << c.argv[0];
    EXPECT_EQ(static_cast<bool>(start.exec_error), c.exec_fails) << c.argv[0];
    EXPECT_EQ(start.problem.empty(), c.exec_fails) << c.argv[0];
    EXPECT_FALSE(std::filesystem::exists(profile)) << c.argv[0];
  }
}

}  // namespace
}  // namespace morvalen
