// lsp.h: qlml lsp, the language server.
#pragma once
#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace morvalen {

// Runs "qlml lsp" with the arguments after the command name; returns the exit status.
int run_lsp(std::span<const std::string> args, std::istream& in, std::ostream& out,
            std::ostream& err);

}  // namespace morvalen
