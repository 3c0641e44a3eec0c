// Draft generation (-l) against merely writing the same draft and page bytes.
//
// BM_GenerateDrafts/N runs the -l action on a document list of N rows in a scratch library:
// reading the list, the prototype for every row, writing each draft through its temporary
// file, reading it back, rendering its page and copying the batch file.
// BM_WriteDraftAndPageBytes/N writes the very bytes of those drafts and pages into fresh
// process folders, and nothing else. Both remove the folders between iterations, untimed.
// The ratio of the two at N = 1000, and the time per row from 250 to 1000, are the figures
// to watch.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "write_qlml.h"

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
              " delivering duty flow,Rana Okafor,Johan Lindqvist," + (i % 2 == 0 ? "x" : "") + ",X\n";
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
      if (entry.is_directory() && entry.path().filename() != "assets") folders.push_back(entry.path());
    }
    for (const fs::path& folder : folders) fs::remove_all(folder, ignored);
  }
};

struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
};

void BM_GenerateDrafts(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  ScratchLibrary library(rows);
  NullBuffer null_buffer;
  std::ostream null_out(&null_buffer);
  for (auto _ : state) {
    state.PauseTiming();
    library.remove_drafts();
    state.ResumeTiming();
    morvalen::generate_drafts("DocumentList.csv", false, null_out);
  }
  state.counters["rows"] = rows;
  state.counters["per_row"] = benchmark::Counter(rows, benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

void BM_WriteDraftAndPageBytes(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  ScratchLibrary library(rows);
  NullBuffer null_buffer;
  std::ostream null_out(&null_buffer);
  morvalen::generate_drafts("DocumentList.csv", false, null_out);
  // Every folder with its draft and page, as -l wrote them.
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> files;
  std::size_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string folder = entry.path().filename().string();
    if (!entry.is_directory() || folder == "assets") continue;
    for (const std::string extension : {".qlml", ".html"}) {
      const std::string path = "./" + folder + "/" + folder + extension;
      files[folder].emplace_back(path, read_text(path));
      bytes += files[folder].back().second.size();
    }
  }
  for (auto _ : state) {
    state.PauseTiming();
    library.remove_drafts();
    state.ResumeTiming();
    for (const auto& [folder, contents] : files) {
      std::error_code ignored;
      fs::create_directory(folder, ignored);
      for (const auto& [path, content] : contents) write_text(path, content);
    }
  }
  state.counters["rows"] = rows;
  state.counters["bytes_per_row"] = static_cast<double>(bytes) / rows;
  state.counters["per_row"] = benchmark::Counter(rows, benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_GenerateDrafts)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteDraftAndPageBytes)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
