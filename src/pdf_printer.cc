#include "pdf_printer.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "fatal.h"
#include "files.h"
#include "subprocess.h"
#include "text.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr std::string_view kInstallHint =
    "install Google Chrome or Microsoft Edge, or put chrome.exe or msedge.exe on PATH";
constexpr std::string_view kNotFound =
    "failed to execute process: no Chrome or Edge was found where they install themselves or "
    "on PATH; ";
#else
constexpr std::string_view kInstallHint =
    "install Debian's chromium package (apt-get install chromium) so that chromium is on PATH";
constexpr std::string_view kNotFound =
    "failed to execute process: no chromium, chromium-browser, google-chrome or "
    "google-chrome-stable was found on PATH; ";
#endif

// A fresh profile folder per browser start (make_profile_folder).
std::string new_profile_folder() {
  std::error_code error;
  const std::string folder = make_profile_folder(error);
  if (error) {
    std::error_code ignored;
    std::string base = from_path(fs::temp_directory_path(ignored));
    if (ignored) base = "/tmp";
    fatal("failed to execute process: cannot create a temporary browser profile in " + base, error);
  }
  return folder;
}

std::string describe_end(const SubprocessEnd& end) {
  if (end.exited) return "the browser ended with exit status " + std::to_string(end.exit_status);
  if (end.signal != 0) return "the browser was ended by signal " + std::to_string(end.signal);
  return "the browser ended abnormally";
}

}  // namespace

std::vector<std::string> windows_browser_locations(std::string_view local_app_data) {
  std::vector<std::string> locations{
      "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe",
      "C:\\Program Files (x86)\\Google\\Chrome\\Application\\chrome.exe"};
  if (!local_app_data.empty()) {
    locations.push_back(std::string(local_app_data) + "\\Google\\Chrome\\Application\\chrome.exe");
  }
  locations.push_back("C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe");
  return locations;
}

std::optional<std::string> find_browser(std::string_view search_path) {
  if (kWindowsFileNames) {
    const char* local_app_data = std::getenv("LOCALAPPDATA");
    for (const std::string& location :
         windows_browser_locations(local_app_data != nullptr ? local_app_data : "")) {
      if (path_exists(location) && !is_folder(location)) return location;
    }
  }
  return find_program(kBrowserNames, search_path);
}

std::vector<std::string> print_command(const std::string& browser, const std::string& html_path,
                                       const std::string& pdf_path,
                                       const std::string& profile_folder, bool as_root) {
  std::vector<std::string> argv{browser, "--headless", "--no-pdf-header-footer",
                                "--print-to-pdf=" + pdf_path, "--user-data-dir=" + profile_folder};
  if (as_root) argv.push_back("--no-sandbox");
  for (const char* option : {"--disable-background-networking", "--disable-component-update",
                             "--no-first-run", "--disable-sync"}) {
    argv.push_back(option);
  }
  argv.push_back(html_path);
  return argv;
}

std::string shown_command(const std::vector<std::string>& argv) {
  return kWindowsFileNames ? windows_command_line(argv) : shell_quote(argv);
}

std::string shell_quote(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& word : argv) {
    if (!line.empty()) line += ' ';
    line += shell_word(word);
  }
  return line;
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(to_path(path), error);
  if (error) absolute = to_path(path);
  return from_path(absolute.lexically_normal());
}

bool is_complete_pdf(std::string_view pdf) {
  while (!pdf.empty() && (pdf.back() == '\n' || pdf.back() == '\r' || pdf.back() == ' ' ||
                          pdf.back() == '\t' || pdf.back() == '\0')) {
    pdf.remove_suffix(1);
  }
  return pdf.ends_with("%%EOF");
}

PdfPrinter::PdfPrinter(std::size_t document_count, bool verbose, std::ostream& out,
                       std::chrono::milliseconds deadline)
    : document_count_(document_count), verbose_(verbose), out_(out), deadline_(deadline) {}

PdfPrinter::~PdfPrinter() = default;

std::string PdfPrinter::too_slow() const {
  const auto seconds = std::chrono::duration<double>(deadline_).count();
  std::string figure = std::to_string(static_cast<long long>(seconds));
  if (seconds < 1)
    figure = std::to_string(deadline_.count()) + " ms";
  else
    figure += " s";
  return "printing took longer than the deadline of " + figure + ", so the browser was ended";
}

bool PdfPrinter::put_pdf(const std::string& pdf_path, const std::string& pdf) {
  if (!is_complete_pdf(pdf)) {
    failure_ = "the browser wrote an incomplete PDF (" + std::to_string(pdf.size()) +
               " bytes without its end-of-file marker)";
    return false;
  }
  if (const std::error_code error = try_write_whole_file(pdf_path, pdf)) {
    failure_ = "writing it failed: " + error.message();
    return false;
  }
  return true;
}

