// The built `qlml lsp` spoken to over its pipes, as an editor does: the lifecycle, each
// feature on a small library, incremental edits in UTF-16 positions, broken input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lint/lsp_features.h"
#include "lsp_client.h"
#include "names.h"
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
  return {folder, file_url(folder + "/QL-1 - Pump.qlml")};
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

// The hover text's first paragraph: what the statement is (the findings on its line follow).
std::string hover_text(const json& result) {
  if (result.is_null()) return {};
  const std::string text = result["contents"]["value"];
  return text.substr(0, text.find("\n\n"));
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
  ASSERT_TRUE(client.diagnostics(library.uri).is_object());
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
    return hover_text(result_of(client, "textDocument/hover", at(library.uri, line, 3)));
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
  EXPECT_THAT(found,
              testing::ElementsAre(std::pair{0, file_url(scratch.path() + "/assets/Corporate.css")},
                                   std::pair{5, file_url(library.folder + "/pump.png")},
                                   std::pair{7, file_url(library.folder + "/table.csv")}));
  EXPECT_EQ(links[1]["range"]["start"]["character"], 16);
  EXPECT_EQ(links[1]["range"]["end"]["character"], 24);
}

// A document the checker finds nothing in; line 12 is the Action line the edits change.
constexpr std::string_view kCleanDocument =
    "Template | Corporate.css\n"
    "Number | QL-1\n"
    "Title | Pump\n"
    "Process Type | Work Instruction\n"
    "Author | Rana Okafor\n"
    "Reviewer | Johan Lindqvist\n"
    "Revision | A | Initial release\n"
    "Subject | Pump P-101\n"
    "Section | Préparation\n"
    "    Step | Inspect 😀\n"
    "        Context | Größe 😀 check\n"
    "        Action | Open V-101 | Valve open | TPV\n"
    "        Action | Schließe V-102 😀 | Ventil zu\n"
    "    Step | Run\n"
    "        Image | pump.png | The pump\n";

