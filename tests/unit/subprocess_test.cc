// Starting, waiting for and ending other programs (the POSIX side of the seam).
#include "subprocess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::read_whole_file;
using testing_support::ScratchFolder;

// Whether the process `pid` still runs (a zombie has ended).
bool runs(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t close = line.rfind(')');
  return close != std::string::npos && line.substr(close + 2, 1) != "Z";
}

TEST(Subprocess, EndingAProgramEndsWhatItStarted) {
  ScratchFolder scratch;
  SubprocessStart start = start_subprocess(
      {"/bin/sh", "-c", "sleep 60 & echo $! > helper.pid; exec sleep 60"}, SubprocessPipes::None);
  ASSERT_FALSE(start.error) << start.error.message();
  ASSERT_GT(subprocess_id(start.subprocess), 0);
  std::string helper;
  for (int tries = 0; tries < 200 && helper.empty(); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    helper = read_whole_file("helper.pid");
    if (!helper.ends_with('\n')) helper.clear();
  }
  helper.pop_back();
  ASSERT_TRUE(runs(helper));
  const auto began = SubprocessClock::now();
  EXPECT_EQ(wait_for_subprocess(start.subprocess, began + std::chrono::milliseconds(100)),
            std::nullopt);
  end_subprocess(start.subprocess);
  EXPECT_EQ(subprocess_id(start.subprocess), -1);
  for (int tries = 0; tries < 200 && runs(helper); ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(runs(helper));
  EXPECT_LT(SubprocessClock::now() - began, std::chrono::seconds(5));
}

TEST(Subprocess, HowProgramsEndOrFailToStart) {
  ScratchFolder scratch;
  std::ofstream("plain.txt") << "not a program";
  struct Case {
    std::vector<std::string> argv;
    std::errc error;  // std::errc{} when it starts
    SubprocessEnd end;
  };
  const Case cases[] = {
      {{"/bin/sh", "-c", "exit 3"}, std::errc{}, {true, 3, 0}},
      {{"/bin/sh", "-c", "kill -9 $$"}, std::errc{}, {false, 0, 9}},
      {{scratch.path() + "/missing"}, std::errc::no_such_file_or_directory, {}},
      {{scratch.path() + "/plain.txt"}, std::errc::permission_denied, {}},
  };
  for (const Case& c : cases) {
    SubprocessStart start = start_subprocess(c.argv, SubprocessPipes::None);
    EXPECT_EQ(start.error.value(), static_cast<int>(c.error)) << c.argv.back();
    if (start.error) {
      EXPECT_EQ(subprocess_id(start.subprocess), -1) << c.argv.back();
      continue;
    }
    const std::optional<SubprocessEnd> end = wait_for_subprocess(start.subprocess);
    ASSERT_TRUE(end) << c.argv.back();
    EXPECT_EQ(end->exited, c.end.exited) << c.argv.back();
    EXPECT_EQ(end->exit_status, c.end.exit_status) << c.argv.back();
    EXPECT_EQ(end->signal, c.end.signal) << c.argv.back();
  }
}

}  // namespace
}  // namespace morvalen