// Nothing when the pipe cannot be used (the caller prints the per-document way), else
// whether the PDF was printed.
std::optional<bool> PdfPrinter::print_through_pipe(const std::string& html_path,
                                                   const std::string& pdf_path) {
  if (!session_) {
    // One restart only: a browser that keeps dying is not worth a third start per page.
    if (session_starts_ >= 2) {
      one_browser_per_page_ = true;
      return std::nullopt;
    }
    std::error_code error;
    const std::string profile = make_profile_folder(error);
    if (error) {
      one_browser_per_page_ = true;
      return std::nullopt;
    }
    const std::vector<std::string> argv =
        devtools_pipe_command(browser_, profile, running_as_superuser());
    session_command_ = shown_command(argv);
    if (verbose_) out_ << "Here's my command string to chrome:\n\n" << session_command_ << "\n\n\n";
    out_.flush();
    ++session_starts_;
    BrowserTimeouts timeouts;
    timeouts.page = deadline_;
    BrowserStart start = start_browser_session(argv, profile, timeouts);
    if (start.exec_error) {
      fatal("failed to execute process: " + browser_ + ": " + start.exec_error.message() + "; " +
            std::string(kInstallHint));
    }
    if (!start.session) {
      one_browser_per_page_ = true;
      return std::nullopt;
    }
    session_ = std::move(start.session);
  } else if (verbose_) {
    out_ << "Here's my command string to chrome:\n\n" << session_command_ << "\n\n\n";
    out_.flush();
  }
  std::string pdf;
  switch (print_page(*session_, absolute_path(html_path), pdf)) {
    case PagePrint::Printed:
      return put_pdf(pdf_path, pdf);
    case PagePrint::PageFailed:
      failure_ = "the browser could not load or print the page";
      return false;
    case PagePrint::BrowserLost:
      session_.reset();
      failure_ = "the browser ended or stopped answering while printing it";
      return false;
    case PagePrint::TooSlow:
      session_.reset();
      failure_ = too_slow();
      return false;
  }
  return false;
}

bool PdfPrinter::print(const std::string& html_path, const std::string& pdf_path) {
  failure_.clear();
  if (browser_.empty()) {
    const char* search_path = std::getenv("PATH");
    const std::optional<std::string> found =
        find_browser(search_path != nullptr ? search_path : "");
    if (!found) {
      fatal(std::string(kNotFound) + std::string(kInstallHint));
    }
    browser_ = *found;
  }
  // A PDF that could not replace the old one anyway is not worth a print. One held open by
  // a viewer that locks it (Windows) says so.
  if (path_exists(pdf_path)) {
    if (const std::error_code held = check_writable(pdf_path)) {
      failure_ = held == std::errc::device_or_resource_busy
                     ? "the old PDF cannot be replaced (" + held.message() +
                           "); is it open in another program?"
                     : "writing it failed: " + held.message();
      return false;
    }
  }
  if (document_count_ > 1 && !one_browser_per_page_) {
    const std::optional<bool> printed = print_through_pipe(html_path, pdf_path);
    if (printed) return *printed;
  }
  return print_with_own_browser(html_path, pdf_path);
}

bool PdfPrinter::print_with_own_browser(const std::string& html_path, const std::string& pdf_path) {
  // The browser prints into its own profile folder; the PDF reaches the library through
  // the one write path, checked first (put_pdf), so the old PDF stays until a whole new
  // one replaces it and a failure to write it carries the system's reason.
  const std::string profile = new_profile_folder();
  const std::string printed = profile + "/print.pdf";
  const std::vector<std::string> argv =
      print_command(browser_, absolute_path(html_path), printed, profile, running_as_superuser());
  if (verbose_)
    out_ << "Here's my command string to chrome:\n\n" << shown_command(argv) << "\n\n\n";
  out_.flush();

  SubprocessStart started =
      start_subprocess(argv, SubprocessPipes::None, browser_environment(profile));
  const std::optional<SubprocessEnd> end =
      started.error ? std::nullopt
                    : wait_for_subprocess(started.subprocess, SubprocessClock::now() + deadline_);
  const bool timed_out = !started.error && !end;
  end_subprocess(started.subprocess);
  std::error_code unread;
  const std::string pdf = timed_out ? "" : read_file(printed, unread);
  discard_temporary(profile);
  if (started.error) {
    fatal("failed to execute process: " + browser_ + ": " + started.error.message() + "; " +
          std::string(kInstallHint));
  }
  if (timed_out) {
    failure_ = too_slow();
    return false;
  }
  if (!pdf.empty()) return put_pdf(pdf_path, pdf);
  const SubprocessEnd ended = end.value_or(SubprocessEnd{});
  failure_ = describe_end(ended);
  if (ended.exited && ended.exit_status == 0) failure_ = "the browser ended without writing it";
  return false;
}

}  // namespace morvalen