TEST(LspEndToEnd, DiagnosticsFollowTheEditsAndQuickFixesMendThem) {
  ScratchFolder scratch;
  const Library library = write_library(scratch.path(), kCleanDocument);
  LspClient client(scratch.path());
  const json capabilities = client.initialize()["capabilities"];
  EXPECT_TRUE(capabilities.contains("documentSymbolProvider"));
  EXPECT_EQ(capabilities["codeActionProvider"]["codeActionKinds"], json::array({"quickfix"}));
  open(client, library.uri, kCleanDocument);
  json published = client.diagnostics(library.uri);
  EXPECT_EQ(published["version"], 1);
  EXPECT_EQ(published["diagnostics"], json::array()) << published.dump();

  const auto change = [&](int version, int line, int start, int end, std::string_view text) {
    client.notify("textDocument/didChange",
                  {{"textDocument", {{"uri", library.uri}, {"version", version}}},
                   {"contentChanges",
                    {{{"range", {{"start", position(line, start)}, {"end", position(line, end)}}},
                      {"text", text}}}}});
    return client.diagnostics(library.uri);
  };
  // "Action" -> "Acton": the line is dropped, and the nearest keyword is offered.
  published = change(2, 11, 11, 12, "");
  EXPECT_EQ(published["version"], 2);
  ASSERT_EQ(published["diagnostics"].size(), 1u) << published.dump();
  const json& unknown = published["diagnostics"][0];
  EXPECT_EQ(unknown["code"], "QL001");
  EXPECT_EQ(unknown["severity"], 2);
  EXPECT_EQ(unknown["source"], "qlml");
  EXPECT_EQ(unknown["range"]["start"], position(11, 8));
  const json actions = result_of(client, "textDocument/codeAction",
                                 {{"textDocument", {{"uri", library.uri}}},
                                  {"range", {{"start", position(11, 0)}, {"end", position(11, 0)}}},
                                  {"context", {{"diagnostics", json::array()}}}});
  ASSERT_EQ(actions.size(), 2u) << actions.dump();
  EXPECT_EQ(actions[0]["title"], "Change \"Acton\" to \"Action\"");
  EXPECT_EQ(actions[0]["edit"]["changes"][library.uri][0],
            json({{"range", {{"start", position(11, 8)}, {"end", position(11, 13)}}},
                  {"newText", "Action"}}));
  EXPECT_EQ(actions[1]["edit"]["changes"][library.uri][0]["newText"],
            "        // qlml: ignore QL001\n");
  EXPECT_THAT(result_of(client, "textDocument/hover", at(library.uri, 11, 9))["contents"]["value"]
                  .get<std::string>(),
              testing::HasSubstr("warning QL001: "));
  // Putting the letter back removes the finding.
  EXPECT_EQ(change(3, 11, 11, 11, "i")["diagnostics"], json::array());

  // A third field after non-ASCII text: the range counts UTF-16 units, not bytes.
  published = change(4, 12, 46, 46, " | vielleicht");
  ASSERT_EQ(published["diagnostics"].size(), 1u) << published.dump();
  EXPECT_EQ(published["diagnostics"][0]["code"], "QL302");
  EXPECT_EQ(published["diagnostics"][0]["range"]["start"], position(12, 48));
  EXPECT_EQ(published["diagnostics"][0]["range"]["end"], position(12, 59));
  EXPECT_EQ(change(5, 12, 46, 59, "")["diagnostics"], json::array());

  // A blank line between two Action lines: the second is dropped, the blank line is related.
  published = change(6, 12, 0, 0, "\n");
  ASSERT_EQ(published["diagnostics"].size(), 1u) << published.dump();
  const json& dropped = published["diagnostics"][0];
  EXPECT_EQ(dropped["code"], "QL203");
  EXPECT_EQ(dropped["range"]["start"]["line"], 13);
  EXPECT_EQ(dropped["tags"], json::array({1}));
  EXPECT_EQ(dropped["relatedInformation"][0]["location"]["uri"], library.uri);
  EXPECT_EQ(dropped["relatedInformation"][0]["location"]["range"]["start"]["line"], 12);

  // The outline, as the page numbers it.
  const json symbols =
      result_of(client, "textDocument/documentSymbol", {{"textDocument", {{"uri", library.uri}}}});
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0]["name"], "Section 1: Préparation");
  EXPECT_EQ(symbols[0]["range"]["start"], position(8, 0));
  ASSERT_EQ(symbols[0]["children"].size(), 2u);
  EXPECT_EQ(symbols[0]["children"][0]["name"], "Step 1.1: Inspect 😀");
  EXPECT_EQ(symbols[0]["children"][1]["name"], "Step 1.2: Run");
  EXPECT_EQ(symbols[0]["children"][1]["selectionRange"]["start"], position(14, 0));

  // A Template without ".css": the fix adds it.
  published = change(7, 0, 20, 24, "");
  ASSERT_EQ(published["diagnostics"].size(), 2u) << published.dump();
  EXPECT_EQ(published["diagnostics"][0]["code"], "QL503");
  const json css = result_of(client, "textDocument/codeAction",
                             {{"textDocument", {{"uri", library.uri}}},
                              {"range", {{"start", position(0, 3)}, {"end", position(0, 3)}}},
                              {"context", {{"diagnostics", json::array()}}}});
  ASSERT_FALSE(css.empty());
  EXPECT_EQ(css[0]["title"], "Add \".css\" to \"Corporate\"");
  EXPECT_EQ(css[0]["edit"]["changes"][library.uri][0],
            json({{"range", {{"start", position(0, 20)}, {"end", position(0, 20)}}},
                  {"newText", ".css"}}));

  // Closing the document clears its diagnostics.
  client.notify("textDocument/didClose", {{"textDocument", {{"uri", library.uri}}}});
  EXPECT_EQ(client.diagnostics(library.uri)["diagnostics"], json::array());
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
    return hover_text(result_of(client, "textDocument/hover", at(library.uri, line, 0)));
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
