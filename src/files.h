// files.h: reading lines, the one write path, and the file-system calls std::filesystem
// lacks (files_posix.cc and files_win32.cc implement those).
#pragma once
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "interrupt.h"
#include "text.h"

namespace morvalen {

// The lines of `content`: split at line feeds, a carriage return directly before a line
// feed removed with it; text after the last line feed is a last line, an empty content has
// no lines. A UTF-8 byte-order mark at the very start is dropped (editors write one).
std::vector<std::string> split_lines(std::string_view content);
// The same lines as views into `content`; `all_ascii`, when given, is set to whether every
// byte of `content` is ASCII (and so the text is UTF-8 without a further look).
std::vector<std::string_view> split_line_views(std::string_view content, bool* all_ascii = nullptr);
// `content` without a UTF-8 byte-order mark at its start.
std::string_view drop_byte_order_mark(std::string_view content);
// Calls `on_line` with each line of `content` (a view), cut as split_line_views cuts it, in
// one walk that finds the line feeds of sixteen bytes at once; returns whether every byte
// of `content` is ASCII. For readers that look at each line while it is at hand.
template <class OnLine>
bool for_each_line_view(std::string_view content, OnLine&& on_line) {
  content = drop_byte_order_mark(content);
  const char* const data = content.data();
  const std::size_t size = content.size();
  std::size_t start = 0;
  const auto cut = [&](std::size_t end) {
    const std::size_t line_end = end > start && data[end - 1] == '\r' ? end - 1 : end;
    on_line(std::string_view(data + start, line_end - start));
    start = end + 1;
  };
  std::size_t i = 0;
  // The bytes beyond ASCII, gathered on the way.
  unsigned high = 0;
  for (; i + 16 <= size; i += 16) {
    high |= high_byte_mask16(data + i);
    for (unsigned feeds = byte_mask16(data + i, '\n'); feeds != 0; feeds &= feeds - 1) {
      cut(i + static_cast<std::size_t>(std::countr_zero(feeds)));
    }
  }
  for (; i < size; ++i) {
    high |= static_cast<unsigned char>(data[i]) & 0x80u;
    if (data[i] == '\n') cut(i);
  }
  if (start < size) on_line(std::string_view(data + start, size - start));
  return high == 0;
}
// The line of `content` that begins at `start`, cut as split_lines cuts it (without the
// byte-order mark rule), with `start` moved to the next line; nothing at the end.
std::optional<std::string_view> next_line(std::string_view content, std::size_t& start);
// The whole file at `path`, or the error that stopped reading it.
std::string read_file(const std::string& path, std::error_code& error);
// The same into `content`, whose storage is reused; empty after an error. The one place a
// file is opened for reading (files_posix.cc). Only regular files and folders (whose read
// fails with the system's error) are read: anything else (a pipe, a device, a socket)
// could wait for a writer for ever, and gives not_a_regular_file_error() at once.
void read_file_into(const std::string& path, std::string& content, std::error_code& error);
// The error of reading something that is no regular file: "not a regular file".
std::error_code not_a_regular_file_error();

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
// The same without a fatal stop, for readers that word their own: why the file could not be
// read (the system's description, or "line {n} is not valid UTF-8 text"), or nothing.
std::optional<std::string> try_read_text_file_into(const std::string& path, std::string& content);
// Why `content` is no UTF-8 text, as the readers above say it ("line {n} is not valid UTF-8
// text"), or nothing.
std::optional<std::string> utf8_problem(std::string_view content);

// Writes `piece` whole; fatal stop "{failure_message}: {description}" when the stream fails.
void write_piece(std::ostream& out, std::string_view piece, std::string_view failure_message);

// A file written completely or not at all: the one way the program writes its files. The
// text goes to a temporary file beside the file (beside the file a link leads to, so the
// link stays), which replaces it only on commit(); destroyed without commit (a fatal stop,
// an early return), the temporary file is removed and what was there before stays. An
// existing file that could not be opened for writing is not replaced: its error is the
// open failure. A path that is no regular file (a device such as /dev/full, a pipe, a
// folder) cannot be replaced and is opened in place, with the system's own error.
// Failures are fatal stops that name the final file, never the temporary one:
// "{open_failure}: {path}: {description}" when it cannot be created or opened,
// "{write_failure}: {path}: {description}" when a write, the final flush or the rename
// fails. A file written where it will not stay (into a folder that is renamed into place
// afterwards) names `shown_path` instead, when that is given.
class OutputFile {
 public:
  OutputFile(std::string path, std::string_view open_failure, std::string_view write_failure,
             const std::string& shown_path = "");
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes `piece` whole (a failure is the write failure above).
  void put(std::string_view piece);
  // The stream the text goes to, for writers that take a stream; pass failure() as their
  // failure message so that theirs names the file too.
  std::ostream& stream() { return out_; }
  // "{write_failure}: {path}".
  const std::string& failure() const { return failure_; }
  // Flushes, closes and puts the file in place.
  void commit();

