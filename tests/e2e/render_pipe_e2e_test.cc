// Rendering many documents in one run: one kept browser, its loss mid-run, the progress line.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "browser_stand_ins.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::browser_killed_at_second_print;
using testing_support::copy_example_library;
using testing_support::morvalen_binary;
using testing_support::read_whole_file;
using testing_support::real_browser;
using testing_support::run_morvalen_binary;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::ScratchFolder;
using testing_support::write_stand_in;

const std::vector<std::string> kExampleFolders = {
    "QL-IN-0310 - Cleanroom ISO 7 Particle Count Inspection",
    "QL-TP-0200 - Network Switch Acceptance Test_ Ports _ VLANs",
    "QL-WI-0010 - Pump Start_Stop",
};

std::string pdf_of(const std::string& library, const std::string& folder) {
  return library + "/" + folder + "/" + folder + ".pdf";
}

int page_count(const std::string& pdf) {
  std::smatch pages;
  const std::string info = run_program({"pdfinfo", pdf}, ".").out;
  return std::regex_search(info, pages, std::regex("Pages: +([0-9]+)")) ? std::stoi(pages[1]) : -1;
}

std::string text_of(const std::string& pdf) {
  return run_program({"pdftotext", "-layout", pdf, "-"}, ".").out;
}

// The archived copies of `file_name` under the folder's "previous".
std::vector<std::string> archived(const std::string& library, const std::string& folder,
                                  const std::string& file_name) {
  std::vector<std::string> copies;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(library + "/" + folder + "/previous", error)) {
    if (entry.path().filename().string().starts_with("Rev_") &&
        fs::exists(entry.path() / file_name)) {
      copies.push_back((entry.path() / file_name).string());
    }
  }
  return copies;
}

int count_of(const std::string& text, const std::string& piece) {
  int count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++count;
  return count;
}

std::vector<std::string> profile_folders_in(const std::string& verbose_output) {
  std::vector<std::string> folders;
  const std::regex profile("--user-data-dir=([^ \n']+)");
  for (std::sregex_iterator it(verbose_output.begin(), verbose_output.end(), profile), end;
       it != end; ++it) {
    folders.push_back((*it)[1]);
  }
  return folders;
}

TEST(RenderPipeEndToEnd, ABrowserKilledMidRunLosesOnlyThePageInFlight) {
  ScratchFolder scratch;
  copy_example_library("lib");
  write_stand_in("bin/chromium", browser_killed_at_second_print(real_browser()));
  const RunResult run =
      run_morvalen_binary({"-v", "-p", "QL-*"}, scratch.path() + "/lib", scratch.path() + "/bin");
  EXPECT_EQ(run.exit_status, 0) << run.err;
  // Standard error is no terminal here: the warning is all it holds.
  const std::string lost = kExampleFolders[1];
  EXPECT_THAT(run.err, testing::MatchesRegex("warning: no PDF was produced for \\./" +
                                             lost.substr(0, 10) + "[^\n]*\\.pdf: [^\n]*\n"));
  for (const std::string& folder : kExampleFolders) {
    const bool printed = folder != lost;
    EXPECT_EQ(fs::exists(pdf_of("lib", folder)), printed) << folder;
    if (printed) {
      EXPECT_GE(page_count(pdf_of("lib", folder)), 1) << folder;
    }
    EXPECT_EQ(archived("lib", folder, folder + ".html").size(), 1u)
        << folder << " is archived all the same";
  }
  // Every page has its verbose command, that of the kept browser; the browser was started
  // twice, each time with a fresh profile that is gone now.
  EXPECT_EQ(count_of(run.out, "Here's my command string to chrome:\n\n"), 3);
  EXPECT_EQ(count_of(run.out, "--remote-debugging-pipe"), 3);
  EXPECT_EQ(count_of(run.out, "--print-to-pdf"), 0);
  const std::vector<std::string> profiles = profile_folders_in(run.out);
  ASSERT_EQ(profiles.size(), 3u);
  EXPECT_EQ(profiles[0], profiles[1]);
  EXPECT_NE(profiles[1], profiles[2]);
  for (const std::string& profile : profiles) EXPECT_FALSE(fs::exists(profile)) << profile;
}

// Runs morvalen with its standard error on a terminal (a pseudo-terminal we read).
RunResult run_with_terminal_stderr(const std::vector<std::string>& args, const std::string& cwd) {
  int terminal = -1;
  int terminal_side = -1;
  int out_pipe[2];
  if (::openpty(&terminal, &terminal_side, nullptr, nullptr, nullptr) != 0 || ::pipe(out_pipe) != 0)
    return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(terminal_side, 2);
    ::dup2(out_pipe[1], 1);
    ::close(terminal);
    ::close(out_pipe[0]);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    std::vector<std::string> argv{morvalen_binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& arg : argv) raw.push_back(arg.data());
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    ::_exit(127);
  }
  ::close(terminal_side);
  ::close(out_pipe[1]);
  RunResult result;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {terminal, POLLIN, 0}};
  char buffer[4096];
  for (int open_count = 2; open_count > 0;) {
    if (::poll(fds, 2, 60000) <= 0) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t got = ::read(fds[k].fd, buffer, sizeof buffer);
      if (got <= 0) {  // a terminal whose other side closed reads as an error (EIO)
        ::close(fds[k].fd);
        fds[k].fd = -1;
        --open_count;
      } else {
        (k == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
      }
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// One run over the three example procedures, its standard error on a terminal; then each
// procedure alone, which prints the per-document way. The kept browser prints with its own
// options, the per-document browser with its command-line switches: both must give the
// same pages and the same text.
TEST(RenderPipeEndToEnd, ThreeDocumentsInOneRunPrintAsEachAloneWithAProgressLine) {
  ScratchFolder scratch;
  copy_example_library("kept");
  copy_example_library("single");
  const RunResult run = run_with_terminal_stderr({"-p", "QL-*"}, scratch.path() + "/kept");
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  for (std::size_t count = 1; count <= 3; ++count) {
    const std::string& folder = kExampleFolders[count - 1];
    EXPECT_THAT(run.err,
                testing::HasSubstr("\r[" + std::to_string(count) + "/3] " + folder.substr(0, 10)));
  }
  EXPECT_THAT(run.err, testing::EndsWith("\r\x1b[K"));

  for (const std::string& folder : kExampleFolders) {
    const std::string pdf = pdf_of("kept", folder);
    EXPECT_THAT(text_of(pdf), testing::HasSubstr(folder.substr(0, 10))) << folder;
    const std::vector<std::string> copies = archived("kept", folder, folder + ".pdf");
    ASSERT_EQ(copies.size(), 1u) << folder;
    EXPECT_EQ(read_whole_file(copies[0]), read_whole_file(pdf)) << folder;

    const RunResult alone =
        folder == kExampleFolders[0]
            ? run_with_terminal_stderr({"-p", folder.substr(0, 10)}, scratch.path() + "/single")
            : run_morvalen_binary({"-p", folder.substr(0, 10)}, scratch.path() + "/single");
    ASSERT_EQ(alone.exit_status, 0) << folder;
    EXPECT_EQ(alone.err, "") << folder << ": no progress line for a single document";
    const int pages = page_count(pdf_of("single", folder));
    EXPECT_GE(pages, 1) << folder;
    EXPECT_EQ(page_count(pdf), pages) << folder;
    EXPECT_EQ(text_of(pdf), text_of(pdf_of("single", folder))) << folder;
  }
}

}  // namespace
}  // namespace morvalen
