#include <system_error>
#include <vector>

#include "actions.h"
#include "archive.h"
#include "files.h"
#include "model.h"
#include "names.h"
#include "pdf_printer.h"
#include "progress.h"
#include "read_qlml.h"
#include "resolve.h"
#include "terminal.h"
#include "write_html.h"

namespace morvalen {
namespace {

// Deleting the old page first means a page writer that stops early never leaves the old
// page looking current. The outcome reads like the result value users know from the
// verbose output: Ok(()) or Err(...).
std::string delete_old_page(const std::string& path) {
  const std::error_code error = remove_file(path);
  if (!error) return "Ok(())";
  return "Err(" + error.message() + " (os error " + std::to_string(error.value()) + "))";
}

// Takes the progress line off the terminal however the run ends: a fatal stop's message
// must start on a clean line.
struct ProgressCleared {
  std::ostream& err;
  ProgressLine& line;
  ~ProgressCleared() { clear_progress(err, line); }
};

}  // namespace

void render_documents(std::string_view document_number, bool verbose, std::ostream& out,
                      std::ostream& err) {
  const std::vector<std::string> names = resolve_documents(document_number, verbose, out);
  PdfPrinter printer(names.size(), verbose, out);
  // With verbose lines on the same terminal the line would be torn apart by them, so it
  // only shows when those go elsewhere.
  ProgressLine progress =
      make_stderr_progress_line(verbose && is_terminal(StandardStream::Output) ? 0 : names.size());
  const ProgressCleared cleared{err, progress};
  for (const std::string& name : names) {
    advance_progress(err, progress, name);
    const std::string document = document_path(name);
    if (verbose) out << "Attempting to process this file: " << document << "\n";
    const Process process = read_qlml(document);
    if (verbose) display_process_to_stdout(out, process);
    const std::string page = replace_qlml_extension(document, ".html");
    const std::string outcome = delete_old_page(page);
    if (verbose) out << "Attempting to delete old HTML file: " << outcome << "\n";
    generate_complete_html(page, process);
    const std::string pdf = replace_qlml_extension(document, ".pdf");
    const bool printed = printer.print(page, pdf);
    clear_progress(err, progress);
    if (!printed) {
      out.flush();
      err << "warning: no PDF was produced for " << pdf << ": " << printer.get_failure() << "\n";
    }
    archive_single_process(process, process_folder_of(process, document, err), verbose, out, err);
  }
}

void archive_documents(std::string_view document_number, bool verbose, std::ostream& out,
                       std::ostream& err) {
  for (const std::string& name : resolve_documents(document_number, verbose, out)) {
    const std::string document = document_path(name);
    const Process process = read_qlml(document);
    archive_single_process(process, process_folder_of(process, document, err), verbose, out, err);
  }
}

void cleanup_documents(std::string_view document_number, bool verbose, std::ostream& out) {
  for (const std::string& name : resolve_documents(document_number, verbose, out)) {
    cleanup_process_folder(name, out);
  }
}

void inspect_process(std::string_view document_number, bool verbose, std::ostream& out) {
  for (const std::string& name : resolve_documents(document_number, verbose, out)) {
    display_process_to_stdout(out, read_qlml(document_path(name)));
  }
}

}  // namespace morvalen