 private:
  std::string path_;
  std::string replaced_;   // the file the text ends in: `path_`, or the file its link leads to
  std::string temporary_;  // "" when written in place
  std::string failure_;
  std::ofstream out_;
  std::uintmax_t reserved_ = 0;  // room set aside in the temporary file (reserve_file_room)
  bool committed_ = false;
};

// Writes `content` to `path` as OutputFile does, with its fatal stops.
void write_whole_file(const std::string& path, std::string_view content,
                      std::string_view open_failure, std::string_view write_failure,
                      const std::string& shown_path = "");
// The same without a fatal stop: the error that kept `content` from `path`, or none.
std::error_code try_write_whole_file(const std::string& path, std::string_view content);

// The one conversion between the program's strings (UTF-8) and the system's paths: every
// std::filesystem::path made from a string, and every string taken from one, goes through
// these two. (On Windows a path made straight from a std::string would read its bytes in
// the ANSI code page.) from_path writes "/" between the parts on every system.
std::filesystem::path to_path(std::string_view utf8);
std::string from_path(const std::filesystem::path& path);

// Whether this system changes or refuses names as Windows does (names.h,
// windows_name_problem).
#ifdef _WIN32
inline constexpr bool kWindowsFileNames = true;
#else
inline constexpr bool kWindowsFileNames = false;
#endif

// What a folder's listing tells of an entry without a look at the entry itself: Unknown
// for a link (its target decides) and where the system does not say.
enum class EntryKind { Folder, Other, Unknown };
struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Unknown;
};
// The entries of the folder `path` ("." and ".." left out) in the system's order, with their
// kinds as the listing gives them: on Windows a look at each entry would cost several system
// calls. Nothing with `error` set when the folder cannot be listed.
std::vector<FolderEntry> list_folder(const std::string& path, std::error_code& error);

// Whether something exists at `path` (a link counts by its target).
bool path_exists(const std::string& path);
// Whether `path` is a folder (a link counts by its target).
bool is_folder(const std::string& path);

// The file-system calls that std::filesystem does not offer, one implementation per
// system (files_posix.cc).

// Removes the file (not a folder) at `path`; the error when it cannot, "not found" too.
std::error_code remove_file(const std::string& path);
// Copies the file at `from` to `to`, replacing a file there; the error when it cannot.
std::error_code copy_file_replacing(const std::string& from, const std::string& to);
// A fresh, empty folder "{prefix}{random}" in the system's temporary folder, only this
// user's; "" with `error` set when none can be made.
std::string make_temporary_folder(std::string_view prefix, std::error_code& error);
// Whether the existing file at `path` could be opened for writing, without changing it:
// the error that opening it would give, or none.
std::error_code check_writable(const std::string& path);
// Creates the file `path`, empty, only when nothing is there yet (the system's exclusive
// create; permissions as for any new file): the error when it cannot, "file exists" too.
std::error_code create_new_file(const std::string& path);
// Asks the system to set room aside for `size` bytes in the existing file `path` without
// changing its size, where it can (Linux); nothing elsewhere, nor when it cannot. A large
// output written in pieces then finds its room at once instead of piece by piece.
void reserve_file_room(const std::string& path, std::uintmax_t size);

// The start of the name of every temporary file or folder the program makes beside an
// output. A temporary's name is this prefix and ten random letters or digits: 20 bytes,
// so every name that is legal for the final file is legal for its temporary too.
inline constexpr std::string_view kTemporaryPrefix = ".morvalen-";
// A new temporary file (made empty) or folder beside `path`, in the folder `path` lies in,
// made with an exclusive create and recorded for an interrupt (interrupt.h); "" with
// `error` set when none can be made. Put it in place with settle_temporary or remove it
// with discard_temporary.
std::string make_temporary_beside(const std::string& path, TemporaryKind kind,
                                  std::error_code& error);
// Copies the file `from` to `to` (links followed) completely or not at all: through a
// temporary file beside `to` that replaces it only once whole. The error of the reading,
// the writing or the renaming, or none.
std::error_code copy_file_whole(const std::string& from, const std::string& to);

// What is at a path, to tell a file that was written afresh from one left before.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;  // since the epoch of the file system's clock
  std::uint64_t identity = 0;    // the file's number on its device
  bool operator==(const FileStamp&) const = default;
};
// The stamp of the regular file at `path` (a link counts by its target), or nothing when
// there is none.
std::optional<FileStamp> file_stamp(const std::string& path);

}  // namespace morvalen
