#include "glob.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;
using testing_support::ScratchFolder;
using testing_support::write_file;
using Paths = std::vector<std::string>;

TEST(Glob, MatchComponent) {
  struct Case {
    std::string_view pattern, name;
    bool matches;
  };
  const Case cases[] = {
      {"QL-WI-0010*", "QL-WI-0010 - Alpha", true},
      {"QL-WI-0010*", "QL-WI-00100 - Beta", true},
      {"QL-WI-0010*", "QL-WI-0010", true},
      {"ql-wi-*", "QL-WI-0010 - Alpha", false},  // case-sensitive
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "a\u00dfc", true},  // "?" is one character, not one byte
      {"*", "", true},
      {"*", ".hidden", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"*x", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxy", false},
      {"QL-WI-00[1-3]0", "QL-WI-0020", true},
      {"QL-WI-00[1-3]0", "QL-WI-0040", false},
      {"[!a-c]x", "dx", true},
      {"[!a-c]x", "bx", false},
      {"[]]", "]", true},
      {"[!]]", "]", false},
      {"[!]]", "a", true},
      {"[-a]", "-", true},
      {"[a-]", "-", true},
      {"[a-]", "b", false},
      {"[?]", "?", true},
      {"[?]", "x", false},
      {"[*]", "*", true},
      {"[*]", "ab", false},
      {"[[]", "[", true},
      {"[\u00e0-\u00ff]", "\u00e9", true},  // ranges by code point
      {"a]b", "a]b", true},
      {"x\xff", "x\xff", true},  // names that are not UTF-8 still match themselves
      {"x?", "x\xff", true},
      {"a**", "a", false},  // invalid patterns match nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(match_component(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
  }
}

TEST(Glob, InvalidPatterns) {
  struct Case {
    std::string_view pattern;
    std::optional<std::size_t> position;
    std::string_view reason;
  };
  const Case cases[] = {
      {"QL-WI-[0-9", 6, "invalid range pattern"},
      {"[]", 0, "invalid range pattern"},
      {"a/[!]", 2, "invalid range pattern"},
      {"QL-WI-0010**", 10, "recursive wildcards must form a single path component"},
      {"**b", 0, "recursive wildcards must form a single path component"},
      {"a/x**/b", 3, "recursive wildcards must form a single path component"},
      {"***", 2, "wildcards are either regular `*` or recursive `**`"},
      {"a/b****", 5, "wildcards are either regular `*` or recursive `**`"},
      {"**", std::nullopt, ""},
      {"a/**/b*", std::nullopt, ""},
      {"[]]*", std::nullopt, ""},
      {"", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    const std::optional<GlobError> error = glob_pattern_error(c.pattern);
    ASSERT_EQ(error.has_value(), c.position.has_value()) << c.pattern;
    if (!error) continue;
    EXPECT_EQ(error->position, *c.position) << c.pattern;
    EXPECT_EQ(error->reason, c.reason) << c.pattern;
  }
  std::ostringstream out;
  EXPECT_EQ(
      fatal_message_of([&] { glob_paths("QL-WI-[0-9*", out); }),
      "Failed to read glob pattern: Pattern syntax error near position 6: invalid range pattern");
}

TEST(Glob, EscapedTextMatchesOnlyItself) {
  for (const std::string_view text : {"Rev_[A]*?_UTC", "plain", "a]b[!c]", "**"}) {
    EXPECT_TRUE(match_component(escape_glob(text), text)) << text;
  }
  EXPECT_FALSE(match_component(escape_glob("Rev_*"), "Rev_1"));
  EXPECT_FALSE(match_component(escape_glob("a?"), "ab"));
}

class GlobWalk : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* path : {"QL-1 - alpha/QL-1 - alpha.qlml", "QL-1 - Zeta/x.txt",
                             "QL-10 - Beta/sub/deep/x.txt", "QL-10 - Beta/sub/y.txt",
                             "QL-10 - Beta/x.txt", ".hidden", "WebMenu.html", "assets/a.css"}) {
      write_file(path, "");
    }
  }
  Paths glob(std::string_view pattern) {
    std::ostringstream out;
    Paths paths = glob_paths(pattern, out);
    EXPECT_EQ(out.str(), "") << pattern;
    return paths;
  }
  ScratchFolder scratch_;
};

