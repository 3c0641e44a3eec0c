#include "devtools_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "files.h"

namespace morvalen {

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

// Every wait is bounded: a browser that stops answering must never hang the run.
int milliseconds_left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Writing to a pipe whose reader has gone raises SIGPIPE, whose default action would end
// the whole run. The signal is blocked around the write and a SIGPIPE that the write
// itself raised is taken off the pending set before the old mask comes back, so the
// browser's death shows here as EPIPE and nothing else of the process changes.
bool write_all(int fd, std::string_view bytes, Clock::time_point deadline) {
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigset_t old_mask;
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  bool ok = true;
  bool broke = false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd wait_for{fd, POLLOUT, 0};
      const int left = milliseconds_left(deadline);
      if (left == 0) {
        ok = false;
        break;
      }
      if (::poll(&wait_for, 1, left) < 0 && errno != EINTR) {
        ok = false;
        break;
      }
      continue;
    }
    broke = written < 0 && errno == EPIPE;
    ok = false;
    break;
  }
  if (broke && !was_pending) {
    const timespec no_wait{0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  return ok;
}

bool send_command(BrowserSession& session, const std::string& method, Json params, bool to_tab,
                  Clock::time_point deadline) {
  Json message{{"id", ++session.last_id}, {"method", method}, {"params", std::move(params)}};
  if (to_tab) message["sessionId"] = session.session_id;
  std::string bytes = message.dump();
  bytes.push_back('\0');
  return write_all(session.to_browser, bytes, deadline);
}

// The next whole message from the browser, or nothing on end of file, a read error, the
// deadline or a message that is not JSON.
std::optional<Json> next_message(BrowserSession& session, Clock::time_point deadline) {
  char buffer[65536];
  while (true) {
    const std::size_t end = session.unread.find('\0');
    if (end != std::string::npos) {
      Json message = Json::parse(session.unread.begin(),
                                 session.unread.begin() + static_cast<long>(end), nullptr, false);
      session.unread.erase(0, end + 1);
      if (message.is_discarded() || !message.is_object()) return std::nullopt;
      return message;
    }
    const ssize_t got = ::read(session.from_browser, buffer, sizeof buffer);
    if (got > 0) {
      session.unread.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0) return std::nullopt;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return std::nullopt;
    const int left = milliseconds_left(deadline);
    if (left == 0) return std::nullopt;
    pollfd wait_for{session.from_browser, POLLIN, 0};
    if (::poll(&wait_for, 1, left) < 0 && errno != EINTR) return std::nullopt;
  }
}

// What the tab reported while we waited for an answer.
struct TabEvents {
  std::vector<std::string> loaded;  // loader ids whose load lifecycle event came
  bool gone = false;                // crashed or detached
};

void note_event(const BrowserSession& session, const Json& message, TabEvents& events) {
  const std::string method = message.value("method", "");
  const std::string session_id = message.value("sessionId", "");
  const Json& params = message.contains("params") ? message["params"] : Json::object();
  if (method == "Page.lifecycleEvent" && session_id == session.session_id &&
      params.value("name", "") == "load") {
    events.loaded.push_back(params.value("loaderId", ""));
  } else if (method == "Inspector.targetCrashed" && session_id == session.session_id) {
    events.gone = true;
  } else if (method == "Target.detachedFromTarget" &&
             params.value("sessionId", "") == session.session_id) {
    events.gone = true;
  }
}

// The answer to the command just sent, or nothing when the browser is lost (end of file,
// deadline, garbage, or the tab gone while waiting).
std::optional<Json> await_answer(BrowserSession& session, TabEvents& events,
                                 Clock::time_point deadline) {
  const int id = session.last_id;
  while (true) {
    std::optional<Json> message = next_message(session, deadline);
    if (!message) return std::nullopt;
    if (message->contains("id")) {
      if ((*message)["id"] == id) return message;
      continue;
    }
    note_event(session, *message, events);
    if (events.gone) return std::nullopt;
  }
}

std::optional<Json> call(BrowserSession& session, TabEvents& events, const std::string& method,
                         Json params, bool to_tab, Clock::time_point deadline) {
  if (!send_command(session, method, std::move(params), to_tab, deadline)) return std::nullopt;
  return await_answer(session, events, deadline);
}

void kill_browser(BrowserSession& session) {
  if (session.pid > 0) {
    // The browser runs in its own process group, so a stand-in wrapper and everything it
    // started go too.
    ::kill(-session.pid, SIGKILL);
    ::kill(session.pid, SIGKILL);
    int status = 0;
    while (::waitpid(session.pid, &status, 0) < 0 && errno == EINTR) {
    }
    session.pid = -1;
  }
}

void release(BrowserSession& session) {
  close_fd(session.to_browser);
  close_fd(session.from_browser);
  if (!session.profile_folder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(session.profile_folder, ignored);
    session.profile_folder.clear();
  }
  session.unread.clear();
}

void lose_browser(BrowserSession& session) {
  kill_browser(session);
  release(session);
}

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::string> base64_decode(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  unsigned int accumulated = 0;
  int bits = 0;
  for (const char c : text) {
    if (c == '=') break;
    const int value = base64_value(c);
    if (value < 0) return std::nullopt;
    accumulated = (accumulated << 6) | static_cast<unsigned int>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((accumulated >> bits) & 0xFF));
    }
  }
  return bytes;
}

