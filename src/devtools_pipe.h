// devtools_pipe.h: one headless Chromium kept open for many prints, driven over its
// DevTools pipe (NUL-terminated JSON messages over the pipe pair of subprocess.h).
#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "subprocess.h"

namespace morvalen {

// How long the browser may take before it counts as hung (and is killed).
struct BrowserTimeouts {
  std::chrono::milliseconds start{30000};  // started, tab created and attached
  std::chrono::milliseconds page{600000};  // one page: navigation, load event and print
  std::chrono::milliseconds stop{3000};    // asked to close, before it is killed
};

// A running browser with one tab attached. Owns the browser (its process and pipe pair)
// and the profile folder: end_browser_session (or destruction) ends the browser and all it
// started and removes the folder. Move-only.
struct BrowserSession {
  Subprocess browser;  // none once the browser is lost or ended
  std::string profile_folder;
  std::string session_id;  // the tab's flattened session
  int last_id = 0;         // the id of the last command sent
  std::string unread;      // bytes received after the last complete message
  BrowserTimeouts timeouts;

  BrowserSession() = default;
  BrowserSession(BrowserSession&& other) noexcept;
  BrowserSession& operator=(BrowserSession&& other) noexcept;
  BrowserSession(const BrowserSession&) = delete;
  BrowserSession& operator=(const BrowserSession&) = delete;
  ~BrowserSession();
};

// What start_browser_session gives: a session, or why there is none. `exec_error` is set
// when the program itself could not be executed (not found, not executable); otherwise
// `problem` says why the browser, once started, could not be driven over the pipe.
struct BrowserStart {
  std::optional<BrowserSession> session;
  std::error_code exec_error;
  std::string problem;
};

enum class PagePrint {
  Printed,      // the PDF is complete on disk
  PageFailed,   // no PDF for this page; the browser is still usable
  BrowserLost,  // no PDF; the browser died or lost its tab and has been ended
  TooSlow,      // no PDF; the page took longer than timeouts.page and the browser was ended
};

// The switches that start `browser` headless with the DevTools pipe and the profile in
// `profile_folder`; "--no-sandbox" when `as_root`. argv[0] is `browser` itself.
std::vector<std::string> devtools_pipe_command(const std::string& browser,
                                               const std::string& profile_folder, bool as_root);
// A fresh, empty browser profile folder under the system's temporary folder, or "" with
// `error` set when none could be created. Every browser start gets its own: a profile
// shared between starts can hold a stale lock of a crashed browser, which makes the next
// one hand its work to a process that no longer exists.
std::string make_profile_folder(std::error_code& error);

// What a browser with its profile in `profile_folder` gets in its environment: the profile
// folder as its temporary folder (TMPDIR), so that what it leaves there when it is ended
// abruptly (its singleton lock folder) goes with the profile.
std::vector<std::string> browser_environment(const std::string& profile_folder);

// Starts the program at the path `argv[0]` with `argv` and the DevTools pipe pair
// (start_subprocess), then opens one tab and attaches to it. The session owns `profile_folder`
// (removed when the session ends, also on failure).
BrowserStart start_browser_session(const std::vector<std::string>& argv,
                                   const std::string& profile_folder,
                                   const BrowserTimeouts& timeouts = {});

// Loads the page at the absolute path `html_path` into the session's tab, waits for its
// load event and prints it (backgrounds, the page size from its CSS, no header or footer
// of the browser's own) into `pdf`, all within the session's timeouts.page. On
// BrowserLost and TooSlow the session is ended.
PagePrint print_page(BrowserSession& session, const std::string& html_path, std::string& pdf);
// print_page to the file `pdf_path`, written to a temporary file beside it and renamed, so
// the PDF is complete when Printed comes back (PageFailed when it cannot be written).
PagePrint print_page_to_pdf(BrowserSession& session, const std::string& html_path,
                            const std::string& pdf_path);

// Asks the browser to close, ends it when it does not within its timeout, ends what it left
// running and removes the profile folder. Safe to call more than once.
void end_browser_session(BrowserSession& session);

}  // namespace morvalen
