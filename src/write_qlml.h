// write_qlml.h: first-draft documents.
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

// Writes the draft of `process` unless "{folder}/{folder}.qlml" already exists ({folder}
// from get_process_folder_name): creates the folder when missing, fills the prototype's
// placeholders into the draft, renders it to "{folder}/{folder}.html" and copies the batch
// file beside it (a missing batch file is ignored). The prototype is read before anything
// is created, and the draft is written to a temporary file renamed into place when whole,
// so a failure leaves no empty or partial draft. With `verbose`, prints what it finds.
// Fatal stops: "Could not load lines: ./assets/QLML-prototype.qlml: ...",
// "Could not open the file!: {path}: ...", "Could not write template line into new file!:
// {path}: ...", and those of read_qlml and generate_complete_html.
void write_qlml(const Process& process, bool verbose, std::ostream& out);

// The -l action: reads the document list at `listgen` with read_csv (so a rejected list
// writes nothing) and writes the draft of every row in order. With `verbose`, prints the
// number of rows and each row's summary before its draft.
void generate_drafts(const std::string& listgen, bool verbose, std::ostream& out);

}  // namespace morvalen
