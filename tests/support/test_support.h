// test_support.h: scratch folders, fatal stops and running the built binary.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace morvalen::testing_support {

// A fresh temporary folder, made the current folder for the test's lifetime, then removed.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// The message of the FatalStop that `body` throws, or "<no fatal stop>".
std::string fatal_message_of(const std::function<void()>& body);

// Writes `content` to `path`, creating missing parent folders.
void write_file(const std::string& path, const std::string& content);
// The content of the file at `path` ("" when missing).
std::string read_whole_file(const std::string& path);
// Every regular file below `root` (relative paths) with its content; folders as "dir/".
std::map<std::string, std::string> snapshot_tree(const std::string& root);

struct RunResult {
  int exit_status = -1;
  std::string out;
  std::string err;
};

// Runs the built morvalen with `args` in folder `cwd`. `path_prefix`, when not empty, is
// put in front of PATH (stand-in programs); `stdin_text` is fed to standard input.
RunResult run_morvalen_binary(const std::vector<std::string>& args, const std::string& cwd,
                              const std::string& path_prefix = "");
// Runs any program the same way, `argv[0]` looked up on PATH.
RunResult run_program(const std::vector<std::string>& argv, const std::string& cwd,
                      const std::string& path_prefix = "");

// The path of the built binary and of the source tree.
std::string morvalen_binary();
std::string source_dir();
// Copies the bundled example library to `destination`.
void copy_example_library(const std::string& destination);

}  // namespace morvalen::testing_support
