#include "lsp_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

namespace morvalen::testing_support {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// The length a complete frame at the start of `buffer` has, with its header's length, or
// nothing while it is incomplete.
std::optional<std::pair<std::size_t, std::size_t>> complete_frame(const std::string& buffer) {
  const std::size_t end = buffer.find("\r\n\r\n");
  if (end == std::string::npos) return std::nullopt;
  const std::string header = buffer.substr(0, end);
  const std::string key = "Content-Length: ";
  const std::size_t at = header.find(key);
  if (at == std::string::npos)
    throw std::runtime_error("a frame without Content-Length: " + header);
  const std::size_t length = std::stoul(header.substr(at + key.size()));
  if (buffer.size() < end + 4 + length) return std::nullopt;
  return std::pair{end + 4, length};
}

}  // namespace

LspClient::LspClient(const std::string& cwd) {
  int in_pipe[2];
  int out_pipe[2];
  if (::pipe(in_pipe) != 0 || ::pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    const int null_err = ::open("/dev/null", O_WRONLY);
    if (null_err >= 0) ::dup2(null_err, 2);
    ::close(in_pipe[1]);
    ::close(out_pipe[0]);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    const char* argv[] = {QLML_BINARY, "lsp", nullptr};
    ::execv(argv[0], const_cast<char**>(argv));
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::signal(SIGPIPE, SIG_IGN);
  pid_ = child;
  to_server_ = in_pipe[1];
  from_server_ = out_pipe[0];
}

LspClient::~LspClient() {
  if (to_server_ >= 0) ::close(to_server_);
  if (from_server_ >= 0) ::close(from_server_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

bool LspClient::send_raw(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(to_server_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool LspClient::send(const json& message) {
  const std::string body = message.dump();
  return send_raw("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

int LspClient::request(const std::string& method, const json& params) {
  const int id = next_id_++;
  send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
  return id;
}

void LspClient::notify(const std::string& method, const json& params) {
  send({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
}

std::optional<json> LspClient::next(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (const auto frame = complete_frame(buffer_)) {
      const std::string body = buffer_.substr(frame->first, frame->second);
      buffer_.erase(0, frame->first + frame->second);
      json message = json::parse(body, nullptr, false);
      return message.is_discarded() ? json(body) : message;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd entry{from_server_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char chunk[65536];
    const ssize_t got = ::read(from_server_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
}

json LspClient::response(int id) {
  while (const auto message = next()) {
    if (message->is_object() && message->contains("id") && (*message)["id"] == id &&
        !message->contains("method")) {
      return *message;
    }
    kept_.push_back(*message);
  }
  return nullptr;
}

json LspClient::diagnostics(const std::string& uri) {
  const auto wanted = [&](const json& message) {
    return message.is_object() &&
           message.value("method", "") == "textDocument/publishDiagnostics" &&
           message["params"].value("uri", "") == uri;
  };
  for (auto it = kept_.begin(); it != kept_.end(); ++it) {
    if (wanted(*it)) {
      json params = (*it)["params"];
      kept_.erase(it);
      return params;
    }
  }
  while (const auto message = next()) {
    if (wanted(*message)) return (*message)["params"];
    kept_.push_back(*message);
  }
  return nullptr;
}

json LspClient::initialize(const std::string& root_uri) {
  const int id =
      request("initialize", {{"processId", nullptr},
                             {"rootUri", root_uri.empty() ? json(nullptr) : json(root_uri)},
                             {"capabilities", json::object()}});
  json answer = response(id);
  notify("initialized", json::object());
  return answer.is_object() ? answer.value("result", json()) : json();
}

int LspClient::finish(std::chrono::milliseconds timeout) {
  if (to_server_ >= 0) {
    ::close(to_server_);
    to_server_ = -1;
  }
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace morvalen::testing_support
