// The built qlml's trace command on small libraries: the matrix against golden files, the
// notes, the exit statuses, and files written completely or not at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"
#include "trace_library.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::read_whole_file;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::source_dir;
using testing_support::write_file;

RunResult run_qlml(std::vector<std::string> args, const std::string& cwd) {
  args.insert(args.begin(), QLML_BINARY);
  return run_program(args, cwd);
}

std::string golden(const std::string& name) {
  return read_whole_file(source_dir() + "/tests/golden/trace/" + name);
}

TEST(TraceEndToEnd, PumpLibraryGivesTheGoldenMatrix) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Pump Library";
  write_trace_library(root);

  const RunResult run = run_qlml({"trace", "--requirements", "SystemRequirements.csv"}, root);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, golden("stdout.txt"));
  EXPECT_EQ(run.err, golden("stderr.txt"));
  EXPECT_EQ(read_whole_file(root + "/Requirements.csv"), golden("Requirements.csv"));
  const std::string page = read_whole_file(root + "/Requirements.html");
  EXPECT_THAT(page, testing::HasSubstr("<h1>Pump Library: Requirements Traceability</h1>"));
  EXPECT_THAT(page, testing::HasSubstr(
                        "<p>5 requirements: 3 verified, 1 not verified, 1 not in the list.</p>"));
  // A title with an ampersand shows as text.
  EXPECT_THAT(page, testing::HasSubstr(">QL-WI-0300 Pump stop &amp; restart</a>"));
  EXPECT_THAT(page, testing::EndsWith("</html>\n"));

  // Without the list every id is verified, and only the library's own quotes are compared.
  const RunResult bare = run_qlml({"trace"}, root);
  EXPECT_EQ(bare.exit_status, 0) << bare.err;
  EXPECT_EQ(bare.out, "4 requirements: 4 verified, 0 not verified\n");
  EXPECT_THAT(bare.err, testing::HasSubstr("[QL801]"));
  EXPECT_THAT(bare.err, testing::Not(testing::HasSubstr("[QL802]")));
}

TEST(TraceEndToEnd, ExitStatuses) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Lib";
  write_trace_library(root);
  write_file(root + "/covered.csv", "Requirement,Text\nREQ-001,x\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of standard error
  };
  const Case cases[] = {
      {{"trace"}, 0, ""},
      {{"trace", "--fail-on-uncovered"}, 0, ""},
      {{"trace", "--requirements", "SystemRequirements.csv", "--fail-on-uncovered"}, 1, ""},
      {{"trace", "--requirements=covered.csv", "--fail-on-uncovered"}, 0, ""},
      {{"trace", "--help"}, 0, ""},
      {{"trace", "--bogus"}, 2, "error: unknown option '--bogus'\nusage: qlml trace"},
      {{"trace", "--requirements"}, 2, "needs a file name"},
      {{"trace", "--requirements", "a.csv", "--requirements", "b.csv"}, 2, "given twice"},
      {{"trace", "QL-*"}, 2, "unexpected argument 'QL-*'"},
      {{"trace", "--requirements", "missing.csv"},
       101,
       "Could not read the requirements list: missing.csv: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = run_qlml(c.args, root);
    const std::string command = testing::PrintToString(c.args);
    EXPECT_EQ(run.exit_status, c.status) << command << "\n" << run.err;
    EXPECT_THAT(run.err, testing::HasSubstr(c.err)) << command;
  }
}

TEST(TraceEndToEnd, NothingIsWrittenWhenADocumentOrTheListCannotBeRead) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Lib";
  write_trace_library(root);
  ASSERT_EQ(run_qlml({"trace"}, root).exit_status, 0);
  const auto before = snapshot_tree(root);

  write_file(root + "/bad.csv", "Requirement,Text\nREQ-1,\"never closed\n");
  RunResult run = run_qlml({"trace", "--requirements", "bad.csv"}, root);
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_EQ(run.err, "Rejected requirements list: bad.csv: line 2: a quoted field is not closed\n");
  fs::remove(root + "/bad.csv");
  EXPECT_EQ(snapshot_tree(root), before);

  fs::create_directories(root + "/Stray");
  run = run_qlml({"trace"}, root);
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_THAT(run.err, testing::StartsWith("Could not load lines: ./Stray/Stray.qlml: "));
  EXPECT_EQ(run.out, "");
  fs::remove(root + "/Stray");
  // The previous files stay as they were, and no temporary file is left behind.
  EXPECT_EQ(snapshot_tree(root), before);
}

}  // namespace
}  // namespace morvalen
