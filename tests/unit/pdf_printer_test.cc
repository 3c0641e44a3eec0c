#include "pdf_printer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "browser_stand_ins.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::write_file;

void write_program(const std::string& path, const std::string& content) {
  write_file(path, content);
  fs::permissions(path, fs::perms::owner_all);
}

// PATH set for the lifetime of the value, then restored.
class PathVariable {
 public:
  explicit PathVariable(const std::string& value) {
    const char* old = std::getenv("PATH");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("PATH", value.c_str(), 1);
  }
  ~PathVariable() {
    if (had_) {
      ::setenv("PATH", old_.c_str(), 1);
    } else {
      ::unsetenv("PATH");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

// A browser stand-in: records its arguments one per line, whether its profile folder
// existed, and writes `pdf_content` to the --print-to-pdf path unless it is empty.
std::string stand_in(const std::string& pdf_content, int status) {
  std::string script =
      "#!/bin/sh\n"
      ": > \"$0.args\"\n"
      "for arg in \"$@\"; do printf '%s\\n' \"$arg\" >> \"$0.args\"; done\n"
      "for arg in \"$@\"; do\n"
      "  case \"$arg\" in\n"
      "    --user-data-dir=*) [ -d \"${arg#--user-data-dir=}\" ] && echo profile-exists > \"$0.profile\" ;;\n"
      "    --print-to-pdf=*) pdf=\"${arg#--print-to-pdf=}\" ;;\n"
      "  esac\n"
      "done\n"
      "echo noise; echo more noise >&2\n";
  if (!pdf_content.empty()) script += "printf '%s' '" + pdf_content + "' > \"$pdf\"\n";
  return script + "exit " + std::to_string(status) + "\n";
}

std::vector<std::string> recorded_args(const std::string& program) {
  std::vector<std::string> args{program};
  std::istringstream lines(read_whole_file(program + ".args"));
  for (std::string line; std::getline(lines, line);) args.push_back(line);
  return args;
}

TEST(PdfPrinter, FindsTheFirstBrowserNameOnPath) {
  ScratchFolder scratch;
  write_program("a/google-chrome", "#!/bin/sh\n");
  write_program("b/chromium", "#!/bin/sh\n");
  write_file("a/chromium-browser", "not executable");
  fs::create_directories("c/chromium");  // a folder is no program
  write_program("d/google-chrome-stable", "#!/bin/sh\n");
  const std::string root = scratch.path();
  const struct {
    std::string path;
    std::optional<std::string> expected;
  } cases[] = {
      {root + "/a:" + root + "/b", root + "/b/chromium"},  // name order before folder order
      {root + "/c:" + root + "/a", root + "/a/google-chrome"},
      {root + "/d", root + "/d/google-chrome-stable"},
      {root + "/c", std::nullopt},
      {"", std::nullopt},
      {"/nonexistent::", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(find_browser(c.path), c.expected) << c.path;
}

TEST(PdfPrinter, CommandLineAndQuoting) {
  EXPECT_EQ(
      print_command("/usr/bin/chromium", "/l/A/A.html", "/l/A/A.pdf", "/tmp/p", false),
      (std::vector<std::string>{"/usr/bin/chromium", "--headless", "--no-pdf-header-footer",
                                "--print-to-pdf=/l/A/A.pdf", "--user-data-dir=/tmp/p",
                                "--disable-background-networking", "--disable-component-update",
                                "--no-first-run", "--disable-sync", "/l/A/A.html"}));
  const std::vector<std::string> as_root = print_command("c", "h", "p", "d", true);
  EXPECT_EQ(as_root[5], "--no-sandbox");
  EXPECT_EQ(as_root.back(), "h");

  const struct {
    std::vector<std::string> argv;
    std::string_view expected;
  } cases[] = {
      {{"/usr/bin/chromium", "--print-to-pdf=/l/A.pdf"},
       "/usr/bin/chromium --print-to-pdf=/l/A.pdf"},
      {{"--print-to-pdf=/l/QL-1 - Alpha/QL-1 - Alpha.pdf"},
       "'--print-to-pdf=/l/QL-1 - Alpha/QL-1 - Alpha.pdf'"},
      {{"it's"}, "'it'\\''s'"},
      {{""}, "''"},
      {{"$HOME", "a*b", "(x)", "tab\there"}, "'$HOME' 'a*b' '(x)' 'tab\there'"},
      {{"caf\u00e9"}, "'caf\u00e9'"},
  };
  for (const auto& c : cases) EXPECT_EQ(shell_quote(c.argv), c.expected) << c.expected;
}

TEST(PdfPrinter, AbsolutePaths) {
  ScratchFolder scratch;
  EXPECT_EQ(absolute_path("./A - B/./A - B.html"), scratch.path() + "/A - B/A - B.html");
  EXPECT_EQ(absolute_path("/x/./y"), "/x/y");
}

TEST(PdfPrinter, RunsTheBrowserAndReportsAFreshPdf) {
  ScratchFolder scratch;
  const std::string browser = scratch.path() + "/bin/chromium";
  write_program(browser, stand_in("%PDF-1.4 fake %%EOF", 0));
  write_file("QL-1 - A/QL-1 - A.html", "<html></html>");
  PathVariable path(scratch.path() + "/bin");
  std::ostringstream out;
  PdfPrinter printer(1, true, out);
  EXPECT_TRUE(printer.print("./QL-1 - A/./QL-1 - A.html", "./QL-1 - A/./QL-1 - A.pdf"));
  EXPECT_EQ(printer.get_failure(), "");
  EXPECT_EQ(read_whole_file("QL-1 - A/QL-1 - A.pdf"), "%PDF-1.4 fake %%EOF");

  const std::vector<std::string> args = recorded_args(browser);
  ASSERT_EQ(args.size(), 10u + (::geteuid() == 0 ? 1u : 0u));
  // The browser prints into its profile folder; the PDF is put in place afterwards.
  EXPECT_EQ(args[3], "--print-to-pdf=" + args[4].substr(std::string("--user-data-dir=").size()) +
                         "/print.pdf");
  EXPECT_EQ(args.back(), scratch.path() + "/QL-1 - A/QL-1 - A.html");
  EXPECT_EQ(out.str(), "Here's my command string to chrome:\n\n" + shell_quote(args) + "\n\n\n");
  // The profile folder existed while the browser ran and is gone afterwards.
  EXPECT_EQ(read_whole_file(browser + ".profile"), "profile-exists\n");
  ASSERT_THAT(args[4], testing::StartsWith("--user-data-dir=/"));
  EXPECT_FALSE(fs::exists(args[4].substr(std::string("--user-data-dir=").size())));
}

TEST(PdfPrinter, NoFreshPdfIsReported) {
  ScratchFolder scratch;
  write_file("A/A.html", "<html></html>");
  write_file("A/A.pdf", "%PDF old");  // left by an earlier run
  PathVariable path(scratch.path() + "/bin");
  const struct {
    std::string script;
    std::string failure;
  } cases[] = {
      {stand_in("", 3), "the browser ended with exit status 3"},
      {stand_in("", 0), "the browser ended without writing it"},
      {"#!/bin/sh\nkill -9 $$\n", "the browser was ended by signal 9"},
  };
  for (const auto& c : cases) {
    write_program(scratch.path() + "/bin/chromium", c.script);
    std::ostringstream out;
    PdfPrinter printer(1, false, out);
    EXPECT_FALSE(printer.print("A/A.html", "A/A.pdf")) << c.failure;
    EXPECT_EQ(printer.get_failure(), c.failure);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(read_whole_file("A/A.pdf"), "%PDF old");
  }
}

TEST(PdfPrinter, MissingOrUnstartableBrowserIsAFatalStop) {
  ScratchFolder scratch;
  write_file("A/A.html", "<html></html>");
  fs::create_directories("empty");
  {
    PathVariable path(scratch.path() + "/empty");
    std::ostringstream out;
    PdfPrinter printer(1, true, out);
    const std::string message = fatal_message_of([&] { printer.print("A/A.html", "A/A.pdf"); });
    EXPECT_THAT(message, testing::StartsWith("failed to execute process: no chromium"));
    EXPECT_THAT(message, testing::HasSubstr("install Debian's chromium package"));
    EXPECT_EQ(out.str(), "");
  }
  {
    write_program("bin/chromium", std::string("\x7f"
                                              "ELF garbage",
                                              12));
    PathVariable path(scratch.path() + "/bin");
    std::ostringstream out;
    PdfPrinter printer(1, false, out);
    const std::string message = fatal_message_of([&] { printer.print("A/A.html", "A/A.pdf"); });
    EXPECT_THAT(message, testing::StartsWith("failed to execute process: " + scratch.path() +
                                             "/bin/chromium: "));
    EXPECT_THAT(message, testing::HasSubstr("install Debian's chromium package"));
  }
  EXPECT_FALSE(fs::exists("A/A.pdf"));
}

// A page whose script never ends never finishes loading: past the deadline its browser is
// ended, whichever way it prints, the old PDF stays, and the next page prints.
TEST(PdfPrinter, AnEndlessScriptMeetsTheDeadline) {
  if (testing_support::real_browser().empty()) GTEST_SKIP() << "no chromium installed";
  ScratchFolder scratch;
  write_file("A/A.html", "<html><body>A<script>while (true) {}</script></body></html>");
  write_file("A/A.pdf", "%PDF old");
  write_file("B/B.html", "<html><body>B</body></html>");
  for (const std::size_t documents : {1u, 2u}) {
    std::ostringstream out;
    PdfPrinter printer(documents, false, out, std::chrono::seconds(10));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(printer.print("A/A.html", "A/A.pdf")) << documents;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(40)) << documents;
    EXPECT_EQ(printer.get_failure(),
              "printing took longer than the deadline of 10 s, so the browser was ended");
    EXPECT_EQ(read_whole_file("A/A.pdf"), "%PDF old");
    EXPECT_TRUE(printer.print("B/B.html", "B/B.pdf")) << printer.get_failure();
    EXPECT_TRUE(is_complete_pdf(read_whole_file("B/B.pdf")));
    fs::remove("B/B.pdf");
  }
}

}  // namespace
}  // namespace morvalen
