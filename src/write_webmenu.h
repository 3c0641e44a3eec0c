// write_webmenu.h: the text of WebMenu.html, the library's index page (the menu action
// that scans the library and writes the file is in actions.h).
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "read_qlml.h"

namespace morvalen {

// The second style block of the page: the table's black headings, and the arrow that
// shows which column Tablesort has sorted (its aria-sort), for other pages in this style.
void write_sortable_table_style(std::ostream& page);

// The four portions of the page, written piece by piece; a failed write is the fatal stop
// "write failed: {description}".
void write_webmenu_top(std::ostream& page);
void write_webmenu_head(std::ostream& page, std::string_view name);
// The banner, the header with the process count and the main element.
void write_webmenu_body(std::ostream& page, std::string_view name,
                        const std::vector<Process>& processes);
void write_webmenu_bottom(std::ostream& page);
// The whole page for `processes`: the four portions in order.
void write_complete_webmenu(std::ostream& page, std::string_view name,
                            const std::vector<Process>& processes);

// The body portion in pieces, for a page written while its documents are read: the start
// (banner, header with `count` processes, the table head), one row per document, the end.
void write_webmenu_body_start(std::ostream& page, std::string_view name, std::size_t count);
// Appends the table row of `process` to `rows`.
void append_webmenu_row(std::string& rows, const ProcessSummary& process);
void write_webmenu_body_end(std::ostream& page);
// The main element: column check boxes, headings and one table row per process.
void compose_body_table(std::ostream& page, const std::vector<Process>& processes);

}  // namespace morvalen
