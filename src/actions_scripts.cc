// The -s action: the Command lines of the selected documents as scripts.
#include <optional>

#include "actions.h"
#include "names.h"
#include "read_qlml.h"
#include "resolve.h"
#include "text.h"
#include "write_script.h"

namespace morvalen {
namespace {

void print_banner(std::ostream& out, std::string_view name, std::string_view format,
                  std::string_view pause) {
  out << "\n";
  out << "=== Morvalen Scriptification =========================================================\n";
  out << "===\n";
  out << "=== >> Process:          " << name << "\n";
  out << "=== >> Script Format:    " << format << "\n";
  out << "=== >> Pause after each? " << pause << "\n";
  out << "===\n";
  out << "======================================================================================\n";
  out << "\n";
}

}  // namespace

void export_scripts(const std::vector<std::string>& values, bool verbose, std::ostream& out) {
  const auto value = [&](std::size_t index) {
    return index < values.size() ? values[index] : std::string();
  };
  const std::string number = value(0);
  const std::string format = value(1);
  const std::string pause = value(2);
  // An empty DOCUMENT-NUMBER has no pattern to match: it selects nothing, as a number
  // that matches no folder does.
  const std::vector<std::string> names =
      number.empty() ? std::vector<std::string>{} : resolve_documents(number, verbose, out);
  if (number.empty() && verbose) out << format_name_list(names) << "\n";
  for (const std::string& name : names) {
    const std::string path = document_path(name);
    if (verbose) {
      print_banner(out, name, format, pause);
      out << "[A] Attempting to read QLML -> " << path << " ...";
    }
    const Process process = read_qlml(path);
    if (verbose) out << "success!\n";
    const std::vector<CommandLine> commands = process.get_all_command_lines();
    if (verbose) {
      out << "[B] Morvalen found " << commands.size()
          << " lines of type \"Command\" in the file.\n";
      out << "[C] Processing script format \"" << format << "\"\n";
    }
    // The format is looked at only once the document has been read, so an unknown one
    // still reads every matching document and says so once for each.
    const std::optional<ScriptFormat> chosen = script_format(format);
    if (!chosen) {
      out << "That type of <SCRIPT FORMAT> is not yet implemented in morvalen.\n";
      out << "Case-sensitive options are: \x1b[93mbash\x1b[0m, \x1b[93mpowershell\x1b[0m, \x1b[93mpython\x1b[0m, \x1b[93mapplescript\x1b[0m\n";
      continue;
    }
    write_script(script_file_from_commands(*chosen, commands, name, pause), name, chosen->extension,
                 out);
  }
}

}  // namespace morvalen
