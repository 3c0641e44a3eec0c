#include "pdf_printer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "fatal.h"

extern char** environ;

namespace morvalen {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInstallHint =
    "install Debian's chromium package (apt-get install chromium) so that chromium is on PATH";

bool is_executable_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

bool is_shell_safe(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
}

// What is at `path` before printing, to tell a fresh PDF from one left by an earlier run.
struct FileState {
  bool exists = false;
  struct timespec modified {};
  off_t size = 0;
  ino_t inode = 0;
};

FileState file_state(const std::string& path) {
  FileState state;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    state.exists = true;
    state.modified = info.st_mtim;
    state.size = info.st_size;
    state.inode = info.st_ino;
  }
  return state;
}

bool changed(const FileState& before, const FileState& after) {
  return !before.exists || before.modified.tv_sec != after.modified.tv_sec ||
         before.modified.tv_nsec != after.modified.tv_nsec || before.size != after.size ||
         before.inode != after.inode;
}

// A fresh, private profile folder per browser start: a profile shared between starts can
// hold a stale lock of a crashed browser, which makes the next one hand its work to a
// process that no longer exists.
std::string make_profile_folder() {
  std::error_code error;
  fs::path base = fs::temp_directory_path(error);
  if (error) base = "/tmp";
  std::string pattern = (base / "morvalen-chromium-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    fatal(
        "failed to execute process: cannot create a temporary browser profile in " + base.string(),
        last_system_error());
  }
  return pattern;
}

std::string describe_status(int status) {
  if (WIFEXITED(status))
    return "the browser ended with exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return "the browser was ended by signal " + std::to_string(WTERMSIG(status));
  return "the browser ended abnormally";
}

// Starts `argv` with standard input, output and error on /dev/null (the browser's output is
// noise for the user) and waits for it. The wait status, or the error of the start.
int run_and_wait(const std::vector<std::string>& argv, std::error_code& start_error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> raw;
  for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
  raw.push_back(nullptr);
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    start_error = std::error_code(spawned, std::generic_category());
    return -1;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      start_error = last_system_error();
      return -1;
    }
  }
  return status;
}

}  // namespace

std::optional<std::string> find_browser(std::string_view search_path) {
  for (std::string_view name : kBrowserNames) {
    std::size_t start = 0;
    while (start <= search_path.size()) {
      std::size_t end = search_path.find(':', start);
      if (end == std::string_view::npos) end = search_path.size();
      std::string folder(search_path.substr(start, end - start));
      if (folder.empty()) folder = ".";
      const std::string candidate = folder + "/" + std::string(name);
      if (is_executable_file(candidate)) return candidate;
      start = end + 1;
    }
  }
  return std::nullopt;
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

std::string shell_quote(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& word : argv) {
    if (!line.empty()) line += ' ';
    bool safe = !word.empty();
    for (char c : word) safe = safe && is_shell_safe(c);
    if (safe) {
      line += word;
      continue;
    }
    line += '\'';
    for (char c : word) {
      if (c == '\'') {
        line += "'\\''";
      } else {
        line += c;
      }
    }
    line += '\'';
  }
  return line;
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = fs::path(path);
  return absolute.lexically_normal().string();
}

PdfPrinter::PdfPrinter(std::size_t document_count, bool verbose, std::ostream& out)
    : document_count_(document_count), verbose_(verbose), out_(out) {}

PdfPrinter::~PdfPrinter() = default;

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
    const std::string profile = make_pipe_profile_folder();
    if (profile.empty()) {
      one_browser_per_page_ = true;
      return std::nullopt;
    }
    const std::vector<std::string> argv =
        devtools_pipe_command(browser_, profile, ::geteuid() == 0);
    session_command_ = shell_quote(argv);
    if (verbose_) out_ << "Here's my command string to chrome:\n\n" << session_command_ << "\n\n\n";
    out_.flush();
    ++session_starts_;
    BrowserStart start = start_browser_session(argv, profile);
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
  switch (print_page_to_pdf(*session_, absolute_path(html_path), absolute_path(pdf_path))) {
    case PagePrint::Printed:
      return true;
    case PagePrint::PageFailed:
      failure_ = "the browser could not load or print the page";
      return false;
    case PagePrint::BrowserLost:
      session_.reset();
      failure_ = "the browser ended or stopped answering while printing it";
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
      fatal(
          "failed to execute process: no chromium, chromium-browser, google-chrome or google-chrome-stable "
          "was found on PATH; " +
          std::string(kInstallHint));
    }
    browser_ = *found;
  }
  if (document_count_ > 1 && !one_browser_per_page_) {
    const std::optional<bool> printed = print_through_pipe(html_path, pdf_path);
    if (printed) return *printed;
  }
  const std::string pdf = absolute_path(pdf_path);
  const std::string profile = make_profile_folder();
  const std::vector<std::string> argv =
      print_command(browser_, absolute_path(html_path), pdf, profile, ::geteuid() == 0);
  if (verbose_) out_ << "Here's my command string to chrome:\n\n" << shell_quote(argv) << "\n\n\n";
  out_.flush();

  const FileState before = file_state(pdf);
  std::error_code start_error;
  const int status = run_and_wait(argv, start_error);
  std::error_code ignored;
  fs::remove_all(profile, ignored);
  if (start_error) {
    fatal("failed to execute process: " + browser_ + ": " + start_error.message() + "; " +
          std::string(kInstallHint));
  }
  const FileState after = file_state(pdf);
  if (after.exists && after.size > 0 && changed(before, after)) return true;
  failure_ = describe_status(status);
  if (status == 0) failure_ = "the browser ended without writing it";
  return false;
}

}  // namespace morvalen