TEST_F(GlobWalk, RootEntriesInByteOrder) {
  EXPECT_EQ(glob("*"), (Paths{".hidden", "QL-1 - Zeta", "QL-1 - alpha", "QL-10 - Beta",
                              "WebMenu.html", "assets"}));
  EXPECT_EQ(glob("QL-1*"), (Paths{"QL-1 - Zeta", "QL-1 - alpha", "QL-10 - Beta"}));
  EXPECT_EQ(glob("QL-1 *"), (Paths{"QL-1 - Zeta", "QL-1 - alpha"}));
  EXPECT_EQ(glob("ql-1*"), Paths{});
  EXPECT_EQ(glob("./QL-1[0-9]*"), Paths{"./QL-10 - Beta"});
}

TEST_F(GlobWalk, SeparatorsWalkIntoFolders) {
  EXPECT_EQ(glob("*/x.txt"), (Paths{"QL-1 - Zeta/x.txt", "QL-10 - Beta/x.txt"}));
  EXPECT_EQ(glob("QL-10 - Beta/*"), (Paths{"QL-10 - Beta/sub", "QL-10 - Beta/x.txt"}));
  EXPECT_EQ(glob("QL-10 - Beta/sub/*"), (Paths{"QL-10 - Beta/sub/deep", "QL-10 - Beta/sub/y.txt"}));
  EXPECT_EQ(glob("missing/*"), Paths{});
  EXPECT_EQ(glob("WebMenu.html/*"), Paths{});  // a file is no folder to walk into
  EXPECT_EQ(glob("assets//a.css"), Paths{"assets/a.css"});
}

// A backslash separates components where the system says so (Windows), and is an ordinary
// character elsewhere.
TEST_F(GlobWalk, BackslashSeparatesOnlyWhereTheSystemSaysSo) {
  std::ostringstream out;
  EXPECT_EQ(glob_paths("QL-10 - Beta\\sub\\*", out, "/\\"),
            (Paths{"QL-10 - Beta/sub/deep", "QL-10 - Beta/sub/y.txt"}));
  EXPECT_EQ(glob_paths("QL-10 - Beta\\s*", out, "/"), Paths{});
  EXPECT_EQ(out.str(), "");
}

TEST_F(GlobWalk, RecursiveWildcardIsDepthFirst) {
  EXPECT_EQ(glob("**/x.txt"),
            (Paths{"QL-1 - Zeta/x.txt", "QL-10 - Beta/sub/deep/x.txt", "QL-10 - Beta/x.txt"}));
  EXPECT_EQ(glob("**/**/y.txt"), Paths{"QL-10 - Beta/sub/y.txt"});
  EXPECT_EQ(glob("QL-10 - Beta/**"),
            (Paths{"QL-10 - Beta", "QL-10 - Beta/sub", "QL-10 - Beta/sub/deep"}));
  EXPECT_EQ(glob("QL-10 - Beta/**/*.txt"),
            (Paths{"QL-10 - Beta/sub/deep/x.txt", "QL-10 - Beta/sub/y.txt", "QL-10 - Beta/x.txt"}));
}

// Links and permissions as POSIX has them.
#ifndef _WIN32
TEST_F(GlobWalk, LinkLoopUnderRecursiveWildcardEnds) {
  std::filesystem::create_directory_symlink("..", "QL-10 - Beta/sub/loop");
  std::filesystem::create_directory_symlink("QL-10 - Beta", "link");
  EXPECT_EQ(glob("**/y.txt"), Paths{"QL-10 - Beta/sub/y.txt"});
  // Plain components still walk through links to folders.
  EXPECT_EQ(glob("link/x*"), Paths{"link/x.txt"});
  EXPECT_EQ(glob("QL-10 - Beta/sub/loop/x*"), Paths{"QL-10 - Beta/sub/loop/x.txt"});
}

TEST_F(GlobWalk, UnreadableFolderIsReportedAndSkipped) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  ASSERT_EQ(::chmod("QL-10 - Beta/sub", 0), 0);
  std::ostringstream out;
  EXPECT_EQ(glob_paths("**/x.txt", out), (Paths{"QL-1 - Zeta/x.txt", "QL-10 - Beta/x.txt"}));
  const std::string report = out.str();
  EXPECT_THAT(report, testing::HasSubstr("QL-10 - Beta/sub"));
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
}
#endif

}  // namespace
}  // namespace morvalen
