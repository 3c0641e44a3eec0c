// render_tool: rendering with PDF, one browser per document against one kept browser.
//
// Usage: render_tool MORVALEN_BINARY WORK_FOLDER ASSETS_FOLDER [REPEATS [COUNTS [kept]]]
// (COUNTS: document counts separated by commas, default 1,10,50; "kept": time only the
// kept browser and its pipe floor, for a quick look at a large count.)
//
// For 1, 10 and 50 generated documents (ASSETS_FOLDER, the example library's assets with
// its stylesheets, copied into the library)
// it times, in one run and interleaved (a single document REPEATS times, default 3, the
// others once):
//   kept        morvalen -p "QL-*": one render run, all pages printed by one kept browser
//   per-doc     morvalen -p NUMBER once per document: one browser per document, as a run
//               of a single document prints
//   pipe floor  the same pages printed by one bare browser over its DevTools pipe, nothing
//               else: the time the kept browser itself spends printing
//   bare floor  the same pages printed by bare Chromium one by one with the per-document
//               switches: the floor of one browser per document
// and prints the medians and the ratios the targets name.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "devtools_pipe.h"
#include "pdf_printer.h"
#include "render_library.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs `argv` in `folder` with its output on /dev/null and waits; exits on failure.
void run_quietly(const std::vector<std::string>& argv, const std::string& folder) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<char*> raw;
  for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
  raw.push_back(nullptr);
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::cerr << "render_tool: " << argv[0] << " failed in " << folder << "\n";
    std::exit(1);
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Library {
  std::string root;
  std::vector<std::string> numbers;
  std::vector<std::string> pages;  // absolute paths of the rendered HTML pages
};

double time_kept(const std::string& morvalen, const Library& library) {
  const Clock::time_point start = Clock::now();
  run_quietly({morvalen, "-p", "QL-*"}, library.root);
  return seconds_since(start);
}

double time_per_document(const std::string& morvalen, const Library& library) {
  const Clock::time_point start = Clock::now();
  for (const std::string& number : library.numbers)
    run_quietly({morvalen, "-p", number}, library.root);
  return seconds_since(start);
}

std::string fresh_profile() {
  std::error_code error;
  return morvalen::make_profile_folder(error);
}

double time_pipe_floor(const std::string& browser, const Library& library,
                       const std::string& out_folder) {
  const Clock::time_point start = Clock::now();
  const std::string profile = fresh_profile();
  morvalen::BrowserStart session = morvalen::start_browser_session(
      morvalen::devtools_pipe_command(browser, profile, ::geteuid() == 0), profile);
  if (!session.session) {
    std::cerr << "render_tool: the browser cannot be driven over its pipe: " << session.problem
              << "\n";
    std::exit(1);
  }
  for (std::size_t k = 0; k < library.pages.size(); ++k) {
    const std::string pdf = out_folder + "/pipe-" + std::to_string(k) + ".pdf";
    if (morvalen::print_page_to_pdf(*session.session, library.pages[k], pdf) !=
        morvalen::PagePrint::Printed) {
      std::cerr << "render_tool: no PDF for " << library.pages[k] << "\n";
      std::exit(1);
    }
  }
  morvalen::end_browser_session(*session.session);
  return seconds_since(start);
}

double time_bare_floor(const std::string& browser, const Library& library,
                       const std::string& out_folder) {
  double total = 0;
  for (std::size_t k = 0; k < library.pages.size(); ++k) {
    const std::string pdf = out_folder + "/bare-" + std::to_string(k) + ".pdf";
    const Clock::time_point start = Clock::now();
    const std::string profile = fresh_profile();
    run_quietly(morvalen::print_command(browser, library.pages[k], pdf, profile, ::geteuid() == 0),
                out_folder);
    total += seconds_since(start);
    std::error_code ignored;
    fs::remove_all(profile, ignored);
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: render_tool MORVALEN_BINARY WORK_FOLDER ASSETS_FOLDER [REPEATS]\n";
    return 2;
  }
  const std::string morvalen = fs::absolute(argv[1]).string();
  const std::string work = fs::absolute(argv[2]).string();
  const std::string assets = fs::absolute(argv[3]).string();
  const int repeats = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  std::vector<int> counts;
  for (std::string rest = argc > 5 ? argv[5] : "1,10,50"; !rest.empty();) {
    const std::size_t comma = rest.find(',');
    counts.push_back(std::max(1, std::atoi(rest.substr(0, comma).c_str())));
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
  }
  const bool kept_only = argc > 6 && std::string(argv[6]) == "kept";
  const char* path = std::getenv("PATH");
  const std::optional<std::string> browser = morvalen::find_browser(path != nullptr ? path : "");
  if (!browser) {
    std::cerr << "render_tool: no browser on PATH\n";
    return 1;
  }
  std::error_code ignored;
  fs::remove_all(work, ignored);
  fs::create_directories(work + "/floors");

  std::printf("%-5s %-11s %9s %9s %9s\n", "docs", "mode", "median s", "per doc", "runs");
  std::map<std::pair<int, std::string>, double> medians;
  for (const int count : counts) {
    Library library;
    library.root = work + "/library-" + std::to_string(count);
    library.numbers =
        generate_render_library(library.root, static_cast<std::size_t>(count), assets);
    if (!kept_only)
      run_quietly({morvalen, "-p", "QL-*"}, library.root);  // warm-up; writes the pages
    for (const std::string& number : library.numbers) {
      for (const auto& entry : fs::directory_iterator(library.root)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(number + " "))
          library.pages.push_back(entry.path().string() + "/" + name + ".html");
      }
    }
    std::map<std::string, std::vector<double>> times;
    const int runs = count == 1 ? repeats : 1;
    for (int run = 0; run < runs; ++run) {
      times["kept"].push_back(time_kept(morvalen, library));
      if (count > 1 && !kept_only) times["per-doc"].push_back(time_per_document(morvalen, library));
      times["pipe floor"].push_back(time_pipe_floor(*browser, library, work + "/floors"));
      if (!kept_only)
        times["bare floor"].push_back(time_bare_floor(*browser, library, work + "/floors"));
    }
    for (const char* mode : {"kept", "per-doc", "pipe floor", "bare floor"}) {
      if (times[mode].empty()) continue;
      const double value = median(times[mode]);
      medians[{count, mode}] = value;
      std::printf("%-5d %-11s %9.2f %9.3f %9d\n", count, mode, value, value / count, runs);
    }
    std::fflush(stdout);
  }
  std::printf("\n");
  for (const int count : counts) {
    if (medians.count({count, "per-doc"})) {
      std::printf("%d documents: per-doc / kept = %.2fx (target at 50: >= 3)\n", count,
                  medians[{count, "per-doc"}] / medians[{count, "kept"}]);
    }
    if (count > 1) {
      std::printf("%d documents: kept / pipe floor = %.3fx (target at 50: <= 1.15)\n", count,
                  medians[{count, "kept"}] / medians[{count, "pipe floor"}]);
    }
    if (count == 1 && medians.count({1, "bare floor"})) {
      std::printf("1 document: morvalen -p / bare floor = %.3fx (target <= 1.10)\n",
                  medians[{1, "kept"}] / medians[{1, "bare floor"}]);
    }
  }
  return 0;
}
