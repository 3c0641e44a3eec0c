// terminal.h: whether the standard streams show on a terminal, and how wide it is.
// terminal_posix.cc implements it; a terminal_win32.cc beside it asks the console.
#pragma once
#include <cstddef>
#include <optional>

namespace morvalen {

enum class StandardStream { Output, Error };

// Whether `stream` is a terminal (not a file or a pipe).
bool is_terminal(StandardStream stream);
// The width in columns of the terminal `stream` shows on; nothing when it is no terminal
// or does not say.
std::optional<std::size_t> terminal_width(StandardStream stream);

}  // namespace morvalen
