#include "lint/lsp_transport.h"

#include <algorithm>
#include <optional>
#include <streambuf>

namespace morvalen {
namespace {

constexpr std::string_view kContentLength = "content-length:";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Where "Content-Length:" begins in `line`, in any case, or npos.
std::size_t find_content_length(std::string_view line) {
  const auto found =
      std::search(line.begin(), line.end(), kContentLength.begin(), kContentLength.end(),
                  [](char a, char b) { return lower(a) == b; });
  return found == line.end() ? std::string_view::npos
                             : static_cast<std::size_t>(found - line.begin());
}

// The decimal number `text` holds between blanks, or nothing; numbers too large to count
// bytes with are nothing too.
std::optional<std::size_t> parse_length(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.size() > 15) return std::nullopt;
  std::size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

// Reads one line into `line` without its "\n" and "\r\n", keeping at most the last
// 2 * kMaxHeaderLineBytes bytes of a longer one; false at the end of the input.
bool read_header_line(std::streambuf& input, std::string& line) {
  line.clear();
  for (;;) {
    const int c = input.sbumpc();
    if (c == std::char_traits<char>::eof()) return false;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
    if (line.size() > 2 * kMaxHeaderLineBytes) line.erase(0, kMaxHeaderLineBytes);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

Frame read_frame(std::istream& in) {
  std::streambuf* input = in.rdbuf();
  if (input == nullptr) return {};
  // A plain number and a flag: GCC warns of an optional here that is never read unset.
  std::size_t length = 0;
  bool has_length = false;
  std::string length_problem;  // the block cannot be used
  std::string junk;            // a line that is no header, ignored when the length is known
  std::size_t lines = 0;
  std::string line;
  for (;;) {
    if (!read_header_line(*input, line)) return {};
    if (line.empty()) {
      if (lines == 0) continue;  // blank lines between messages
      break;
    }
    ++lines;
    const std::size_t at = find_content_length(line);
    if (at != std::string::npos && line.size() <= at + kMaxHeaderLineBytes) {
      // Whatever stood before it belonged to a broken message: start the block afresh.
      if (at > 0) {
        lines = 1;
        has_length = false;
        length_problem.clear();
        junk.clear();
      }
      const std::optional<std::size_t> value =
          parse_length(std::string_view(line).substr(at + kContentLength.size()));
      if (!value) {
        length_problem = "the Content-Length header does not hold a number";
      } else if (has_length && length != *value) {
        length_problem = "two different Content-Length headers";
      } else {
        length = *value;
        has_length = true;
      }
    } else if (line.size() > kMaxHeaderLineBytes) {
      junk = "a header line longer than " + std::to_string(kMaxHeaderLineBytes) + " bytes";
    }
    if (lines > kMaxHeaderLines) {
      length_problem = "more than " + std::to_string(kMaxHeaderLines) + " header lines";
    }
  }
  if (!length_problem.empty() || !has_length) {
    return {FrameKind::Malformed,
            {},
            !length_problem.empty() ? length_problem
            : !junk.empty()         ? junk
                                    : "a header block without a Content-Length header"};
  }
  if (length > kMaxMessageBytes) {
    // Read past it in bounded pieces; the next frame starts after it (or the input ends).
    in.ignore(static_cast<std::streamsize>(length));
    return {FrameKind::TooLarge,
            {},
            "a message of " + std::to_string(length) + " bytes, more than the " +
                std::to_string(kMaxMessageBytes) + " accepted"};
  }
  // In pieces, so that a length the input does not hold costs no memory up front.
  Frame frame{FrameKind::Message, {}, {}};
  constexpr std::size_t kPiece = 64 * 1024;
  while (frame.body.size() < length) {
    const std::size_t had = frame.body.size();
    const std::size_t want = std::min(kPiece, length - had);
    frame.body.resize(had + want);
    const auto got = input->sgetn(frame.body.data() + had, static_cast<std::streamsize>(want));
    if (static_cast<std::size_t>(got) < want) return {};
  }
  return frame;
}

bool write_frame(std::ostream& out, std::string_view body) {
  const std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  out.write(body.data(), static_cast<std::streamsize>(body.size()));
  out.flush();
  return !out.fail();
}

}  // namespace morvalen
