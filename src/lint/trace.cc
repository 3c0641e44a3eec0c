#include "lint/trace.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "actions.h"
#include "fatal.h"
#include "files.h"
#include "names.h"
#include "progress.h"
#include "text.h"

namespace morvalen {
namespace {

constexpr std::string_view kUsage =
    "usage: qlml trace [--requirements LIST.csv] [--fail-on-uncovered]\n";

std::string help_screen() {
  return std::string(kUsage) +
         "\n"
         "Writes the library's requirements matrix into the library root (the current folder):\n"
         "Requirements.html, a page with one sortable row per requirement and links to the steps\n"
         "that verify it, and Requirements.csv, one record per verification. Prints one summary line.\n"
         "\n"
         "Options:\n"
         "  --requirements LIST.csv  the requirements to cover: a CSV file whose header names the\n"
         "                           columns Requirement and Text (other columns are ignored)\n"
         "  --fail-on-uncovered      exit with status 1 when a requirement of the list is verified\n"
         "                           nowhere\n"
         "  -h, --help               print this help\n";
}

struct TraceOptions {
  std::optional<std::string> requirements;
  bool fail_on_uncovered = false;
  bool help = false;
};

// The options, or the message of a wrong command line.
std::variant<TraceOptions, std::string> parse_trace_args(std::span<const std::string> args) {
  TraceOptions options;
  constexpr std::string_view kRequirements = "--requirements";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::optional<std::string> list;
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--fail-on-uncovered") {
      options.fail_on_uncovered = true;
    } else if (arg == kRequirements) {
      if (i + 1 == args.size()) return "option '--requirements' needs a file name";
      list = args[++i];
    } else if (arg.starts_with(std::string(kRequirements) + "=")) {
      list = arg.substr(kRequirements.size() + 1);
    } else if (arg.starts_with("-")) {
      return "unknown option '" + arg + "'";
    } else {
      return "unexpected argument '" + arg + "': trace reads the library in the current folder";
    }
    if (list) {
      if (options.requirements) return "option '--requirements' given twice";
      if (list->empty()) return "option '--requirements' needs a file name";
      options.requirements = std::move(list);
    }
  }
  return options;
}

// "2025-03-07 14:05 UTC".
std::string utc_minute(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto minutes = floor<std::chrono::minutes>(time);
  const auto day = floor<days>(minutes);
  const year_month_day date{day};
  const hh_mm_ss clock{minutes - day};
  return std::to_string(static_cast<int>(date.year())) + "-" +
         zero_padded(static_cast<unsigned>(date.month()), 2) + "-" +
         zero_padded(static_cast<unsigned>(date.day()), 2) + " " +
         zero_padded(static_cast<std::size_t>(clock.hours().count()), 2) + ":" +
         zero_padded(static_cast<std::size_t>(clock.minutes().count()), 2) + " UTC";
}

// Takes the progress line off the terminal however the run ends, so that a fatal stop's
// message starts on a clean line.
struct ProgressCleared {
  std::ostream& err;
  ProgressLine& line;
  ~ProgressCleared() { clear_progress(err, line); }
};

TraceMatrix trace_folders(const std::optional<RequirementsList>& list, std::ostream& err) {
  const std::vector<std::string> folders = list_process_folders();
  ProgressLine progress = make_stderr_progress_line(folders.size());
  const ProgressCleared cleared{err, progress};
  return trace_library(folders, list, [&](const std::string& folder) {
    advance_progress(err, progress, folder);
    // Folder names reach the page and the CSV file, which are UTF-8 text.
    if (first_invalid_utf8(folder)) {
      fatal("Could not load lines: " + quote_debug("./" + folder) +
            ": the folder name is not UTF-8 text");
    }
  });
}

// Both files go through the one write path, each composed and handed over in pieces of
// some hundred kilobytes (a large library's matrix is tens of megabytes, never held whole);
// both are complete under their temporary names before either replaces its predecessor,
// so a failure leaves the previous matrix as it was.
void write_matrix_files(const TraceMatrix& matrix, std::string_view library_name) {
  const std::string written_at = utc_minute(std::chrono::system_clock::now());
  OutputFile page(std::string(kRequirementsPagePath), "cannot open file", "write failed");
  write_requirements_page(page.stream(), matrix, library_name, written_at, page.failure());
  OutputFile csv(std::string(kRequirementsCsvPath), "cannot open file", "write failed");
  write_requirements_csv(csv.stream(), matrix, csv.failure());
  csv.commit();
  page.commit();
}

}  // namespace

int run_trace(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const auto parsed = parse_trace_args(args);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    err << "error: " << *problem << "\n"
        << kUsage << "For more information, try 'qlml trace --help'.\n";
    return 2;
  }
  const TraceOptions& options = std::get<TraceOptions>(parsed);
  if (options.help) {
    out << help_screen();
    return 0;
  }
  std::optional<RequirementsList> list;
  if (options.requirements) list = read_requirements_list(*options.requirements);
  const std::string library = library_name();
  const TraceMatrix matrix = trace_folders(list, err);
  for (const TraceFinding& finding : matrix.findings) err << format_finding(finding) << "\n";
  write_matrix_files(matrix, library);
  out << trace_summary_line(matrix) << "\n";
  return options.fail_on_uncovered && matrix.not_verified > 0 ? 1 : 0;
}

}  // namespace morvalen
