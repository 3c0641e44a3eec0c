// The built binary on documents, table files and document lists whose bytes are hostile:
// invalid UTF-8, byte-order marks, binary files, NUL bytes, huge lines and huge documents.
#include <sys/resource.h>

#include "hostile_library.h"

namespace morvalen::hostile {
namespace {

using namespace std::string_literals;

const std::string kFolder = "QL-1 - Pump";
const std::string kDocument = "./" + kFolder + "/" + kFolder + ".qlml";
const std::string kPage = "lib/" + kFolder + "/" + kFolder + ".html";
const std::string kPdf = "lib/" + kFolder + "/" + kFolder + ".pdf";

std::string sound_document() {
  return "Title | Pump\nNumber | QL-1\nRevision | B | second\nSection | One\nStep | First\n"
         "Action | Press start | Pump runs | TPV\n";
}

struct UnreadableDocument {
  std::string label;
  std::string content;
  std::string problem;  // what the message must say besides the path
};

using HostileBytes = HostileLibrary;

// A document that cannot be read stops every document action with a message naming it,
// before anything is written: the earlier page and PDF stay, no archive is made.
TEST_F(HostileBytes, UnreadableDocumentsStopEveryActionAndKeepEarlierOutput) {
  std::string png = "\x89PNG\r\n\x1a\n";
  png += std::string("\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89", 25);
  const std::vector<UnreadableDocument> cases = {
      {"invalid UTF-8 on line 3", "Title | Pump\nNumber | QL-1\nStep | caf\xe9\n",
       "line 3 is not valid UTF-8"},
      {"binary file named .qlml", png, "line 1 is not valid UTF-8"},
      {"overlong encoding of '/'", "Title | \xc0\xaf\n", "line 1 is not valid UTF-8"},
      {"UTF-16 text", std::string("\xff\xfeT\0i\0", 6), "line 1 is not valid UTF-8"},
      {"surrogate half", "Title | ok\n\nTitle | \xed\xa0\x80\n", "line 3 is not valid UTF-8"},
  };
  for (const UnreadableDocument& item : cases) {
    SCOPED_TRACE(item.label);
    put_document(kFolder, item.content);
    write_file(kPage, "earlier page");
    write_file(kPdf, "earlier pdf");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-i", "QL-1"},
                                                 {"-p", "QL-1"},
                                                 {"-a", "QL-1"},
                                                 {"-p", "QL-1", "-w"}}) {
      SCOPED_TRACE(testing::PrintToString(args));
      const RunResult result = run(args);
      expect_fatal(result, {"Could not load lines: " + kDocument, item.problem});
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(read_whole_file(kPage), "earlier page");
      EXPECT_EQ(read_whole_file(kPdf), "earlier pdf");
      EXPECT_FALSE(fs::exists("lib/" + kFolder + "/previous"));
      EXPECT_FALSE(fs::exists("lib/WebMenu.html"));
    }
  }
}

