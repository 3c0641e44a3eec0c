// check.h: qlml check, checks documents and the library, and reports each finding.
#pragma once
#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace morvalen {

// Runs "qlml check" with the arguments after the command name; returns the exit status.
int run_check(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace morvalen
