#include "fatal.h"

#include <cerrno>

namespace morvalen {

void fatal(std::string message) { throw FatalStop{std::move(message)}; }

void fatal(std::string_view message, const std::error_code& error) {
  std::string text(message);
  text += ": ";
  text += error.message();
  throw FatalStop{std::move(text)};
}

std::error_code last_system_error() {
  const int code = errno;
  return std::error_code(code != 0 ? code : EIO, std::generic_category());
}

}  // namespace morvalen
