// Fuzzes the language server's message reader and dispatch: bytes in as a client would send
// them (framing, JSON, requests on the documents it opened), with the invariants that the
// server ends, with exit status 0 or 1, and writes only well-framed JSON-RPC 2.0 messages,
// each answer holding either a result or an error.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "lint/lsp.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Documents name files of their folder: make the current folder an empty scratch folder.
  char folder[] = "/tmp/morvalen-lsp-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  std::ostringstream err;
  const int status = morvalen::run_lsp({}, in, out, err);
  check(status == 0 || status == 1);
  const std::string written = out.str();
  std::string_view rest = written;
  while (!rest.empty()) {
    constexpr std::string_view kHeader = "Content-Length: ";
    check(rest.starts_with(kHeader));
    const std::size_t end = rest.find("\r\n\r\n");
    check(end != std::string_view::npos);
    const std::size_t length = std::stoul(std::string(rest.substr(kHeader.size(), end)));
    rest.remove_prefix(end + 4);
    check(rest.size() >= length);
    const nlohmann::json message = nlohmann::json::parse(rest.substr(0, length), nullptr, false);
    rest.remove_prefix(length);
    check(message.is_object() && message.value("jsonrpc", "") == "2.0");
    if (message.contains("method")) continue;  // a notification of the server's
    check(message.contains("id") && (message.contains("result") != message.contains("error")));
  }
  return 0;
}
