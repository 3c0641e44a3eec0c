// actions.h: what each option does. Every action works on the library in the current
// folder and calls the readers and writers; the driver runs them in the fixed order
// drafts (-l), scripts (-s), render (-p), archive (-a), cleanup (-c), inspect (-i),
// menu (-w). Console output goes to `out`, warnings that do not stop the run to `err`.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// Drafts (-l), in actions_drafts.cc.

// The -l action: reads the document list at `listgen` with read_csv (so a rejected list
// writes nothing) and writes the draft of every row in order. With `verbose`, prints the
// number of rows and each row's summary before its draft.
void generate_drafts(const std::string& listgen, bool verbose, std::ostream& out);
// The processes of the document list at `path` ("" means ./DocumentList.csv), as
// read_document_list gives them; then, when ./assets exists, a stub stylesheet
// ./assets/{heading}.css (heading untrimmed) is written for each selected template that is
// missing there. With `verbose`, each selected template prints "Template identified:
// {template}\n" and each row its summary. Fatal stops: those of read_document_list,
// "Could not open the file!: {path}: ..." and "Could not write template line into new
// file!: {path}: ..." (a stub that cannot be written).
std::vector<Process> read_csv(const std::string& path, bool verbose, std::ostream& out);
// Writes the draft of `process` unless "{folder}/{folder}.qlml" already exists ({folder}
// from get_process_folder_name): fills the prototype's placeholders into the draft,
// renders it to "{folder}/{folder}.html" and copies the batch file beside it (a missing
// batch file is ignored). A missing folder is built under a temporary name beside it and
// renamed into place once whole, so it appears complete or not at all; an existing one is
// written into, the draft last. The prototype is read before anything is created, and
// every file is written completely or not at all. With `verbose`, prints
// what it finds. Fatal stops: "Could not load lines: ./assets/QLML-prototype.qlml: ...",
// "Could not open the file!: {path}: ...", "Could not write template line into new file!:
// {path}: ...", and those of read_qlml and generate_complete_html.
void write_qlml(const Process& process, bool verbose, std::ostream& out);

// Scripts (-s), in actions_scripts.cc.

// The -s action. `values` are the option's values: DOCUMENT-NUMBER, SCRIPT-FORMAT and
// PAUSE-AFTER-EACH (later ones ignored). Every resolved document is read and exported;
// an empty DOCUMENT-NUMBER exports nothing. A format other than "bash", "powershell",
// "python" or "applescript" (case-sensitive) prints two lines per document instead.
void export_scripts(const std::vector<std::string>& values, bool verbose, std::ostream& out);

// Render (-p), archive (-a), cleanup (-c) and inspect (-i), in actions_documents.cc.

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
// The inspect action: the summary of every resolved document on `out`, in name order.
// Fatal stop from read_qlml when a document cannot be read.
void inspect_process(std::string_view document_number, bool verbose, std::ostream& out);

// The menu (-w), in actions_menu.cc.

// What the menu action keeps of the library: its name and the numbers of its processes,
// in the order of the process folders. Each document is read (read_qlml_summary)
// and written as its row of the page at once, so a large library is never held in memory
// whole.
struct Library {
  std::string name;
  std::vector<std::string> numbers;
};

// The -w action: scans the process folders of the current folder (list_process_folders,
// each holding "{folder}/{folder}.qlml"), then writes "./WebMenu.html" for
// them, completely or not at all: a fatal stop leaves the previous menu as it was. With
// `verbose`, progress lines and a dump of the library go to `out`. Fatal stops: "cannot
// open file", "Naw1"/"Naw2" (library name), "that's not a good path?" (listing), "Really
// bueno?" (folder name not UTF-8), the reader's own, "write failed: ./WebMenu.html: ...".
void generate_complete_webmenu(bool verbose, std::ostream& out);
// The library's display name: the own name of the current folder, trimmed. Fatal stop
// "Naw1" when the folder cannot be had or has no name (the file-system root), "Naw2"
// when its name is not UTF-8.
std::string library_name();
// What the scan of the current folder finds, each list in ascending byte order of the
// names.
struct LibraryFolders {
  // The own names of the process folders: folders (links followed) other than exactly
  // "assets" and other than the hidden folders below.
  std::vector<std::string> process_folders;
  // Folders whose name begins with "." and that hold no document of their own name
  // ("{folder}/{folder}.qlml"), such as .git: no process folder, and skipped.
  std::vector<std::string> skipped;
};
// The scan of the current folder. Fatal stop "that's not a good path?: {description}".
LibraryFolders scan_library_folders();
// The same scan of the folder `root` ("." is the current folder).
LibraryFolders scan_library_folders_in(const std::string& root);
// The process folders of scan_library_folders: the folders the menu lists, in its order.
std::vector<std::string> list_process_folders();

}  // namespace morvalen
