// The -w action: the library scan and WebMenu.html, written as the scan goes.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "actions.h"
#include "fatal.h"
#include "files.h"
#include "names.h"
#include "read_qlml.h"
#include "text.h"
#include "write_webmenu.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;

// The folder's own name as text; a name that is not UTF-8 cannot be shown or read.
const std::string& checked_folder_name(const std::string& folder) {
  if (first_invalid_utf8(folder)) fatal("Really bueno?");
  return folder;
}

void print_library_dump(std::ostream& out, const Library& library) {
  out << "\n\n";
  out << "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX\n";
  out << "XX LIBRARY VISUALIZER          XX\n";
  out << "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX\n";
  out << " -> Name:       " << library.name << "\n";
  out << " -> Processes:\n";
  for (const std::string& number : library.numbers) out << "    -> " << number << "\n";
  out << "\n\n";
}

}  // namespace

std::string library_name() {
  // The library is the folder the program is run in; the folder of the executable is
  // the same one only when the program sits in the library.
  std::error_code error;
  const fs::path folder = fs::current_path(error);
  if (error) fatal("Naw1", error);
  const std::string name = from_path(folder.filename());
  if (name.empty()) fatal("Naw1");
  if (first_invalid_utf8(name)) fatal("Naw2");
  return trim(name);
}

LibraryFolders scan_library_folders_in(const std::string& root) {
  constexpr std::string_view kBadPath = "that's not a good path?";
  std::error_code error;
  const fs::file_status status = fs::status(root, error);
  if (error) fatal(kBadPath, error);
  LibraryFolders found;
  if (!fs::is_directory(status)) return found;
  const std::vector<FolderEntry> entries = list_folder(root, error);
  if (error) fatal(kBadPath, error);
  for (const FolderEntry& entry : entries) {
    const std::string& name = entry.name;
    const std::string path = "./" + name;
    const std::string found_path = root + "/" + name;
    // The listing tells most entries' types already; a link (followed to its target) or
    // an entry of unknown type costs a look at the file itself.
    bool folder = entry.kind == EntryKind::Folder;
    if (entry.kind == EntryKind::Unknown) {
      folder = fs::is_directory(to_path(found_path), error);
      if (error) fatal(std::string(kBadPath) + ": " + (root == "." ? path : found_path), error);
    }
    if (!folder) continue;
    // Only this exact spelling is the shared assets folder; "Assets" is a process folder.
    if (path == kAssetsFolder) continue;
    // Libraries are often kept under version control or opened in an editor, whose
    // folders (.git, .svn, .vscode) hold no document; a hidden folder that does hold its
    // document is a process folder like any other.
    if (name.starts_with('.') && !path_exists(root + "/" + name + "/" + name + ".qlml")) {
      found.skipped.push_back(name);
      continue;
    }
    found.process_folders.push_back(name);
  }
  // The system lists folders in an order of its own (hash order on some file systems);
  // byte order gives the same menu on every machine, in the order DOCUMENT-NUMBER
  // patterns select folders.
  std::sort(found.process_folders.begin(), found.process_folders.end());
  std::sort(found.skipped.begin(), found.skipped.end());
  return found;
}

LibraryFolders scan_library_folders() { return scan_library_folders_in("."); }

std::vector<std::string> list_process_folders() { return scan_library_folders().process_folders; }

void generate_complete_webmenu(bool verbose, std::ostream& out) {
  if (verbose) out << "\n[A] Attempting to edit WebMenu.html...";
  // The page replaces WebMenu.html only once complete: a fatal stop while scanning or
  // writing keeps the previous menu.
  OutputFile page(std::string(kWebMenuPath), "cannot open file", "write failed");
  if (verbose) {
    out << "success! WebMenu.html is open for editing.\n";
    out << "[B] Attempting to create new Library struct...";
  }
  Library library;
  if (verbose) {
    out << "success! New Library struct created.\n";
    out << "[C] Attempting to change the name of the Library to this folder's name...";
  }
  library.name = library_name();
  if (verbose) {
    out << "success! New name: " << library.name << "\n";
    out << "[D] Attempting list of all folders (excluding 'assets')...";
  }
  const LibraryFolders found = scan_library_folders();
  const std::vector<std::string>& folders = found.process_folders;
  if (verbose) {
    for (const std::string& folder : folders) out << checked_folder_name(folder) << "\n";
    out << "success! Folders found, now look for files to process:\n";
    for (const std::string& folder : found.skipped) {
      out << "Skipped the hidden folder " << folder << ": it holds no document "
          << document_path(folder).substr(2) << "\n";
    }
  }
  // Each process folder gives one process or ends the action, so the page can be written
  // up to the table rows before the scan, and each document's row as soon as it is read:
  // only one document and one row are in memory at a time. The console reports the
  // portions in their documented order once the scan is over.
  std::string content;
  ProcessSummary summary;
  std::string rows;
  constexpr std::size_t kRowsPerWrite = std::size_t{1} << 18;
  // The fixed portions are composed in memory (where nothing fails) and written through
  // `page`, whose failures name the menu.
  std::ostringstream start;
  write_webmenu_top(start);
  write_webmenu_head(start, library.name);
  write_webmenu_body_start(start, library.name, folders.size());
  page.put(start.str());
  for (const std::string& folder : folders) {
    checked_folder_name(folder);
    if (verbose) out << "\t" << folder;
    const std::string file = document_path(folder);
    if (verbose) out << "\n\t\t-> " << file.substr(2);
    // The reader's fatal stop names "./{folder}/{folder}.qlml", and so the folder.
    read_qlml_summary(file, content, summary);
    if (verbose) out << "\n\t\t-> processed ";
    append_webmenu_row(rows, summary);
    // Rows go to the file in pieces of some hundred kilobytes: few writes, little memory.
    if (rows.size() >= kRowsPerWrite) {
      page.put(rows);
      rows.clear();
    }
    library.numbers.emplace_back(summary.number);
    if (verbose) out << "\n\t\t-> added to Library\n";
  }
  std::ostringstream end;
  write_webmenu_body_end(end);
  write_webmenu_bottom(end);
  rows += end.str();
  page.put(rows);
  page.commit();
  if (verbose) {
    out << "[E] Attempting to write the top of the HTML file...";
    out << "success!\n";
    out << "[F] Attempting to write the head of the HTML file, including all CSS and Javascript...";
    out << "success!\n";
    out << "[G] Attempting to write the body of the HTML file, including everything that appears on screen...";
    out << "success!\n";
    out << "[H] Attempting to write the bottom of the HTML file...";
    out << "success!\n";
  }
  if (verbose) print_library_dump(out, library);
}

}  // namespace morvalen
