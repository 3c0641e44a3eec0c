// pdf_printer.h: headless Chromium printing procedure pages to PDF.
#pragma once
#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "devtools_pipe.h"

namespace morvalen {

// The browsers looked for on PATH, in this order.
#ifdef _WIN32
inline constexpr std::string_view kBrowserNames[] = {"chrome.exe", "msedge.exe"};
#else
inline constexpr std::string_view kBrowserNames[] = {"chromium", "chromium-browser",
                                                     "google-chrome", "google-chrome-stable"};
#endif

// Where Chrome and Edge install themselves on Windows, tried there in this order before
// PATH: Chrome for all users (64-bit, then 32-bit), Chrome of the user (under
// `local_app_data`, the user's LOCALAPPDATA folder; left out when that is empty), Edge.
std::vector<std::string> windows_browser_locations(std::string_view local_app_data);

// On Windows the first of windows_browser_locations that is a file; then, and elsewhere
// only, the first name of kBrowserNames that is an executable file in a folder of
// `search_path` (a PATH value, as find_program of subprocess.h reads it), tried name by
// name, each through all folders: the folder, "/" and the name.
std::optional<std::string> find_browser(std::string_view search_path);
// The command line that has `browser` print the page `html_path` to `pdf_path` (both
// absolute) with its profile in `profile_folder`: headless, no header and footer of its own,
// no background networking, component updates, first-run screens or sync, and
// --no-sandbox when `as_root` (Chromium refuses to start as root otherwise). The page is
// the last argument.
std::vector<std::string> print_command(const std::string& browser, const std::string& html_path,
                                       const std::string& pdf_path,
                                       const std::string& profile_folder, bool as_root);
// `argv` as one line that a POSIX shell splits back into exactly these words, each
// written as shell_word writes it.
std::string shell_quote(const std::vector<std::string>& argv);
// `argv` as -v shows a command: shell_quote, on Windows windows_command_line (text.h),
// the command line the browser is started with.
std::string shown_command(const std::vector<std::string>& argv);
// `path` made absolute against the current folder, with "." pieces removed
// ("./A/./A.html" -> "/library/A/A.html").
std::string absolute_path(const std::string& path);

// How long one page may take to print, either way of printing: loading it, running its
// scripts and printing it. A page of 1,000 steps (3 MB of HTML, a PDF of 511 pages) printed
// in about 490 s on a small machine busy with other work; a page that is not done after
// ten minutes is stuck (a script that never ends, say), and its browser is ended.
inline constexpr std::chrono::seconds kPrintDeadline{600};

// Whether `pdf` is a complete PDF file: not empty, and ending with its end-of-file marker
// "%%EOF" (line ends and blanks after it allowed).
bool is_complete_pdf(std::string_view pdf);

// Prints procedure pages to PDF for one render run, one document after the other; made
// once per run with the number of documents the run will print. The browser is looked
// up on the first print, so a run that prints nothing needs none. Temporary files of the
// printer are gone when it is destroyed.
// A run of more than one document starts one browser on the first print and prints every
// page through its DevTools pipe. A browser lost mid-run is started once more for the next
// document; when the pipe cannot be used at all, or a restarted browser is lost too, the
// remaining pages are printed the per-document way, one browser each.
class PdfPrinter {
 public:
  PdfPrinter(std::size_t document_count, bool verbose, std::ostream& out,
             std::chrono::milliseconds deadline = kPrintDeadline);
  ~PdfPrinter();
  PdfPrinter(const PdfPrinter&) = delete;
  PdfPrinter& operator=(const PdfPrinter&) = delete;

  // Prints the page at `html_path` to `pdf_path` (relative to the current folder, or
  // absolute) and returns when the PDF is complete on disk (or when the browser has ended).
  // With `verbose` it first prints "Here's my command string to chrome:\n\n{command}\n\n\n"
  // with the command run, shell-quoted (the command that started the kept browser). Either
  // way the browser's PDF is checked to be complete and only then written over the old one
  // through a temporary file beside it; a page that takes longer than the deadline has its
  // browser ended. True when the new PDF is at `pdf_path`; otherwise the old PDF (if any)
  // stays and get_failure() says why. Fatal stop "failed to execute process: ..." when no
  // browser is on PATH or it cannot be started.
  // An old PDF that another program holds locked is left as it is: false, and the failure
  // says "the old PDF cannot be replaced ({reason}); is it open in another program?".
  bool print(const std::string& html_path, const std::string& pdf_path);
  // Why the last print gave no PDF ("the browser ended with exit status 1", "writing it
  // failed: No space left on device"), or "".
  const std::string& get_failure() const { return failure_; }

 private:
  std::size_t document_count_;
  bool verbose_;
  std::ostream& out_;
  std::chrono::milliseconds deadline_;
  std::string browser_;  // found on the first print
  std::string failure_;
  std::optional<BrowserSession> session_;  // the kept browser, while it lives
  std::string session_command_;            // the command that started it, shell-quoted
  int session_starts_ = 0;
  bool one_browser_per_page_ = false;  // the pipe failed: the per-document way from now on

  std::optional<bool> print_through_pipe(const std::string& html_path, const std::string& pdf_path);
  bool print_with_own_browser(const std::string& html_path, const std::string& pdf_path);
  bool put_pdf(const std::string& pdf_path, const std::string& pdf);
  std::string too_slow() const;
};

}  // namespace morvalen
