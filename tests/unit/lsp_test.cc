#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "files.h"
#include "lint/lsp_document.h"
#include "lint/lsp_features.h"
#include "lint/lsp_transport.h"
#include "names.h"

namespace morvalen {
namespace {

std::string framed(std::string_view body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

TEST(LspTransport, ReadsFramesAndRecoversFromBrokenOnes) {
  struct Case {
    std::string input;
    std::vector<std::pair<FrameKind, std::string>> frames;  // body, or a part of the problem
  };
  const std::string long_line(kMaxHeaderLineBytes + 10, 'x');
  const Case cases[] = {
      {framed("{}") + framed("[1]"), {{FrameKind::Message, "{}"}, {FrameKind::Message, "[1]"}}},
      {"content-length:3\n\nabc", {{FrameKind::Message, "abc"}}},
      {"\r\n\r\nContent-Type: x\r\nContent-Length: 2\r\n\r\nab", {{FrameKind::Message, "ab"}}},
      {"Content-Length: 2\r\nX-Junk\r\n\r\nab", {{FrameKind::Message, "ab"}}},
      {"Content-Length: abc\r\n\r\n" + framed("{}"),
       {{FrameKind::Malformed, "does not hold a number"}, {FrameKind::Message, "{}"}}},
      {"Content-Type: x\r\n\r\n" + framed("{}"),
       {{FrameKind::Malformed, "without a Content-Length"}, {FrameKind::Message, "{}"}}},
      {"Content-Length: 2\r\nContent-Length: 3\r\n\r\n" + framed("{}"),
       {{FrameKind::Malformed, "two different"}, {FrameKind::Message, "{}"}}},
      // A body shorter than announced: the rest of the line is junk before the next header.
      {"Content-Length: 2\r\n\r\n{\"a\":1}" + framed("{}"),
       {{FrameKind::Message, "{\""}, {FrameKind::Message, "{}"}}},
      {long_line + "\r\n" + framed("{}"), {{FrameKind::Message, "{}"}}},
      {long_line + "\r\n\r\n" + framed("{}"),
       {{FrameKind::Malformed, "longer than"}, {FrameKind::Message, "{}"}}},
      {"Content-Length: 99999999999\r\n\r\n" + framed("{}"), {{FrameKind::TooLarge, "more than"}}},
      {"Content-Length: 10\r\n\r\nabc", {}},
      {"Content-Length: 10\r\n", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.input);
    for (const auto& [kind, text] : c.frames) {
      const Frame frame = read_frame(in);
      EXPECT_EQ(frame.kind, kind) << c.input;
      EXPECT_THAT(kind == FrameKind::Message ? frame.body : frame.problem, testing::HasSubstr(text))
          << c.input;
    }
    EXPECT_EQ(read_frame(in).kind, FrameKind::End) << c.input;
  }
}

TEST(LspTransport, WritesFramesWithTheByteLength) {
  std::ostringstream out;
  EXPECT_TRUE(write_frame(out, "{\"é\":1}"));
  EXPECT_EQ(out.str(), "Content-Length: 8\r\n\r\n{\"é\":1}");
}

TEST(LspDocument, Utf16ColumnsOfNonAsciiText) {
  // "a", "ß" (2 bytes, 1 unit), "€" (3 bytes, 1 unit), "😀" (4 bytes, 2 units), "b".
  const std::string_view line = "aß€😀b";
  struct Case {
    int units;
    std::size_t byte;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {2, 3}, {3, 6}, {4, 6}, {5, 10}, {6, 11}, {99, 11}};
  for (const Case& c : cases) EXPECT_EQ(byte_of_utf16(line, c.units), c.byte) << c.units;
  EXPECT_EQ(utf16_of_byte(line, 10), 5);
  EXPECT_EQ(utf16_of_byte(line, 99), 6);
  EXPECT_EQ(utf16_units_of_code_points(line, 4), 5);
  EXPECT_EQ(utf16_units_of_code_points(line, 99), 6);
  EXPECT_EQ(utf16_of_byte("\xff\xfe", 2), 2);  // bytes that are no UTF-8 count one each
}

TEST(LspDocument, IncrementalChanges) {
  struct Case {
    std::string text;
    std::optional<Utf16Range> range;
    std::string new_text;
    std::string expected;
  };
  const Case cases[] = {
      {"Title | x", std::nullopt, "Number | 1", "Number | 1"},
      {"Context | 😀x\nStep", Utf16Range{{0, 12}, {0, 13}}, "yz", "Context | 😀yz\nStep"},
      {"Context | 😀x\nStep", Utf16Range{{0, 10}, {0, 12}}, "", "Context | x\nStep"},
      {"a\r\nb\nc", Utf16Range{{0, 1}, {1, 0}}, "", "ab\nc"},
      {"a\r\nb\nc", Utf16Range{{0, 5}, {0, 9}}, "!", "a!\r\nb\nc"},
      {"a\nb", Utf16Range{{1, 1}, {7, 0}}, "\nc\nd", "a\nb\nc\nd"},
      {"ab", Utf16Range{{0, 2}, {0, 0}}, "c", "abc"},
      {"", Utf16Range{{0, 0}, {0, 0}}, "Step | ü", "Step | ü"},
  };
  for (const Case& c : cases) {
    OpenDocument document = make_open_document("file:///d.qlml", c.text, 1);
    apply_change(document, c.range, c.new_text);
    EXPECT_EQ(document.text, c.expected) << c.text;
    const OpenDocument fresh = make_open_document("file:///d.qlml", c.expected, 1);
    EXPECT_EQ(document.line_starts, fresh.line_starts) << c.text;
  }
  const OpenDocument document = make_open_document("u", "a\r\nb\n", 1);
  EXPECT_EQ(line_text(document, 0), "a");
  EXPECT_EQ(line_text(document, 2), "");
  EXPECT_EQ(line_text(document, 3), "");
}

TEST(LspFeatures, FileUris) {
  EXPECT_EQ(path_of_file_url("file:///a%20b/C%c3%a4.qlml"), "/a b/Cä.qlml");
  EXPECT_EQ(path_of_file_url("FILE://localhost/x/y"), "/x/y");
  EXPECT_EQ(path_of_file_url("untitled:Untitled-1"), "");
  EXPECT_EQ(path_of_file_url("file:///100%"), "/100%");
  EXPECT_EQ(file_url("/Lib/QL-1 - A_B/pump (1).png"),
            "file:///Lib/QL-1%20-%20A_B/pump%20%281%29.png");
  EXPECT_EQ(path_of_file_url(file_url("/ä #?%/x")), "/ä #?%/x");
  // Drives and shares, as Windows editors send them; elsewhere these are plain paths.
  const bool windows = kWindowsFileNames;
  EXPECT_EQ(path_of_file_url("file:///c%3A/Lib/a%20b.qlml"),
            windows ? "c:/Lib/a b.qlml" : "/c:/Lib/a b.qlml");
  EXPECT_EQ(path_of_file_url("file://server/share/x.qlml"),
            windows ? "//server/share/x.qlml" : "/share/x.qlml");
  if (windows) {
    EXPECT_EQ(file_url("C:\\Lib\\x.qlml"), "file:///C:/Lib/x.qlml");
    EXPECT_EQ(file_url("\\\\server\\share\\x.qlml"), "file://server/share/x.qlml");
    for (const std::string path : {"C:/Lib/Pumpe Ölstand/x.qlml", "//server/share/x y.qlml"})
      EXPECT_EQ(path_of_file_url(file_url(path)), path);
  }
}

}  // namespace
}  // namespace morvalen
