// qlml lsp: from a one-character edit to the diagnostics published for it.
//
// BM_EditToDiagnostics/{edits} generates (untimed) a library with one document of 10,000
// lines, then runs the language server in this process over a client's messages: initialize,
// didOpen, then {edits} didChange notifications that each insert or delete one character at
// the start of line 5,000 (a statement line, so that a finding comes and goes), then shutdown
// and exit. The input hands the server one message at a time and notes when the last byte of
// each didChange has been read; the output notes when each publishDiagnostics has been
// written whole (flushed). The figures, per edit, from the end of reading the didChange to
// the end of writing its diagnostics: "p50_ms", "p95_ms", "max_ms"; the floor, measured in
// the same run: "floor_ms", the median time of splitting the document into its lines once,
// and "p95_ratio" = p95 / floor; "check_ms" and "json_ms", the median times of checking the
// document and of writing its diagnostics as JSON text, outside the server ("publish_kib":
// how much that text is; the generated document names some 500 missing images). Memory:
// "rss_growth_kib", the resident size after all edits minus that after the first 1,000 (or
// the first tenth), which stays near zero when nothing grows with the number of edits.
//
//   build-release/lsp_bench                 # 300 and 10,000 edits
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "files.h"
#include "library_generator.h"
#include "lint/lsp.h"
#include "lint/lsp_check.h"
#include "lint/lsp_features.h"
#include "names.h"

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

constexpr int kEditLine = 5000;  // from 0

std::string framed(const json& message) {
  const std::string body = message.dump();
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The resident size of this process in KiB, from /proc (0 where there is none).
long resident_kib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// The client's side of the input: one message at a time, noting when each has been read.
class MessageFeed : public std::streambuf {
 public:
  MessageFeed(std::vector<std::string> messages, std::size_t sample_at)
      : messages_(std::move(messages)), read_end_(messages_.size()), sample_at_(sample_at) {}
  const std::vector<Clock::time_point>& read_end() const { return read_end_; }
  long rss_at_sample = 0;

 protected:
  int_type underflow() override {
    if (next_ == messages_.size()) return traits_type::eof();
    if (next_ == sample_at_) rss_at_sample = resident_kib();
    std::string& message = messages_[next_++];
    setg(message.data(), message.data(), message.data() + message.size());
    return traits_type::to_int_type(*gptr());
  }
  std::streamsize xsgetn(char* to, std::streamsize count) override {
    const std::streamsize got = std::streambuf::xsgetn(to, count);
    if (gptr() == egptr() && next_ > 0) read_end_[next_ - 1] = Clock::now();
    return got;
  }

 private:
  std::vector<std::string> messages_;
  std::vector<Clock::time_point> read_end_;
  std::size_t sample_at_;
  std::size_t next_ = 0;
};

// The client's side of the output: notes when each publishDiagnostics is flushed, keeps
// nothing else.
class PublishClock : public std::streambuf {
 public:
  std::vector<Clock::time_point> published;
  std::size_t diagnostics_bytes = 0;

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_.push_back(static_cast<char>(c));
    return c;
  }
  std::streamsize xsputn(const char* from, std::streamsize count) override {
    pending_.append(from, static_cast<std::size_t>(count));
    return count;
  }
  int sync() override {
    if (pending_.find("textDocument/publishDiagnostics") != std::string::npos) {
      published.push_back(Clock::now());
      diagnostics_bytes = pending_.size();
    }
    pending_.clear();
    return 0;
  }

 private:
  std::string pending_;
};

double ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void BM_EditToDiagnostics(benchmark::State& state) {
  const auto edits = static_cast<std::size_t>(state.range(0));
  const std::string root = bench_support::make_temporary_folder("lsp-bench");
  bench_support::LibraryOptions options;
  options.processes = 1;
  options.lines_per_document = 10000;
  const std::string name = bench_support::generate_library(root, options).front();
  const std::string path = root + "/" + name + "/" + name + ".qlml";
  const std::string text = morvalen::read_text_file(path);
  const std::string uri = morvalen::file_url(path);

  std::vector<std::string> messages;
  messages.push_back(framed({{"jsonrpc", "2.0"},
                             {"id", 1},
                             {"method", "initialize"},
                             {"params", {{"capabilities", json::object()}}}}));
  messages.push_back(
      framed({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", json::object()}}));
  messages.push_back(
      framed({{"jsonrpc", "2.0"},
              {"method", "textDocument/didOpen"},
              {"params",
               {{"textDocument",
                 {{"uri", uri}, {"languageId", "qlml"}, {"version", 1}, {"text", text}}}}}}));
  const std::size_t first_edit = messages.size();
  for (std::size_t i = 0; i < edits; ++i) {
    const bool insert = i % 2 == 0;
    const json range = {{"start", {{"line", kEditLine}, {"character", 0}}},
                        {"end", {{"line", kEditLine}, {"character", insert ? 0 : 1}}}};
    messages.push_back(
        framed({{"jsonrpc", "2.0"},
                {"method", "textDocument/didChange"},
                {"params",
                 {{"textDocument", {{"uri", uri}, {"version", i + 2}}},
                  {"contentChanges", {{{"range", range}, {"text", insert ? "x" : ""}}}}}}}));
  }
  messages.push_back(framed({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "shutdown"}}));
  messages.push_back(framed({{"jsonrpc", "2.0"}, {"method", "exit"}}));

  for (auto _ : state) {
    MessageFeed feed(messages, first_edit + std::min<std::size_t>(1000, edits / 10));
    PublishClock clock;
    std::istream in(&feed);
    std::ostream out(&clock);
    std::ostringstream err;
    const int status = morvalen::run_lsp({}, in, out, err);
    const long rss_after = resident_kib();
    if (status != 0 || clock.published.size() != edits + 1) {
      state.SkipWithError("the server did not publish once per edit");
      break;
    }
    std::vector<double> latencies;
    for (std::size_t i = 0; i < edits; ++i) {
      latencies.push_back(ms(clock.published[i + 1] - feed.read_end()[first_edit + i]));
    }
    std::vector<double> floors;
    for (int i = 0; i < 21; ++i) {
      const auto start = Clock::now();
      benchmark::DoNotOptimize(morvalen::split_lines(text));
      floors.push_back(ms(Clock::now() - start));
    }
    const double floor = percentile(floors, 0.5);
    // Where an edit's time goes: the checker over the document, then the diagnostics as JSON.
    const morvalen::OpenDocument document = morvalen::make_open_document(uri, text, 1);
    morvalen::CheckConfig config = morvalen::load_check_config(root);
    config.with_library_checks_for_document = true;
    std::vector<double> checks;
    std::vector<double> writes;
    for (int i = 0; i < 21; ++i) {
      const auto start = Clock::now();
      const std::vector<morvalen::Finding> findings =
          morvalen::check_open_document(document, config);
      const auto checked = Clock::now();
      benchmark::DoNotOptimize(morvalen::diagnostics_of(document, findings));
      checks.push_back(ms(checked - start));
      writes.push_back(ms(Clock::now() - checked));
    }
    state.counters["check_ms"] = percentile(checks, 0.5);
    state.counters["json_ms"] = percentile(writes, 0.5);
    state.counters["p50_ms"] = percentile(latencies, 0.5);
    state.counters["p95_ms"] = percentile(latencies, 0.95);
    state.counters["max_ms"] = percentile(latencies, 1.0);
    state.counters["floor_ms"] = floor;
    state.counters["p95_ratio"] = percentile(latencies, 0.95) / floor;
    state.counters["rss_growth_kib"] = static_cast<double>(rss_after - feed.rss_at_sample);
    state.counters["publish_kib"] = static_cast<double>(clock.diagnostics_bytes) / 1024.0;
  }
  bench_support::remove_folder(root);
}

BENCHMARK(BM_EditToDiagnostics)->Arg(300)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
