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

int exit_status_of(const std::function<int()>& run, std::ostream& out, std::ostream& err) {
  try {
    const int status = run();
    out.flush();
    return status;
  } catch (const FatalStop& stop) {
    out.flush();
    err << stop.message << '\n';
    return 101;
  }
}

std::error_code last_system_error() {
  const int code = errno;
  return std::error_code(code != 0 ? code : EIO, std::generic_category());
}

}  // namespace morvalen
