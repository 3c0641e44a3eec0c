#include "headless_browser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace morvalen::testing_support {
namespace {

constexpr int kTimeoutMs = 30000;

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("headless browser: " + what);
}

void write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      fail("cannot write to the DevTools pipe");
    }
    done += static_cast<std::size_t>(wrote);
  }
}

}  // namespace

HeadlessBrowser::HeadlessBrowser(const std::string& program) {
  if (::access(program.c_str(), X_OK) != 0) fail(program + " is missing or not executable");
  // A browser that dies must show up as a failed write, not end the test program.
  ::signal(SIGPIPE, SIG_IGN);
  std::string profile =
      (std::filesystem::temp_directory_path() / "morvalen-chromium-XXXXXX").string();
  if (::mkdtemp(profile.data()) == nullptr) fail("cannot create a profile folder");
  profile_ = profile;
  int commands[2];
  int replies[2];
  if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(replies, O_CLOEXEC) != 0) fail("pipe failed");
  const std::vector<std::string> args = {program,
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--no-first-run",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--user-data-dir=" + profile_,
                                         "--remote-debugging-pipe",
                                         "about:blank"};
  pid_ = ::fork();
  if (pid_ < 0) fail("fork failed");
  if (pid_ == 0) {
    // Move both ends above 4 first, so that placing them on 3 and 4 cannot clobber the
    // other; dup2 onto a different number also clears close-on-exec.
    const int read_end = ::fcntl(commands[0], F_DUPFD_CLOEXEC, 10);
    const int write_end = ::fcntl(replies[1], F_DUPFD_CLOEXEC, 10);
    if (read_end < 0 || write_end < 0 || ::dup2(read_end, 3) < 0 || ::dup2(write_end, 4) < 0)
      ::_exit(126);
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    std::vector<char*> raw;
    for (const std::string& arg : args) raw.push_back(const_cast<char*>(arg.c_str()));
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    ::_exit(127);
  }
  ::close(commands[0]);
  ::close(replies[1]);
  to_browser_ = commands[1];
  from_browser_ = replies[0];
  const nlohmann::json target =
      call("Target.createTarget", {{"url", "about:blank"}}, /*in_page=*/false);
  const nlohmann::json attached = call(
      "Target.attachToTarget", {{"targetId", target.at("targetId")}, {"flatten", true}}, false);
  session_ = attached.at("sessionId").get<std::string>();
  call("Runtime.enable", nlohmann::json::object());
  call("Log.enable", nlohmann::json::object());
  call("Page.enable", nlohmann::json::object());
}

HeadlessBrowser::~HeadlessBrowser() {
  if (pid_ > 0) {
    try {
      call("Browser.close", nlohmann::json::object(), false);
    } catch (const std::runtime_error&) {
      // The browser may already be gone; the wait below settles it.
    }
    int status = 0;
    bool ended = false;
    for (int waited = 0; waited < 100 && !ended; ++waited) {
      ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ended) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
  }
  if (to_browser_ >= 0) ::close(to_browser_);
  if (from_browser_ >= 0) ::close(from_browser_);
  std::error_code ignored;
  if (!profile_.empty()) std::filesystem::remove_all(profile_, ignored);
}

void HeadlessBrowser::open(const std::string& url) {
  loaded_ = false;
  const nlohmann::json navigated = call("Page.navigate", {{"url", url}});
  if (navigated.contains("errorText"))
    fail("cannot open " + url + ": " + navigated["errorText"].dump());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  while (!loaded_) {
    if (std::chrono::steady_clock::now() > deadline) fail("no load event for " + url);
    note_event(next_message(kTimeoutMs));
  }
}

nlohmann::json HeadlessBrowser::evaluate(const std::string& expression) {
  const nlohmann::json reply =
      call("Runtime.evaluate",
           {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}});
  if (reply.contains("exceptionDetails"))
    fail("exception in " + expression + ": " + reply["exceptionDetails"].dump());
  const nlohmann::json& result = reply.at("result");
  return result.contains("value") ? result["value"] : nlohmann::json();
}

void HeadlessBrowser::click(const std::string& selector) {
  const nlohmann::json spot =
      evaluate("(() => { const e = document.querySelector(" + nlohmann::json(selector).dump() +
               ");"
               " if (!e) return null;"
               " e.scrollIntoView({block: 'center'});"
               " const r = e.getBoundingClientRect();"
               " const x = r.left + r.width / 2, y = r.top + r.height / 2;"
               " const hit = document.elementFromPoint(x, y);"
               " return {x: x, y: y, hit: hit !== null && (hit === e || e.contains(hit))}; })()");
  if (spot.is_null()) fail("nothing matches " + selector);
  if (!spot.at("hit").get<bool>()) fail(selector + " is covered by another element");
  const double x = spot.at("x").get<double>();
  const double y = spot.at("y").get<double>();
  call("Input.dispatchMouseEvent", {{"type", "mouseMoved"}, {"x", x}, {"y", y}});
  for (const char* type : {"mousePressed", "mouseReleased"}) {
    call("Input.dispatchMouseEvent", {{"type", type},
                                      {"x", x},
                                      {"y", y},
                                      {"button", "left"},
                                      {"buttons", 1},
                                      {"clickCount", 1}});
  }
}

nlohmann::json HeadlessBrowser::call(const std::string& method, const nlohmann::json& params,
                                     bool in_page) {
  const int id = next_id_++;
  nlohmann::json message = {{"id", id}, {"method", method}, {"params", params}};
  if (in_page) message["sessionId"] = session_;
  write_all(to_browser_, message.dump() + std::string(1, '\0'));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  while (true) {
    if (std::chrono::steady_clock::now() > deadline) fail("no reply to " + method);
    nlohmann::json reply = next_message(kTimeoutMs);
    if (reply.contains("id") && reply["id"] == id) {
      if (reply.contains("error")) fail(method + " failed: " + reply["error"].dump());
      return reply.value("result", nlohmann::json::object());
    }
    note_event(reply);
  }
}

nlohmann::json HeadlessBrowser::next_message(int timeout_ms) {
  while (true) {
    const std::size_t end = pending_.find('\0');
    if (end != std::string::npos) {
      nlohmann::json message = nlohmann::json::parse(pending_.substr(0, end));
      pending_.erase(0, end + 1);
      return message;
    }
    pollfd wait_for{from_browser_, POLLIN, 0};
    const int ready = ::poll(&wait_for, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) fail("timed out waiting for the browser");
    char buffer[65536];
    const ssize_t got = ::read(from_browser_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) fail("the browser closed the DevTools pipe");
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}

void HeadlessBrowser::note_event(const nlohmann::json& message) {
  const std::string method = message.value("method", "");
  const nlohmann::json params = message.value("params", nlohmann::json::object());
  if (method == "Page.loadEventFired") {
    loaded_ = true;
  } else if (method == "Runtime.exceptionThrown") {
    errors_.push_back("exception: " + params.dump());
  } else if (method == "Runtime.consoleAPICalled" && params.value("type", "") == "error") {
    errors_.push_back("console.error: " + params.dump());
  } else if (method == "Log.entryAdded" && params.contains("entry") &&
             params["entry"].value("level", "") == "error") {
    errors_.push_back("log: " + params["entry"].dump());
  }
}

}  // namespace morvalen::testing_support
