// The built `qlml lsp` spoken to over its pipes, as an editor does: the lifecycle, each
// feature on a small library, incremental edits in UTF-16 positions, broken input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lint/lsp_features.h"
#include "lsp_client.h"
#include "test_support.h"

namespace morvalen {
namespace {

using nlohmann::json;
using testing_support::LspClient;
using testing_support::ScratchFolder;
using testing_support::write_file;

constexpr std::string_view kDocument =
    "Template | Corporate.css\n"
    "Number | QL-1\n"
    "Title | Pump\n"
    "Section | Preparation\n"
    "    Step | Inspect\n"
    "        Image | pump.png | The pump\n"
    "        Action | Open V-101 | Valve open | TPV\n"
    "        CSVFILE | table.csv | Pressures\n"
    "        Verification | REQ-1 | Shall pump | I\n";

// A library with one process folder holding the document, an image and a table.
struct Library {
  std::string folder;
  std::string uri;
};

Library write_library(const std::string& root, std::string_view document = kDocument) {
  const std::string folder = root + "/QL-1 - Pump";
  write_file(folder + "/QL-1 - Pump.qlml", std::string(document));
  write_file(folder + "/pump.png", "png");
  write_file(folder + "/table.csv", "a,b\n");
  write_file(folder + "/notes.txt", "x");
  write_file(root + "/assets/Corporate.css", "");
  write_file(root + "/assets/Letter.css", "");
  return {folder, uri_of_path(folder + "/QL-1 - Pump.qlml")};
}

json position(int line, int character) { return {{"line", line}, {"character", character}}; }

json at(const std::string& uri, int line, int character) {
  return {{"textDocument", {{"uri", uri}}}, {"position", position(line, character)}};
}

void open(LspClient& client, const std::string& uri, std::string_view text) {
  client.notify(
      "textDocument/didOpen",
      {{"textDocument", {{"uri", uri}, {"languageId", "qlml"}, {"version", 1}, {"text", text}}}});
}

json result_of(LspClient& client, const std::string& method, const json& params) {
  const json answer = client.response(client.request(method, params));
  EXPECT_TRUE(answer.contains("result")) << method << ": " << answer.dump();
  return answer.value("result", json());
}

std::vector<std::string> labels(const json& items) {
  std::vector<std::string> result;
  for (const json& item : items) result.push_back(item["label"]);
  return result;
}

TEST(LspEndToEnd, Lifecycle) {
  ScratchFolder scratch;
  LspClient client;
  // Before initialize a request is refused.
  json early = client.response(client.request("textDocument/hover", json::object()));
  EXPECT_EQ(early["error"]["code"], -32002);

  const json result = client.initialize();
  const json& capabilities = result["capabilities"];
  EXPECT_EQ(capabilities["textDocumentSync"]["change"], 2);
  EXPECT_EQ(capabilities["positionEncoding"], "utf-16");
  for (const char* provider : {"hoverProvider", "completionProvider", "documentLinkProvider"}) {
    EXPECT_TRUE(capabilities.contains(provider)) << provider;
  }
  EXPECT_EQ(result["serverInfo"]["name"], "qlml");

  const json again = client.response(client.request("initialize", json::object()));
  EXPECT_EQ(again["error"]["code"], -32600);
  EXPECT_TRUE(client.response(client.request("shutdown", nullptr)).contains("result"));
  const json late = client.response(client.request("textDocument/hover", json::object()));
  EXPECT_EQ(late["error"]["code"], -32600);
  client.notify("exit", nullptr);
  EXPECT_EQ(client.finish(), 0);

  // exit without shutdown, and the input ending, are exit status 1.
  LspClient abrupt;
  abrupt.initialize();
  abrupt.notify("exit", nullptr);
  EXPECT_EQ(abrupt.finish(), 1);
  LspClient closed;
  closed.initialize();
  EXPECT_EQ(closed.finish(), 1);
}

TEST(LspEndToEnd, BrokenInputIsAnsweredAndTheServerGoesOn) {
  ScratchFolder scratch;
  const Library library = write_library(scratch.path());
  const auto frame = [](std::string_view body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
  };
  struct Case {
    std::string bytes;
    int code;  // 0: no answer
    json id;
  };
  const Case cases[] = {
      {frame("{\"jsonrpc\":\"2.0\",\"id\":1,"), -32700, nullptr},
      {frame("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"x\xff\"}"), -32700, nullptr},
      {"Content-Length: many\r\n\r\n", -32700, nullptr},
      {"Content-Type: text\r\n\r\n", -32700, nullptr},
      {frame("[1,2]"), -32600, nullptr},
      {frame("{\"jsonrpc\":\"1.0\",\"id\":7,\"method\":\"x\"}"), -32600, 7},
      {frame("{\"jsonrpc\":\"2.0\",\"id\":{\"a\":1},\"method\":\"x\"}"), -32600, nullptr},
      {frame("{\"jsonrpc\":\"2.0\",\"id\":\"s\"}"), -32600, "s"},
      {frame("{\"jsonrpc\":\"2.0\",\"id\":8,\"method\":\"qlml/unknown\"}"), -32601, 8},
      {frame("{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"textDocument/hover\",\"params\":{}}"),
       -32602, 9},
      {frame("{\"jsonrpc\":\"2.0\",\"id\":10,\"method\":\"textDocument/completion\",\"params\":"
             "{\"textDocument\":{\"uri\":\"file:///nowhere.qlml\"},\"position\":{\"line\":0,"
             "\"character\":0}}}"),
       -32602, 10},
      {frame("{\"jsonrpc\":\"2.0\",\"method\":\"qlml/unknownNotification\"}"), 0, nullptr},
      {frame("{\"jsonrpc\":\"2.0\",\"method\":\"$/cancelRequest\",\"params\":{\"id\":1}}"), 0,
       nullptr},
      {frame("{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didChange\",\"params\":{}}"), 0,
       nullptr},
      {frame("{\"jsonrpc\":\"2.0\",\"id\":11,\"result\":null}"), 0, nullptr},
      // Junk before a header: the message after it still counts.
      {"garbage" + frame("{\"jsonrpc\":\"2.0\",\"id\":12,\"method\":\"qlml/x\"}"), -32601, 12},
  };
  LspClient client(scratch.path());
  client.initialize();
  open(client, library.uri, kDocument);
  for (const Case& c : cases) {
    ASSERT_TRUE(client.send_raw(c.bytes));
    // A hover after each case: the server still reads and answers in order.
    const int probe = client.request("textDocument/hover", at(library.uri, 2, 0));
    const json first = *client.next();
    if (c.code != 0) {
      EXPECT_EQ(first["error"]["code"], c.code) << c.bytes;
      EXPECT_EQ(first["id"], c.id) << c.bytes;
      EXPECT_EQ(client.response(probe)["result"]["contents"]["value"],
                "Title — process title: Pump")
          << c.bytes;
    } else {
      EXPECT_EQ(first["id"], probe) << c.bytes;
    }
  }
  EXPECT_TRUE(client.response(client.request("shutdown", nullptr)).contains("result"));
  client.notify("exit", nullptr);
  EXPECT_EQ(client.finish(), 0);
}

TEST(LspEndToEnd, CompletionHoverAndLinks) {
  ScratchFolder scratch;
  const Library library = write_library(scratch.path());
  LspClient client(scratch.path());
  client.initialize();
  std::string text(kDocument);
  text += "        \n        Action | a | b | \n        Verification | R | T | \nImage | \n";
  open(client, library.uri, text);

  // Keywords at the start of a line, written as documents write them, with their fields.
  const json keywords = result_of(client, "textDocument/completion", at(library.uri, 9, 8));
  EXPECT_EQ(keywords.size(), 25u);
  EXPECT_THAT(labels(keywords), testing::IsSupersetOf({"Process Type", "Out of Scope", "CSVEND"}));
  for (const json& item : keywords) {
    if (item["label"] == "Action") {
      EXPECT_EQ(item["textEdit"]["newText"], "Action | ${1:thing to do} | ${2:expected result}");
      EXPECT_EQ(item["insertTextFormat"], 2);
      EXPECT_EQ(item["textEdit"]["range"]["start"], position(9, 8));
    }
  }
  EXPECT_THAT(labels(result_of(client, "textDocument/completion", at(library.uri, 10, 26))),
              testing::ElementsAre("TPV", "Yes", "Y", "True", "T", "Two Party Verification"));
  EXPECT_THAT(labels(result_of(client, "textDocument/completion", at(library.uri, 11, 32))),
              testing::ElementsAre("Demonstration", "Inspection", "Analysis", "Test", "Sampling"));
  EXPECT_THAT(labels(result_of(client, "textDocument/completion", at(library.uri, 12, 8))),
              testing::ElementsAre("pump.png"));
  EXPECT_THAT(labels(result_of(client, "textDocument/completion", at(library.uri, 0, 11))),
              testing::ElementsAre("Corporate.css", "Letter.css"));
  EXPECT_THAT(labels(result_of(client, "textDocument/completion", at(library.uri, 7, 18))),
              testing::ElementsAre("table.csv"));
  EXPECT_TRUE(result_of(client, "textDocument/completion", at(library.uri, 2, 9)).empty());

  // Hover: what the reader takes from the statement under the cursor.
  const auto hover = [&](int line) {
    const json result = result_of(client, "textDocument/hover", at(library.uri, line, 3));
    return result.is_null() ? std::string() : result["contents"]["value"].get<std::string>();
  };
  EXPECT_EQ(hover(6),
            "Action — thing to do: Open V-101; expected: Valve open; two-party verification: yes");
  EXPECT_EQ(hover(8), "Verification — requirement: REQ-1; text: Shall pump; method: Inspection");
  EXPECT_EQ(hover(4), "Step — step title: Inspect");
  EXPECT_EQ(hover(9), "");

  // Links to the files the document names that are there.
  const json links =
      result_of(client, "textDocument/documentLink", {{"textDocument", {{"uri", library.uri}}}});
  std::vector<std::pair<int, std::string>> found;
  for (const json& link : links) found.emplace_back(link["range"]["start"]["line"], link["target"]);
  EXPECT_THAT(found, testing::ElementsAre(
                         std::pair{0, uri_of_path(scratch.path() + "/assets/Corporate.css")},
                         std::pair{5, uri_of_path(library.folder + "/pump.png")},
                         std::pair{7, uri_of_path(library.folder + "/table.csv")}));
  EXPECT_EQ(links[1]["range"]["start"]["character"], 16);
  EXPECT_EQ(links[1]["range"]["end"]["character"], 24);
}

TEST(LspEndToEnd, IncrementalEditsCountUtf16) {
  ScratchFolder scratch;
  const Library library = write_library(scratch.path());
  LspClient client(scratch.path());
  client.initialize();
  open(client, library.uri, "Title | Größe 😀 Pump\nNumber | Ä-1\n");
  const auto change = [&](int version, json changes) {
    client.notify("textDocument/didChange",
                  {{"textDocument", {{"uri", library.uri}, {"version", version}}},
                   {"contentChanges", std::move(changes)}});
  };
  const auto range = [](int line, int start, int end_line, int end) {
    return json{{"start", position(line, start)}, {"end", position(end_line, end)}};
  };
  // "Title | Größe 😀 Pump": the emoji is two UTF-16 units, at 14 and 15; "Pump" starts at 17.
  change(2, {{{"range", range(0, 17, 0, 21)}, {"text", "Motor"}}});
  change(3, {{{"range", range(0, 14, 0, 16)}, {"text", "✓"}},
             {{"range", range(1, 9, 1, 10)}, {"text", "B"}}});
  change(4, {{{"range", range(1, 12, 2, 0)}, {"text", "\nStep | ü\n"}}});
  const auto hover = [&](int line) {
    const json result = result_of(client, "textDocument/hover", at(library.uri, line, 0));
    return result.is_null() ? std::string() : result["contents"]["value"].get<std::string>();
  };
  EXPECT_EQ(hover(0), "Title — process title: Größe ✓ Motor");
  EXPECT_EQ(hover(1), "Number — process number: B-1");
  EXPECT_EQ(hover(2), "Step — step title: ü");
  // A whole-text change replaces everything.
  change(5, {{{"text", "Author | Zoë"}}});
  EXPECT_EQ(hover(0), "Author — author: Zoë");
  EXPECT_EQ(hover(1), "");
}

}  // namespace
}  // namespace morvalen
