// write_script.h: the Command lines of a document as a bash, PowerShell or Python script.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// The lines of a script, without line terminators.
using ScriptText = std::vector<std::string>;

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

// Writes `script` to "./{name}/{name}{ext}" through the write path, each line ended by
// "\n", replacing any file there; ".sh", ".py" and ".command" files get mode 0755. Then
// prints the chmod reminder on `out`. Fatal stops: "Could not open the file!: {path}:
// {description}" and "Could not write template line into new file!: {path}: {description}".
void write_script(const ScriptText& script, std::string_view name, std::string_view extension,
                  std::ostream& out);

// The -s action. `values` are the option's values: DOCUMENT-NUMBER, SCRIPT-FORMAT and
// PAUSE-AFTER-EACH (later ones ignored). Every resolved document is read and exported;
// an empty DOCUMENT-NUMBER exports nothing. A format other than "bash", "powershell",
// "python" or "applescript" (case-sensitive) prints two lines per document instead.
void export_scripts(const std::vector<std::string>& values, bool verbose, std::ostream& out);

}  // namespace morvalen
