#include "text.h"

#include <gtest/gtest.h>

#include <array>

namespace morvalen {
namespace {

TEST(Text, TrimWhitespaceMakeUppercase) {
  struct Case {
    std::string_view input, expected;
  };
  const Case cases[] = {
      {"Process Type", "PROCESSTYPE"},
      {" pro\tcess  type\r", "PROCESSTYPE"},
      {"\u00a0step\u3000", "STEP"},
      {"process-type", "PROCESS-TYPE"},
      {"Process_Type", "PROCESS_TYPE"},
      {"stra\u00dfe", "STRASSE"},
      {"\ufb06", "ST"},
      {"\u2028sub\u2003ject\u0085image", "SUBJECTIMAGE"},
      {"\xef\xbb\xbftitle", "\xef\xbb\xbfTITLE"},  // a byte-order mark is not white space
      {"", ""},
      {"\x0b\x0c", ""},
      {" t p v ", "TPV"},
      {"\u017ft", "ST"},  // long s upper-cases to ASCII
      {"a bcde", "ABCDE"},
      {"abcdef", "ABCDEF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trim_whitespace_make_uppercase(c.input), c.expected) << c.input;
    // The same into a buffer of five: short ASCII words there, anything else in `longer`.
    std::array<char, 5> buffer{};
    std::string longer;
    EXPECT_EQ(trim_whitespace_make_uppercase(c.input, buffer, longer), c.expected) << c.input;
  }
}

TEST(Text, TrimRemovesUnicodeWhiteSpaceAtBothEndsOnly) {
  EXPECT_EQ(trim("  a b \t"), "a b");
  EXPECT_EQ(trim("\u00a0\u2009x y\u3000"), "x y");
  EXPECT_EQ(trim("\u200bx"), "\u200bx");  // zero-width space is not White_Space
  EXPECT_EQ(trim(" \t\r\n "), "");
  EXPECT_EQ(trim("\xef\xbb\xbf x "), "\xef\xbb\xbf x");
}

TEST(Text, ToUpperKeepsWhiteSpace) {
  EXPECT_EQ(to_upper("Document Number"), "DOCUMENT NUMBER");
  EXPECT_EQ(to_upper(" stra\u00dfe"), " STRASSE");
}

// The full mapping (one to several code points, runs of alternating pairs) and one U+FFFD
// for each longest start of a sequence that could still have become well-formed.
TEST(Text, ToUpperFullMappingAndIllFormedText) {
  struct Case {
    std::string_view input, expected;
  };
  const Case cases[] = {
      {"\u0149n", "\u02bcNN"},                       // one to two
      {"\u0390", "\u0399\u0308\u0301"},              // one to three
      {"\u0101\u0103\u0100", "\u0100\u0102\u0100"},  // a run of pairs
      {"\u1f80", "\u1f08\u0399"},
      {"\U0001e922", "\U0001e900"},
      {"\u00ff\u0131\u017f", "\u0178IS"},
      {"a\xe2\x82z", "A\ufffdZ"},              // cut short: one replacement
      {"\xf0\x80\x80", "\ufffd\ufffd\ufffd"},  // no sequence starts F0 80
      {"\xed\xa0\x80\xc3", "\ufffd\ufffd\ufffd\ufffd"},
      {"\xf4\x8f\xbf\xbf\xf4\x90", "\U0010ffff\ufffd\ufffd"},
  };
  for (const Case& c : cases) EXPECT_EQ(to_upper(c.input), c.expected) << quote_debug(c.input);
}

// Each line as the C runtime splits it back (CommandLineToArgvW's rules).
TEST(Text, WindowsCommandLines) {
  struct Case {
    std::vector<std::string> argv;
    std::string_view line;
  };
  const Case cases[] = {
      {{"C:\\Program Files\\chrome.exe", "--headless"},
       "\"C:\\Program Files\\chrome.exe\" --headless"},
      {{"a", "", "b c"}, "a \"\" \"b c\""},
      {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
      {{"C:\\dir with blank\\"}, "\"C:\\dir with blank\\\\\""},
      {{"a\\\\\"b c"}, "\"a\\\\\\\\\\\"b c\""},
      {{"plain\\path\\"}, "plain\\path\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(windows_command_line(c.argv), c.line) << c.line;
}

TEST(Text, FirstInvalidUtf8) {
  EXPECT_EQ(first_invalid_utf8("plain \u00e9\u4e2d\U0001F4BE"), std::nullopt);
  EXPECT_EQ(first_invalid_utf8("ab\xff"), 2u);
  EXPECT_EQ(first_invalid_utf8("\xc0\xaf"), 0u);          // overlong
  EXPECT_EQ(first_invalid_utf8("x\xed\xa0\x80"), 1u);     // surrogate
  EXPECT_EQ(first_invalid_utf8("\xf4\x90\x80\x80"), 0u);  // above U+10FFFF
  EXPECT_EQ(first_invalid_utf8("\xe2\x82"), 0u);          // cut short
}

// ASCII runs are checked a word at a time; a fault must be found at every offset of a
// word, and a sequence cut short or split across words must be judged as one sequence.
TEST(Text, FirstInvalidUtf8AtEveryOffsetOfLongText) {
  for (std::size_t at = 0; at < 40; ++at) {
    std::string text(40, 'a');
    text[at] = '\xff';
    EXPECT_EQ(first_invalid_utf8(text), at);
    std::string valid(40, 'a');
    valid.replace(at, 1, "\u00e9");
    EXPECT_EQ(first_invalid_utf8(valid), std::nullopt) << at;
    std::string cut(at, 'a');
    cut += "\xe2\x82";
    EXPECT_EQ(first_invalid_utf8(cut), at);
  }
}

TEST(Text, SplitKeepsEveryField) {
  EXPECT_EQ(split("", '|'), (std::vector<std::string_view>{""}));
  EXPECT_EQ(split("a|b||c|", '|'), (std::vector<std::string_view>{"a", "b", "", "c", ""}));
}

TEST(Text, QuotedNameLists) {
  EXPECT_EQ(format_name_list({}), "[]");
  EXPECT_EQ(format_name_list({"A", "B"}), "[\"A\", \"B\"]");
  EXPECT_EQ(format_name_list({"a\"b\\c\nd\x01"}), "[\"a\\\"b\\\\c\\nd\\u{1}\"]");
  EXPECT_EQ(quote_debug("caf\u00e9 \U0001F4BE"), "\"caf\u00e9 \U0001F4BE\"");
}

TEST(Text, ReplaceAllAndPadding) {
  EXPECT_EQ(replace_all("a.qlml/b.qlml", ".qlml", ".html"), "a.html/b.html");
  EXPECT_EQ(replace_all("abc", "", "x"), "abc");
  EXPECT_EQ(zero_padded(0, 3), "000");
  EXPECT_EQ(zero_padded(42, 3), "042");
  EXPECT_EQ(zero_padded(1234, 3), "1234");
}

TEST(Text, DecodeUtf8StepsOverEachSequenceOrOneBadByte) {
  struct Case {
    std::string_view text;
    std::optional<char32_t> code_point;
    std::size_t length;
  };
  const Case cases[] = {{"a", U'a', 1},
                        {"\u00e9x", U'\u00e9', 2},
                        {"\u4e2d", U'\u4e2d', 3},
                        {"\U0001F4BE", U'\U0001F4BE', 4},
                        {"\xc0\xaf", std::nullopt, 1},          // overlong
                        {"\xed\xa0\x80", std::nullopt, 1},      // surrogate
                        {"\xf4\x90\x80\x80", std::nullopt, 1},  // above U+10FFFF
                        {"\xe2\x82", std::nullopt, 1},          // cut short
                        {"\x80", std::nullopt, 1}};
  for (const Case& c : cases) {
    std::size_t pos = 0;
    EXPECT_EQ(decode_utf8(c.text, pos), c.code_point) << testing::PrintToString(c.text);
    EXPECT_EQ(pos, c.length) << testing::PrintToString(c.text);
  }
}

}  // namespace
}  // namespace morvalen
