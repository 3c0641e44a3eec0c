// fatal.h: the one way a run ends early.
#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

namespace morvalen {

// Ends the run: `message` on standard error, exit status 101. Not derived from
// std::exception, so no other catch can swallow it.
struct FatalStop {
  std::string message;
};

// Throws FatalStop with `message`.
[[noreturn]] void fatal(std::string message);
// Throws FatalStop with `message`, ": " and the system's description of `error`.
[[noreturn]] void fatal(std::string_view message, const std::error_code& error);
// What a program's main returns: the exit status of `run`, or after a fatal stop its
// message and a line feed on `err` and 101. `out` is flushed first either way. The one
// place a FatalStop is caught, for both programs.
int exit_status_of(const std::function<int()>& run, std::ostream& out, std::ostream& err);
// The error code of the last failed C or stream call (errno), or EIO when errno is 0.
std::error_code last_system_error();

}  // namespace morvalen
