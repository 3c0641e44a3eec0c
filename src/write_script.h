// write_script.h: the Command lines of a document as a bash, PowerShell or Python script.
#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// The lines of a script, without line terminators.
using ScriptText = std::vector<std::string>;

enum class ScriptLanguage { Bash, Powershell, Python };

// The language and extension a script format names.
struct ScriptFormat {
  ScriptLanguage language;
  std::string_view extension;
};

// The format a SCRIPT-FORMAT value names, compared exactly: "bash" (.sh), "powershell"
// (.ps1), "python" (.py), "applescript" (a bash script in a ".command" file); nothing for
// any other value.
std::optional<ScriptFormat> script_format(std::string_view format);

// Whether `pause` asks for a pause after each command: exactly "1" or "true".
bool pause_requested(std::string_view pause);

// The writers: a fixed header naming "{name}{ext}" and "{name}.qlml", then per command an
// empty line, "# {label}", a line announcing the label and the command; with a pause
// requested, the lines that wait for Enter follow each command.
// bash ("#!/bin/bash" first; also the text of the applescript ".command" format).
ScriptText bash_file_from_commands(const std::vector<CommandLine>& commands, std::string_view name,
                                   std::string_view pause, std::string_view extension);
// PowerShell (no "#!" line; three pause lines).
ScriptText powershell_file_from_commands(const std::vector<CommandLine>& commands,
                                         std::string_view name, std::string_view pause,
                                         std::string_view extension);
// Python 3. Each command loses its leading white space, which Python would take as an
// indentation error.
ScriptText python_file_from_commands(const std::vector<CommandLine>& commands,
                                     std::string_view name, std::string_view pause,
                                     std::string_view extension);

// The script of `commands` in `format`, by the writer of its language.
ScriptText script_file_from_commands(const ScriptFormat& format,
                                     const std::vector<CommandLine>& commands,
                                     std::string_view name, std::string_view pause);

// Writes `script` to "./{name}/{name}{ext}" through the write path, each line ended by
// "\n", replacing any file there; ".sh", ".py" and ".command" files get mode 0755. Then
// prints the chmod reminder on `out`, its path quoted for a POSIX shell (shell_word).
// Fatal stops: "Could not open the file!: {path}: {description}" and "Could not write
// template line into new file!: {path}: {description}".
void write_script(const ScriptText& script, std::string_view name, std::string_view extension,
                  std::ostream& out);

}  // namespace morvalen