TEST_F(HostileBytes, ByteOrderMarkAndNulBytesAreReadAsText) {
  // A byte-order mark before the first statement is dropped; one later on stays text.
  put_document(kFolder, "\xef\xbb\xbfTitle | Pump\nNumber | QL-1\n\xef\xbb\xbfTitle | Ignored\n");
  RunResult result = run({"-i", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("\nPump\n"));
  EXPECT_THAT(result.out, Not(HasSubstr("Ignored")));

  // NUL bytes are valid UTF-8: they are text like any other and end nothing early.
  put_document(kFolder,
               "Title | Pu\0mp\nNumber | QL-1\0\nRevision | \0\nSection | S\0\nStep | T\0\n"
               "Action | a\0 | b\0 | TPV\n"s);
  result = run({"-i", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("Pu\0mp"s));
  result = run({"-p", "QL-1", "-a", "QL-1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(read_whole_file(kPage), HasSubstr("Pu\0mp"s));
  EXPECT_EQ(read_whole_file(kPdf), "%PDF-1.4 stand-in %%EOF");
}

TEST_F(HostileBytes, TenMegabyteLineIsRenderedWhole) {
  const std::string huge(10 << 20, 'x');
  put_document(kFolder, sound_document() + "Context | " + huge + "\nCommand | " + huge + "\n");
  const RunResult result = run({"-p", "QL-1", "-i", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_LT(last_seconds_, 30.0);
  const std::string page = read_whole_file(kPage);
  EXPECT_THAT(page, StartsWith("<!DOCTYPE html>"));
  EXPECT_THAT(page, testing::EndsWith("</html>"));
  EXPECT_GT(page.size(), 2 * huge.size());
}

// An embedded table without CSVEND in every step: each ends with its step, so the model and
// the page stay as large as the document.
TEST_F(HostileBytes, UnclosedTablesInEveryStepStayLinear) {
  std::string document = "Title | Open\nNumber | QL-1\nSection | S\n";
  for (int step = 0; step < 55000 / 3; ++step) document += "Step | s\nCSVSTART\na,b\n";
  put_document(kFolder, document);
  const RunResult result = run({"-p", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  RecordProperty("unclosed_tables_seconds", std::to_string(last_seconds_));
  RecordProperty("unclosed_tables_max_rss_kb", std::to_string(usage.ru_maxrss));
  EXPECT_LT(last_seconds_, 30.0);
  EXPECT_LT(usage.ru_maxrss, 512 * 1024);  // kilobytes: 512 MiB
  EXPECT_LT(fs::file_size(kPage), 100u << 20);
}

TEST_F(HostileBytes, MillionLineDocumentIsReadInLinearTime) {
  // Every statement kind, repeated in steps of eleven lines.
  const auto document_of = [](int steps) {
    std::string document = "Title | Long\nNumber | QL-1\nRevision | A | first\n";
    for (int step = 0; step < steps; ++step) {
      if (step % 1000 == 0) document += "Section | Part " + std::to_string(step / 1000) + "\n";
      document +=
          "Step | Step " + std::to_string(step) +
          "\nObjective | o\nResource | r\nContext | c\nAction | a | b | TPV\nAction | c | d\n"
          "Command | echo\nVerification | R-1 | text | T\nCSVSTART\nx,y\nCSVEND\n";
    }
    return document;
  };
  put_document(kFolder, document_of(100000));  // 1.1 million lines
  RunResult result = run({"-i", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr(" ↪ Count of TPV Actions:     100000\n"));
  // Generous for a sanitizer build on a busy machine; a reader that copies the rest of
  // the file per section or step takes hours here.
  EXPECT_LT(last_seconds_, 60.0);
  RecordProperty("inspect_seconds", std::to_string(last_seconds_));

  // The page grows with the document: a tenth of it renders whole.
  put_document(kFolder, document_of(10000));
  result = run({"-p", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_LT(last_seconds_, 60.0);
  EXPECT_THAT(read_whole_file(kPage), testing::EndsWith("</html>"));
}

TEST_F(HostileBytes, TableFileWithBadBytesStopsTheRender) {
  put_document(kFolder, sound_document() + "CSVFILE | limits.csv | Limits\n");
  write_file(kPage, "earlier page");
  write_file("lib/" + kFolder + "/limits.csv", "Name,Value\nP,\xff\xfe\n");
  RunResult result = run({"-p", "QL-1"});
  expect_fatal(result, {"Could not load lines: " + kDocument +
                        ":7: CSVFILE limits.csv: line 2 is not valid UTF-8 text\n"});
  EXPECT_EQ(read_whole_file(kPage), "earlier page");

  // With a byte-order mark the first row is the header as written.
  write_file("lib/" + kFolder + "/limits.csv", "\xef\xbb\xbfName,Value\nP,3\n");
  result = run({"-p", "QL-1"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_THAT(read_whole_file(kPage), HasSubstr(">Name<"));
  EXPECT_THAT(read_whole_file(kPage), Not(HasSubstr("\xef\xbb\xbf")));

  // A table file that is a folder, or missing: the message names the CSVFILE statement.
  fs::remove("lib/" + kFolder + "/limits.csv");
  result = run({"-i", "QL-1"});
  expect_fatal(result, {kDocument + ":7: CSVFILE limits.csv: No such file"});
  fs::create_directory("lib/" + kFolder + "/limits.csv");
  result = run({"-i", "QL-1"});
  expect_fatal(result, {kDocument + ":7: CSVFILE limits.csv: Is a directory"});
}

TEST_F(HostileBytes, DocumentListWithBadBytesWritesNothing) {
  const std::string header = "Document Number,Title,Subject,Product,Author,Reviewer,Fresh\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {header + "QL-1,Pump,p,q,a,r,x\nQL-2,Valve\xc3,p,q,a,r,x\n", "line 3 is not valid UTF-8"},
      {"\xff\xfe" + header, "line 1 is not valid UTF-8"},
      {std::string(100, '\0') + "\n", "line 1"},
      {std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0",
                   10) +
           "\n",
       "line 1"},
  };
  const auto library_before = snapshot_tree(lib());
  for (const auto& [content, problem] : cases) {
    SCOPED_TRACE(testing::PrintToString(content));
    write_file("list.csv", content);
    fs::rename("list.csv", "lib/list.csv");
    const RunResult result = run({"-l", "list.csv"});
    expect_fatal(result, {"list.csv", problem});
    fs::remove("lib/list.csv");
    EXPECT_EQ(snapshot_tree(lib()), library_before);  // no draft, no stub stylesheet
  }

  // A byte-order mark before the header passes the header check.
  write_file("lib/list.csv", "\xef\xbb\xbf" + header + "QL-1,Pump,p,q,a,r,x\n");
  const RunResult result = run({"-l", "list.csv"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(fs::exists("lib/" + kFolder + "/" + kFolder + ".qlml"));
  EXPECT_TRUE(fs::exists("lib/assets/Fresh.css"));
}

}  // namespace
}  // namespace morvalen::hostile
