// The Win32 side of terminal.h: the console.
#include <windows.h>
// After windows.h, which it needs:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "terminal.h"
#include "win32.h"

namespace morvalen {
namespace {

HANDLE handle_of(StandardStream stream) {
  return ::GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(to_utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void prepare_standard_streams() {
  // The C++ streams stay on the C runtime's, whose buffer is made large: their own buffer
  // would be BUFSIZ, 512 bytes here, and every WriteFile is costly under some layers.
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  ::_setmode(::_fileno(stdin), _O_BINARY);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  ::SetConsoleOutputCP(CP_UTF8);
  for (const StandardStream stream : {StandardStream::Output, StandardStream::Error}) {
    DWORD mode = 0;
    if (::GetConsoleMode(handle_of(stream), &mode)) {
      ::SetConsoleMode(handle_of(stream),
                       mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
  }
}

// A console answers GetConsoleMode; the null device, which is a character device too, and
// files and pipes do not.
bool is_terminal(StandardStream stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(handle_of(stream), &mode) != 0;
}

std::optional<std::size_t> terminal_width(StandardStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!is_terminal(stream) || !::GetConsoleScreenBufferInfo(handle_of(stream), &info)) {
    return std::nullopt;
  }
  const int width = info.srWindow.Right - info.srWindow.Left + 1;
  if (width <= 0) return std::nullopt;
  return static_cast<std::size_t>(width);
}

}  // namespace morvalen
