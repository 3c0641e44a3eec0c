// text.h: text helpers. All text is UTF-8; white space is Unicode White_Space.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvalen {

// Which of the sixteen bytes at `bytes` are `c`, as the bits of a mask (bit i: bytes[i]).
// Scans over whole documents (line feeds, bars) look at sixteen bytes at once this way.
inline unsigned byte_mask16(const char* bytes, char c) {
#if defined(__SSE2__)
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(c))));
#else
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) mask |= static_cast<unsigned>(bytes[i] == c) << i;
  return mask;
#endif
}

// Which of the sixteen bytes at `bytes` are beyond ASCII, as byte_mask16 gives its mask.
inline unsigned high_byte_mask16(const char* bytes) {
#if defined(__SSE2__)
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))));
#else
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) {
    mask |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i]) >= 0x80) << i;
  }
  return mask;
#endif
}

// Which of the sixteen bytes at `bytes` are ASCII white space (blank, tab, line feed,
// vertical tab, form feed, carriage return), as byte_mask16 gives its mask.
inline unsigned white_byte_mask16(const char* bytes) {
#if defined(__SSE2__)
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i white = _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(' ')),
                                     _mm_and_si128(_mm_cmpgt_epi8(chunk, _mm_set1_epi8('\t' - 1)),
                                                   _mm_cmplt_epi8(chunk, _mm_set1_epi8('\r' + 1))));
  return static_cast<unsigned>(_mm_movemask_epi8(white));
#else
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) {
    mask |= static_cast<unsigned>(bytes[i] == ' ' || (bytes[i] >= '\t' && bytes[i] <= '\r')) << i;
  }
  return mask;
#endif
}

// The position of the first byte of `text` from `from` on that is no ASCII white space,
// or its size. Indentation, as documents have it, is passed sixteen bytes at a time.
inline std::size_t skip_ascii_white(std::string_view text, std::size_t from = 0) {
  std::size_t i = from;
  for (; i + 16 <= text.size(); i += 16) {
    const unsigned other = ~white_byte_mask16(text.data() + i) & 0xFFFFu;
    if (other != 0) return i + static_cast<std::size_t>(std::countr_zero(other));
  }
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  return i;
}

// `text` without leading and trailing white space.
std::string_view trim_view(std::string_view text);
std::string trim(std::string_view text);
// `text` with every white-space character removed wherever it stands, then upper-cased
// with the full Unicode mapping: "Pro cess type" -> "PROCESSTYPE", "straße" -> "STRASSE".
std::string trim_whitespace_make_uppercase(std::string_view text);
// The same for the short words of a field (a method, a mark), without allocating: the
// result lies in `buffer` when `text` is ASCII and its word fits there, else in `longer`.
std::string_view trim_whitespace_make_uppercase(std::string_view text, std::span<char> buffer,
                                                std::string& longer);
// `text` upper-cased with the full Unicode mapping, nothing removed.
std::string to_upper(std::string_view text);
// The byte offset of the first byte that is not part of a well-formed UTF-8 sequence
// (overlong forms, surrogates and code points above U+10FFFF included), or nothing.
std::optional<std::size_t> first_invalid_utf8(std::string_view text);
// The code point of the well-formed UTF-8 sequence that begins at byte `pos` of `text`,
// with `pos` moved past it; nothing, with `pos` moved on by one byte, when none begins
// there (as first_invalid_utf8 judges). The one UTF-8 decoder for callers outside this
// module. `pos` must lie before the end of `text`.
std::optional<char32_t> decode_utf8(std::string_view text, std::size_t& pos);
// `text` split at every `separator`: k separators give k+1 pieces, "" gives one piece.
std::vector<std::string_view> split(std::string_view text, char separator);
// `text` in double quotes, with `"` and `\` preceded by a backslash and control
// characters written as escapes (\n, \t, \r, \0, \u{7f}).
std::string quote_debug(std::string_view text);
// `word` as a POSIX shell reads it back as exactly this one word: bare when it is made only
// of letters, digits and _@%+=:,./- (nothing a shell splits or expands), else in single
// quotes with a quote inside written as '\''. The empty word is ''.
std::string shell_word(std::string_view word);
// `argv` as one Windows command line that the C runtime splits back into exactly these
// words: a word without blanks, tabs or double quotes bare, any other in double quotes with
// a quote inside, and backslashes before a quote or the closing quote, escaped by a backslash.
std::string windows_command_line(const std::vector<std::string>& argv);
// ["A", "B"]: every name quoted as quote_debug does, separated by ", ".
std::string format_name_list(const std::vector<std::string>& names);
// `text` with every occurrence of `from` replaced by `to`.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to);
// `value` in decimal, padded on the left with zeros to at least `width` digits.
std::string zero_padded(std::size_t value, std::size_t width);

}  // namespace morvalen
