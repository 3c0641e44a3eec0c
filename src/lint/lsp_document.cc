#include "lint/lsp_document.h"

#include <algorithm>
#include <cstring>

#include "text.h"

namespace morvalen {
namespace {

// The UTF-16 code units of the character at `pos`, with `pos` moved past it.
int next_units(std::string_view line, std::size_t& pos) {
  if (static_cast<unsigned char>(line[pos]) < 0x80) {
    ++pos;
    return 1;
  }
  const std::optional<char32_t> c = decode_utf8(line, pos);
  return c && *c >= 0x10000 ? 2 : 1;
}

// Line starts from line `from` on, recounted from that line's start.
void recount_line_starts(OpenDocument& document, std::size_t from) {
  document.line_starts.resize(from + 1);
  const char* data = document.text.data();
  const std::size_t size = document.text.size();
  std::size_t pos = document.line_starts[from];
  while (pos < size) {
    const void* found = std::memchr(data + pos, '\n', size - pos);
    if (found == nullptr) break;
    pos = static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1;
    document.line_starts.push_back(pos);
  }
}

}  // namespace

OpenDocument make_open_document(std::string uri, std::string text, long long version) {
  OpenDocument document{std::move(uri), std::move(text), version, {0}};
  recount_line_starts(document, 0);
  return document;
}

std::string_view line_text(const OpenDocument& document, int line) {
  if (line < 0 || static_cast<std::size_t>(line) >= document.line_starts.size()) return {};
  const auto index = static_cast<std::size_t>(line);
  const std::size_t start = document.line_starts[index];
  std::size_t end = index + 1 < document.line_starts.size() ? document.line_starts[index + 1] - 1
                                                            : document.text.size();
  if (end > start && index + 1 < document.line_starts.size() && document.text[end - 1] == '\r') {
    --end;
  }
  return std::string_view(document.text).substr(start, end - start);
}

int utf16_units_of_code_points(std::string_view line, int code_points) {
  int units = 0;
  std::size_t pos = 0;
  for (int i = 0; i < code_points && pos < line.size(); ++i) units += next_units(line, pos);
  return units;
}

std::size_t byte_of_utf16(std::string_view line, int units) {
  std::size_t pos = 0;
  int counted = 0;
  while (pos < line.size()) {
    std::size_t next = pos;
    counted += next_units(line, next);
    if (counted > units) break;
    pos = next;
  }
  return pos;
}

int utf16_of_byte(std::string_view line, std::size_t bytes) {
  int units = 0;
  std::size_t pos = 0;
  const std::size_t end = std::min(bytes, line.size());
  while (pos < end) units += next_units(line, pos);
  return units;
}

std::size_t offset_of(const OpenDocument& document, Utf16Position position) {
  if (position.line < 0) return 0;
  if (static_cast<std::size_t>(position.line) >= document.line_starts.size()) {
    return document.text.size();
  }
  const std::string_view line = line_text(document, position.line);
  return document.line_starts[static_cast<std::size_t>(position.line)] +
         byte_of_utf16(line, std::max(position.character, 0));
}

void apply_change(OpenDocument& document, const std::optional<Utf16Range>& range,
                  std::string_view new_text) {
  if (!range) {
    document.text.assign(new_text);
    recount_line_starts(document, 0);
    return;
  }
  const std::size_t start = offset_of(document, range->start);
  const std::size_t end = std::max(start, offset_of(document, range->end));
  document.text.replace(start, end - start, new_text);
  // Lines before the one the change starts in keep their starts.
  const auto first = static_cast<std::size_t>(std::max(range->start.line, 0));
  recount_line_starts(document, std::min(first, document.line_starts.size() - 1));
}

}  // namespace morvalen
