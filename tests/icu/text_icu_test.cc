// The table-driven Unicode functions of text.h against ICU, which the program no longer uses:
// every code point in several surroundings, and random byte strings, ill-formed ones included.
#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <random>
#include <string>

#include "text.h"

namespace morvalen {
namespace {

std::string icu_upper(std::string_view text) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  unicode.toUpper(icu::Locale::getRoot());
  std::string result;
  unicode.toUTF8String(result);
  return result;
}

bool icu_white(UChar32 c) { return c >= 0 && u_isUWhiteSpace(c); }

// trim_view as ICU's decoder and White_Space property judge it.
std::string icu_trim(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t begin = -1;
  int32_t end = 0;
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (icu_white(c)) continue;
    if (begin < 0) begin = start;
    end = i;
  }
  return begin < 0 ? std::string() : std::string(text.substr(begin, end - begin));
}

// trim_whitespace_make_uppercase the same way.
std::string icu_join_upper(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  std::string joined;
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (!icu_white(c)) joined.append(text.substr(start, i - start));
  }
  return icu_upper(joined);
}

std::string utf8(char32_t c) {
  std::string out;
  icu::UnicodeString(static_cast<UChar32>(c)).toUTF8String(out);
  return out;
}

int compare_all(std::string_view text) {
  int differences = 0;
  const auto expect = [&](const std::string& ours, const std::string& icu, const char* what) {
    if (ours == icu) return;
    if (++differences <= 5) ADD_FAILURE() << what << " of " << quote_debug(text);
  };
  expect(to_upper(text), icu_upper(text), "to_upper");
  expect(trim(text), icu_trim(text), "trim");
  expect(trim_whitespace_make_uppercase(text), icu_join_upper(text),
         "trim_whitespace_make_uppercase");
  return differences;
}

TEST(TextAgainstIcu, EveryCodePointInFourSurroundings) {
  const std::pair<std::string, std::string> surroundings[] = {
      {"", ""},
      {"a ", " z"},
      {"\u03c3", "\u0301"},         // after a Greek letter, before a combining accent
      {"\u00df\u2003", "\u0345x"},  // after a special mapping and white space
  };
  int differences = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    for (const auto& [before, after] : surroundings) {
      differences += compare_all(before + utf8(c) + after);
    }
  }
  EXPECT_EQ(differences, 0);
}

// Random strings of ASCII, well-formed sequences of every length, lone continuation bytes,
// sequences cut short, surrogates, overlong forms and bytes that never occur in UTF-8.
TEST(TextAgainstIcu, RandomStringsWellFormedOrNot) {
  std::mt19937 random(20240611);
  const std::string pieces[] = {"a",
                                "Z",
                                " ",
                                "\t",
                                "\u00a0",
                                "\u00df",
                                "\u0149",
                                "\u1e9e",
                                "\u1f80",
                                "\u3000",
                                "\U0001e922",
                                "\x80",
                                "\xbf",
                                "\xc0\xaf",
                                "\xc3",
                                "\xe2\x82",
                                "\xed\xa0\x80",
                                "\xf0\x9f",
                                "\xf4\x90\x80\x80",
                                "\xff",
                                "\xe0\x80",
                                "\xf0\x80\x80"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> length(0, 12);
  std::uniform_int_distribution<int> any_byte(0, 255);
  int differences = 0;
  for (int round = 0; round < 300000; ++round) {
    std::string text;
    for (int n = length(random); n > 0; --n) {
      if (n % 5 == 0) {
        text.push_back(static_cast<char>(any_byte(random)));
      } else {
        text += pieces[pick(random)];
      }
    }
    differences += compare_all(text);
  }
  EXPECT_EQ(differences, 0);
}

}  // namespace
}  // namespace morvalen
