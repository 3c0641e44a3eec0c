// files.h: reading lines, writing pieces, small file-system helpers.
#pragma once
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace morvalen {

// The lines of `content`: split at line feeds, a carriage return directly before a line
// feed removed with it; text after the last line feed is a last line, an empty content has
// no lines. A UTF-8 byte-order mark at the very start is dropped (editors write one).
std::vector<std::string> split_lines(std::string_view content);
// The same lines as views into `content`.
std::vector<std::string_view> split_line_views(std::string_view content);
// `content` without a UTF-8 byte-order mark at its start.
std::string_view drop_byte_order_mark(std::string_view content);
// The line of `content` that begins at `start`, cut as split_lines cuts it (without the
// byte-order mark rule), with `start` moved to the next line; nothing at the end.
std::optional<std::string_view> next_line(std::string_view content, std::size_t& start);
// The whole file at `path`, or the error that stopped reading it.
std::string read_file(const std::string& path, std::error_code& error);
// The same into `content`, whose storage is reused; empty after an error.
void read_file_into(const std::string& path, std::string& content, std::error_code& error);
// The lines of the UTF-8 file at `path`, as split_lines gives them. Fatal stop
// "{failure_message}: {path}: {description}" when the file cannot be opened or read, or
// when it is not valid UTF-8 (the description names the line).
std::vector<std::string> read_lines(const std::string& path,
                                    std::string_view failure_message = "Could not load lines");
// The whole UTF-8 file at `path`, checked as read_lines checks it, for callers that keep
// views of its lines (split_line_views) instead of copies.
std::string read_text_file(const std::string& path,
                           std::string_view failure_message = "Could not load lines");
// The same into `content`, whose storage is reused (one buffer for many files).
void read_text_file_into(const std::string& path, std::string& content,
                         std::string_view failure_message = "Could not load lines");

// Writes `piece` whole; fatal stop "{failure_message}: {description}" when the stream fails.
void write_piece(std::ostream& out, std::string_view piece, std::string_view failure_message);
// `path` created or truncated for writing. Fatal stop
// "{failure_message}: {path}: {description}" when it cannot be opened.
std::ofstream open_output(const std::string& path, std::string_view failure_message);
// Flushes and closes `out`; a failure is the fatal stop "{failure_message}: {description}".
void close_output(std::ofstream& out, std::string_view failure_message);

// Whether something exists at `path` (a link counts by its target).
bool path_exists(const std::string& path);
// Whether `path` is a folder (a link counts by its target).
bool is_folder(const std::string& path);
// A path beside `path` for writing a file before it is renamed over `path`:
// "{folder}/.{name}.tmp-{pid}".
std::string temporary_path_beside(const std::string& path);
// A file written under a temporary name and renamed into place when complete: removed on
// destruction unless `kept` was set after the rename, so a failure leaves nothing half
// written where the finished file belongs.
struct TemporaryFile {
  std::string path;
  bool kept = false;
  ~TemporaryFile();
};

}  // namespace morvalen
