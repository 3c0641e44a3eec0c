// The document actions: inspect (-i); render, archive and cleanup run end to end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "actions.h"
#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;
using testing_support::ScratchFolder;
using testing_support::write_file;

TEST(InspectAction, InspectPrintsEverySummaryInNameOrder) {
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
