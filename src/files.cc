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
  if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    content.remove_prefix(kByteOrderMark.size());
  }
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    const bool has_feed = end != std::string_view::npos;
    if (!has_feed) end = content.size();
    std::size_t line_end = end;
    if (has_feed && line_end > start && content[line_end - 1] == '\r') --line_end;
    lines.emplace_back(content.substr(start, line_end - start));
    start = has_feed ? end + 1 : end;
  }
  return lines;
}

}  // namespace

std::vector<std::string_view> split_line_views(std::string_view content) {
  return split_into<std::string_view>(content);
}

std::vector<std::string> split_lines(std::string_view content) {
  return split_into<std::string>(content);
}

std::string read_file(const std::string& path, std::error_code& error) {
  error.clear();
  FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    error = last_system_error();
    return {};
  }
  std::string content;
  struct stat info {};
  if (::fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    content.reserve(static_cast<std::size_t>(info.st_size));
  }
  char buffer[1 << 16];
  while (true) {
    const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = last_system_error();
      return {};
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  return content;
}

std::string read_text_file(const std::string& path, std::string_view failure_message) {
  std::error_code error;
  std::string content = read_file(path, error);
  const std::string prefix = std::string(failure_message) + ": " + path;
  if (error) fatal(prefix, error);
  if (const auto bad = first_invalid_utf8(content)) {
    const std::size_t line = 1 + static_cast<std::size_t>(
                                     std::count(content.begin(), content.begin() + *bad, '\n'));
    fatal(prefix + ": line " + std::to_string(line) + " is not valid UTF-8 text");
  }
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
