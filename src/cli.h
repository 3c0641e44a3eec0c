// cli.h: the command line: MorvalenArgs, parsing, the help and version screens.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "version.h"

namespace morvalen {

inline constexpr std::string_view kProgramName = "morvalen";

// The parsed options; an absent option leaves its default. Text options act only when
// not empty.
struct MorvalenArgs {
  std::string listgen;
  bool webmenu = false;
  std::string process_qlml;
  std::vector<std::string> scriptify_process;  // three values per -s occurrence
  std::string archive_process;
  std::string inspect_process;
  std::string cleanup_previous;
  bool verbose = false;
  bool qlml_help = false;
};

// Either the arguments to run with, or a screen to print and the exit status to end
// with: help and version go to standard output with 0, usage errors to standard error
// with 2.
struct ParsedCommandLine {
  std::optional<MorvalenArgs> args;
  std::string screen;
  bool screen_to_stderr = false;
  int exit_status = 0;
};

// Parses `argv` (argv[0] names the program in the usage line). Never throws.
ParsedCommandLine parse_command_line(const std::vector<std::string>& argv);
// The help screen: the short one for -h, the long one for --help.
std::string help_screen(std::string_view program_name, bool long_form);
// "morvalen 0.66.2\n".
std::string version_screen();

}  // namespace morvalen
