#include "devtools_pipe.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "files.h"
#include "names.h"

namespace morvalen {

namespace {

using Clock = SubprocessClock;
using Json = nlohmann::json;

bool send_command(BrowserSession& session, const std::string& method, Json params, bool to_tab,
                  Clock::time_point deadline) {
  Json message{{"id", ++session.last_id}, {"method", method}, {"params", std::move(params)}};
  if (to_tab) message["sessionId"] = session.session_id;
  std::string bytes = message.dump();
  bytes.push_back('\0');
  return write_to_subprocess(session.browser, bytes, deadline);
}

// The next whole message from the browser, or nothing on end of file, a read error, the
// deadline or a message that is not JSON.
std::optional<Json> next_message(BrowserSession& session, Clock::time_point deadline) {
  while (true) {
    const std::size_t end = session.unread.find('\0');
    if (end != std::string::npos) {
      Json message = Json::parse(session.unread.begin(),
                                 session.unread.begin() + static_cast<long>(end), nullptr, false);
      session.unread.erase(0, end + 1);
      if (message.is_discarded() || !message.is_object()) return std::nullopt;
      return message;
    }
    if (read_from_subprocess(session.browser, session.unread, deadline) != PipeRead::Data)
      return std::nullopt;
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

// Ends the browser at once and frees what the session holds.
void lose_browser(BrowserSession& session) {
  end_subprocess(session.browser);
  if (!session.profile_folder.empty()) {
    discard_temporary(session.profile_folder);
    session.profile_folder.clear();
  }
  session.unread.clear();
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

}  // namespace

BrowserSession::BrowserSession(BrowserSession&& other) noexcept { *this = std::move(other); }

BrowserSession& BrowserSession::operator=(BrowserSession&& other) noexcept {
  if (this != &other) {
    end_browser_session(*this);
    browser = std::move(other.browser);
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

std::vector<std::string> browser_environment(const std::string& profile_folder) {
  return {"TMPDIR=" + profile_folder};
}

std::string make_profile_folder(std::error_code& error) {
  return make_temporary_folder(kBrowserProfilePrefix, error);
}

BrowserStart start_browser_session(const std::vector<std::string>& argv,
                                   const std::string& profile_folder,
                                   const BrowserTimeouts& timeouts) {
  BrowserStart start;
  BrowserSession session;
  session.profile_folder = profile_folder;
  session.timeouts = timeouts;
  SubprocessStart started =
      start_subprocess(argv, SubprocessPipes::DevTools, browser_environment(profile_folder));
  if (started.error) {
    start.exec_error = started.error;
    lose_browser(session);
    return start;
  }
  session.browser = std::move(started.subprocess);

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

PagePrint print_page(BrowserSession& session, const std::string& html_path, std::string& pdf) {
  pdf.clear();
  if (subprocess_id(session.browser) < 0) return PagePrint::BrowserLost;
  TabEvents events;
  // One deadline for the whole page: a script that never ends keeps the load event from
  // coming, a huge page the print from finishing; either way the page has had its time.
  const Clock::time_point deadline = Clock::now() + session.timeouts.page;
  const auto lost = [&session, deadline] {
    lose_browser(session);
    return Clock::now() >= deadline ? PagePrint::TooSlow : PagePrint::BrowserLost;
  };
  const std::optional<Json> navigated =
      call(session, events, "Page.navigate", {{"url", file_url(html_path)}}, true, deadline);
  if (!navigated) return lost();
  if (navigated->contains("error")) return PagePrint::PageFailed;
  const Json& result = navigated->contains("result") ? (*navigated)["result"] : Json::object();
  if (!result.value("errorText", "").empty()) return PagePrint::PageFailed;
  const std::string loader = result.value("loaderId", "");
  // The load event may come before or after the answer to navigate; it is matched by the
  // loader, so a late event of the previous page never counts for this one.
  while (!loader.empty() &&
         std::find(events.loaded.begin(), events.loaded.end(), loader) == events.loaded.end()) {
    std::optional<Json> message = next_message(session, deadline);
    if (!message) return lost();
    note_event(session, *message, events);
    if (events.gone) return lost();
  }
  const std::optional<Json> printed =
      call(session, events, "Page.printToPDF",
           {{"displayHeaderFooter", false}, {"printBackground", true}, {"preferCSSPageSize", true}},
           true, deadline);
  if (!printed) return lost();
  if (!printed->contains("result") || !(*printed)["result"].contains("data") ||
      !(*printed)["result"]["data"].is_string()) {
    return PagePrint::PageFailed;
  }
  std::optional<std::string> decoded =
      base64_decode((*printed)["result"]["data"].get_ref<const std::string&>());
  if (!decoded || decoded->empty()) return PagePrint::PageFailed;
  pdf = std::move(*decoded);
  return PagePrint::Printed;
}

PagePrint print_page_to_pdf(BrowserSession& session, const std::string& html_path,
                            const std::string& pdf_path) {
  std::string pdf;
  const PagePrint outcome = print_page(session, html_path, pdf);
  if (outcome != PagePrint::Printed) return outcome;
  // The PDF appears under its name only once it is whole: an archive taken afterwards, or a
  // reader watching the folder, never sees half a file.
  return try_write_whole_file(pdf_path, pdf) ? PagePrint::PageFailed : PagePrint::Printed;
}

void end_browser_session(BrowserSession& session) {
  if (subprocess_id(session.browser) >= 0) {
    const Clock::time_point close_deadline = Clock::now() + std::chrono::milliseconds(200);
    send_command(session, "Browser.close", Json::object(), false, close_deadline);
    // Ended by itself or not, the browser's helpers share its group and may outlive it for
    // a moment: lose_browser ends them.
    wait_for_subprocess(session.browser, Clock::now() + session.timeouts.stop);
  }
  lose_browser(session);
}

}  // namespace morvalen
