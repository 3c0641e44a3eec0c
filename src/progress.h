// progress.h: the one line on standard error that shows how far a run over many documents
// has come, redrawn in place and cleared at the end.
#pragma once
#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace morvalen {

struct ProgressLine {
  bool shown = false;  // false: every call below does nothing
  std::size_t total = 0;
  std::size_t count = 0;   // documents begun so far
  std::size_t width = 80;  // terminal columns; the line stays shorter
  bool drawn = false;      // something of the line is on the terminal now
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
};

// A progress line for a run over `total` documents, shown only when `to_terminal` and
// there is more than one document; `width` is the terminal's width in columns.
ProgressLine make_progress_line(std::size_t total, bool to_terminal, std::size_t width);
// A progress line for standard error: shown when it is a terminal (its width asked from it).
ProgressLine make_stderr_progress_line(std::size_t total);
// The text of the line when `document` is begun: "[{count}/{total}] {document} {elapsed}",
// elapsed as "12s" or "3m05s", the document's name shortened with "…" to fit `width` - 1.
std::string progress_text(const ProgressLine& line, std::string_view document);
// Counts one more document and redraws the line for it: "\r", the text, "\e[K".
void advance_progress(std::ostream& err, ProgressLine& line, std::string_view document);
// Takes the line off the terminal ("\r\e[K"), before other output or at the end.
void clear_progress(std::ostream& err, ProgressLine& line);

}  // namespace morvalen
