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

// The batch file is a convenience; drafts work without it.
void copy_batch_file(const std::string& destination) {
  (void)copy_file_whole(std::string(kBatchFilePath), destination);
}

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
  const std::string draft = compose_draft(prototype.get(), process);
  const Process read_back = read_qlml_lines(split_lines(draft), path);
  // {folder} is "./{name}"; the files are named after it.
  const std::string name = folder.substr(2);
  const std::string page = folder_file_path(folder, ".html");
  if (is_folder(folder)) {
    // A folder made by hand (with images, say) is written into; the document comes last,
    // since its existence is what marks the draft as done.
    generate_complete_html(page, read_back);
    copy_batch_file(batch_file_copy_path(folder));
    write_whole_file(path, draft, kOpenFailure, kWriteFailure);
    return;
  }
  // A new folder appears complete or not at all: it is made under a temporary name beside
  // it and renamed into place once its document, page and batch file are written. Messages
  // name the final paths. A folder that cannot be made is named with its own reason
  // ("Permission denied"), which says more than the draft's would ("No such file").
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(to_path(folder), error))) {
    fatal(std::string(kOpenFailure) + ": " + path + ": cannot create the folder " + folder +
          ": something else than a folder is there");
  }
  const std::string staging = make_temporary_beside(folder, TemporaryKind::Folder, error);
  if (error) {
    fatal(std::string(kOpenFailure) + ": " + path + ": cannot create the folder " + folder + ": " +
          error.message());
  }
  struct Staged {
    const std::string& folder;
    bool settled = false;
    ~Staged() {
      if (!settled) discard_temporary(folder);
    }
  } staged{staging};
  write_whole_file(staging + "/" + name + ".qlml", draft, kOpenFailure, kWriteFailure, path);
  generate_complete_html(staging + "/" + name + ".html", read_back, page);
  copy_batch_file(batch_file_copy_path(staging));
  error = settle_temporary(staging, [&] {
    std::error_code renamed;
    std::filesystem::rename(to_path(staging), to_path(folder), renamed);
    return renamed;
  });
  if (error) {
    fatal(std::string(kOpenFailure) + ": " + path + ": cannot create the folder " + folder + ": " +
          error.message());
  }
  staged.settled = true;
}

// The processes of `rows`; when ./assets exists, a stub stylesheet is written there for
// each selected template that is missing (see read_csv).
std::vector<Process> write_stubs_and_report(std::vector<DocumentListRow> rows, bool verbose,
                                            std::ostream& out) {
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

}  // namespace

std::vector<Process> read_csv(const std::string& path, bool verbose, std::ostream& out) {
  return write_stubs_and_report(read_document_list(path), verbose, out);
}

void write_qlml(const Process& process, bool verbose, std::ostream& out) {
  Prototype prototype;
  write_qlml_from(process, verbose, out, prototype);
}

void generate_drafts(const std::string& listgen, bool verbose, std::ostream& out) {
  std::vector<DocumentListRow> rows = read_document_list(listgen);
  // The prototype is read before anything is written, stub stylesheets included, so a
  // library that lacks it is left as it was. A list whose drafts all exist needs none.
  Prototype prototype;
  for (const DocumentListRow& row : rows) {
    if (!path_exists(folder_file_path(get_process_folder_name(row.process), ".qlml"))) {
      prototype.get();
      break;
    }
  }
  const std::vector<Process> processes = write_stubs_and_report(std::move(rows), verbose, out);
  if (verbose)
    out << "Morvalen found " << processes.size() << " QLML files to create in the CSV file.\n";
  for (const Process& process : processes) {
    if (verbose) display_process_to_stdout(out, process);
    write_qlml_from(process, verbose, out, prototype);
  }
}

}  // namespace morvalen
