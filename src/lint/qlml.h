// qlml.h: the qlml program, the authors' companion of morvalen: it checks documents, serves
// editors and traces requirements across a library, over the same reader.
#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace morvalen {

inline constexpr std::string_view kQlmlProgramName = "qlml";

// Runs the command `argv` names ("qlml check ...", "qlml trace ...", "qlml lsp") against
// the current folder. Returns its exit status: 0, 1 when a command found what it was asked
// to fail on, 2 for a wrong command line; a FatalStop (exit 101) passes through.
int run_qlml(const std::vector<std::string>& argv, std::istream& in, std::ostream& out,
             std::ostream& err);

}  // namespace morvalen
