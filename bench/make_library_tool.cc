// Writes a generated library for trying the program on many or large documents:
//   build/make_library_tool FOLDER [PROCESSES] [LINES_PER_DOCUMENT]
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "library_generator.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: %s FOLDER [PROCESSES] [LINES_PER_DOCUMENT]\n", argv[0]);
    return 2;
  }
  bench_support::LibraryOptions options;
  if (argc > 2) options.processes = std::strtoul(argv[2], nullptr, 10);
  if (argc > 3) options.lines_per_document = std::strtoul(argv[3], nullptr, 10);
  try {
    const auto names = bench_support::generate_library(argv[1], options);
    std::printf("%zu process folders written to %s\n", names.size(), argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
