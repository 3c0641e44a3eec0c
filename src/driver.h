// driver.h: the run: parse the command line, then the actions in their fixed order.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "cli.h"

namespace morvalen {

// Parses `argv` and runs the requested actions against the library in the current
// folder. Returns the exit status (0, or 2 for a usage error); a FatalStop thrown by an
// action passes through to the caller.
int run_morvalen(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);
// Runs the actions `args` asks for, strictly in this order: drafts (-l), scripts (-s),
// render (-p), archive (-a), cleanup (-c), inspect (-i), menu (-w), QLML help (-e).
// Warnings that do not stop the run go to `err`.
void run_actions(const MorvalenArgs& args, std::ostream& out, std::ostream& err);
// The QLML cheat sheet printed by -e.
std::string qlml_cheat_sheet();

}  // namespace morvalen