// The PDF appears under its name only once it is whole: an archive taken afterwards, or a
// reader watching the folder, never sees half a file.
bool write_whole_file(const std::string& path, const std::string& bytes) {
  const std::string temporary = temporary_path_beside(path);
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  std::error_code error;
  if (!out) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace

BrowserSession::BrowserSession(BrowserSession&& other) noexcept { *this = std::move(other); }

BrowserSession& BrowserSession::operator=(BrowserSession&& other) noexcept {
  if (this != &other) {
    end_browser_session(*this);
    pid = std::exchange(other.pid, -1);
    to_browser = std::exchange(other.to_browser, -1);
    from_browser = std::exchange(other.from_browser, -1);
    profile_folder = std::exchange(other.profile_folder, {});
    session_id = std::exchange(other.session_id, {});
    last_id = other.last_id;
    unread = std::exchange(other.unread, {});
    timeouts = other.timeouts;
  }
  return *this;
}

BrowserSession::~BrowserSession() { end_browser_session(*this); }

std::vector<std::string> devtools_pipe_command(const std::string& browser,
                                               const std::string& profile_folder, bool as_root) {
  // No --no-pdf-header-footer here: a pipe-driven browser's renderer crashes on navigation
  // with it; the print command asks for no header and footer instead.
  std::vector<std::string> command{browser,
                                   "--headless",
                                   "--remote-debugging-pipe",
                                   "--user-data-dir=" + profile_folder,
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--no-first-run",
                                   "--disable-sync"};
  if (as_root) command.push_back("--no-sandbox");
  command.push_back("about:blank");
  return command;
}

std::string make_pipe_profile_folder() {
  std::error_code error;
  std::string pattern =
      (std::filesystem::temp_directory_path(error) / "morvalen-browser-XXXXXX").string();
  if (error) pattern = "/tmp/morvalen-browser-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return "";
  return pattern;
}

BrowserStart start_browser_session(const std::vector<std::string>& argv,
                                   const std::string& profile_folder,
                                   const BrowserTimeouts& timeouts) {
  BrowserStart start;
  BrowserSession session;
  session.profile_folder = profile_folder;
  session.timeouts = timeouts;
  if (argv.empty()) {
    start.exec_error = std::make_error_code(std::errc::no_such_file_or_directory);
    return start;
  }
  int browser_reads[2];   // the browser's fd 3
  int browser_writes[2];  // the browser's fd 4
  int exec_report[2];     // closed by a successful exec, else carries errno
  if (::pipe2(browser_reads, O_CLOEXEC) != 0) {
    start.problem =
        "cannot create a pipe: " + std::error_code(errno, std::generic_category()).message();
    return start;
  }
  if (::pipe2(browser_writes, O_CLOEXEC) != 0) {
    start.problem =
        "cannot create a pipe: " + std::error_code(errno, std::generic_category()).message();
    ::close(browser_reads[0]);
    ::close(browser_reads[1]);
    return start;
  }
  if (::pipe2(exec_report, O_CLOEXEC) != 0) {
    start.problem =
        "cannot create a pipe: " + std::error_code(errno, std::generic_category()).message();
    for (int fd : {browser_reads[0], browser_reads[1], browser_writes[0], browser_writes[1]})
      ::close(fd);
    return start;
  }
  session.to_browser = browser_reads[1];
  session.from_browser = browser_writes[0];

  // Everything the child needs is prepared before fork: between fork and exec only
  // async-signal-safe calls are allowed.
  std::vector<char*> raw;
  for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
  raw.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) {
    start.exec_error = std::error_code(errno, std::generic_category());
    for (int fd : {browser_reads[0], browser_writes[1], exec_report[0], exec_report[1]})
      ::close(fd);
    return start;
  }
  if (child == 0) {
    ::setpgid(0, 0);
    // Move every end we keep above the target numbers first, so no dup2 below closes one.
    const int report = ::fcntl(exec_report[1], F_DUPFD_CLOEXEC, 10);
    const int reads = ::fcntl(browser_reads[0], F_DUPFD, 10);
    const int writes = ::fcntl(browser_writes[1], F_DUPFD, 10);
    const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd >= 0) {
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    ::dup2(reads, 3);
    ::dup2(writes, 4);
    // Files this process happened to have open stay out of the browser.
    ::syscall(SYS_close_range, 5U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */);
    ::execv(raw[0], raw.data());
    const int code = errno;
    if (::write(report, &code, sizeof code) < 0) ::_exit(127);
    ::_exit(127);
  }
  session.pid = child;
  ::close(browser_reads[0]);
  ::close(browser_writes[1]);
  ::close(exec_report[1]);
  int code = 0;
  ssize_t got = 0;
  while ((got = ::read(exec_report[0], &code, sizeof code)) < 0 && errno == EINTR) {
  }
  ::close(exec_report[0]);
  if (got == static_cast<ssize_t>(sizeof code)) {
    start.exec_error = std::error_code(code, std::generic_category());
    kill_browser(session);
    release(session);
    return start;
  }
  ::fcntl(session.to_browser, F_SETFL, ::fcntl(session.to_browser, F_GETFL) | O_NONBLOCK);
  ::fcntl(session.from_browser, F_SETFL, ::fcntl(session.from_browser, F_GETFL) | O_NONBLOCK);

  const Clock::time_point deadline = Clock::now() + timeouts.start;
  TabEvents events;
  const std::optional<Json> created =
      call(session, events, "Target.createTarget", {{"url", "about:blank"}}, false, deadline);
  const std::string target_id =
      created && created->contains("result") ? (*created)["result"].value("targetId", "") : "";
  if (target_id.empty()) {
    start.problem =
        created ? "the browser refused to open a tab" : "the browser did not answer on its pipe";
    lose_browser(session);
    return start;
  }
  const std::optional<Json> attached =
      call(session, events, "Target.attachToTarget", {{"targetId", target_id}, {"flatten", true}},
           false, deadline);
  session.session_id =
      attached && attached->contains("result") ? (*attached)["result"].value("sessionId", "") : "";
  if (session.session_id.empty()) {
    start.problem = "the browser did not attach to its tab";
    lose_browser(session);
    return start;
  }
  for (const auto& [method, params] :
       {std::pair<std::string, Json>{"Page.enable", Json::object()},
        std::pair<std::string, Json>{"Page.setLifecycleEventsEnabled", {{"enabled", true}}}}) {
    const std::optional<Json> answer = call(session, events, method, params, true, deadline);
    if (!answer || answer->contains("error")) {
      start.problem = "the browser's tab did not accept " + method;
      lose_browser(session);
      return start;
    }
  }
  start.session = std::move(session);
  return start;
}

