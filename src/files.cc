#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "fatal.h"
#include "text.h"

namespace morvalen {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// The lines of `content` as `Line`s (copies or views), so both forms split alike.
template <typename Line>
std::vector<Line> split_into(std::string_view content) {
  content = drop_byte_order_mark(content);
  std::vector<Line> lines;
  for (std::size_t start = 0;
       const std::optional<std::string_view> line = next_line(content, start);) {
    lines.emplace_back(*line);
  }
  return lines;
}

}  // namespace

std::string_view drop_byte_order_mark(std::string_view content) {
  if (content.starts_with(kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
  return content;
}

std::optional<std::string_view> next_line(std::string_view content, std::size_t& start) {
  if (start >= content.size()) return std::nullopt;
  std::size_t end = content.find('\n', start);
  const bool has_feed = end != std::string_view::npos;
  if (!has_feed) end = content.size();
  std::size_t line_end = end;
  if (has_feed && line_end > start && content[line_end - 1] == '\r') --line_end;
  const std::string_view line = content.substr(start, line_end - start);
  start = has_feed ? end + 1 : end;
  return line;
}

std::vector<std::string_view> split_line_views(std::string_view content) {
  return split_into<std::string_view>(content);
}

std::vector<std::string> split_lines(std::string_view content) {
  return split_into<std::string>(content);
}

void read_file_into(const std::string& path, std::string& content, std::error_code& error) {
  error.clear();
  content.clear();
  FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    error = last_system_error();
    return;
  }
  // A regular file is read straight into `content`, sized by fstat with one byte to spare
  // so that the read meeting the end needs no second growth; files that grow meanwhile,
  // and pipes or devices without a size, are read on in steps.
  std::size_t expected = 0;
  struct stat info {};
  if (::fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    expected = static_cast<std::size_t>(info.st_size);
  }
  std::size_t used = 0;
  content.resize(expected + 1);
  while (true) {
    if (used == content.size()) content.resize(std::max<std::size_t>(2 * content.size(), 1 << 16));
    const ssize_t got = ::read(file.fd, content.data() + used, content.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = last_system_error();
      content.clear();
      return;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  content.resize(used);
}

std::string read_file(const std::string& path, std::error_code& error) {
  std::string content;
  read_file_into(path, content, error);
  return content;
}

void read_text_file_into(const std::string& path, std::string& content,
                         std::string_view failure_message) {
  std::error_code error;
  read_file_into(path, content, error);
  if (error) fatal(std::string(failure_message) + ": " + path, error);
  if (const auto bad = first_invalid_utf8(content)) {
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(content.begin(), content.begin() + *bad, '\n'));
    fatal(std::string(failure_message) + ": " + path + ": line " + std::to_string(line) +
          " is not valid UTF-8 text");
  }
}

std::string read_text_file(const std::string& path, std::string_view failure_message) {
  std::string content;
  read_text_file_into(path, content, failure_message);
  return content;
}

std::vector<std::string> read_lines(const std::string& path, std::string_view failure_message) {
  return split_lines(read_text_file(path, failure_message));
}

void write_piece(std::ostream& out, std::string_view piece, std::string_view failure_message) {
  errno = 0;
  out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  if (!out) fatal(failure_message, last_system_error());
}

std::ofstream open_output(const std::string& path, std::string_view failure_message) {
  std::ofstream out;
  errno = 0;
  out.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!out) fatal(std::string(failure_message) + ": " + path, last_system_error());
  return out;
}

void close_output(std::ofstream& out, std::string_view failure_message) {
  errno = 0;
  out.flush();
  if (!out) fatal(failure_message, last_system_error());
  out.close();
  if (!out) fatal(failure_message, last_system_error());
}

bool path_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

bool is_folder(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_directory(path, ignored);
}

TemporaryFile::~TemporaryFile() {
  if (!kept) std::remove(path.c_str());
}

std::string temporary_path_beside(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "/." + name + ".tmp-" + std::to_string(::getpid());
}

}  // namespace morvalen
