// terminal.h: the command line, the standard streams, whether they show on a terminal,
// and how wide it is. terminal_posix.cc implements it; terminal_win32.cc asks the console.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace morvalen {

// The program's arguments as UTF-8, `argv[0]` first (on Windows from the UTF-16 command
// line, whatever the code page).
std::vector<std::string> program_arguments(int argc, char** argv);
// Readies the standard streams before the first byte: std::cout writes in large pieces,
// not one system call per few hundred bytes; every byte written is the byte that arrives
// (on Windows no "\n" to "\r\n"), UTF-8 and colour escapes shown as such on a console.
void prepare_standard_streams();

enum class StandardStream { Output, Error };

// Whether `stream` is a terminal (not a file or a pipe).
bool is_terminal(StandardStream stream);
// The width in columns of the terminal `stream` shows on; nothing when it is no terminal
// or does not say.
std::optional<std::size_t> terminal_width(StandardStream stream);

}  // namespace morvalen
