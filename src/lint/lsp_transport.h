// lsp_transport.h: the language server's framing. A message is a header block (lines ended
// by "\r\n", at least "Content-Length: {n}"), an empty line, then n bytes of JSON text.
#pragma once
#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace morvalen {

// Limits that keep a broken or hostile client from making the server hold unbounded input.
inline constexpr std::size_t kMaxHeaderLineBytes = 4096;
inline constexpr std::size_t kMaxHeaderLines = 32;
inline constexpr std::size_t kMaxMessageBytes = 64 * 1024 * 1024;

enum class FrameKind {
  Message,    // `body` holds the message's bytes
  Malformed,  // a header block without a usable Content-Length; `problem` says why
  TooLarge,   // a message over kMaxMessageBytes, read and thrown away
  End,        // the input ended (a message cut short by the end is dropped)
};

struct Frame {
  FrameKind kind = FrameKind::End;
  std::string body;
  std::string problem;
};

// The next frame of `in`. Header names are matched without regard to case, and a line may
// end in "\n" alone; unknown headers are ignored. A header line with text in front of
// "Content-Length:" (the rest of a broken message) is read from there on, so that one bad
// message does not take the next good one with it. Never reads more than the limits above
// into memory.
Frame read_frame(std::istream& in);

// Writes `body` framed and flushes; false when the stream failed.
bool write_frame(std::ostream& out, std::string_view body);

}  // namespace morvalen
