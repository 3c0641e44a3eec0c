#include "names.h"

#include <algorithm>

#include "files.h"
#include "text.h"

namespace morvalen {
namespace {

constexpr std::string_view kQlmlExtension = ".qlml";
constexpr std::string_view kReplacedInTitles = "/\\:*?\"<>|#%&+{}";
constexpr std::string_view kUtcMark = "_UTC-";
constexpr std::string_view kTimestampShape = "*-*-*-T*-*-*";

std::string replace_characters(std::string_view text, std::string_view replaced) {
  std::string result(text);
  for (char& c : result) {
    if (replaced.find(c) != std::string_view::npos) c = '_';
  }
  return result;
}

// `text` against `pattern`, where "*" is any text and every other character stands for
// itself. Archive names are compared this way rather than through glob patterns because a
// revision or a folder name may hold glob characters that must match only themselves.
bool matches_stars(std::string_view text, std::string_view pattern) {
  std::size_t t = 0;
  std::size_t p = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::string process_folder_name(std::string_view number, std::string_view title) {
  // A separator in the number would place the folder somewhere else than the library root.
  return "./" + replace_characters(number, "/\\") + " - " +
         replace_characters(title, kReplacedInTitles);
}

std::string get_process_folder_name(const Process& process) {
  return process_folder_name(process.number, process.title);
}

std::optional<std::string> windows_name_problem(std::string_view name) {
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
    return "ends in a dot or a blank";
  }
  // The device name is what comes before the first dot, blanks at its end ignored.
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string upper = to_upper(base);
  const bool numbered = upper.size() == 4 && upper[3] >= '1' && upper[3] <= '9' &&
                        (upper.starts_with("COM") || upper.starts_with("LPT"));
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || numbered) {
    return "is the reserved device name " + upper;
  }
  return std::nullopt;
}

std::string process_file_path(std::string_view name, std::string_view extension) {
  return "./" + std::string(name) + "/" + std::string(name) + std::string(extension);
}

std::string document_path(std::string_view name) { return process_file_path(name, ".qlml"); }

std::string folder_file_path(std::string_view folder, std::string_view extension) {
  return std::string(folder) + "/" + std::string(folder) + std::string(extension);
}

std::string batch_file_copy_path(std::string_view folder) {
  return std::string(folder) + "/QuickLever.bat";
}

std::string replace_qlml_extension(const std::string& document_path, std::string_view extension) {
  // Only the extension is replaced: a folder name holding ".qlml" must keep the page and the
  // PDF inside that folder.
  std::string path = document_path;
  if (path.ends_with(kQlmlExtension)) path.resize(path.size() - kQlmlExtension.size());
  return path + std::string(extension);
}

std::string folder_of_document(const std::string& document_path) {
  const std::size_t slash = document_path.rfind('/');
  return slash == std::string::npos ? std::string(".") : document_path.substr(0, slash);
}

std::string stub_stylesheet_path(std::string_view file_name) {
  return std::string(kAssetsFolder) + "/" + std::string(file_name);
}

std::string previous_folder(std::string_view process_folder) {
  return std::string(process_folder) + "/previous";
}

std::string format_archive_timestamp(std::chrono::system_clock::time_point time) {
  // The system clock counts UTC (leap seconds aside), so the calendar needs no time zone.
  using namespace std::chrono;
  const sys_seconds seconds = floor<std::chrono::seconds>(time);
  const sys_days day = floor<days>(seconds);
  const year_month_day date(day);
  const hh_mm_ss clock(seconds - day);
  const auto padded = [](long long value, std::size_t width) {
    return zero_padded(static_cast<std::size_t>(value), width);
  };
  return "UTC-" + padded(static_cast<int>(date.year()), 4) + "-" +
         padded(static_cast<unsigned>(date.month()), 2) + "-" +
         padded(static_cast<unsigned>(date.day()), 2) + "-T" + padded(clock.hours().count(), 2) +
         "-" + padded(clock.minutes().count(), 2) + "-" + padded(clock.seconds().count(), 2);
}

std::string archive_folder_name(std::string_view revision, std::string_view timestamp) {
  // A separator in the revision would nest the archive in folders the cleanup never sees,
  // or reach outside "previous" altogether; a NUL byte, which no file name can hold, would
  // cut the name short.
  std::string cleaned(revision);
  std::replace(cleaned.begin(), cleaned.end(), '/', '_');
  std::replace(cleaned.begin(), cleaned.end(), '\\', '_');
  std::replace(cleaned.begin(), cleaned.end(), '\0', '_');
  return "Rev_" + cleaned + "_" + std::string(timestamp);
}

bool is_archive_folder_name(std::string_view name) {
  return matches_stars(name, "Rev_*_UTC-*-*-*-T*-*-*");
}

std::optional<std::string> revision_of_archive_name(std::string_view name) {
  if (!is_archive_folder_name(name)) return std::nullopt;
  // The archive writer appends "_UTC-" and the timestamp, so the revision ends at the last
  // mark that is followed by a timestamp; a revision may itself contain "_UTC-".
  std::size_t mark = name.rfind(kUtcMark);
  while (mark != std::string_view::npos && mark >= 4) {
    if (matches_stars(name.substr(mark + kUtcMark.size()), kTimestampShape)) {
      return std::string(name.substr(4, mark - 4));
    }
    if (mark == 0) break;
    mark = name.rfind(kUtcMark, mark - 1);
  }
  return std::nullopt;
}

namespace {

// Whether `path` begins with a drive: "C:" alone or before a separator.
bool has_drive_letter(std::string_view path) {
  return path.size() >= 2 &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && (path.size() == 2 || path[2] == '/' || path[2] == '\\');
}

// Whether `text` is `lower` (lower-case ASCII) in any case.
bool equals_in_any_case(std::string_view text, std::string_view lower) {
  return std::equal(text.begin(), text.end(), lower.begin(), lower.end(), [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
  });
}

}  // namespace

std::string file_url(std::string_view path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url = "file://";
  // A drive's path keeps its colon and takes "/" for "\\", on every system (a browser may
  // run elsewhere); elsewhere a backslash is part of a name, but on Windows.
  const bool drive = has_drive_letter(path);
  std::string separated;
  if (drive || kWindowsFileNames) {
    separated.assign(path);
    std::replace(separated.begin(), separated.end(), '\\', '/');
    path = separated;
  }
  if (drive) {
    url += '/';
    url += path.substr(0, 2);
    path.remove_prefix(2);
  } else if (kWindowsFileNames && path.starts_with("//")) {
    path.remove_prefix(2);  // a share: its host is the address's
  }
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url.push_back(c);
    } else {
      url.push_back('%');
      url.push_back(hex[byte >> 4]);
      url.push_back(hex[byte & 0x0F]);
    }
  }
  return url;
}

std::string path_of_file_url(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.size() < kScheme.size() || !equals_in_any_case(url.substr(0, kScheme.size()), kScheme)) {
    return {};
  }
  std::string_view rest = url.substr(kScheme.size());
  // "file://host/path": the host names this machine or none; on Windows another host is a
  // share, "//host/path".
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return {};
  const std::string_view host = rest.substr(0, slash);
  rest.remove_prefix(slash);
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '?' || rest[i] == '#') break;
    if (rest[i] == '%' && i + 2 < rest.size() && hex(rest[i + 1]) >= 0 && hex(rest[i + 2]) >= 0) {
      path.push_back(static_cast<char>(hex(rest[i + 1]) * 16 + hex(rest[i + 2])));
      i += 2;
    } else {
      path.push_back(rest[i]);
    }
  }
  if (kWindowsFileNames) {
    // "file:///C:/Lib/x.qlml" names "C:/Lib/x.qlml".
    if (has_drive_letter(std::string_view(path).substr(std::min<std::size_t>(1, path.size())))) {
      path.erase(0, 1);
    } else if (!host.empty() && !equals_in_any_case(host, "localhost")) {
      path = "//" + std::string(host) + path;
    }
  }
  return path;
}

}  // namespace morvalen
