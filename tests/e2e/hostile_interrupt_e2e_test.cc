// The built binary interrupted (Ctrl-C, kill, a closed terminal) at several moments of a
// render, a draft run and a menu run: it ends every browser it started (checked by process
// group), leaves no temporary file or browser profile, says "interrupted" and ends with
// 128 + the signal; every output is complete or absent.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <csignal>
#include <fstream>
#include <set>
#include <thread>

#include "browser_stand_ins.h"
#include "hostile_library.h"
#include "pdf_printer.h"

namespace morvalen::hostile {
namespace {

// A stand-in browser that prints nothing for a long time, in a helper process of its own.
constexpr std::string_view kHangingBrowser = "#!/bin/sh\nsleep 60 &\nwait\n";

// The process groups of the descendants of `pid` (a browser leads a group of its own).
std::set<pid_t> descendant_groups(pid_t pid) {
  std::map<pid_t, std::pair<pid_t, pid_t>> parent_and_group;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
    rest >> state >> parent >> group;
    parent_and_group[std::stoi(name)] = {parent, group};
  }
  std::set<pid_t> family{pid};
  std::set<pid_t> groups;
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [child, parent_group] : parent_and_group) {
      if (family.count(parent_group.first) && family.insert(child).second) {
        groups.insert(parent_group.second);
        grew = true;
      }
    }
  }
  return groups;
}

struct Interrupted {
  int exit_status = -1;
  std::string err;
  std::set<pid_t> groups;  // of the programs it had started
};

class HostileInterrupt : public HostileLibrary {
 protected:
  void SetUp() override {
    HostileLibrary::SetUp();
    fs::create_directory("tmp");
  }

