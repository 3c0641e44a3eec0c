// Fuzzes qlml check against the reader: bytes in, the findings of check_document, and the
// reader over the same lines. Every line the checker calls dropped (QL001, QL002, QL201,
// QL202, QL203) must add nothing to the model: blanking those lines gives the same Process.
// The record the checker is built on (trace_qlml_lines) must agree with the model's
// sections, steps and content items, and every finding must point into the document.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "fatal.h"
#include "files.h"
#include "fuzz_check.h"
#include "lint/check.h"
#include "model.h"
#include "read_qlml.h"
#include "text.h"
#include "write_html.h"

namespace {

// Everything of a Process that a page, the summary and the lists' labels show.
std::string describe(const std::vector<std::string>& lines, std::string& stop) {
  morvalen::Process process;
  try {
    process = morvalen::read_qlml_lines(lines, "./F/F.qlml");
  } catch (const morvalen::FatalStop& fatal_stop) {
    stop = fatal_stop.message;
    return "";
  }
  std::ostringstream out;
  morvalen::write_complete_html(out, process);
  morvalen::display_process_to_stdout(out, process);
  for (const auto& item : process.objectives) out << item.label << '\n';
  for (const auto& item : process.out_of_scope) out << item.label << '\n';
  for (const auto& item : process.resources) out << item.label << '\n';
  for (const auto& item : process.verifications) out << item.label << '\n';
  for (const auto& revision : process.revisions) out << revision.revision << '\n';
  return out.str();
}

void check_place(const morvalen::Place& place, std::size_t line_count) {
  check(place.file == "./F/F.qlml");
  check(place.line >= 1 &&
        static_cast<std::size_t>(place.line) <= std::max<std::size_t>(line_count, 1));
  check(place.column >= 1 && place.end_line >= place.line);
  check(place.end_line > place.line || place.end_column >= place.column);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Files named by the document resolve against the current folder: an empty scratch one.
  char folder[] = "/tmp/morvalen-check-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<morvalen::Finding> findings =
      morvalen::check_document("./F/F.qlml", bytes, morvalen::CheckConfig{});
  if (morvalen::first_invalid_utf8(bytes)) {
    // The reader refuses the file: one finding says so, and nothing else is checked.
    check(findings.size() == 1 && findings[0].code == "QL004");
    return 0;
  }
  const std::vector<std::string> lines = morvalen::split_lines(bytes);
  std::vector<std::string> blanked = lines;
  for (const morvalen::Finding& finding : findings) {
    check(morvalen::find_rule(finding.code) != nullptr);
    check_place(finding.place, lines.size());
    for (const morvalen::Related& related : finding.related)
      check_place(related.place, lines.size());
    if (finding.drops_line) blanked[static_cast<std::size_t>(finding.place.line - 1)].clear();
  }
  std::string stop;
  std::string blanked_stop;
  const std::string model = describe(lines, stop);
  check(model == describe(blanked, blanked_stop));
  check(stop == blanked_stop);
  if (!stop.empty()) return 0;

  // The trace against the model: sections, steps and their content items.
  const std::vector<std::string_view> views(lines.begin(), lines.end());
  const morvalen::DocumentTrace trace = morvalen::trace_qlml_lines(views);
  const morvalen::Process process = morvalen::read_qlml_lines(lines, "./F/F.qlml");
  check(trace.lines.size() == lines.size());
  check(trace.sections.size() == process.sections.size());
  for (std::size_t s = 0; s < process.sections.size(); ++s) {
    const morvalen::OutlineSection& outline = trace.sections[s];
    check(outline.number == s + 1 && outline.title == process.sections[s].title);
    check(outline.steps.size() == process.sections[s].steps.size());
    for (std::size_t t = 0; t < outline.steps.size(); ++t) {
      const morvalen::Step& step = process.sections[s].steps[t];
      check(outline.steps[t].title == step.title);
      // Each content item comes from one line the step's scan took: a content line, an
      // opened table, or the first line of an action run.
      std::size_t items = 0;
      for (std::size_t i = outline.steps[t].line - 1; i < outline.steps[t].end_line; ++i) {
        const morvalen::LineTrace& line = trace.lines[i];
        if (line.section != s + 1 || line.step != t + 1) continue;
        if (line.fate == morvalen::LineFate::Content ||
            line.fate == morvalen::LineFate::TableStart ||
            (line.fate == morvalen::LineFate::Action &&
             (i == 0 || trace.lines[i - 1].fate != morvalen::LineFate::Action))) {
          ++items;
        }
      }
      check(items == step.sub_steps.size());
    }
  }
  return 0;
}
