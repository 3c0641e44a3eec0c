// qlml check against merely reading the bytes of every document it checks, and re-checking
// one large document as an editor does on every change.
//
// BM_CheckAgainstReadingBytes/2000/{images} generates (untimed, once)
// bench_support::generate_library's library of 2,000 process folders (documents of 1,000
// lines, 45 KiB; with images 1: also the image files they name, so that the library is clean;
// 0: without, some 53 findings a document), enters it, and times in
// each iteration the whole command ("qlml check --fail-on never": scan the folders, read and
// check every document with the library checks, look up every referenced file, write the
// findings) and, in the same iteration, reading each document's bytes and nothing else.
// "cpu_ratio" (CPU time of this process, which other jobs of a busy machine do not inflate)
// is the figure to watch: at most 4. "findings" says how much there was to write.
// "cpu_ratio_with_csv" sets the check against reading the documents and also the CSV file
// their CSVFILE lines name (limits.csv, one a folder), whose bytes the check reads too.
//
// BM_RecheckOneDocument/10000 checks one document of 10,000 lines already in memory
// (check_document, with its process folder on disk for the file checks): "check_ms" is the
// CPU time of one check, at most 5 ms.
//
//   build-release/check_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>
#include <time.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "actions.h"
#include "files.h"
#include "library_generator.h"
#include "lint/check.h"
#include "names.h"

namespace {

namespace fs = std::filesystem;

double cpu_seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct BenchLibrary {
  std::string base;
  std::string root;
  std::vector<std::string> names;
  BenchLibrary(std::size_t processes, std::size_t lines, bool with_images) {
    base = bench_support::make_temporary_folder("morvalen-check-bench");
    root = base + "/library";
    bench_support::LibraryOptions options;
    options.processes = processes;
    options.lines_per_document = lines;
    names = bench_support::generate_library(root, options);
    // The generated documents name images that the generator does not draw: without them
    // every Image line is a finding (QL502).
    for (const std::string& name : names) {
      if (!with_images) break;
      for (const char* image : {"gauge.png", "subject.png", "product.png"}) {
        morvalen::write_whole_file(root + "/" + name + "/" + image, "", "cannot write",
                                   "cannot write");
      }
    }
  }
  ~BenchLibrary() { bench_support::remove_folder(base); }
};

void BM_CheckAgainstReadingBytes(benchmark::State& state) {
  const BenchLibrary library(static_cast<std::size_t>(state.range(0)), 1000, state.range(1) == 1);
  const fs::path previous = fs::current_path();
  fs::current_path(library.root);
  const std::vector<std::string> args = {"--fail-on", "never"};
  double check_cpu = 0;
  double read_cpu = 0;
  double csv_cpu = 0;
  std::size_t findings = 0;
  std::size_t bytes = 0;
  // The floors read as the check does, into a buffer reused from file to file: a fresh
  // string a file would charge them an allocation and a zero-filled buffer each.
  std::string document;
  std::string csv;
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    double start = cpu_seconds();
    if (morvalen::run_check(args, out, err) != 0) state.SkipWithError("qlml check failed");
    check_cpu += cpu_seconds() - start;
    const std::string text = out.str();
    findings = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));

    start = cpu_seconds();
    bytes = 0;
    for (const std::string& folder : morvalen::list_process_folders()) {
      std::error_code error;
      morvalen::read_file_into(morvalen::document_path(folder), document, error);
      bytes += document.size();
      if (error) state.SkipWithError("a document could not be read");
    }
    read_cpu += cpu_seconds() - start;
    start = cpu_seconds();
    std::size_t csv_bytes = 0;
    for (const std::string& folder : morvalen::list_process_folders()) {
      std::error_code error;
      morvalen::read_file_into(folder + "/limits.csv", csv, error);
      csv_bytes += csv.size();
      if (error) state.SkipWithError("a CSV file could not be read");
    }
    csv_cpu += cpu_seconds() - start;
    benchmark::DoNotOptimize(bytes + csv_bytes);
  }
  fs::current_path(previous);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["check_cpu_ms"] = 1e3 * check_cpu / iterations;
  state.counters["read_cpu_ms"] = 1e3 * read_cpu / iterations;
  state.counters["cpu_ratio"] = check_cpu / read_cpu;
  state.counters["cpu_ratio_with_csv"] = check_cpu / (read_cpu + csv_cpu);
  state.counters["findings"] = static_cast<double>(findings);
  state.counters["library_mib"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_CheckAgainstReadingBytes)
    ->Args({2000, 0})
    ->Args({2000, 1})
    ->Unit(benchmark::kMillisecond);

void BM_RecheckOneDocument(benchmark::State& state) {
  const BenchLibrary library(1, static_cast<std::size_t>(state.range(0)), true);
  const std::string path = library.root + "/" + library.names[0] + "/" + library.names[0] + ".qlml";
  std::error_code error;
  const std::string text = morvalen::read_file(path, error);
  if (error) state.SkipWithError("the document could not be read");
  morvalen::CheckConfig config;
  config.with_library_checks_for_document = true;
  double cpu = 0;
  std::size_t findings = 0;
  for (auto _ : state) {
    const double start = cpu_seconds();
    const std::vector<morvalen::Finding> found = morvalen::check_document(path, text, config);
    cpu += cpu_seconds() - start;
    findings = found.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["check_ms"] = 1e3 * cpu / static_cast<double>(state.iterations());
  state.counters["findings"] = static_cast<double>(findings);
  state.counters["lines"] = static_cast<double>(std::count(text.begin(), text.end(), '\n'));
}
BENCHMARK(BM_RecheckOneDocument)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
