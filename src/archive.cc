#include "archive.h"

#include <algorithm>
#include <filesystem>

#include "fatal.h"
#include "files.h"
#include "interrupt.h"
#include "names.h"
#include "text.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;

bool is_real_folder(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

// Step 8 of an archiving: the plain files of the process folder into the archive folder.
// What cannot be copied because it is not there to copy (a file that vanished, a dangling
// link, a loop of links) or is no file (a pipe) is passed over with a warning: listed before
// the document, it would otherwise keep the document, page and PDF out of their revision's
// archive. Any other failure is the archive's end: the folder, when this archiving made it,
// is removed, so it never looks complete, and the run stops.
void copy_folder_files(const std::string& folder, const std::string& archive, bool created,
                       std::ostream& err) {
  const auto failed = [&archive, created](const std::string& what, const std::error_code& error) {
    if (created) discard_temporary(archive);
    fatal("Could not archive " + what + " into " + archive, error);
  };
  std::error_code error;
  fs::directory_iterator it(to_path(folder), error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    if (is_real_folder(it->path())) continue;
    stop_here_when_interrupted();
    const std::string source = from_path(it->path());
    std::error_code status_error;
    const fs::file_type type = fs::status(it->path(), status_error).type();
    if (type == fs::file_type::not_found) {
      err << "warning: " << source
          << " was not archived: it no longer exists, or is a link that leads nowhere\n";
      continue;
    }
    if (status_error) {
      err << "warning: " << source << " was not archived: " << status_error.message() << "\n";
      continue;
    }
    if (type != fs::file_type::regular) {
      err << "warning: " << source << " was not archived: not a regular file\n";
      continue;
    }
    const std::error_code copy_error =
        copy_file_whole(source, archive + "/" + from_path(it->path().filename()));
    if (!copy_error) continue;
    if (!fs::exists(it->path(), status_error)) {
      err << "warning: " << source << " was not archived: it vanished while it was copied\n";
      continue;
    }
    failed(source, copy_error);
  }
  if (error) failed(folder, error);
}

// The entry names of `folder`; a missing folder has none. An unreadable one is reported on
// `out` and has none.
std::vector<std::string> folder_entry_names(const std::string& folder, std::ostream& out) {
  std::vector<std::string> names;
  std::error_code error;
  if (!is_folder(folder)) return names;
  fs::directory_iterator it(to_path(folder), error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    names.push_back(from_path(it->path().filename()));
  }
  if (error) {
    out << "Could not read the folder " << folder << ": " << error.message() << "\n";
    return {};
  }
  return names;
}

}  // namespace

std::error_code copy_dir_all(const std::string& source, const std::string& destination) {
  std::error_code error;
  fs::create_directories(to_path(destination), error);
  if (error) return error;
  fs::directory_iterator it(to_path(source), error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::string target = destination + "/" + from_path(it->path().filename());
    if (is_real_folder(it->path())) {
      error = copy_dir_all(from_path(it->path()), target);
    } else {
      error = copy_file_whole(from_path(it->path()), target);
    }
    if (error) return error;
  }
  return error;
}

std::string process_folder_of(const Process& process, const std::string& document_path,
                              std::ostream& err) {
  const std::string folder = folder_of_document(document_path);
  const std::string named = get_process_folder_name(process);
  if (named != folder) {
    err << "warning: " << document_path << " names the process folder " << quote_debug(named)
        << " but lies in " << quote_debug(folder) << "; archiving in " << quote_debug(folder)
        << "\n";
  }
  return folder;
}

void archive_single_process(const Process& process, const std::string& process_folder, bool verbose,
                            std::ostream& out, std::ostream& err) {
  const std::string previous = previous_folder(process_folder);
  const std::string previous_assets = previous + "/assets";
  std::error_code ignored;
  if (!path_exists(previous)) fs::create_directory(to_path(previous), ignored);
  if (!path_exists(previous_assets)) fs::create_directory(to_path(previous_assets), ignored);

  const std::string& revision = process.get_revision();
  const std::string timestamp = format_archive_timestamp(std::chrono::system_clock::now());
  const std::string archive = previous + "/" + archive_folder_name(revision, timestamp);
  if (verbose) {
    out << "Revision: " << revision << "\n";
    out << "SystemTime::now() ...ish: " << timestamp << "\n";
    out << "Trying to create this folder: " << quote_debug(archive) << "\n";
  }
  // From its creation to its last file the archive folder is the run's to remove when the
  // run is interrupted or a copy fails. One made in the same second by an earlier archiving
  // is already complete, and stays so (each file is replaced whole).
  std::error_code error;
  record_temporary(archive, TemporaryKind::Folder);
  const bool created = fs::create_directory(to_path(archive), error);
  if (!created) forget_temporary(archive);
  if (error && !is_folder(archive)) {
    fatal("Could not archive " + process_folder + ": cannot create the folder " + archive, error);
  }
  (void)copy_dir_all(std::string(kAssetsFolder), previous_assets);
  copy_folder_files(process_folder, archive, created, err);
  forget_temporary(archive);
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
  const std::string previous = previous_folder("./" + name);
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
    const fs::path path = to_path(previous + "/" + archive);
    std::error_code ignored;
    if (is_real_folder(path)) fs::remove_all(path, ignored);
  }
}

}  // namespace morvalen
