// The POSIX side of files.h: the file-system calls std::filesystem lacks.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "fatal.h"
#include "files.h"

namespace morvalen {
namespace {

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::filesystem::path to_path(std::string_view utf8) { return std::filesystem::path(utf8); }

std::string from_path(const std::filesystem::path& path) { return path.string(); }

std::vector<FolderEntry> list_folder(const std::string& path, std::error_code& error) {
  error.clear();
  std::vector<FolderEntry> entries;
  DIR* folder = ::opendir(path.c_str());
  if (folder == nullptr) {
    error = last_system_error();
    return entries;
  }
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(folder);
    if (entry == nullptr) {
      if (errno != 0) {
        error = last_system_error();
        entries.clear();
      }
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const EntryKind kind = entry->d_type == DT_DIR ? EntryKind::Folder
                           : entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN
                               ? EntryKind::Unknown
                               : EntryKind::Other;
    entries.push_back({std::string(name), kind});
  }
  ::closedir(folder);
  return entries;
}

void read_file_into(const std::string& path, std::string& content, std::error_code& error) {
  error.clear();
  // O_NONBLOCK keeps the open of a pipe from waiting for a writer; it changes nothing for
  // regular files.
  FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) {
    error = last_system_error();
    content.clear();
    return;
  }
  struct stat info {};
  if (::fstat(file.fd, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    error = not_a_regular_file_error();
    content.clear();
    return;
  }
  // A regular file is read straight into `content`, sized by fstat with one byte to spare
  // so that the read meeting the end needs no second growth; files that grow meanwhile,
  // and pipes or devices without a size, are read on in steps. The bytes `content` holds
  // already are read over, not cleared first: a buffer reused for many files of a size is
  // never filled with zeros only to be overwritten.
  std::size_t expected = 0;
  if (S_ISREG(info.st_mode) && info.st_size > 0) expected = static_cast<std::size_t>(info.st_size);
  std::size_t used = 0;
  if (content.size() < expected + 1) content.resize(expected + 1);
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

std::error_code remove_file(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return {};
  return last_system_error();
}

std::error_code copy_file_replacing(const std::string& from, const std::string& to) {
  std::error_code error;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  return error;
}

std::string make_temporary_folder(std::string_view prefix, std::error_code& error) {
  std::string pattern =
      (std::filesystem::temp_directory_path(error) / (std::string(prefix) + "XXXXXX")).string();
  if (error) pattern = "/tmp/" + std::string(prefix) + "XXXXXX";
  error.clear();
  // mkdtemp fills in the name in place, so the record gets the folder's real name.
  error = make_temporary(pattern, TemporaryKind::Folder, [&pattern] {
    return ::mkdtemp(pattern.data()) == nullptr ? last_system_error() : std::error_code();
  });
  return error ? "" : pattern;
}

std::error_code check_writable(const std::string& path) {
  // Opening for writing without O_TRUNC or O_CREAT changes nothing; O_NONBLOCK keeps a
  // pipe that appeared meanwhile from waiting for a reader.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return last_system_error();
  ::close(fd);
  return {};
}

std::error_code create_new_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return last_system_error();
  ::close(fd);
  return {};
}

void reserve_file_room([[maybe_unused]] const std::string& path,
                       [[maybe_unused]] std::uintmax_t size) {
#if defined(__linux__)
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  // Room beyond the end is given back when the file is cut to its length.
  (void)::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
  ::close(fd);
#endif
}

bool path_exists(const std::string& path) {
  // Checkers ask this for every file a document names: one system call, no path object.
  return ::faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) == 0;
}

std::optional<FileStamp> file_stamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return FileStamp{
      info.st_size,
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace morvalen
