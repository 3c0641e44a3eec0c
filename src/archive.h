// archive.h: revision archives in a process folder's "previous", and their cleanup.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "model.h"

namespace morvalen {

// The archives of one revision as the cleanup sorts them out.
struct RevisionCleanup {
  std::string revision;
  std::vector<std::string> to_delete;  // ascending by name
  std::string to_keep;                 // the greatest name: the latest archive
};

// What the cleanup does in one "previous" folder.
struct CleanupPlan {
  std::vector<std::string> revisions;  // each once, in ascending order of their archives' names
  std::vector<RevisionCleanup> per_revision;  // in the order of `revisions`
};

// Copies the folder `source` with all its subfolders into `destination`, created with its
// missing parents; files already there are replaced (each complete or as it was, through
// copy_file_whole), others stay. Entries are copied in listing order; a link to a folder
// is copied as a file. The first failure ends the copy and is returned; success is an
// empty error code.
std::error_code copy_dir_all(const std::string& source, const std::string& destination);

// The folder the document at `document_path` ("./N/N.qlml") lies in, "./N". When the
// document's own number and title give another process folder name (the document was
// renumbered or retitled), prints a warning naming both folders on `err`: its files are
// where it was read from, so that is the folder to archive.
std::string process_folder_of(const Process& process, const std::string& document_path,
                              std::ostream& err);
// Archives the process folder `process_folder` ("./N"): refreshes "previous/assets" from
// "./assets" (failures ignored) and copies every file directly in the folder (not its
// subfolders) into a new archive folder "previous/Rev_{revision}_UTC-{now}", each file
// complete or not at all. With `verbose` prints the revision, the timestamp and the
// archive folder. An archive folder is complete or absent: a file that vanished, a link
// that leads nowhere or anything that is no regular file is a warning on `err` naming it,
// and the archive goes on; any other failure (no space, no permission, an input/output
// error) removes the archive folder and is the fatal stop "Could not archive {file}:
// {description}" ("Could not archive {folder}: ..." when the archive folder cannot be made
// or the process folder cannot be listed).
void archive_single_process(const Process& process, const std::string& process_folder, bool verbose,
                            std::ostream& out, std::ostream& err);

// Sorts the entry names of a "previous" folder into revisions, and for each revision the
// latest archive to keep and the others to delete. Names that are no archive folder names,
// or from which no revision can be taken, are in no list: they are never deleted.
CleanupPlan plan_cleanup(std::vector<std::string> names);
// Prunes the archives of the process folder named `name` (without "./"): prints the
// revisions, the archives to delete and to keep per revision, then deletes. Folders of
// "previous" that are no archive folders are never touched; removal failures are silent.
void cleanup_process_folder(const std::string& name, std::ostream& out);

}  // namespace morvalen
