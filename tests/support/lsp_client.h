// lsp_client.h: a language-server client for tests: starts the built `qlml lsp` with pipes
// on its standard input and output and speaks framed JSON-RPC to it.
#pragma once
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvalen::testing_support {

class LspClient {
 public:
  // Starts `qlml lsp` in folder `cwd`; its standard error goes to the null device.
  explicit LspClient(const std::string& cwd = ".");
  ~LspClient();
  LspClient(const LspClient&) = delete;
  LspClient& operator=(const LspClient&) = delete;

  // Bytes as they are, no framing; false when the server no longer reads.
  bool send_raw(std::string_view bytes);
  // One message, framed.
  bool send(const nlohmann::json& message);
  // A request with a fresh id; returns the id.
  int request(const std::string& method, const nlohmann::json& params);
  void notify(const std::string& method, const nlohmann::json& params);

  // The next message the server writes, or nothing when none comes within `timeout` or
  // the server closed its output. A frame whose body is no JSON comes back as a string.
  std::optional<nlohmann::json> next(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The response to request `id`; notifications on the way are kept for diagnostics().
  // Null when none comes in time.
  nlohmann::json response(int id);
  // The next textDocument/publishDiagnostics params for `uri` (kept ones first), or null.
  nlohmann::json diagnostics(const std::string& uri);

  // initialize (with `root_uri`) and initialized; the initialize result.
  nlohmann::json initialize(const std::string& root_uri = "");
  // Closes the server's input and waits for it to end: its exit status, or -1 when it is
  // still running after `timeout` (it is then killed).
  int finish(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  int pid_ = -1;
  int to_server_ = -1;
  int from_server_ = -1;
  int next_id_ = 1;
  std::string buffer_;
  std::vector<nlohmann::json> kept_;
};

}  // namespace morvalen::testing_support
