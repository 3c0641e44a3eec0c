#include "progress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace morvalen {
namespace {

using std::chrono::seconds;

TEST(Progress, TextFitsTheTerminal) {
  struct Case {
    std::size_t width;
    seconds elapsed;
    std::string_view document, expected;
  };
  const Case cases[] = {
      {80, seconds(0), "QL-WI-0010 - Pump", "[2/50] QL-WI-0010 - Pump 0s"},
      {80, seconds(65), "QL-WI-0010 - Pump", "[2/50] QL-WI-0010 - Pump 1m05s"},
      {80, seconds(600), "A", "[2/50] A 10m00s"},
      {20, seconds(3), "QL-WI-0010 - Pump", "[2/50] QL-WI-00… 3s"},
      {20, seconds(3), "QL-ÄÖÜ-0010 - Pump", "[2/50] QL-ÄÖÜ-0… 3s"},
      {20, seconds(3), "QL-ÄÖÜ-0", "[2/50] QL-ÄÖÜ-0 3s"},
      {8, seconds(3), "QL-WI-0010", "[2/50] "},
  };
  for (const Case& c : cases) {
    ProgressLine line = make_progress_line(50, true, c.width);
    line.count = 2;
    line.began = std::chrono::steady_clock::now() - c.elapsed;
    EXPECT_EQ(progress_text(line, c.document), c.expected) << c.document << " in " << c.width;
  }
}

TEST(Progress, DrawnInPlaceOnlyForATerminalAndManyDocuments) {
  struct Case {
    std::size_t total;
    bool terminal;
    std::string_view expected;
  };
  const Case cases[] = {
      {3, true, "\r[1/3] A 0s\x1b[K\r[2/3] B 0s\x1b[K\r\x1b[K"}, {3, false, ""}, {1, true, ""}};
  for (const Case& c : cases) {
    std::ostringstream err;
    ProgressLine line = make_progress_line(c.total, c.terminal, 80);
    advance_progress(err, line, "A");
    advance_progress(err, line, "B");
    clear_progress(err, line);
    clear_progress(err, line);
    EXPECT_EQ(err.str(), c.expected) << c.total << " " << c.terminal;
  }
}

}  // namespace
}  // namespace morvalen
