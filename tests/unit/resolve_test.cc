#include "resolve.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;
using testing_support::ScratchFolder;
using testing_support::write_file;
using Names = std::vector<std::string>;

TEST(Resolve, DocumentNumbersSelectFolderNames) {
  ScratchFolder scratch;
  for (const char* path :
       {"QL-WI-0010 - Alpha/a", "QL-WI-00100 - Beta/b", "QL-WI-0010 - alpha/c",
        "QL-WI-0020 - Gamma/d", "sub/SL-1 - Inner/e", "assets/f", "WebMenu.html"}) {
    write_file(path, "");
  }
  struct Case {
    std::string_view number;
    Names names;
  };
  const Case cases[] = {
      {"QL-WI-0010", {"QL-WI-0010 - Alpha", "QL-WI-0010 - alpha", "QL-WI-00100 - Beta"}},
      {"QL-WI-0010*", {"QL-WI-0010 - Alpha", "QL-WI-0010 - alpha", "QL-WI-00100 - Beta"}},
      {"QL-WI-00[2-9]0", {"QL-WI-0020 - Gamma"}},
      {"ql-wi-", {}},
      {"QL-XX", {}},
      {"", {}},
      {"sub/SL", {"SL-1 - Inner"}},  // bare names, looked up in the root by the callers
      {"*",
       {"QL-WI-0010 - Alpha", "QL-WI-0010 - alpha", "QL-WI-00100 - Beta", "QL-WI-0020 - Gamma",
        "WebMenu.html", "assets", "sub"}},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    EXPECT_EQ(globify_document_number(c.number, out), c.names) << c.number;
    EXPECT_EQ(out.str(), "") << c.number;
  }
}

TEST(Resolve, InvalidPatternsAreFatalStops) {
  ScratchFolder scratch;
  for (const std::string_view number : {"QL-WI-0010**", "QL-WI-[0-9", "a***"}) {
    std::ostringstream out;
    EXPECT_THAT(
        fatal_message_of([&] { globify_document_number(number, out); }),
        testing::StartsWith("Failed to read glob pattern: Pattern syntax error near position "))
        << number;
  }
}

TEST(Resolve, VerboseListsTheNames) {
  ScratchFolder scratch;
  write_file("QL-1 \"q\"/x", "");
  write_file("QL-2/x", "");
  std::ostringstream out;
  EXPECT_EQ(resolve_documents("QL-", true, out), (Names{"QL-1 \"q\"", "QL-2"}));
  EXPECT_EQ(out.str(), "[\"QL-1 \\\"q\\\"\", \"QL-2\"]\n");
  std::ostringstream quiet;
  resolve_documents("QL-", false, quiet);
  EXPECT_EQ(quiet.str(), "");
  std::ostringstream none;
  resolve_documents("XX", true, none);
  EXPECT_EQ(none.str(), "[]\n");
}

TEST(Resolve, InspectPrintsEverySummaryInNameOrder) {
  ScratchFolder scratch;
  write_file("QL-2 - B/QL-2 - B.qlml", "Title | Second\n");
  write_file("QL-1 - A/QL-1 - A.qlml",
             "Title | First\nSection | S\nStep | T\nAction | a | b | tpv\n");
  std::ostringstream out;
  inspect_process("QL-", true, out);
  const std::string text = out.str();
  EXPECT_THAT(text, testing::StartsWith("[\"QL-1 - A\", \"QL-2 - B\"]\n"));
  const std::size_t first = text.find("\nFirst\n");
  const std::size_t second = text.find("\nSecond\n");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_THAT(text, testing::HasSubstr(" ↪ Count of TPV Actions:     1\n"));
  // A matching entry that is no process folder is still read as a document.
  write_file("QL-3.txt", "");
  EXPECT_THAT(fatal_message_of([&] { inspect_process("QL-3", false, out); }),
              testing::StartsWith("Could not load lines: ./QL-3.txt/QL-3.txt.qlml: "));
}

}  // namespace
}  // namespace morvalen
