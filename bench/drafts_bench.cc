// Draft generation (-l) against merely writing the same draft and page bytes.
//
// BM_DraftsAgainstPlainWrites/N runs the -l action on a document list of N rows in a scratch
// library (under TMPDIR): reading the list, writing each draft through its temporary file,
// rendering its page and copying the batch file. In the same iteration it writes the very
// bytes of those drafts and pages into fresh process folders, and nothing else. The folders
// are removed, untimed, before each. The figures to watch: "ratio" at N = 1000 (at most 4),
// and "drafts_us_per_row" staying flat from 250 to 1000.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "actions.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrototype =
    "// $NUMBER \"$TITLE\": first draft made from the document list.\n"
    "Template|$TEMPLATE\n"
    "\n"
    "Number       | $NUMBER\n"
    "Title        | $TITLE\n"
    "Process Type | Work Instruction\n"
    "Author       | $AUTHOR\n"
    "Reviewer     | $REVIEWER\n"
    "Subject       | $SUBJECT\n"
    "Subject Image | ../assets/placeholderImage-small.png\n"
    "Product       | $PRODUCT\n"
    "Product Image | ../assets/placeholderImage-small.png\n"
    "Revision | - | First draft of $TITLE\n"
    "\n"
    "Section | Preparation\n"
    "    Step | Gather what the work needs\n"
    "        Objective    | [What $TITLE achieves for $SUBJECT]\n"
    "        Out of Scope | [What is not done here]\n"
    "        Resource     | [Tool or person needed]\n"
    "        Context      | [Why and when $SUBJECT is worked on]\n"
    "        Warning      | [Hazard to know about]\n"
    "        Action | [Thing to do] | [Expected result]\n"
    "        Action | [Thing a second person witnesses] | [Expected result] | TPV\n"
    "Section | Procedure\n"
    "    Step | [First step]\n"
    "        Context | [Plain statements]\n"
    "        Image   | ../assets/placeholderImage-small.png | [Caption]\n"
    "        Action  | [Thing to do] | [Expected result]\n"
    "        Verification | [REQ-ID] | [Requirement text] | Test\n"
    "    Step | [Second step]\n"
    "        Command  | [tool --status | grep OK]\n"
    "        CSVSTART | [Caption of the table]\n"
    "[Heading 1],[Heading 2],[Heading 3]\n"
    "[Cell],[Cell],[Cell]\n"
    "CSVEND\n"
    "        Action | [Thing to do] | [Expected result]\n"
    "Section | Close-out\n"
    "    Step | Record and hand back\n"
    "        Action | Record the results and sign | Record signed | TPV\n";

void write_text(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// A scratch library with the prototype, the batch file and a list of `rows` rows, entered
// for the benchmark's lifetime.
struct ScratchLibrary {
  fs::path root;
  fs::path previous;
  explicit ScratchLibrary(int rows) {
    std::error_code ignored;
    previous = fs::current_path(ignored);
    root = fs::temp_directory_path(ignored) /
           ("morvalen-drafts-bench-" + std::to_string(::getpid()) + "-" + std::to_string(rows));
    fs::remove_all(root, ignored);
    fs::create_directories(root / "assets", ignored);
    fs::current_path(root, ignored);
    write_text("assets/QLML-prototype.qlml", kPrototype);
    write_text("assets/QuickLever.bat", "@echo off\r\nmorvalen.exe %*\r\n");
    std::string list = "Document Number,Title,Subject,Product,Author,Reviewer,Corporate,Hazards\n";
    for (int i = 0; i < rows; ++i) {
      const std::string n = std::to_string(1000 + i);
      list += "QL-WI-" + n + ",Pump " + n + " Start/Stop,transfer pump P-" + n + ",P-" + n +
              " delivering duty flow,Rana Okafor,Johan Lindqvist," + (i % 2 == 0 ? "x" : "") +
              ",X\n";
    }
    write_text("DocumentList.csv", list);
  }
  ~ScratchLibrary() {
    std::error_code ignored;
    fs::current_path(previous, ignored);
    fs::remove_all(root, ignored);
  }
  // Removes every process folder, leaving the assets and the list.
  void remove_drafts() const {
    std::error_code ignored;
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(".", ignored)) {
      if (entry.is_directory() && entry.path().filename() != "assets")
        folders.push_back(entry.path());
    }
    for (const fs::path& folder : folders) fs::remove_all(folder, ignored);
  }
};

struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
};

// Every draft and page -l wrote, as (folder, [(path, content)]).
using WrittenFiles = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

WrittenFiles collect_drafts_and_pages() {
  WrittenFiles files;
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string folder = entry.path().filename().string();
    if (!entry.is_directory() || folder == "assets") continue;
    for (const std::string extension : {".qlml", ".html"}) {
      const std::string path = "./" + folder + "/" + folder + extension;
      files[folder].emplace_back(path, read_text(path));
    }
  }
  return files;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration times -l and then, on the same machine state, the plain writes of its
// output, so that load from other programs affects both sides alike. The reported time
// is that of -l; "ratio" is -l over the plain writes.
void BM_DraftsAgainstPlainWrites(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  ScratchLibrary library(rows);
  NullBuffer null_buffer;
  std::ostream null_out(&null_buffer);
  morvalen::generate_drafts("DocumentList.csv", false, null_out);
  const WrittenFiles files = collect_drafts_and_pages();
  if (files.size() != static_cast<std::size_t>(rows))
    state.SkipWithError("-l wrote the wrong number of drafts");
  std::size_t bytes = 0;
  for (const auto& [folder, contents] : files) {
    for (const auto& [path, content] : contents) bytes += content.size();
  }
  double drafts_seconds = 0;
  double plain_seconds = 0;
  for (auto _ : state) {
    library.remove_drafts();
    auto start = std::chrono::steady_clock::now();
    morvalen::generate_drafts("DocumentList.csv", false, null_out);
    const double drafts = seconds_since(start);
    library.remove_drafts();
    start = std::chrono::steady_clock::now();
    for (const auto& [folder, contents] : files) {
      std::error_code ignored;
      fs::create_directory(folder, ignored);
      for (const auto& [path, content] : contents) write_text(path, content);
    }
    plain_seconds += seconds_since(start);
    drafts_seconds += drafts;
    state.SetIterationTime(drafts);
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["rows"] = rows;
  state.counters["bytes_per_row"] = static_cast<double>(bytes) / rows;
  state.counters["drafts_us_per_row"] = drafts_seconds / iterations / rows * 1e6;
  state.counters["plain_us_per_row"] = plain_seconds / iterations / rows * 1e6;
  state.counters["ratio"] = drafts_seconds / plain_seconds;
}

}  // namespace

BENCHMARK(BM_DraftsAgainstPlainWrites)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
