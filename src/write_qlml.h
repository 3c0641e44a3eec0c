// write_qlml.h: the texts of first-draft documents and of stub stylesheets.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// What stands in for "Template|$TEMPLATE": "Template|{template}" for each template, joined
// by line feeds (none after the last), or "//Template|Example.css" without templates.
std::string compose_template_lines(const Process& process);
// The draft line made from one prototype line, with a line feed: every "$NUMBER", then
// "$TITLE", "$SUBJECT", "$PRODUCT", "$AUTHOR", "$REVIEWER" and "Template|$TEMPLATE"
// replaced, each pass over the result of the one before (so a number holding "$TITLE"
// receives the title). `template_lines` is what compose_template_lines gives.
std::string compose_draft_line(std::string_view prototype_line, const Process& process,
                               std::string_view template_lines);

// The draft of `process`: every line of the prototype made a draft line.
std::string compose_draft(const std::vector<std::string>& prototype_lines, const Process& process);
// The stub stylesheet written for a selected template that the assets folder lacks: a CSS
// comment of three lines naming `template_file`, without a line feed at the end.
std::string stub_stylesheet(std::string_view template_file);

}  // namespace morvalen
