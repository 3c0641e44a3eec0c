// The built qlml's check command: the exit statuses as the shell sees them, and the library
// found in the current folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::run_program;
using testing_support::RunResult;
using testing_support::ScratchFolder;
using testing_support::write_file;

RunResult run_qlml(std::vector<std::string> args, const std::string& cwd) {
  args.insert(args.begin(), QLML_BINARY);
  return run_program(args, cwd);
}

TEST(CheckEndToEnd, ExitStatusesAndOutput) {
  ScratchFolder scratch;
  testing_support::copy_example_library(scratch.path() + "/lib");
  const std::string root = scratch.path() + "/lib";
  RunResult run = run_qlml({"check"}, root);
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(run.out + run.err, "");

  write_file(root + "/Notes/readme.txt", "");
  write_file(root + "/QL-X - Draft/QL-X - Draft.qlml", "Number | QL-X\nTitle | Draft\nActon | a\n");
  run = run_qlml({"check", "--ignore", "QL101,QL104"}, root);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out,
            "Notes: error: this folder holds no document \"Notes.qlml\": morvalen takes every "
            "folder of the library for a process folder, and morvalen -w stops here [QL702]\n"
            "QL-X - Draft/QL-X - Draft.qlml:3:1: warning: this line is ignored: \"Acton\" is not "
            "a keyword; did you mean \"Action\"? [QL001]\n");
  EXPECT_EQ(run_qlml({"check", "--fail-on", "error", "--select", "QL001"}, root).exit_status, 0);
  EXPECT_EQ(run_qlml({"check", "--format", "yaml"}, root).exit_status, 2);

  run = run_qlml({"check", "missing.qlml"}, root);
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_THAT(run.err, testing::HasSubstr("missing.qlml"));
}

}  // namespace
}  // namespace morvalen
