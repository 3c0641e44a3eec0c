// Times read_qlml on generated documents of 10k, 20k, 40k and 80k lines against the floor
// of merely reading the same file's lines (read_lines), then prints how each doubling of
// the size scales and how fast reading is next to the floor. The summary measures the two
// in turns, since on a shared machine two separate runs meet different loads.
//
//   build/read_qlml_bench --benchmark_min_time=0.5s
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "files.h"
#include "library_generator.h"
#include "names.h"
#include "read_qlml.h"

namespace {

constexpr long kSizes[] = {10000, 20000, 40000, 80000};

// The library is generated once, in a temporary folder that is the current folder while the
// benchmarks run, since documents name their CSV files relative to the library root.
struct BenchLibrary {
  std::string root;
  std::map<long, std::string> paths;  // lines -> document path

  BenchLibrary() {
    root = bench_support::make_temporary_folder("morvalen-read-bench");
    for (const long lines : kSizes) {
      bench_support::LibraryOptions options;
      options.processes = 1;
      options.lines_per_document = static_cast<std::size_t>(lines);
      options.number_prefix = "QL-" + std::to_string(lines / 1000) + "K-";
      const auto names = bench_support::generate_library(root, options);
      paths[lines] = morvalen::document_path(names.front());
    }
    std::filesystem::current_path(root);
  }
  ~BenchLibrary() {
    std::error_code ignored;
    std::filesystem::current_path("/", ignored);
    bench_support::remove_folder(root);
  }
};

BenchLibrary& library() {
  static BenchLibrary instance;
  return instance;
}

void BM_ReadLines(benchmark::State& state) {
  const std::string& path = library().paths.at(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(morvalen::read_lines(path));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadQlml(benchmark::State& state) {
  const std::string& path = library().paths.at(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(morvalen::read_qlml(path));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ReadLines)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Arg(80000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);
BENCHMARK(BM_ReadQlml)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Arg(80000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

// The least thread CPU time of five calls per turn of each reader, the two taking turns so
// that both meet the same load of a shared machine.
struct Pairing {
  double floor = 1e9;
  double reader = 1e9;
};

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Each turn calls one reader five times in a row, so each is timed with its own data warm
// in the caches, as a separate benchmark would time it.
Pairing measure_in_turns(const std::string& path, int turns) {
  Pairing best;
  for (int turn = 0; turn < turns; ++turn) {
    for (int call = 0; call < 5; ++call) {
      const double start = thread_seconds();
      benchmark::DoNotOptimize(morvalen::read_lines(path));
      best.floor = std::min(best.floor, thread_seconds() - start);
    }
    for (int call = 0; call < 5; ++call) {
      const double start = thread_seconds();
      benchmark::DoNotOptimize(morvalen::read_qlml(path));
      best.reader = std::min(best.reader, thread_seconds() - start);
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  // Both benchmarks free everything they read after each iteration. Left to itself the
  // allocator hands the larger blocks back to the system and every iteration pays the page
  // faults again, which swamps what is measured once documents pass a few megabytes.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  library();
  benchmark::RunSpecifiedBenchmarks();
  std::map<long, Pairing> best;
  for (const long lines : kSizes) best[lines] = measure_in_turns(library().paths.at(lines), 8);
  bool met = true;
  std::printf(
      "\nLeast thread CPU time of 40 calls each, in turns of five calls of read_lines\n"
      "and five of read_qlml\n");
  std::printf("read_qlml scaling (target: at most 2.3x per doubling)\n");
  for (std::size_t i = 1; i < std::size(kSizes); ++i) {
    const double ratio = best[kSizes[i]].reader / best[kSizes[i - 1]].reader;
    met = met && ratio <= 2.3;
    std::printf("  %ld -> %ld lines: %.2fx\n", kSizes[i - 1], kSizes[i], ratio);
  }
  std::printf("read_qlml speed next to read_lines (target: at least 0.25)\n");
  for (const long lines : kSizes) {
    const double share = best[lines].floor / best[lines].reader;
    met = met && share >= 0.25;
    std::printf("  %ld lines: %.2f (read_lines %.3f ms, read_qlml %.3f ms)\n", lines, share,
                best[lines].floor * 1e3, best[lines].reader * 1e3);
  }
  std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
  benchmark::Shutdown();
  return met ? 0 : 1;
}
