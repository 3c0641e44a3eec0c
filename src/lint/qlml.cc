#include "lint/qlml.h"

#include <span>

#include "lint/check.h"
#include "lint/lsp.h"
#include "lint/trace.h"
#include "version.h"

namespace morvalen {
namespace {

constexpr std::string_view kUsage = "usage: qlml <command> [options] [PATH...]\n";

std::string help_screen() {
  return std::string(kUsage) +
         "\n"
         "Commands:\n"
         "  check    check documents and say, line by line, what the reader will do with them\n"
         "  lsp      serve editors over the Language Server Protocol on standard input and output\n"
         "  trace    write the library's requirements matrix: Requirements.html and Requirements.csv\n"
         "\n"
         "Options:\n"
         "  -h, --help       print this help (qlml <command> --help: the command's help)\n"
         "  -V, --version    print the version\n";
}

}  // namespace

int run_qlml(const std::vector<std::string>& argv, std::istream& in, std::ostream& out,
             std::ostream& err) {
  if (argv.size() < 2) {
    err << kUsage << "For more information, try 'qlml --help'.\n";
    return 2;
  }
  const std::string& command = argv[1];
  const std::span<const std::string> rest(argv.begin() + 2, argv.end());
  if (command == "-h" || command == "--help") {
    out << help_screen();
    return 0;
  }
  if (command == "-V" || command == "--version") {
    out << kQlmlProgramName << ' ' << kVersion << '\n';
    return 0;
  }
  if (command == "check") return run_check(rest, out, err);
  if (command == "trace") return run_trace(rest, out, err);
  if (command == "lsp") return run_lsp(rest, in, out, err);
  err << "error: unknown command '" << command << "'\n"
      << kUsage << "For more information, try 'qlml --help'.\n";
  return 2;
}

}  // namespace morvalen
