// hostile_library.h: a library built to break the binary, inside a scratch folder whose
// other contents must come through every run untouched.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace morvalen::hostile {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using testing_support::read_whole_file;
using testing_support::RunResult;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::write_file;

// Every run is cut off after this long: a binary that loops shows as exit status 124.
inline constexpr int kRunLimitSeconds = 120;

// A stand-in browser that prints by writing a small PDF; started without a page to print
// (to be driven over a pipe) it refuses, so every page is printed one browser each.
inline constexpr std::string_view kPrintingBrowser =
    "#!/bin/sh\n"
    "for arg in \"$@\"; do case \"$arg\" in --print-to-pdf=*) pdf=\"${arg#--print-to-pdf=}\" ;; esac; done\n"
    "[ -n \"$pdf\" ] || exit 1\n"
    "printf '%%PDF-1.4 stand-in %%%%EOF' > \"$pdf\"\n";

// A stand-in browser that crashes at once, page or not.
inline constexpr std::string_view kCrashingBrowser = "#!/bin/sh\nkill -SEGV $$\nsleep 5\n";

inline constexpr std::string_view kPrototype =
    "Template|$TEMPLATE\n"
    "Number|$NUMBER\n"
    "Title|$TITLE\n"
    "Author|$AUTHOR\n"
    "Reviewer|$REVIEWER\n"
    "Subject|$SUBJECT\n"
    "Product|$PRODUCT\n"
    "Revision|$TITLE|first draft of $NUMBER\n"
    "Section|Preparation\n"
    "Step|Check $SUBJECT\n"
    "Command| echo \"$TITLE\"\n"
    "Action|Look at $SUBJECT|It is there|TPV\n";

// The library is the folder "lib" of the scratch folder; "outside" beside it holds an
// earlier output of the user, and "bin" the stand-in browser.
class HostileLibrary : public testing::Test {
 protected:
  void SetUp() override {
    write_file("lib/assets/morvalen.css", "body { color: black; }\n");
    write_file("lib/assets/QLML-prototype.qlml", std::string(kPrototype));
    write_file("lib/assets/QuickLever.bat", "@echo off\r\n");
    write_file("outside/keep.txt", "an earlier output outside the library\n");
    set_browser(kPrintingBrowser);
  }

  std::string scratch() const { return scratch_.path(); }
  std::string lib() const { return scratch_.path() + "/lib"; }

  void set_browser(std::string_view script) {
    write_file("bin/chromium", std::string(script));
    fs::permissions("bin/chromium", fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
  }

  // Writes a process document as lib/{folder}/{folder}.qlml.
  static void put_document(const std::string& folder, const std::string& content) {
    write_file("lib/" + folder + "/" + folder + ".qlml", content);
  }

  // Everything of the scratch folder but the library.
  std::map<std::string, std::string> outside_snapshot() const {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::directory_iterator(scratch_.path())) {
      const std::string name = entry.path().filename().string();
      if (name == "lib") continue;
      if (entry.is_directory() && !entry.is_symlink()) {
        tree[name + "/"] = "";
        for (const auto& [path, content] : snapshot_tree(entry.path().string()))
          tree[name + "/" + path] = content;
      } else {
        tree[name] = entry.is_symlink() ? "@" + fs::read_symlink(entry.path()).string()
                                        : read_whole_file(entry.path().string());
      }
    }
    return tree;
  }

  // The paths of every entry below the library, links not followed.
  std::vector<std::string> library_entries() const {
    std::vector<std::string> paths;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(
             lib(), fs::directory_options::skip_permission_denied, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
      paths.push_back(it->path().lexically_relative(lib()).string());
    }
    return paths;
  }

  // Runs the binary in the library with `args` (through `wrapper`, e.g. another user),
  // the stand-in browser first on PATH, and checks what must hold after any run: the
  // folders around the library are unchanged and no temporary file is left behind.
  RunResult run(const std::vector<std::string>& args,
                const std::vector<std::string>& wrapper = {}) {
    const auto before = outside_snapshot();
    std::vector<std::string> argv = wrapper;
    argv.insert(argv.end(), {"/usr/bin/timeout", std::to_string(kRunLimitSeconds),
                             testing_support::morvalen_binary()});
    argv.insert(argv.end(), args.begin(), args.end());
    const auto started = std::chrono::steady_clock::now();
    RunResult result = testing_support::run_program(argv, lib(), scratch_.path() + "/bin");
    last_seconds_ =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string command = testing::PrintToString(args);
    EXPECT_NE(result.exit_status, 124)
        << command << " ran longer than " << kRunLimitSeconds << " s";
    EXPECT_LT(result.exit_status, 128) << command << " died of a signal; stderr:\n" << result.err;
    EXPECT_EQ(outside_snapshot(), before) << command << " changed files outside the library";
    for (const std::string& path : library_entries()) {
      EXPECT_EQ(path.find(".morvalen-"), std::string::npos) << command << " left " << path;
    }
    return result;
  }

  // Checks a fatal stop: exit status 101 and one message on stderr holding every text of
  // `must_name` (the file and the problem).
  static void expect_fatal(const RunResult& result, const std::vector<std::string>& must_name) {
    EXPECT_EQ(result.exit_status, 101) << "stderr: " << result.err;
    for (const std::string& text : must_name) EXPECT_THAT(result.err, HasSubstr(text));
    EXPECT_THAT(result.err, testing::EndsWith("\n"));
  }

  double last_seconds_ = 0;
  ScratchFolder scratch_;
};

// The arguments that run a program as the unprivileged user "nobody", or nothing when
// that is impossible here (no setpriv, not root).
inline std::vector<std::string> as_nobody() {
  if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv")) return {};
  return {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
}

// Lets every user read, write and enter everything below `root` (and `root` itself).
inline void open_to_everyone(const std::string& root) {
  fs::permissions(root, fs::perms::all);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::all);
  }
}

}  // namespace morvalen::hostile
