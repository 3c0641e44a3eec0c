// render.h: the document actions that end in archives: render (-p), archive (-a) and
// archive cleanup (-c).
#pragma once
#include <ostream>
#include <string>
#include <string_view>

namespace morvalen {

// The render action: for every document `document_number` selects, one after the other:
// read it, write a fresh page beside it, print the page to PDF and archive the process
// folder. With `verbose` prints the resolved names and the progress of each step. A page
// that gave no PDF is a warning on `err`; the document is archived all the same. Fatal
// stops: those of resolution, reading and page writing, and "failed to execute process:
// ..." when no browser can be started.
void render_documents(std::string_view document_number, bool verbose, std::ostream& out,
                      std::ostream& err);
// The archive action: reads every selected document and archives its process folder.
void archive_documents(std::string_view document_number, bool verbose, std::ostream& out,
                       std::ostream& err);
// The cleanup action: prunes the archives of every selected process folder, one after the
// other, keeping the latest archive of each revision.
void cleanup_documents(std::string_view document_number, bool verbose, std::ostream& out);

}  // namespace morvalen
