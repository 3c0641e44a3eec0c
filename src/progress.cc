#include "progress.h"

#include "terminal.h"
#include "text.h"

namespace morvalen {

namespace {

std::string elapsed_text(std::chrono::steady_clock::duration elapsed) {
  const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
  if (seconds < 60) return std::to_string(seconds) + "s";
  const long long rest = seconds % 60;
  return std::to_string(seconds / 60) + "m" + (rest < 10 ? "0" : "") + std::to_string(rest) + "s";
}

// Columns are counted as code points (a byte outside any UTF-8 sequence as one): a long
// name must not wrap, since "\r" only returns to the start of the last terminal row and a
// wrapped line would leave its head behind.
std::size_t columns(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); ++count) decode_utf8(text, at);
  return count;
}

std::string first_columns(std::string_view text, std::size_t wanted) {
  std::size_t at = 0;
  for (std::size_t count = 0; count < wanted && at < text.size(); ++count) decode_utf8(text, at);
  return std::string(text.substr(0, at));
}

}  // namespace

ProgressLine make_progress_line(std::size_t total, bool to_terminal, std::size_t width) {
  ProgressLine line;
  line.shown = to_terminal && total > 1;
  line.total = total;
  line.width = width;
  return line;
}

ProgressLine make_stderr_progress_line(std::size_t total) {
  return make_progress_line(total, is_terminal(StandardStream::Error),
                            terminal_width(StandardStream::Error).value_or(80));
}

std::string progress_text(const ProgressLine& line, std::string_view document) {
  const std::string head =
      "[" + std::to_string(line.count) + "/" + std::to_string(line.total) + "] ";
  const std::string tail = " " + elapsed_text(std::chrono::steady_clock::now() - line.began);
  const std::size_t room = line.width > 1 ? line.width - 1 : 0;
  const std::size_t fixed = head.size() + tail.size();
  if (fixed + columns(document) <= room) return head + std::string(document) + tail;
  if (fixed + 1 >= room) return first_columns(head + std::string(document) + tail, room);
  return head + first_columns(document, room - fixed - 1) + "…" + tail;
}

void advance_progress(std::ostream& err, ProgressLine& line, std::string_view document) {
  if (!line.shown) return;
  ++line.count;
  err << '\r' << progress_text(line, document) << "\x1b[K";
  err.flush();
  line.drawn = true;
}

void clear_progress(std::ostream& err, ProgressLine& line) {
  if (!line.drawn) return;
  err << "\r\x1b[K";
  err.flush();
  line.drawn = false;
}

}  // namespace morvalen