  // Runs the binary in the library with its temporary folder in the scratch folder, sends
  // `signal_number` after `delay` (counted from the start of its first program when
  // `after_start`), and checks what must hold after any interrupt.
  Interrupted interrupt(const std::vector<std::string>& args, std::chrono::milliseconds delay,
                        int signal_number, bool after_start = false) {
    int err_pipe[2];
    EXPECT_EQ(::pipe(err_pipe), 0);
    const std::string path = scratch() + "/bin:" + std::getenv("PATH");
    const std::string tmpdir = scratch() + "/tmp";
    const std::string binary = testing_support::morvalen_binary();
    const pid_t child = ::fork();
    if (child == 0) {
      // In a group of its own, as a shell runs a job: otherwise anything that shares the
      // binary's group (the leak checker's helper of a sanitizer build, at its exit) would
      // name this test's own group, which never ends.
      ::setpgid(0, 0);
      ::dup2(err_pipe[1], 2);
      const int null_fd = ::open("/dev/null", O_RDWR);
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      if (::chdir(lib().c_str()) != 0) ::_exit(126);
      ::setenv("PATH", path.c_str(), 1);
      ::setenv("TMPDIR", tmpdir.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(binary.c_str())};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(err_pipe[1]);
    for (int wait = 0; after_start && wait < 1000 && descendant_groups(child).empty(); ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(delay);
    Interrupted run;
    run.groups = descendant_groups(child);
    ::kill(child, signal_number);
    char buffer[4096];
    for (ssize_t got; (got = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;)
      run.err.append(buffer, static_cast<std::size_t>(got));
    ::close(err_pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    const std::string label = testing::PrintToString(args);
    // A run that ended before the signal is no interrupt; the checks below hold anyway.
    if (run.exit_status != 0) {
      EXPECT_EQ(run.exit_status, 128 + signal_number) << label << run.err;
      EXPECT_THAT(run.err, testing::EndsWith("interrupted\n")) << label;
    }
    for (const pid_t group : run.groups) {
      bool gone = false;
      for (int wait = 0; wait < 100 && !gone; ++wait) {
        gone = ::kill(-group, 0) != 0;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      EXPECT_TRUE(gone) << label << ": the process group " << group << " still runs";
    }
    EXPECT_TRUE(fs::is_empty("tmp")) << label << ": a browser profile was left";
    for (const std::string& entry : library_entries())
      EXPECT_EQ(entry.find(".morvalen-"), std::string::npos) << label << " left " << entry;
    return run;
  }
};

std::string document(int number, int steps) {
  std::string text = "Title | Pump " + std::to_string(number) + "\nNumber | QL-" +
                     std::to_string(number) + "\nRevision | B\nSection | S\n";
  for (int step = 0; step < steps; ++step) text += "Step | T\nCommand | ls\nContext | c\n";
  return text;
}

// Every PDF is complete or absent, every archive holds the document.
void expect_renders_complete_or_absent() {
  for (const auto& folder : fs::directory_iterator("lib")) {
    const std::string name = folder.path().filename().string();
    if (!name.starts_with("QL-")) continue;
    const std::string pdf = "lib/" + name + "/" + name + ".pdf";
    if (fs::exists(pdf)) {
      EXPECT_TRUE(is_complete_pdf(read_whole_file(pdf))) << pdf;
    }
    if (!fs::exists("lib/" + name + "/previous")) continue;
    for (const auto& archive : fs::directory_iterator("lib/" + name + "/previous")) {
      if (archive.path().filename() == "assets") continue;
      EXPECT_TRUE(fs::exists(archive.path() / (name + ".qlml"))) << archive.path();
    }
  }
}

TEST_F(HostileInterrupt, RendersEndTheirBrowsersAndLeaveNothingBehind) {
  for (int number = 1; number <= 3; ++number)
    put_document("QL-" + std::to_string(number) + " - Pump " + std::to_string(number),
                 document(number, 20));
  // A browser that hangs: the interrupt comes while it "prints", one document or many.
  set_browser(kHangingBrowser);
  const struct {
    std::vector<std::string> args;
    int delay_ms;
    int signal_number;
  } hanging[] = {{{"-p", "QL-1"}, 300, SIGINT}, {{"-p", "QL-*"}, 300, SIGTERM}};
  for (const auto& c : hanging) {
    const Interrupted run =
        interrupt(c.args, std::chrono::milliseconds(c.delay_ms), c.signal_number, true);
    EXPECT_EQ(run.exit_status, 128 + c.signal_number);
    EXPECT_FALSE(run.groups.empty()) << "the browser had not started";
    expect_renders_complete_or_absent();
  }
  // The real browser, one per page and kept over its pipe, at several moments.
  const std::string chromium = testing_support::real_browser();
  if (chromium.empty()) GTEST_SKIP() << "no chromium installed";
  fs::remove("bin/chromium");
  for (const int delay_ms : {200, 900, 2000}) {
    for (const auto& [pattern, signal_number] :
         {std::pair{"QL-1", SIGINT}, std::pair{"QL-*", SIGHUP}}) {
      interrupt({"-p", pattern}, std::chrono::milliseconds(delay_ms), signal_number);
      expect_renders_complete_or_absent();
    }
  }
}

TEST_F(HostileInterrupt, DraftsAndMenuAreCompleteOrAbsent) {
  std::string list = "Document Number,Title,Subject,Product,Author,Reviewer\n";
  for (int row = 0; row < 3000; ++row) list += "QL-" + std::to_string(row) + ",T,s,p,a,r\n";
  write_file("lib/list.csv", list);
  for (const int delay_ms : {50, 250, 600}) {
    interrupt({"-l", "list.csv"}, std::chrono::milliseconds(delay_ms), SIGINT);
    std::size_t drafts = 0;
    for (const auto& folder : fs::directory_iterator("lib")) {
      const std::string name = folder.path().filename().string();
      if (!name.starts_with("QL-")) continue;
      ++drafts;
      for (const std::string extension : {".qlml", ".html"})
        EXPECT_TRUE(fs::exists(folder.path() / (name + extension))) << name << extension;
      EXPECT_TRUE(fs::exists(folder.path() / "QuickLever.bat")) << name;
    }
    RecordProperty("drafts_after_" + std::to_string(delay_ms) + "ms", std::to_string(drafts));
  }
  // The menu of a library of many documents.
  for (int number = 0; number < 400; ++number)
    put_document("QL-M" + std::to_string(number) + " - M", document(number, 50));
  for (const int delay_ms : {100, 400}) {
    interrupt({"-w"}, std::chrono::milliseconds(delay_ms), SIGTERM);
    if (fs::exists("lib/WebMenu.html")) {
      EXPECT_TRUE(read_whole_file("lib/WebMenu.html").ends_with("</html>\n"));
    }
  }
}

}  // namespace
}  // namespace morvalen::hostile
