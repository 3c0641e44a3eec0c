#include "lint/lsp.h"

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "fatal.h"
#include "files.h"
#include "lint/check.h"
#include "lint/lsp_check.h"
#include "lint/lsp_document.h"
#include "lint/lsp_features.h"
#include "lint/lsp_transport.h"
#include "names.h"
#include "version.h"

namespace morvalen {
namespace {

using nlohmann::json;

// JSON-RPC and protocol error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;

constexpr int kSyncIncremental = 2;

constexpr std::string_view kHelp =
    "usage: qlml lsp\n"
    "\n"
    "Serves editors over the Language Server Protocol on standard input and output:\n"
    "diagnostics while typing, the outline, completion, hover, quick fixes and links to\n"
    "the files a document names. Editors start it themselves; see the README, \"Editor\n"
    "support\".\n";

// A failed request's answer, carried from where it is found to the dispatcher.
struct RequestError {
  int code;
  std::string message;
};

// An open document with the findings last published for it.
struct Open {
  OpenDocument document;
  std::vector<Finding> findings;
};

struct Server {
  bool initialized = false;
  bool shutdown_requested = false;
  bool exit_received = false;
  bool output_failed = false;
  std::map<std::string, Open, std::less<>> documents;
  // The configuration of each library root (qlml.json), read when a document of it is
  // opened or saved.
  std::map<std::string, CheckConfig, std::less<>> configs;
};

std::string dump(const json& value) {
  // File names from the disk need not be UTF-8: replace what is not, never throw.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void send(Server& server, std::ostream& out, const json& message) {
  if (server.output_failed) return;
  if (!write_frame(out, dump(message))) server.output_failed = true;
}

void send_error(Server& server, std::ostream& out, const json& id, int code,
                std::string_view message) {
  send(server, out,
       {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void send_result(Server& server, std::ostream& out, const json& id, json result) {
  send(server, out, {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

const json& member(const json& object, std::string_view name) {
  static const json kMissing;
  if (!object.is_object()) return kMissing;
  const auto found = object.find(name);
  return found == object.end() ? kMissing : *found;
}

std::string string_member(const json& object, std::string_view name) {
  const json& value = member(object, name);
  if (!value.is_string())
    throw RequestError{kInvalidParams, "\"" + std::string(name) + "\" must be a string"};
  return value.get<std::string>();
}

int int_member(const json& object, std::string_view name) {
  const json& value = member(object, name);
  if (!value.is_number_integer()) {
    throw RequestError{kInvalidParams, "\"" + std::string(name) + "\" must be an integer"};
  }
  const auto number = value.get<long long>();
  return static_cast<int>(std::clamp<long long>(number, 0, 1 << 30));
}

Utf16Position position_of(const json& value) {
  return {int_member(value, "line"), int_member(value, "character")};
}

Utf16Range range_of(const json& value) {
  return {position_of(member(value, "start")), position_of(member(value, "end"))};
}

std::string document_uri(const json& params) {
  return string_member(member(params, "textDocument"), "uri");
}

const Open& open_document(const Server& server, const json& params) {
  const std::string uri = document_uri(params);
  const auto found = server.documents.find(uri);
  if (found == server.documents.end()) {
    throw RequestError{kInvalidParams, "the document " + uri + " is not open"};
  }
  return found->second;
}

// The library root of a document: the folder above its process folder.
std::string library_root_of(const OpenDocument& document) {
  const std::string path = path_of_file_url(document.uri);
  if (path.empty()) return ".";
  const std::filesystem::path root = to_path(path).parent_path().parent_path();
  return root.empty() ? std::string(".") : from_path(root);
}

// The configuration of the document's library, read afresh when `reload` is set; a qlml.json
// that is rejected is said in the editor, and the defaults apply.
const CheckConfig& config_of(Server& server, std::ostream& out, std::ostream& err,
                             const OpenDocument& document, bool reload) {
  const std::string root = library_root_of(document);
  auto found = server.configs.find(root);
  if (found != server.configs.end() && !reload) return found->second;
  CheckConfig config;
  try {
    config = load_check_config(to_path(root));
  } catch (const FatalStop& stop) {
    err << "qlml lsp: " << stop.message << '\n';
    send(server, out,
         {{"jsonrpc", "2.0"},
          {"method", "window/showMessage"},
          {"params", {{"type", 1}, {"message", "qlml: " + stop.message}}}});
  }
  config.with_library_checks_for_document = true;
  return server.configs.insert_or_assign(root, std::move(config)).first->second;
}

void publish_diagnostics(Server& server, std::ostream& out, std::ostream& err, Open& open,
                         bool reload_config) {
  const CheckConfig& config = config_of(server, out, err, open.document, reload_config);
  open.findings = check_open_document(open.document, config);
  // Composed as text around the diagnostics, which come as text (see diagnostics_of).
  const std::string head =
      dump({{"jsonrpc", "2.0"},
            {"method", "textDocument/publishDiagnostics"},
            {"params", {{"uri", open.document.uri}, {"version", open.document.version}}}});
  const std::string message = head.substr(0, head.size() - 2) +
                              ",\"diagnostics\":" + diagnostics_of(open.document, open.findings) +
                              "}}";
  if (!server.output_failed && !write_frame(out, message)) server.output_failed = true;
}

json capabilities() {
  return {
      {"positionEncoding", "utf-16"},
      {"textDocumentSync",
       {{"openClose", true}, {"change", kSyncIncremental}, {"save", {{"includeText", false}}}}},
      {"completionProvider", {{"triggerCharacters", {"|"}}}},
      {"hoverProvider", true},
      {"documentSymbolProvider", true},
      {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
      {"documentLinkProvider", {{"resolveProvider", false}}},
  };
}

void did_open(Server& server, std::ostream& out, std::ostream& err, const json& params) {
  const json& item = member(params, "textDocument");
  const std::string uri = string_member(item, "uri");
  const json& version = member(item, "version");
  Open& open =
      server.documents
          .insert_or_assign(
              uri,
              Open{make_open_document(uri, string_member(item, "text"),
                                      version.is_number_integer() ? version.get<long long>() : 0),
                   {}})
          .first->second;
  publish_diagnostics(server, out, err, open, true);
}

void did_change(Server& server, std::ostream& out, std::ostream& err, const json& params) {
  const std::string uri = document_uri(params);
  const auto found = server.documents.find(uri);
  if (found == server.documents.end()) return;
  OpenDocument& document = found->second.document;
  const json& changes = member(params, "contentChanges");
  if (!changes.is_array()) throw RequestError{kInvalidParams, "\"contentChanges\" must be a list"};
  for (const json& change : changes) {
    const std::string text = string_member(change, "text");
    const json& range = member(change, "range");
    apply_change(document, range.is_object() ? std::optional(range_of(range)) : std::nullopt, text);
  }
  const json& version = member(member(params, "textDocument"), "version");
  if (version.is_number_integer()) document.version = version.get<long long>();
  publish_diagnostics(server, out, err, found->second, false);
}

// Files beside the document (images, tables) or qlml.json may have changed with the save.
void did_save(Server& server, std::ostream& out, std::ostream& err, const json& params) {
  const auto found = server.documents.find(document_uri(params));
  if (found != server.documents.end()) publish_diagnostics(server, out, err, found->second, true);
}

// The editor forgets the document's diagnostics with an empty list.
void did_close(Server& server, std::ostream& out, const json& params) {
  const auto found = server.documents.find(document_uri(params));
  if (found == server.documents.end()) return;
  send(server, out,
       {{"jsonrpc", "2.0"},
        {"method", "textDocument/publishDiagnostics"},
        {"params", {{"uri", found->first}, {"diagnostics", json::array()}}}});
  server.documents.erase(found);
}

// The result of request `method`, or a RequestError.
json answer(Server& server, std::string_view method, const json& params) {
  if (method == "shutdown") {
    server.shutdown_requested = true;
    return nullptr;
  }
  if (method == "textDocument/completion") {
    return completion_items(open_document(server, params).document,
                            position_of(member(params, "position")));
  }
  if (method == "textDocument/hover") {
    const Open& open = open_document(server, params);
    const Utf16Position position = position_of(member(params, "position"));
    return hover_at(open.document, position, finding_notes(open.findings, position.line));
  }
  if (method == "textDocument/documentSymbol") {
    return document_symbols(open_document(server, params).document);
  }
  if (method == "textDocument/codeAction") {
    const Open& open = open_document(server, params);
    return code_actions(open.document, open.findings, range_of(member(params, "range")));
  }
  if (method == "textDocument/documentLink") {
    return document_links(open_document(server, params).document);
  }
  throw RequestError{kMethodNotFound, "no method " + std::string(method)};
}

void notice(Server& server, std::ostream& out, std::ostream& err, std::string_view method,
            const json& params) {
  if (method == "textDocument/didOpen") did_open(server, out, err, params);
  if (method == "textDocument/didChange") did_change(server, out, err, params);
  if (method == "textDocument/didSave") did_save(server, out, err, params);
  if (method == "textDocument/didClose") did_close(server, out, params);
  // initialized, $/cancelRequest (every request is answered before the next is
  // read, so there is nothing to cancel) and unknown notifications need nothing.
}

void handle_request(Server& server, std::ostream& out, std::ostream& err, const json& id,
                    const std::string& method, const json& params) {
  if (server.shutdown_requested) {
    send_error(server, out, id, kInvalidRequest, "the server is shutting down");
    return;
  }
  if (method == "initialize") {
    if (server.initialized) {
      send_error(server, out, id, kInvalidRequest, "initialize was already received");
      return;
    }
    server.initialized = true;
    send_result(server, out, id,
                {{"capabilities", capabilities()},
                 {"serverInfo", {{"name", "qlml"}, {"version", kVersion}}}});
    return;
  }
  if (!server.initialized) {
    send_error(server, out, id, kServerNotInitialized, "initialize has not been received");
    return;
  }
  try {
    send_result(server, out, id, answer(server, method, params));
  } catch (const RequestError& error) {
    send_error(server, out, id, error.code, error.message);
  } catch (const json::exception& error) {
    send_error(server, out, id, kInvalidParams, error.what());
  } catch (const FatalStop& stop) {
    // A file the answer needed could not be read: that request fails, the server goes on.
    err << "qlml lsp: " << stop.message << '\n';
    send_error(server, out, id, kInternalError, stop.message);
  }
}

void handle_notification(Server& server, std::ostream& out, std::ostream& err,
                         const std::string& method, const json& params) {
  if (method == "exit") {
    server.exit_received = true;
    return;
  }
  if (!server.initialized || server.shutdown_requested) return;
  try {
    notice(server, out, err, method, params);
  } catch (const RequestError& error) {
    err << "qlml lsp: " << method << ": " << error.message << '\n';
  } catch (const json::exception& error) {
    err << "qlml lsp: " << method << ": " << error.what() << '\n';
  } catch (const FatalStop& stop) {
    err << "qlml lsp: " << method << ": " << stop.message << '\n';
  }
}

void handle_message(Server& server, std::ostream& out, std::ostream& err, const std::string& body) {
  const json message = json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    send_error(server, out, nullptr, kParseError, "the message is not JSON");
    return;
  }
  const json& id = member(message, "id");
  const bool id_valid = id.is_number_integer() || id.is_string();
  const json& method = member(message, "method");
  if (!message.is_object() || member(message, "jsonrpc") != "2.0" ||
      (message.contains("id") && !id_valid)) {
    send_error(server, out, id_valid ? id : json(nullptr), kInvalidRequest,
               "not a JSON-RPC 2.0 request or notification");
    return;
  }
  if (!method.is_string()) {
    // A response to a request of ours: the server sends none, so there is nothing to match.
    if (message.contains("result") || message.contains("error")) return;
    send_error(server, out, id_valid ? id : json(nullptr), kInvalidRequest,
               "the message has no method");
    return;
  }
  const json& params = member(message, "params");
  if (message.contains("id")) {
    handle_request(server, out, err, id, method.get<std::string>(), params);
  } else {
    handle_notification(server, out, err, method.get<std::string>(), params);
  }
}

}  // namespace

int run_lsp(std::span<const std::string> args, std::istream& in, std::ostream& out,
            std::ostream& err) {
  if (!args.empty()) {
    if (args[0] == "-h" || args[0] == "--help") {
      out << kHelp;
      return 0;
    }
    err << "error: unexpected argument '" << args[0] << "'\nusage: qlml lsp\n";
    return 2;
  }
  Server server;
  while (!server.exit_received && !server.output_failed) {
    const Frame frame = read_frame(in);
    if (frame.kind == FrameKind::End) break;
    if (frame.kind == FrameKind::Message) {
      handle_message(server, out, err, frame.body);
    } else {
      err << "qlml lsp: " << frame.problem << '\n';
      send_error(server, out, nullptr,
                 frame.kind == FrameKind::Malformed ? kParseError : kInvalidRequest, frame.problem);
    }
  }
  // The protocol's rule: 0 only after a shutdown request; the input ending is an exit too.
  return server.shutdown_requested ? 0 : 1;
}

}  // namespace morvalen
