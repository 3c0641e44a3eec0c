#include "text.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace morvalen {
namespace {

bool is_ascii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool is_ascii_white(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Decodes the code point at `pos` and advances `pos`; ill-formed bytes come back as
// U+FFFD one byte at a time, so the caller never stalls.
UChar32 next_code_point(std::string_view text, std::size_t& pos) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  auto i = static_cast<int32_t>(pos);
  UChar32 c = 0;
  U8_NEXT(bytes, i, length, c);
  pos = static_cast<std::size_t>(i);
  return c < 0 ? 0xFFFD : c;
}

bool is_white(UChar32 c) {
  if (c < 0x80) return is_ascii_white(static_cast<unsigned char>(c));
  return u_isUWhiteSpace(c) != 0;
}

std::string icu_upper(std::string_view text) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  unicode.toUpper(icu::Locale::getRoot());
  std::string result;
  unicode.toUTF8String(result);
  return result;
}

}  // namespace

std::string_view trim_view(std::string_view text) {
  // Most texts begin and end in ASCII; only a byte beyond ASCII at either end needs the
  // decoding walk below.
  std::size_t front = 0;
  std::size_t back = text.size();
  while (front < back && is_ascii_white(static_cast<unsigned char>(text[front]))) ++front;
  while (back > front && is_ascii_white(static_cast<unsigned char>(text[back - 1]))) --back;
  if (front == back) return {};
  if (static_cast<unsigned char>(text[front]) < 0x80 &&
      static_cast<unsigned char>(text[back - 1]) < 0x80) {
    return text.substr(front, back - front);
  }
  std::size_t begin = 0;
  std::size_t end = 0;
  bool seen = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const unsigned char first = static_cast<unsigned char>(text[pos]);
    bool white = false;
    if (first < 0x80) {
      ++pos;
      white = is_ascii_white(first);
    } else {
      white = is_white(next_code_point(text, pos));
    }
    if (!white) {
      if (!seen) begin = start;
      seen = true;
      end = pos;
    }
  }
  return seen ? text.substr(begin, end - begin) : std::string_view{};
}

std::string trim(std::string_view text) { return std::string(trim_view(text)); }

std::string trim_whitespace_make_uppercase(std::string_view text) {
  std::string joined;
  joined.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char first = static_cast<unsigned char>(text[pos]);
    if (first < 0x80) {
      ++pos;
      if (!is_ascii_white(first)) joined.push_back(static_cast<char>(first));
      continue;
    }
    const std::size_t start = pos;
    if (!is_white(next_code_point(text, pos))) joined.append(text.substr(start, pos - start));
  }
  return to_upper(joined);
}

std::string to_upper(std::string_view text) {
  if (!is_ascii(text)) return icu_upper(text);
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

std::optional<std::size_t> first_invalid_utf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    // Text is mostly ASCII: eight bytes at a time while none has its high bit set.
    while (i + 8 <= n) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes + i, sizeof word);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i == n) break;
    const unsigned char c = bytes[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return i;
    }
    if (i + length > n) return i;
    if (bytes[i + 1] < low || bytes[i + 1] > high) return i;
    for (std::size_t k = 2; k < length; ++k) {
      if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return i;
    }
    i += length;
  }
  return std::nullopt;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find(separator, start);
    if (found == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, found - start));
    start = found + 1;
  }
}

std::string quote_debug(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string result = "\"";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const unsigned char first = static_cast<unsigned char>(text[pos]);
    const UChar32 c = first < 0x80 ? (++pos, first) : next_code_point(text, pos);
    switch (c) {
      case '"':
        result += "\\\"";
        continue;
      case '\\':
        result += "\\\\";
        continue;
      case '\n':
        result += "\\n";
        continue;
      case '\r':
        result += "\\r";
        continue;
      case '\t':
        result += "\\t";
        continue;
      case 0:
        result += "\\0";
        continue;
      default:
        break;
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      std::string digits;
      for (UChar32 v = c; v > 0; v >>= 4) digits.insert(digits.begin(), kHex[v & 0xF]);
      result += "\\u{" + digits + "}";
    } else {
      result.append(text.substr(start, pos - start));
    }
  }
  result += "\"";
  return result;
}

std::string shell_word(std::string_view word) {
  // Everything outside this ASCII set is quoted: harmless where a shell would not have
  // needed it, and no list of what each shell treats specially is needed.
  const auto safe = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
  };
  if (!word.empty() && std::all_of(word.begin(), word.end(), safe)) return std::string(word);
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

std::string format_name_list(const std::vector<std::string>& names) {
  std::string result = "[";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) result += ", ";
    result += quote_debug(names[i]);
  }
  result += "]";
  return result;
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find(from, start);
    if (found == std::string_view::npos) break;
    result.append(text.substr(start, found - start));
    result.append(to);
    start = found + from.size();
  }
  result.append(text.substr(start));
  return result;
}

std::string zero_padded(std::size_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

std::optional<char32_t> decode_utf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(pos);
  if (first < 0x80) {
    ++pos;
    return first;
  }
  std::size_t length = 0;
  char32_t value = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    value = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    value = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    value = first & 0x07;
  }
  bool well_formed = length > 0 && pos + length <= text.size();
  for (std::size_t k = 1; well_formed && k < length; ++k) {
    const unsigned char next = byte(pos + k);
    if ((next & 0xC0) != 0x80) well_formed = false;
    value = (value << 6) | (next & 0x3F);
  }
  if (well_formed) {
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    well_formed = !overlong && !surrogate && value <= 0x10FFFF;
  }
  if (!well_formed) {
    ++pos;
    return std::nullopt;
  }
  pos += length;
  return value;
}

}  // namespace morvalen
