// The menu action (-w) against merely reading the bytes of every document it lists.
//
// BM_WebmenuAgainstReadingBytes/N generates (untimed, once) a library of N process folders
// under TMPDIR with generate_render_library, enters it, and times in each iteration the
// whole menu action (scan, read and parse every document, write WebMenu.html through its
// temporary file) and, in the same iteration, reading each document's bytes and nothing
// else. The figures to watch: "menu_us_per_doc" growing no more than 2.3x per doubling of N
// (it should stay flat), and "ratio" at N = 2000 (at most 3). "parse_ms" is the menu's
// reading of the documents alone, "model_ms" the full document model of every document
// for comparison (the menu does not build it).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "actions.h"
#include "files.h"
#include "read_qlml.h"
#include "render_library.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One generated library per size, removed at exit.
struct GeneratedLibraries {
  std::string base;
  std::map<std::size_t, std::string> roots;
  GeneratedLibraries() {
    std::string pattern = (fs::temp_directory_path() / "morvalen-menu-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) base = pattern;
    fs::create_directories(base + "/no-assets");
  }
  ~GeneratedLibraries() {
    std::error_code ignored;
    if (!base.empty()) fs::remove_all(base, ignored);
  }
  const std::string& root(std::size_t count) {
    auto found = roots.find(count);
    if (found == roots.end()) {
      const std::string root = base + "/library-" + std::to_string(count);
      generate_render_library(root, count, base + "/no-assets");
      found = roots.emplace(count, root).first;
    }
    return found->second;
  }
};

GeneratedLibraries& libraries() {
  static GeneratedLibraries generated;
  return generated;
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of this process (user and system), which the other jobs of a busy machine do
// not inflate as they do wall time.
double cpu_seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void BM_WebmenuAgainstReadingBytes(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const fs::path previous = fs::current_path();
  fs::current_path(libraries().root(count));
  double menu_seconds = 0;
  double read_seconds = 0;
  double parse_seconds = 0;
  double model_seconds = 0;
  double menu_cpu = 0;
  double read_cpu = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream console;
    const Clock::time_point menu_start = Clock::now();
    double cpu_start = cpu_seconds();
    morvalen::generate_complete_webmenu(false, console);
    menu_cpu += cpu_seconds() - cpu_start;
    menu_seconds += seconds_since(menu_start);

    const Clock::time_point read_start = Clock::now();
    cpu_start = cpu_seconds();
    bytes = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
      const std::string name = entry.path().filename().string();
      if (!entry.is_directory() || name == "assets") continue;
      std::error_code error;
      bytes += morvalen::read_file("./" + name + "/" + name + ".qlml", error).size();
      if (error) state.SkipWithError("a document could not be read");
    }
    read_cpu += cpu_seconds() - cpu_start;
    read_seconds += seconds_since(read_start);
    benchmark::DoNotOptimize(bytes);

    // Where the menu's time goes: its reading of the documents alone, without the page.
    const Clock::time_point parse_start = Clock::now();
    std::string content;
    morvalen::ProcessSummary summary;
    for (const std::string& name : morvalen::list_process_folders()) {
      morvalen::read_qlml_summary("./" + name + "/" + name + ".qlml", content, summary);
      benchmark::DoNotOptimize(summary.command_lines);
    }
    parse_seconds += seconds_since(parse_start);

    // For comparison, the full document model of every document (what rendering builds).
    const Clock::time_point model_start = Clock::now();
    for (const std::string& name : morvalen::list_process_folders()) {
      benchmark::DoNotOptimize(morvalen::read_qlml("./" + name + "/" + name + ".qlml"));
    }
    model_seconds += seconds_since(model_start);
  }
  fs::current_path(previous);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["menu_ms"] = 1e3 * menu_seconds / iterations;
  state.counters["read_ms"] = 1e3 * read_seconds / iterations;
  state.counters["parse_ms"] = 1e3 * parse_seconds / iterations;
  state.counters["model_ms"] = 1e3 * model_seconds / iterations;
  state.counters["ratio"] = menu_seconds / read_seconds;
  state.counters["cpu_ratio"] = menu_cpu / read_cpu;
  state.counters["menu_us_per_doc"] = 1e6 * menu_seconds / iterations / static_cast<double>(count);
  state.counters["document_kib"] = static_cast<double>(bytes) / 1024.0 / static_cast<double>(count);
}
BENCHMARK(BM_WebmenuAgainstReadingBytes)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
