// The Win32 side of files.h: the file-system calls std::filesystem lacks, every path in
// UTF-16.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>

#include "fatal.h"
#include "files.h"
#include "win32.h"

namespace morvalen {
namespace {

struct Handle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) ::CloseHandle(handle);
  }
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::wstring to_wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string to_utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

std::error_code windows_error(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return std::make_error_code(std::errc::file_exists);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_DIRECTORY:
      return std::make_error_code(std::errc::not_a_directory);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return std::make_error_code(std::errc::not_enough_memory);
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return std::make_error_code(std::errc::broken_pipe);
    case ERROR_BAD_EXE_FORMAT:
      return std::make_error_code(std::errc::executable_format_error);
    default:
      return std::error_code(static_cast<int>(code), std::system_category());
  }
}

std::error_code last_windows_error() { return windows_error(::GetLastError()); }

namespace {

// The error of a failed open of `path` in POSIX's words, which Windows words otherwise:
// "access denied" for a folder ("is a directory"), "path not found" where a folder of the
// path is a file ("not a directory").
std::error_code open_error(const std::string& path) {
  const DWORD code = ::GetLastError();
  if (code == ERROR_ACCESS_DENIED) {
    const DWORD attributes = ::GetFileAttributesW(to_wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return std::make_error_code(std::errc::is_a_directory);
    }
  }
  if (code == ERROR_PATH_NOT_FOUND || code == ERROR_DIRECTORY) {
    std::filesystem::path folder = to_path(path).parent_path();
    while (!folder.empty() && folder != folder.parent_path()) {
      const DWORD attributes = ::GetFileAttributesW(folder.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
          return std::make_error_code(std::errc::not_a_directory);
        }
        break;
      }
      folder = folder.parent_path();
    }
  }
  return windows_error(code);
}

}  // namespace

std::filesystem::path to_path(std::string_view utf8) {
  return std::filesystem::path(to_wide(utf8));
}

std::string from_path(const std::filesystem::path& path) {
  std::string utf8 = to_utf8(path.native());
  std::replace(utf8.begin(), utf8.end(), '\\', '/');
  return utf8;
}

std::vector<FolderEntry> list_folder(const std::string& path, std::error_code& error) {
  error.clear();
  std::vector<FolderEntry> entries;
  std::wstring pattern = to_wide(path);
  if (!pattern.empty() && pattern.back() != L'/' && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                         FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(to_wide(path).c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Only a drive's empty root has no "." to find. A file's path says "invalid name" or
    // "not found" here, depending on the Windows.
    if (folder && code == ERROR_FILE_NOT_FOUND) return entries;
    if (attributes != INVALID_FILE_ATTRIBUTES && !folder) {
      error = std::make_error_code(std::errc::not_a_directory);
    } else {
      ::SetLastError(code);
      error = open_error(path + "/*");
    }
    return entries;
  }
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = found.dwFileAttributes;
    const EntryKind kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::Unknown
                           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? EntryKind::Folder
                                                                            : EntryKind::Other;
    entries.push_back({to_utf8(name), kind});
  } while (::FindNextFileW(search, &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    error = last_windows_error();
    entries.clear();
  }
  ::FindClose(search);
  return entries;
}

void read_file_into(const std::string& path, std::string& content, std::error_code& error) {
  error.clear();
  Handle file{::CreateFileW(to_wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
  if (file.handle == INVALID_HANDLE_VALUE) {
    error = open_error(path);
    content.clear();
    return;
  }
  // A pipe or a device could wait for a writer for ever (files.h).
  if (::GetFileType(file.handle) != FILE_TYPE_DISK) {
    error = not_a_regular_file_error();
    content.clear();
    return;
  }
  // Each call is costly under some Windows layers (a server round trip under Wine), so a
  // regular file is read with one ReadFile: sized with one byte to spare, a read that comes
  // back short has met the end. Pipes and devices have no size and are read on in steps.
  std::size_t expected = 0;
  LARGE_INTEGER size{};
  const bool sized = ::GetFileSizeEx(file.handle, &size) != 0;
  if (sized && size.QuadPart > 0) expected = static_cast<std::size_t>(size.QuadPart);
  // The bytes `content` holds already are read over, not cleared first (files_posix.cc).
  std::size_t used = 0;
  if (content.size() < expected + 1) content.resize(expected + 1);
  while (true) {
    if (used == content.size()) content.resize(std::max<std::size_t>(2 * content.size(), 1 << 16));
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(content.size() - used, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(file.handle, content.data() + used, wanted, &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) break;
      error = last_windows_error();
      content.clear();
      return;
    }
    if (got == 0) break;
    used += got;
    if (sized && got < wanted) break;
  }
  content.resize(used);
}

std::error_code remove_file(const std::string& path) {
  if (::DeleteFileW(to_wide(path).c_str())) return {};
  return last_windows_error();
}

std::error_code copy_file_replacing(const std::string& from, const std::string& to) {
  if (::CopyFileW(to_wide(from).c_str(), to_wide(to).c_str(), FALSE)) return {};
  return last_windows_error();
}

std::string make_temporary_folder(std::string_view prefix, std::error_code& error) {
  error.clear();
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  std::string base = length > 0 && length <= MAX_PATH ? to_utf8({buffer, length}) : "C:/Temp/";
  std::replace(base.begin(), base.end(), '\\', '/');
  if (!base.ends_with('/')) base += '/';
  std::random_device seed;
  std::mt19937_64 random(seed());
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string folder = base + std::string(prefix);
    for (int i = 0; i < 6; ++i) folder += kLetters[random() % (sizeof kLetters - 1)];
    error = make_temporary(folder, TemporaryKind::Folder, [&folder] {
      return ::CreateDirectoryW(to_wide(folder).c_str(), nullptr) ? std::error_code()
                                                                  : last_windows_error();
    });
    if (!error) return folder;
    if (error != std::errc::file_exists) break;
  }
  return "";
}

std::error_code check_writable(const std::string& path) {
  Handle file{::CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            0, nullptr)};
  if (file.handle == INVALID_HANDLE_VALUE) return open_error(path);
  return {};
}

std::error_code create_new_file(const std::string& path) {
  Handle file{::CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.handle == INVALID_HANDLE_VALUE) return last_windows_error();
  return {};
}

void reserve_file_room(const std::string&, std::uintmax_t) {}

bool path_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(to_path(path), ignored);
}

std::optional<FileStamp> file_stamp(const std::string& path) {
  Handle file{::CreateFileW(to_wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  BY_HANDLE_FILE_INFORMATION info{};
  if (file.handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file.handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  const auto join = [](DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
  };
  // 100-nanosecond steps since 1601, counted here from 1970 as on POSIX.
  constexpr std::int64_t kSteps1601To1970 = 116444736000000000;
  const auto written = static_cast<std::int64_t>(
      join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
  return FileStamp{static_cast<std::int64_t>(join(info.nFileSizeHigh, info.nFileSizeLow)),
                   (written - kSteps1601To1970) * 100,
                   join(info.nFileIndexHigh, info.nFileIndexLow)};
}

}  // namespace morvalen
