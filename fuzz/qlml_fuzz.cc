// Fuzzes the QLML reader and everything that renders a Process: bytes in, the reader over
// its lines, the menu's summary reader over the same text, the procedure page into memory
// and the console summary, with the invariants that tie them together.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "fatal.h"
#include "files.h"
#include "fuzz_check.h"
#include "model.h"
#include "read_qlml.h"
#include "text.h"
#include "write_html.h"

namespace {

std::size_t count_lines_equal_to(const std::string& text, std::string_view wanted) {
  std::size_t count = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (std::string_view(text).substr(start, end - start) == wanted) ++count;
    start = end + 1;
  }
  return count;
}

// The number after the last summary line that begins with `label`.
std::string last_count(const std::string& summary, std::string_view label) {
  const std::size_t at = summary.rfind("\n" + std::string(label));
  check(at != std::string::npos);
  const std::size_t begin = at + 1 + label.size();
  return summary.substr(begin, summary.find('\n', begin) - begin);
}

bool same_summary(const morvalen::ProcessSummary& a, const morvalen::ProcessSummary& b) {
  const auto same_mentions = [](const auto& x, const auto& y) {
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (x[i].rid != y[i].rid || x[i].method != y[i].method) return false;
    }
    return true;
  };
  return a.number == b.number && a.revision == b.revision && a.title == b.title &&
         a.subject == b.subject && a.author == b.author && a.reviewer == b.reviewer &&
         a.objectives == b.objectives && a.out_of_scope == b.out_of_scope &&
         a.resources == b.resources && same_mentions(a.verifications, b.verifications) &&
         a.command_lines == b.command_lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // CSVFILE names resolve against the current folder: make it an empty scratch folder.
  char folder[] = "/tmp/morvalen-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Cutting lines tells an all-ASCII text (the byte-order mark aside) from the others.
  bool all_ascii = false;
  morvalen::split_line_views(bytes, &all_ascii);
  const std::string_view text = morvalen::drop_byte_order_mark(bytes);
  check(all_ascii == std::none_of(text.begin(), text.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
  // Cutting and classifying in one walk gives the same lines and keywords as the plain way,
  // whatever the bytes.
  std::vector<std::string_view> cut;
  std::vector<morvalen::Keyword> keywords;
  check(morvalen::split_and_classify(bytes, cut, keywords) == all_ascii);
  check(cut == morvalen::split_line_views(bytes) && keywords.size() == cut.size());
  for (std::size_t i = 0; i < cut.size(); ++i) {
    check(keywords[i] == morvalen::keyword_of(morvalen::split_statement(cut[i]).keyword));
  }
  if (morvalen::first_invalid_utf8(bytes)) return 0;  // the file reader refuses these
  const std::vector<std::string> lines = morvalen::split_lines(bytes);
  // The fast line cutter and keyword classification agree with the plain ones.
  const std::vector<std::string_view> views = morvalen::split_line_views(bytes);
  check(views.size() == lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    check(views[i] == lines[i]);
    check(morvalen::classify_line(lines[i]) ==
          morvalen::keyword_of(morvalen::split_statement(lines[i]).keyword));
  }
  morvalen::Process process;
  // The menu's summary reader goes over the same text: it stops where the full reader
  // stops, with the same message, and otherwise gives what the full model holds.
  morvalen::ProcessSummary menu_summary;
  std::string summary_stop;
  try {
    morvalen::summarise_qlml_text(bytes, "./F/F.qlml", menu_summary);
  } catch (const morvalen::FatalStop& stop) {
    summary_stop = stop.message;
  }
  try {
    process = morvalen::read_qlml_lines(lines, "./F/F.qlml");
  } catch (const morvalen::FatalStop& stop) {
    // Only CSV files can stop the reader, and there are none here.
    check(stop.message.rfind("Could not load lines: ", 0) == 0);
    check(summary_stop == stop.message);
    return 0;
  }
  check(summary_stop.empty());
  check(same_summary(menu_summary, morvalen::summarise_process(process)));
  std::ostringstream page;
  morvalen::write_complete_html(page, process);
  const std::string html = page.str();
  check(html.rfind("<!DOCTYPE html>\n", 0) == 0);
  check(html.ends_with("</html>"));
  check(count_lines_equal_to(html, "\t\t\t\t<section>") == process.sections.size());
  // Page rows: title, revisions, requirements when verified, contents, overview, sections.
  const std::size_t front_rows = 4 + (process.verifications.empty() ? 0 : 1);
  check(count_lines_equal_to(html, "\t\t\t<tr><td>") == front_rows + process.sections.size());
  check(count_lines_equal_to(html, "\t\t\t<tr id=\"non-conformances\"><td>") == 1);
  std::ostringstream summary_stream;
  morvalen::display_process_to_stdout(summary_stream, process);
  const std::string summary = summary_stream.str();
  check(last_count(summary, " ↪ Count of Sections:        ") ==
        std::to_string(process.sections.size()));
  check(last_count(summary, " ↪ Count of Objectives:      ") ==
        std::to_string(process.objectives.size()));
  check(last_count(summary, " ↪ Count of Resources:       ") ==
        std::to_string(process.resources.size()));
  check(last_count(summary, " ↪ Count of Verifications:   ") ==
        std::to_string(process.verifications.size()));
  std::size_t steps = 0;
  for (const morvalen::Section& section : process.sections) steps += section.steps.size();
  check(count_lines_equal_to(html, "\t\t\t\t\t</div>") >= steps);
  return 0;
}
