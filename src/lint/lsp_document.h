// lsp_document.h: the text of a document open in the editor, and the editor's positions in
// it. The protocol counts a position's character in UTF-16 code units; the document is kept
// as UTF-8 bytes, and the checker counts columns in code points. Lines end at line feeds, as
// the reader splits them (a carriage return before a line feed belongs to the line end).
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvalen {

// A place as the protocol names it: 0-based line, 0-based UTF-16 code unit in that line.
struct Utf16Position {
  int line = 0;
  int character = 0;
  bool operator==(const Utf16Position&) const = default;
};

struct Utf16Range {
  Utf16Position start;
  Utf16Position end;
  bool operator==(const Utf16Range&) const = default;
};

struct OpenDocument {
  std::string uri;
  std::string text;
  long long version = 0;
  std::vector<std::size_t> line_starts;  // byte offset of each line; line_starts[0] == 0
};

// A document holding `text`, with its line starts.
OpenDocument make_open_document(std::string uri, std::string text, long long version);

// Line `line` of the document without its line end ("" past the last line).
std::string_view line_text(const OpenDocument& document, int line);

// The number of UTF-16 code units of the first `code_points` code points of `line` (all of
// it when it has fewer); a byte that is no well-formed UTF-8 counts as one.
int utf16_units_of_code_points(std::string_view line, int code_points);
// The byte offset in `line` of UTF-16 code unit `units`: the end of the line when `units`
// lies beyond it, the start of the character when it falls inside a surrogate pair.
std::size_t byte_of_utf16(std::string_view line, int units);
// The UTF-16 code units of the first `bytes` bytes of `line`.
int utf16_of_byte(std::string_view line, std::size_t bytes);

// The byte offset of `position` in the document, clamped as the protocol asks: a line past
// the last gives the end of the text, a character past the end of its line the line end.
std::size_t offset_of(const OpenDocument& document, Utf16Position position);

// Replaces `range` (the whole text when there is none) with `new_text`. A range whose end
// lies before its start is taken as empty at its start.
void apply_change(OpenDocument& document, const std::optional<Utf16Range>& range,
                  std::string_view new_text);

}  // namespace morvalen
