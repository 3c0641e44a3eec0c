#include "text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace morvalen {
namespace {

struct UpperRun {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint32_t stride;
};

struct UpperSpecial {
  char32_t code_point;
  char32_t upper[3];
};

#include "unicode_tables.inc"

bool is_ascii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool is_ascii_white(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Decodes the code point at `pos` and advances `pos`. An ill-formed sequence comes back
// as one U+FFFD for its longest start that could still have become a well-formed sequence
// (a lead byte and the continuation bytes that fit it), or for one byte when none could.
char32_t next_code_point(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(pos);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t value = 0;
  if (first < 0x80) {
    ++pos;
    return first;
  } else if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    value = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    value = first & 0x0F;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    value = first & 0x07;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    ++pos;
    return 0xFFFD;
  }
  std::size_t taken = 1;
  while (taken < length && pos + taken < text.size()) {
    const unsigned char next = byte(pos + taken);
    if (next < low || next > high) break;
    value = (value << 6) | (next & 0x3F);
    ++taken;
    low = 0x80;
    high = 0xBF;
  }
  pos += taken;
  return taken == length ? value : 0xFFFD;
}

bool is_white(char32_t c) {
  if (c < 0x80) return is_ascii_white(static_cast<unsigned char>(c));
  return std::binary_search(std::begin(kWhiteSpace), std::end(kWhiteSpace), c);
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Appends the full upper-case mapping of `c` (one, two or three code points).
void append_upper(std::string& out, char32_t c) {
  const auto special = std::lower_bound(
      std::begin(kUpperSpecials), std::end(kUpperSpecials), c,
      [](const UpperSpecial& entry, char32_t value) { return entry.code_point < value; });
  if (special != std::end(kUpperSpecials) && special->code_point == c) {
    for (const char32_t upper : special->upper) {
      if (upper != 0) append_utf8(out, upper);
    }
    return;
  }
  const auto after =
      std::upper_bound(std::begin(kUpperRuns), std::end(kUpperRuns), c,
                       [](char32_t value, const UpperRun& run) { return value < run.first; });
  if (after != std::begin(kUpperRuns)) {
    const UpperRun& run = *(after - 1);
    if (c <= run.last && (c - run.first) % run.stride == 0) {
      append_utf8(out, static_cast<char32_t>(static_cast<std::int32_t>(c) + run.delta));
      return;
    }
  }
  append_utf8(out, c);
}

std::string unicode_upper(std::string_view text) {
  std::string result;
  result.reserve(text.size() + text.size() / 4);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char first = static_cast<unsigned char>(text[pos]);
    if (first < 0x80) {
      ++pos;
      result.push_back(first >= 'a' && first <= 'z' ? static_cast<char>(first - 'a' + 'A')
                                                    : static_cast<char>(first));
      continue;
    }
    append_upper(result, next_code_point(text, pos));
  }
  return result;
}

}  // namespace

std::string_view trim_view(std::string_view text) {
  // Most texts begin and end in ASCII; only a byte beyond ASCII at either end needs the
  // decoding walk below. Documents indent with blanks: eight at a time, then one by one.
  const std::size_t front = skip_ascii_white(text);
  std::size_t back = text.size();
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

std::string_view trim_whitespace_make_uppercase(std::string_view text, std::span<char> buffer,
                                                std::string& longer) {
  std::size_t length = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (is_ascii_white(byte)) continue;
    if (byte >= 0x80 || length == buffer.size()) {
      longer = trim_whitespace_make_uppercase(text);
      return longer;
    }
    buffer[length++] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return {buffer.data(), length};
}

std::string to_upper(std::string_view text) {
  if (!is_ascii(text)) return unicode_upper(text);
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
    // Text is mostly ASCII: 32 bytes, then eight at a time while none has its high bit set.
    while (i + 32 <= n) {
      std::uint64_t words[4] = {};
      std::memcpy(words, bytes + i, sizeof words);
      if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) != 0) break;
      i += 32;
    }
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
    const char32_t c = first < 0x80 ? (++pos, first) : next_code_point(text, pos);
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
      for (char32_t v = c; v > 0; v >>= 4) digits.insert(digits.begin(), kHex[v & 0xF]);
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

std::string windows_command_line(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& word : argv) {
    if (!line.empty()) line += ' ';
    if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) {
      line += word;
      continue;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : word) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
  }
  return line;
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
