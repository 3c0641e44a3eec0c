// The one write path: a file is written whole or not at all, and its failures name it.
#include "files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "fatal.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::write_file;

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Files, OutputReplacesTheFileWholeAndKeepsLinksAndModes) {
#ifdef _WIN32
  GTEST_SKIP() << "links and POSIX modes";
#endif
  ScratchFolder scratch;
  write_file("old.txt", "old");
  fs::permissions("old.txt", fs::perms(0640), fs::perm_options::replace);
  write_file("target/real.txt", "old");
  fs::create_symlink("target/real.txt", "link.txt");
  for (const std::string path : {"new.txt", "old.txt", "link.txt"}) {
    OutputFile file(path, "cannot open", "cannot write");
    file.put("new ");
    file.stream() << "text";
    EXPECT_EQ(read_whole_file(path), path == "new.txt" ? "" : "old") << path;
    file.commit();
    EXPECT_EQ(read_whole_file(path), "new text") << path;
  }
  EXPECT_EQ(fs::status("old.txt").permissions(), fs::perms(0640));
  EXPECT_TRUE(fs::is_symlink("link.txt"));
  EXPECT_EQ(read_whole_file("target/real.txt"), "new text");
  EXPECT_EQ(entries("."), (std::vector<std::string>{"link.txt", "new.txt", "old.txt", "target"}));
  EXPECT_EQ(entries("target"), std::vector<std::string>{"real.txt"});

  // Stopped before its commit, a write leaves the old file and nothing else.
  EXPECT_THAT(fatal_message_of([] {
                OutputFile file("old.txt", "cannot open", "cannot write");
                file.put("half");
                fatal("stopped");
              }),
              "stopped");
  EXPECT_EQ(read_whole_file("old.txt"), "new text");
  EXPECT_EQ(entries("."), (std::vector<std::string>{"link.txt", "new.txt", "old.txt", "target"}));
}

// A large file's room is set aside for its replacement: a shorter text gives back what it
// does not fill, and a longer one goes on past it.
TEST(Files, OutputReplacingALargeFileHoldsExactlyTheNewText) {
  ScratchFolder scratch;
  const std::string large(3 << 20, 'x');
  for (const std::string& text : {std::string("short"), large + "longer"}) {
    write_file("big.txt", large);
    OutputFile file("big.txt", "cannot open", "cannot write");
    file.put(text);
    file.commit();
    EXPECT_EQ(read_whole_file("big.txt"), text) << text.size();
    EXPECT_EQ(fs::file_size("big.txt"), text.size());
  }
#ifndef _WIN32
  // The short text holds no more than a few blocks of the disk.
  write_file("big.txt", large);
  OutputFile file("big.txt", "cannot open", "cannot write");
  file.put("short");
  file.commit();
  struct stat info {};
  ASSERT_EQ(::stat("big.txt", &info), 0);
  EXPECT_LT(info.st_blocks * 512, 64 * 1024);
#endif
}

TEST(Files, OutputFailuresNameTheFinalFile) {
  ScratchFolder scratch;
  fs::create_directory("folder.txt");
  struct Case {
    std::string path, message;
  };
  const Case cases[] = {
      {"missing/a.txt", "cannot open: missing/a.txt: No such file or directory"},
      {"folder.txt", "cannot open: folder.txt: Is a directory"},
#ifndef _WIN32
      {"/dev/full", "cannot write: /dev/full: No space left on device"},  // written in place
#endif
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        fatal_message_of([&] { write_whole_file(c.path, "text", "cannot open", "cannot write"); }),
        c.message);
    EXPECT_EQ(try_write_whole_file(c.path, "text").message(),
              c.message.substr(c.message.rfind(": ") + 2));
  }
  EXPECT_EQ(entries("."), std::vector<std::string>{"folder.txt"});
  // A file its owner made read-only is not replaced behind their back (root may write it).
  write_file("read-only.txt", "old");
  fs::permissions("read-only.txt", fs::perms(0444), fs::perm_options::replace);
  if (check_writable("read-only.txt")) {
    EXPECT_EQ(
        fatal_message_of([] { write_whole_file("read-only.txt", "new", "cannot open", "x"); }),
        "cannot open: read-only.txt: Permission denied");
    EXPECT_EQ(read_whole_file("read-only.txt"), "old");
  }
  EXPECT_FALSE(try_write_whole_file("written.txt", "text"));
  EXPECT_EQ(read_whole_file("written.txt"), "text");
}

