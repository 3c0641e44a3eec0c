// The -l action: the document list, its stub stylesheets and one draft per row.
#include <filesystem>
#include <optional>

#include "actions.h"
#include "fatal.h"
#include "files.h"
#include "names.h"
#include "read_csv.h"
#include "read_qlml.h"
#include "text.h"
#include "write_html.h"
#include "write_qlml.h"

namespace morvalen {
namespace {

constexpr std::string_view kOpenFailure = "Could not open the file!";
constexpr std::string_view kWriteFailure = "Could not write template line into new file!";

std::string_view yes_no(bool value) { return value ? "true" : "false"; }

// The prototype's lines, read at the first draft that needs them and kept for the rest of
// the list: every draft of one run comes from the same prototype.
struct Prototype {
  std::optional<std::vector<std::string>> lines;
  const std::vector<std::string>& get() {
    if (!lines) lines = read_lines(std::string(kPrototypePath));
    return *lines;
  }
};

void write_qlml_from(const Process& process, bool verbose, std::ostream& out,
                     Prototype& prototype) {
  const std::string folder = get_process_folder_name(process);
  if (kWindowsFileNames) {
    // A folder that Windows would make under another name could not be found again.
    const std::string name = folder.substr(2);
    if (const std::optional<std::string> problem = windows_name_problem(name)) {
      fatal(std::string(kOpenFailure) + ": " + folder_file_path(folder, ".qlml") +
            ": the folder name " + quote_debug(name) + " " + *problem +
            ", which Windows does not allow; change the title " + quote_debug(process.title) +
            " of " + process.number);
    }
  }
  if (verbose)
    out << "\n" << folder << " folder already exists: " << yes_no(path_exists(folder)) << "\n";
  // {folder} begins with "./", so the path holds it twice: ./X/./X.qlml is X/X.qlml.
  const std::string path = folder_file_path(folder, ".qlml");
  const bool exists = path_exists(path);
  if (verbose) {
    out << path << " file already exists: " << yes_no(exists) << "\n";
    out << "Path to the new file will be: " << path << "\n";
  }
  if (exists) {
    if (verbose)
      out << "File already exists!\n"
          << "\n";
    return;
  }
  // The prototype is read before anything is created, so a missing one leaves nothing behind.
  const std::vector<std::string>& prototype_lines = prototype.get();
  const std::string draft = compose_draft(prototype_lines, process);

  // An existing folder is fine. A folder that cannot be made is named with its own reason
  // ("Permission denied"), which says more than the draft's would ("No such file").
  std::error_code folder_error;
  std::filesystem::create_directory(to_path(folder), folder_error);
  if (folder_error && !is_folder(folder)) {
    fatal(std::string(kOpenFailure) + ": " + path + ": cannot create the folder " + folder + ": " +
          folder_error.message());
  }
  write_whole_file(path, draft, kOpenFailure, kWriteFailure);
  // The draft on disk is exactly `draft`, so it is read back from memory.
  generate_complete_html(folder_file_path(folder, ".html"),
                         read_qlml_lines(split_lines(draft), path));
  // The batch file is a convenience; drafts work without it.
  copy_file_replacing(std::string(kBatchFilePath), batch_file_copy_path(folder));
}

}  // namespace

std::vector<Process> read_csv(const std::string& path, bool verbose, std::ostream& out) {
  std::vector<DocumentListRow> rows = read_document_list(path);
  const bool has_assets = path_exists(std::string(kAssetsFolder));
  std::vector<Process> processes;
  processes.reserve(rows.size());
  for (DocumentListRow& row : rows) {
    for (const std::string& file_name : row.template_files) {
      if (verbose) out << "Template identified: " << file_name << "\n";
      const std::string stub_path = stub_stylesheet_path(file_name);
      if (has_assets && !path_exists(stub_path))
        write_whole_file(stub_path, stub_stylesheet(file_name), kOpenFailure, kWriteFailure);
    }
    if (verbose) display_process_to_stdout(out, row.process);
    processes.push_back(std::move(row.process));
  }
  return processes;
}

void write_qlml(const Process& process, bool verbose, std::ostream& out) {
  Prototype prototype;
  write_qlml_from(process, verbose, out, prototype);
}

void generate_drafts(const std::string& listgen, bool verbose, std::ostream& out) {
  const std::vector<Process> processes = read_csv(listgen, verbose, out);
  if (verbose)
    out << "Morvalen found " << processes.size() << " QLML files to create in the CSV file.\n";
  Prototype prototype;
  for (const Process& process : processes) {
    if (verbose) display_process_to_stdout(out, process);
    write_qlml_from(process, verbose, out, prototype);
  }
}

}  // namespace morvalen
