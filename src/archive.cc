#include "archive.h"

#include <algorithm>
#include <filesystem>

#include "files.h"
#include "text.h"
#include "write_qlml.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUtcMark = "_UTC-";
constexpr std::string_view kTimestampShape = "*-*-*-T*-*-*";

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

bool is_real_folder(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

// Step 8 of an archiving: the plain files of the process folder into the archive folder.
// A file that cannot be copied (a dangling link, a loop of links, an unreadable file) is
// passed over rather than ending the copy: listed before the document, it would otherwise
// keep the document, page and PDF out of their revision's archive without a word.
void copy_folder_files(const std::string& folder, const std::string& archive) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    if (is_real_folder(it->path())) continue;
    std::error_code ignored;
    fs::copy_file(it->path(), fs::path(archive) / it->path().filename(),
                  fs::copy_options::overwrite_existing, ignored);
  }
}

// The entry names of `folder`; a missing folder has none. An unreadable one is reported on
// `out` and has none.
std::vector<std::string> folder_entry_names(const std::string& folder, std::ostream& out) {
  std::vector<std::string> names;
  std::error_code error;
  if (!is_folder(folder)) return names;
  fs::directory_iterator it(folder, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) {
    out << "Could not read the folder " << folder << ": " << error.message() << "\n";
    return {};
  }
  return names;
}

}  // namespace

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
  // or reach outside "previous" altogether.
  std::string cleaned(revision);
  std::replace(cleaned.begin(), cleaned.end(), '/', '_');
  std::replace(cleaned.begin(), cleaned.end(), '\\', '_');
  return "Rev_" + cleaned + "_" + std::string(timestamp);
}

std::error_code copy_dir_all(const std::string& source, const std::string& destination) {
  std::error_code error;
  fs::create_directories(destination, error);
  if (error) return error;
  fs::directory_iterator it(source, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const fs::path target = fs::path(destination) / it->path().filename();
    if (is_real_folder(it->path())) {
      error = copy_dir_all(it->path().string(), target.string());
    } else {
      fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, error);
    }
    if (error) return error;
  }
  return error;
}

std::string process_folder_of(const Process& process, const std::string& document_path,
                              std::ostream& err) {
  const std::size_t slash = document_path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : document_path.substr(0, slash);
  const std::string named = get_process_folder_name(process);
  if (named != folder) {
    err << "warning: " << document_path << " names the process folder " << quote_debug(named)
        << " but lies in " << quote_debug(folder) << "; archiving in " << quote_debug(folder)
        << "\n";
  }
  return folder;
}

void archive_single_process(const Process& process, const std::string& process_folder, bool verbose,
                            std::ostream& out) {
  const std::string previous = process_folder + "/previous";
  const std::string previous_assets = previous + "/assets";
  std::error_code ignored;
  if (!path_exists(previous)) fs::create_directory(previous, ignored);
  if (!path_exists(previous_assets)) fs::create_directory(previous_assets, ignored);

  const std::string& revision = process.get_revision();
  const std::string timestamp = format_archive_timestamp(std::chrono::system_clock::now());
  const std::string archive = previous + "/" + archive_folder_name(revision, timestamp);
  if (verbose) {
    out << "Revision: " << revision << "\n";
    out << "SystemTime::now() ...ish: " << timestamp << "\n";
    out << "Trying to create this folder: " << quote_debug(archive) << "\n";
  }
  fs::create_directory(archive, ignored);
  (void)copy_dir_all("./assets", previous_assets);
  std::error_code error;
  fs::create_directories(archive, error);
  if (error && !is_folder(archive)) return;
  copy_folder_files(process_folder, archive);
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

CleanupPlan plan_cleanup(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  std::vector<std::pair<std::string, std::string>> archives;  // (revision, name), by name
  CleanupPlan plan;
  for (const std::string& name : names) {
    std::optional<std::string> revision = revision_of_archive_name(name);
    if (!revision) continue;
    if (std::find(plan.revisions.begin(), plan.revisions.end(), *revision) ==
        plan.revisions.end()) {
      plan.revisions.push_back(*revision);
    }
    archives.emplace_back(std::move(*revision), name);
  }
  for (const std::string& revision : plan.revisions) {
    RevisionCleanup cleanup{revision, {}, {}};
    for (const auto& [archive_revision, name] : archives) {
      if (archive_revision == revision) cleanup.to_delete.push_back(name);
    }
    cleanup.to_keep = cleanup.to_delete.back();
    cleanup.to_delete.pop_back();
    plan.per_revision.push_back(std::move(cleanup));
  }
  return plan;
}

void cleanup_process_folder(const std::string& name, std::ostream& out) {
  const std::string previous = "./" + name + "/previous";
  const CleanupPlan plan = plan_cleanup(folder_entry_names(previous, out));
  out << "For this process, these are all the revisions: " << format_name_list(plan.revisions)
      << "\n";
  std::vector<std::string> to_delete;
  for (const RevisionCleanup& cleanup : plan.per_revision) {
    out << "\nHere are all of the archive folders for Rev " << cleanup.revision << ":\n";
    for (const std::string& archive : cleanup.to_delete)
      out << "      " << archive << " \x1b[93mDELETE\x1b[0m\n";
    out << "   💾 " << cleanup.to_keep << " 💾  << only one to be saved...\n";
    to_delete.insert(to_delete.end(), cleanup.to_delete.begin(), cleanup.to_delete.end());
  }
  for (const std::string& archive : to_delete) {
    out << "Attempting to delete " << archive << " ... \n";
    // Only a real folder is removed: an entry that merely carries an archive's name (a file,
    // a link) is not an archive, and a link must never lead the removal elsewhere.
    const fs::path path = fs::path(previous) / archive;
    std::error_code ignored;
    if (is_real_folder(path)) fs::remove_all(path, ignored);
  }
}

}  // namespace morvalen
