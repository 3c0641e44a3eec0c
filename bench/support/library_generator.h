// library_generator.h: synthetic process libraries for the benchmarks.
//
// A generated library holds `processes` process folders in `root`, each named as
// get_process_folder_name names it ("{number} - {title}", numbers "{prefix}0001",
// "{prefix}0002", ...), with the document "{name}.qlml" and the CSV file "limits.csv" its
// CSVFILE lines name. Every document uses every statement: the header statements, three
// Revision lines, comments and blank lines, and then sections of steps whose content is
// Objective, Out of Scope, Resource, Verification, Context, Command, Warning, Image, a run
// of three Action lines (one with two-party verification), an embedded CSVSTART ... CSVEND
// table and, in every `csv_file_every`-th step, a CSVFILE table. Documents are cut to
// exactly `lines_per_document` lines (at least the header). The content is deterministic:
// the same options give the same bytes.
//
// Usage:
//   bench_support::LibraryOptions options;
//   options.processes = 100;
//   options.lines_per_document = 2000;
//   const auto names = bench_support::generate_library("/tmp/lib", options);
//   // names[i] is a process folder name; document_path(names[i]) reads it from "/tmp/lib".
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace bench_support {

struct LibraryOptions {
  std::size_t processes = 10;
  std::size_t lines_per_document = 1000;
  std::size_t steps_per_section = 8;
  std::size_t csv_file_every = 8;  // a CSVFILE line in every n-th step; 0 for none
  std::string number_prefix = "QL-BENCH-";
  bool with_assets_folder = true;  // an "assets" folder with an empty stylesheet
};

// The text of one document with `lines` lines (each ended by a line feed).
std::string generate_document(const std::string& number, const std::string& title,
                              const LibraryOptions& options);
// Writes the library into `root` (created when missing) and returns the process folder
// names in ascending order. Throws std::runtime_error when a file cannot be written.
std::vector<std::string> generate_library(const std::string& root, const LibraryOptions& options);
// A fresh empty folder under the system's temporary folder; the caller removes it (see
// remove_folder).
std::string make_temporary_folder(const std::string& stem);
void remove_folder(const std::string& path);

}  // namespace bench_support