// A listing names every entry once (no "." or "..") with the kind it can tell without a
// look at the entry: a link is left Unknown, whatever it leads to.
TEST(Files, ListFolderGivesEveryEntryItsKind) {
  ScratchFolder scratch;
  write_file("lib/QL-1 - \u00d6l/QL-1.qlml", "");
  write_file("lib/notes.txt", "");
  fs::create_directory("lib/.git");
#ifndef _WIN32
  fs::create_directory_symlink("QL-1 - \u00d6l", "lib/link");
#endif
  std::error_code error;
  std::vector<FolderEntry> listed = list_folder("lib", error);
  EXPECT_FALSE(error);
  std::sort(listed.begin(), listed.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  std::vector<std::pair<std::string, EntryKind>> found;
  for (const FolderEntry& entry : listed) found.emplace_back(entry.name, entry.kind);
  std::vector<std::pair<std::string, EntryKind>> expected{{".git", EntryKind::Folder},
                                                          {"QL-1 - \u00d6l", EntryKind::Folder}};
#ifndef _WIN32
  expected.emplace_back("link", EntryKind::Unknown);
#endif
  expected.emplace_back("notes.txt", EntryKind::Other);
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(list_folder("lib/QL-1 - \u00d6l", error).size() == 1 && !error);
  const std::pair<std::string, std::errc> failures[] = {
      {"lib/none", std::errc::no_such_file_or_directory},
      {"lib/notes.txt", std::errc::not_a_directory}};
  for (const auto& [path, reason] : failures) {
    EXPECT_TRUE(list_folder(path, error).empty()) << path;
    EXPECT_EQ(error, reason) << path << ": " << error.message();
  }
}

// Both ways of cutting lines cut alike: at line feeds, a carriage return before one going
// with it, a last line without one, a byte-order mark at the start dropped.
TEST(Files, LinesAreCutAtLineFeeds) {
  const std::pair<std::string_view, std::vector<std::string>> cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"\r\n\n", {"", ""}},
      {"a\rb\r", {"a\rb\r"}},
      {"x\r\r\n", {"x\r"}},
      {"\xEF\xBB\xBFone\ntwo\n", {"one", "two"}},
      // Sixteen bytes are looked at in one go: feeds at either edge of such a block, a
      // carriage return just before it, a last line beyond it.
      {"0123456789abcde\n0123456789abcd\r\nx\n\n0123456789abcdef0123",
       {"0123456789abcde", "0123456789abcd", "x", "", "0123456789abcdef0123"}},
      {"0123456789\u00e9bcde\nx", {"0123456789\u00e9bcde", "x"}},
      {"0123456789abcdef0123\u00e9", {"0123456789abcdef0123\u00e9"}},
  };
  for (const auto& [content, expected] : cases) {
    EXPECT_EQ(split_lines(content), expected) << content;
    bool all_ascii = false;
    const std::vector<std::string_view> views = split_line_views(content, &all_ascii);
    EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), expected) << content;
    // The byte-order mark is not part of the lines.
    EXPECT_EQ(all_ascii, std::none_of(views.begin(), views.end(),
                                      [](std::string_view line) {
                                        return std::any_of(line.begin(), line.end(), [](char c) {
                                          return static_cast<unsigned char>(c) >= 0x80;
                                        });
                                      }))
        << content;
  }
}

// One buffer reused for many files, as the library commands read: each read gives that
// file's bytes exactly, whatever the buffer held before, and nothing after an error.
TEST(Files, ReadingIntoOneBufferGivesEachFileExactly) {
  ScratchFolder scratch;
  const std::string large(300 * 1024, 'x');
  write_file("large.txt", large);
  write_file("small.txt", "two\nlines");
  write_file("empty.txt", "");
  write_file("middle.txt", std::string(70 * 1024, 'm'));
  const std::pair<std::string, std::string> reads[] = {
      {"small.txt", "two\nlines"}, {"large.txt", large},
      {"empty.txt", ""},           {"small.txt", "two\nlines"},
      {"missing.txt", ""},         {"middle.txt", std::string(70 * 1024, 'm')},
      {"large.txt", large},        {"small.txt", "two\nlines"}};
  std::string content = "left from before";
  for (const auto& [path, expected] : reads) {
    std::error_code error;
    read_file_into(path, content, error);
    EXPECT_EQ(error.operator bool(), path == "missing.txt") << path;
    EXPECT_EQ(content, expected) << path;
  }
}

}  // namespace
}  // namespace morvalen