PagePrint print_page_to_pdf(BrowserSession& session, const std::string& html_path,
                            const std::string& pdf_path) {
  if (session.pid <= 0 || session.to_browser < 0) return PagePrint::BrowserLost;
  TabEvents events;
  const Clock::time_point load_deadline = Clock::now() + session.timeouts.load;
  const std::optional<Json> navigated =
      call(session, events, "Page.navigate", {{"url", file_url(html_path)}}, true, load_deadline);
  if (!navigated) {
    lose_browser(session);
    return PagePrint::BrowserLost;
  }
  if (navigated->contains("error")) return PagePrint::PageFailed;
  const Json& result = navigated->contains("result") ? (*navigated)["result"] : Json::object();
  if (!result.value("errorText", "").empty()) return PagePrint::PageFailed;
  const std::string loader = result.value("loaderId", "");
  // The load event may come before or after the answer to navigate; it is matched by the
  // loader, so a late event of the previous page never counts for this one.
  while (!loader.empty() &&
         std::find(events.loaded.begin(), events.loaded.end(), loader) == events.loaded.end()) {
    std::optional<Json> message = next_message(session, load_deadline);
    if (!message) {
      lose_browser(session);
      return PagePrint::BrowserLost;
    }
    note_event(session, *message, events);
    if (events.gone) {
      lose_browser(session);
      return PagePrint::BrowserLost;
    }
  }
  const Clock::time_point print_deadline = Clock::now() + session.timeouts.print;
  const std::optional<Json> printed =
      call(session, events, "Page.printToPDF",
           {{"displayHeaderFooter", false}, {"printBackground", true}, {"preferCSSPageSize", true}},
           true, print_deadline);
  if (!printed) {
    lose_browser(session);
    return PagePrint::BrowserLost;
  }
  if (!printed->contains("result") || !(*printed)["result"].contains("data") ||
      !(*printed)["result"]["data"].is_string()) {
    return PagePrint::PageFailed;
  }
  const std::optional<std::string> pdf =
      base64_decode((*printed)["result"]["data"].get_ref<const std::string&>());
  if (!pdf || pdf->empty()) return PagePrint::PageFailed;
  return write_whole_file(pdf_path, *pdf) ? PagePrint::Printed : PagePrint::PageFailed;
}

void end_browser_session(BrowserSession& session) {
  if (session.pid > 0) {
    if (session.to_browser >= 0) {
      const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(200);
      send_command(session, "Browser.close", Json::object(), false, deadline);
    }
    const Clock::time_point deadline = Clock::now() + session.timeouts.stop;
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(session.pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (reaped == session.pid) {
      // The browser's helpers share its process group and may outlive it for a moment.
      ::kill(-session.pid, SIGKILL);
      session.pid = -1;
    } else {
      kill_browser(session);
    }
  }
  release(session);
}

std::string file_url(const std::string& path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || c == '/' || c == '-' || c == '_' ||
                       c == '.' || c == '~';
    if (plain) {
      url.push_back(c);
    } else {
      url.push_back('%');
      url.push_back(hex[byte >> 4]);
      url.push_back(hex[byte & 0x0F]);
    }
  }
  return url;
}

}  // namespace morvalen
