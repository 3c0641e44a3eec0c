#include "write_qlml.h"

#include <filesystem>
#include <optional>

#include "fatal.h"
#include "files.h"
#include "names.h"
#include "read_csv.h"
#include "read_qlml.h"
#include "text.h"
#include "write_html.h"

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
  const std::string template_lines = compose_template_lines(process);
  std::string draft;
  for (const std::string& line : prototype_lines)
    draft += compose_draft_line(line, process, template_lines);

  // An existing folder is fine. A folder that cannot be made is named with its own reason
  // ("Permission denied"), which says more than the draft's would ("No such file").
  std::error_code folder_error;
  std::filesystem::create_directory(folder, folder_error);
  if (folder_error && !is_folder(folder)) {
    fatal(std::string(kOpenFailure) + ": " + path + ": cannot create the folder " + folder + ": " +
          folder_error.message());
  }
  write_whole_file(path, draft, kOpenFailure, kWriteFailure);
  // The draft on disk is exactly `draft`, so it is read back from memory.
  generate_complete_html(folder_file_path(folder, ".html"),
                         read_qlml_lines(split_lines(draft), path));
  // The batch file is a convenience; drafts work without it.
  std::error_code ignored;
  std::filesystem::copy_file(kBatchFilePath, batch_file_copy_path(folder),
                             std::filesystem::copy_options::overwrite_existing, ignored);
}

}  // namespace

std::string compose_template_lines(const Process& process) {
  if (process.templates.empty()) return "//Template|Example.css";
  std::string lines;
  for (const std::string& sheet : process.templates) {
    if (!lines.empty()) lines += "\n";
    lines += "Template|" + sheet;
  }
  return lines;
}

std::string compose_draft_line(std::string_view prototype_line, const Process& process,
                               std::string_view template_lines) {
  std::string line = replace_all(prototype_line, "$NUMBER", process.number);
  line = replace_all(line, "$TITLE", process.title);
  line = replace_all(line, "$SUBJECT", process.subject);
  line = replace_all(line, "$PRODUCT", process.product);
  line = replace_all(line, "$AUTHOR", process.author);
  line = replace_all(line, "$REVIEWER", process.reviewer);
  line = replace_all(line, "Template|$TEMPLATE", template_lines);
  line += "\n";
  return line;
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
