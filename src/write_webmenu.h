// write_webmenu.h: the library scan and WebMenu.html, the library's index page.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// What the menu action keeps of the library: its name and the numbers of its processes,
// in the order the folder listing gave them. Each document is read (read_qlml_summary)
// and written as its row of the page at once, so a large library is never held in memory
// whole.
struct Library {
  std::string name;
  std::vector<std::string> numbers;
};

// The -w action: scans the process folders of the current folder (every folder except
// "assets", each holding "{folder}/{folder}.qlml"), then writes "./WebMenu.html" for
// them. The page goes to a temporary file beside it that replaces WebMenu.html only when
// complete, so a fatal stop leaves the previous menu as it was. With `verbose`, progress
// lines and a dump of the library go to `out`. Fatal stops: "cannot open file",
// "Naw1"/"Naw2" (library name), "that's not a good path?" (listing), "Really bueno?"
// (folder name not UTF-8), the reader's own, "write failed", "cannot replace WebMenu.html".
void generate_complete_webmenu(bool verbose, std::ostream& out);

// The library's display name: the own name of the current folder, trimmed. Fatal stop
// "Naw1" when the folder cannot be had or has no name (the file-system root), "Naw2"
// when its name is not UTF-8.
std::string library_name();
// The own names of the process folders of the current folder, in the order the system
// lists them: folders (links followed) other than exactly "assets". Fatal stop
// "that's not a good path?: {description}".
std::vector<std::string> list_process_folders();

// The four portions of the page, written piece by piece; a failed write is the fatal stop
// "write failed: {description}".
void write_webmenu_top(std::ostream& page);
void write_webmenu_head(std::ostream& page, std::string_view name);
// The banner, the header with the process count and the main element.
void write_webmenu_body(std::ostream& page, std::string_view name,
                        const std::vector<Process>& processes);
void write_webmenu_bottom(std::ostream& page);
// The main element: column check boxes, headings and one table row per process.
void compose_body_table(std::ostream& page, const std::vector<Process>& processes);

}  // namespace morvalen
