// A real editor as the client: Debian's Neovim, headless, with the README's configuration,
// opens a document with known problems and writes the diagnostics and the outline it got
// from `qlml lsp` (tests/e2e/nvim/diagnostics.lua). Skipped when Neovim is not installed
// (scripts/install-deps.sh installs it).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::read_whole_file;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::ScratchFolder;
using testing_support::source_dir;

bool neovim_installed() {
  const RunResult run = run_program({"sh", "-c", "command -v nvim"}, ".");
  return run.exit_status == 0;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(NeovimEndToEnd, ShowsTheDiagnosticsAndTheOutline) {
  if (!neovim_installed()) GTEST_SKIP() << "nvim is not installed";
  ScratchFolder scratch;
  const std::string library = scratch.path() + "/Library";
  testing_support::copy_example_library(library);
  const std::string folder = library + "/QL-NV-0001 - Known problems";
  fs::create_directories(folder);
  const std::string document = folder + "/QL-NV-0001 - Known problems.qlml";
  fs::copy_file(source_dir() + "/tests/e2e/nvim/QL-NV-0001 - Known problems.qlml", document);
  const std::string output = scratch.path() + "/diagnostics.txt";
  const std::string home = scratch.path() + "/home";
  const auto run =
      run_program({"env", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                   "XDG_CACHE_HOME=" + home + "/cache", "XDG_STATE_HOME=" + home + "/state",
                   "XDG_DATA_HOME=" + home + "/data", std::string("QLML_BINARY=") + QLML_BINARY,
                   "QLML_DOCUMENT=" + document,
                   "QLML_SCRIPT=" + source_dir() + "/tests/e2e/nvim/diagnostics.lua",
                   "QLML_OUTPUT=" + output, "timeout", "120", "nvim", "--headless", "--clean", "-c",
                   "lua dofile(os.getenv('QLML_SCRIPT'))"},
                  library);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_THAT(lines_of(read_whole_file(output)),
              testing::ElementsAre("diagnostic 11 QL001 warning", "diagnostic 12 QL301 error",
                                   "diagnostic 15 QL203 warning", "diagnostic 16 QL502 warning",
                                   "diagnostic 17 QL304 warning", "symbol 0 9 Section 1: Start",
                                   "symbol 1 10 Step 1.1: Check the pump"));
}

}  // namespace
}  // namespace morvalen
