// trace.h: qlml trace, the requirements matrix of the library.
#pragma once
#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace morvalen {

// Runs "qlml trace" with the arguments after the command name; returns the exit status.
int run_trace(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace morvalen
