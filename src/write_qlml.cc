#include "write_qlml.h"

#include "text.h"

namespace morvalen {

std::string compose_template_lines(const Process& process) {
  if (process.templates.empty()) return "//Template|Example.css";
  std::string lines;
  for (const std::string& sheet : process.templates) {
    if (!lines.empty()) lines += "\n";
    lines += "Template|" + sheet;
  }
  return lines;
}

std::string compose_draft_line(std::string_view prototype_line, const Process& process,
                               std::string_view template_lines) {
  std::string line = replace_all(prototype_line, "$NUMBER", process.number);
  line = replace_all(line, "$TITLE", process.title);
  line = replace_all(line, "$SUBJECT", process.subject);
  line = replace_all(line, "$PRODUCT", process.product);
  line = replace_all(line, "$AUTHOR", process.author);
  line = replace_all(line, "$REVIEWER", process.reviewer);
  line = replace_all(line, "Template|$TEMPLATE", template_lines);
  line += "\n";
  return line;
}

std::string compose_draft(const std::vector<std::string>& prototype_lines, const Process& process) {
  const std::string template_lines = compose_template_lines(process);
  std::string draft;
  for (const std::string& line : prototype_lines)
    draft += compose_draft_line(line, process, template_lines);
  return draft;
}

std::string stub_stylesheet(std::string_view template_file) {
  return "/* *******************************\n   " + std::string(template_file) +
         "\n   ******************************* */";
}

}  // namespace morvalen
