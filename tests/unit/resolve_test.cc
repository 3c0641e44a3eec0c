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
#ifdef _WIN32
  GTEST_SKIP() << "Windows names differing only in case are one name";
#endif
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
      // Shell completion of a folder name adds a "/".
      {"QL-WI-0020 - Gamma/", {"QL-WI-0020 - Gamma"}},
      {"QL-WI-0020 - Gamma//", {"QL-WI-0020 - Gamma"}},
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
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses double quotes in names";
#endif
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

}  // namespace
}  // namespace morvalen
