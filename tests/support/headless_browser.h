// headless_browser.h: a page in headless Chromium, driven over the DevTools pipe.
#pragma once
#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace morvalen::testing_support {

// Starts /usr/bin/chromium (or `program`) with a fresh profile and --remote-debugging-pipe
// (commands on fd 3, replies on fd 4, each a JSON text ended by a NUL byte). Every failure
// throws std::runtime_error; a missing browser is such a failure, never a skip.
class HeadlessBrowser {
 public:
  explicit HeadlessBrowser(const std::string& program = "/usr/bin/chromium");
  ~HeadlessBrowser();
  HeadlessBrowser(const HeadlessBrowser&) = delete;
  HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

  // Opens `url` in a new page and waits for its load event.
  void open(const std::string& url);
  // The value of `expression` evaluated in the page (promises awaited).
  nlohmann::json evaluate(const std::string& expression);
  // A left click with real mouse events at the centre of the first element matching the
  // CSS `selector`, scrolled into view first.
  void click(const std::string& selector);
  // Uncaught exceptions, console.error calls and error log entries seen so far.
  const std::vector<std::string>& errors() const { return errors_; }

 private:
  nlohmann::json call(const std::string& method, const nlohmann::json& params, bool in_page = true);
  nlohmann::json next_message(int timeout_ms);
  void note_event(const nlohmann::json& message);

  pid_t pid_ = -1;
  int to_browser_ = -1;
  int from_browser_ = -1;
  int next_id_ = 1;
  std::string profile_;
  std::string session_;
  std::string pending_;
  bool loaded_ = false;
  std::vector<std::string> errors_;
};

}  // namespace morvalen::testing_support
