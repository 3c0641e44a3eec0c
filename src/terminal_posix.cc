// The POSIX side of terminal.h.
#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>

#include "terminal.h"

namespace morvalen {
namespace {

int descriptor_of(StandardStream stream) {
  return stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void prepare_standard_streams() { std::ios::sync_with_stdio(false); }

bool is_terminal(StandardStream stream) { return ::isatty(descriptor_of(stream)) == 1; }

std::optional<std::size_t> terminal_width(StandardStream stream) {
  winsize size{};
  if (!is_terminal(stream) || ::ioctl(descriptor_of(stream), TIOCGWINSZ, &size) != 0 ||
      size.ws_col == 0) {
    return std::nullopt;
  }
  return size.ws_col;
}

}  // namespace morvalen
