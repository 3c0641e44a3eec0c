// qlml trace against merely reading the bytes of every document it traces.
//
// BM_TraceAgainstReadingBytes/2000/{library} generates (untimed, once) a library of 2,000
// process folders and a requirements list, enters it, and times in each iteration the whole
// command ("qlml trace --requirements list.csv": scan the folders, read and trace every
// document, build the matrix, write Requirements.html and Requirements.csv through their
// temporary files) and, in the same iteration, reading each document's bytes and nothing
// else. Library 0 is bench_support::generate_library's (documents of 1,000 lines, 45 KiB,
// one Verification line in every step: some 86,000 verifications of 43 requirement ids,
// each id in every document); library 1 is the menu benchmark's generate_render_library
// (documents of 17 KiB with 15 verifications of their own ids: 30,000 ids).
// The figures: "ratio" (wall time) and "cpu_ratio" (CPU time of this process, which the
// other jobs of a busy machine do not inflate); then where the command's CPU time goes:
// "scan_cpu_ms" (reading and tracing the documents, reading included), "matrix_cpu_ms",
// "page_cpu_ms", "csv_cpu_ms" (composing the texts); "output_mib" is what they write. The
// command itself reads, traces and takes in one document at a time (trace_library):
// "library_cpu_ms" is that, reading included, where scan and matrix count the two steps
// apart.
//
//   build/trace_bench --benchmark_min_time=5
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "actions.h"
#include "files.h"
#include "library_generator.h"
#include "lint/trace.h"
#include "names.h"
#include "render_library.h"
#include "resolve.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct BenchLibrary {
  std::string base;
  std::string root;
  BenchLibrary(std::size_t processes, bool render_library) {
    base = bench_support::make_temporary_folder("morvalen-trace-bench");
    root = base + "/library";
    // A list with ids the documents verify, and one that nothing verifies.
    std::string list = "Requirement,Text\n";
    if (render_library) {
      fs::create_directories(base + "/no-assets");
      generate_render_library(root, processes, base + "/no-assets");
      for (std::size_t document = 1; document <= processes; document += 2) {
        list += "REQ-1.1-" + std::to_string(document) + ",The unit shall pass check 1.1\n";
      }
    } else {
      bench_support::LibraryOptions options;
      options.processes = processes;
      bench_support::generate_library(root, options);
      for (int section = 1; section <= 6; ++section) {
        for (int step = 1; step <= 8; ++step) {
          const std::string id = std::to_string(section) + "." + std::to_string(step);
          list += "REQ-" + id + ",The subsystem shall hold pressure for 10 min\n";
        }
      }
    }
    list += "REQ-X,\"A requirement, verified nowhere\"\n";
    std::ofstream(root + "/list.csv", std::ios::binary) << list;
  }
  ~BenchLibrary() { bench_support::remove_folder(base); }
};

// A stream buffer that counts what it is given and keeps nothing.
struct DiscardingBuffer : std::streambuf {
  std::size_t bytes = 0;
  std::streamsize xsputn(const char*, std::streamsize count) override {
    bytes += static_cast<std::size_t>(count);
    return count;
  }
  int_type overflow(int_type c) override {
    ++bytes;
    return traits_type::not_eof(c);
  }
};

double cpu_seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_TraceAgainstReadingBytes(benchmark::State& state) {
  const BenchLibrary library(static_cast<std::size_t>(state.range(0)), state.range(1) == 1);
  const fs::path previous = fs::current_path();
  fs::current_path(library.root);
  const std::vector<std::string> args = {"--requirements", "list.csv"};
  double trace_seconds = 0;
  double read_seconds = 0;
  double trace_cpu = 0;
  double read_cpu = 0;
  double scan_cpu = 0;
  double matrix_cpu = 0;
  double page_cpu = 0;
  double csv_cpu = 0;
  double library_cpu = 0;
  std::size_t output_bytes = 0;
  std::size_t bytes = 0;
  std::string summary;
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    Clock::time_point start = Clock::now();
    double cpu_start = cpu_seconds();
    const int status = morvalen::run_trace(args, out, err);
    trace_cpu += cpu_seconds() - cpu_start;
    trace_seconds += seconds_since(start);
    if (status != 0) state.SkipWithError("qlml trace did not succeed");
    summary = out.str();

    start = Clock::now();
    cpu_start = cpu_seconds();
    bytes = 0;
    for (const std::string& folder : morvalen::list_process_folders()) {
      std::error_code error;
      bytes += morvalen::read_file(morvalen::document_path(folder), error).size();
      if (error) state.SkipWithError("a document could not be read");
    }
    read_cpu += cpu_seconds() - cpu_start;
    read_seconds += seconds_since(start);
    benchmark::DoNotOptimize(bytes);

    // Where the command's CPU time goes: the documents, the matrix, the two texts (into a
    // stream that discards them).
    cpu_start = cpu_seconds();
    std::vector<morvalen::TracedDocument> documents;
    std::string content;
    for (const std::string& folder : morvalen::list_process_folders()) {
      documents.push_back(morvalen::read_traced_document(folder, content));
    }
    scan_cpu += cpu_seconds() - cpu_start;
    cpu_start = cpu_seconds();
    const morvalen::TraceMatrix matrix = morvalen::build_trace_matrix(
        std::move(documents), morvalen::read_requirements_list("list.csv"));
    matrix_cpu += cpu_seconds() - cpu_start;
    DiscardingBuffer discarded;
    std::ostream nowhere(&discarded);
    cpu_start = cpu_seconds();
    morvalen::write_requirements_page(nowhere, matrix, "Bench", "now");
    page_cpu += cpu_seconds() - cpu_start;
    cpu_start = cpu_seconds();
    morvalen::write_requirements_csv(nowhere, matrix);
    csv_cpu += cpu_seconds() - cpu_start;
    output_bytes = discarded.bytes;
    cpu_start = cpu_seconds();
    const morvalen::TraceMatrix streamed = morvalen::trace_library(
        morvalen::list_process_folders(), morvalen::read_requirements_list("list.csv"),
        [](const std::string&) {});
    library_cpu += cpu_seconds() - cpu_start;
    benchmark::DoNotOptimize(streamed.rows.size());
  }
  fs::current_path(previous);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["trace_ms"] = 1e3 * trace_seconds / iterations;
  state.counters["read_ms"] = 1e3 * read_seconds / iterations;
  state.counters["ratio"] = trace_seconds / read_seconds;
  state.counters["cpu_ratio"] = trace_cpu / read_cpu;
  state.counters["trace_cpu_ms"] = 1e3 * trace_cpu / iterations;
  state.counters["read_cpu_ms"] = 1e3 * read_cpu / iterations;
  state.counters["scan_cpu_ms"] = 1e3 * scan_cpu / iterations;
  state.counters["matrix_cpu_ms"] = 1e3 * matrix_cpu / iterations;
  state.counters["page_cpu_ms"] = 1e3 * page_cpu / iterations;
  state.counters["csv_cpu_ms"] = 1e3 * csv_cpu / iterations;
  state.counters["library_cpu_ms"] = 1e3 * library_cpu / iterations;
  state.counters["output_mib"] = static_cast<double>(output_bytes) / (1024.0 * 1024.0);
  state.counters["library_mib"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.SetLabel(summary.substr(0, summary.find('\n')));
}
BENCHMARK(BM_TraceAgainstReadingBytes)
    ->Args({2000, 0})
    ->Args({2000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
