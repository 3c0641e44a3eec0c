#include "write_webmenu.h"

#include <initializer_list>

#include "files.h"
#include "links.h"
#include "names.h"
#include "read_qlml.h"
#include "tablesort_js.h"
#include "text.h"

namespace morvalen {
namespace {

void put(std::ostream& page, std::string_view piece) { write_piece(page, piece, "write failed"); }

struct Column {
  std::string_view label;    // beside its check box
  std::string_view heading;  // in the table head
};

// In column order 01 to 16; the first four are shown when the page opens.
constexpr Column kColumns[] = {
    {"Links", "Links"},
    {"Document Number", "Number"},
    {"Current Revision", "Rev"},
    {"Title", "Title"},
    {"Subject", "Subject"},
    {"Author", "Author"},
    {"Reviewer", "Reviewer"},
    {"Number of Objectives", "Obj"},
    {"List of Objectives", "List of Objectives"},
    {"Number of Out of Scope Declarations", "OoS"},
    {"List of Out of Scope Declarations", "Out of Scope Declarations"},
    {"Number of Requirement Verifications", "Ver"},
    {"List of Requirement Verifications", "List of Requirement Verifications"},
    {"Number of Resources", "Res"},
    {"List of Resources", "List of Resources"},
    {"Number of Command Lines", "Cmd"},
};
constexpr std::size_t kShownByDefault = 4;

std::string two_digits(std::size_t column) { return zero_padded(column, 2); }

// Three digits at least, so that the table's text sort orders counts up to 999.
std::string count_text(std::size_t count) { return zero_padded(count, 3); }

void append(std::string& text, std::initializer_list<std::string_view> pieces) {
  for (const std::string_view piece : pieces) text.append(piece);
}

void put_doc_box_styles(std::ostream& page) {
  put(page,
      "\t\t\t.doc-box { display:inline-block; padding: 1px; border: 1px solid black; margin: 2px; width: 25px; }\n");
  put(page,
      "\t\t\t.doc-icon { width: 25px; height: 25px; overflow: hidden; position: relative; }\n");
  put(page, "\t\t\t.doc-format img { position: absolute; height: 25px; left: 0px; }\n");
}

void put_first_style_block(std::ostream& page) {
  put(page, "\t\t\t\n");
  put(page,
      "\t\t\t@media print { .no-print, .no-print * { display: none !important; }  br { display:none !important; } table { font-size: 0.5em; } }\n");
  put(page, "\t\t\tbody { font-family: sans-serif; padding: 0px; margin: 0px;}\n");
  put(page,
      "\t\t\t#pre-header { padding: 15px; border: 15px solid #BA6F47; background-color: #BEA465; color: #2F495A; text-align: center; font-size: 0.7em; }\n");
  put(page,
      "\t\t\theader { z-index: 100; border-bottom: 3px solid black; background-color: #2F495A; color: white; position: sticky; top:0px;}\n");
  put(page, "\t\t\theader, main { padding: 20px; margin:0px;}\n");
  put(page, "\t\t\ttable { margin-top: 20px; }\n");
  put(page, "\n");
  put(page, "\t\t\tinput + span { margin: 0px 5px 0px 5px; }\n");
  put(page, "\n");
  put_doc_box_styles(page);
  put(page, "\n");
  put(page, "\t\t\tinput { z-index: 0; margin: 0px 5px 0px 5px; transform: scale(1.3);}\n");
  put(page, "\n");
  put_doc_box_styles(page);
  put(page, "\n");
  // The check boxes, the second h2 and the table are siblings in main, so an unchecked
  // box hides the cells in its position of every row.
  const std::size_t count = std::size(kColumns);
  for (std::size_t column = 1; column <= count; ++column) {
    const std::string nn = two_digits(column);
    const std::string n = std::to_string(column);
    put(page, "\t\t\t.toggle-column-" + nn + ":not(:checked) ~ table th:nth-child(" + n +
                  ") { display: none; }\n");
    put(page, "\t\t\t.toggle-column-" + nn + ":not(:checked) ~ table td:nth-child(" + n +
                  ") { display: none; }\n");
    if (column < count) put(page, "\n");
  }
  put(page, "\t\n");
}

void put_second_style_block(std::ostream& page) {
  put(page, "\t\t\ttable { border-collapse: collapse; }\n");
  put(page, "\t\t\tth, td { padding: 0.4em; border: 1px solid black;}\n");
  put(page, "\t\t\tth { background-color: black; color: white; }\n");
  put(page, "\t\t\tth[role=columnheader]:not(.no-sort) { cursor: pointer; }\n");
  put(page, "\t\t\tth[role=columnheader]:not(.no-sort):after {\n");
  put(page, "\t\t\t\tcontent: '';\n");
  put(page, "\t\t\t\tfloat: right;\n");
  put(page, "\t\t\t\tmargin-top: 7px;\n");
  put(page, "\t\t\t  \tmargin-left: 5px;\n");
  put(page, "\t\t\t\tborder-width: 0 4px 4px;\n");
  put(page, "\t\t\t\tborder-style: solid;\n");
  put(page, "\t\t\t\tborder-color: white transparent;\n");
  put(page, "\t\t\t\tvisibility: hidden;\n");
  put(page, "\t\t\t\topacity: 0;\n");
  put(page, "\t\t\t\t-ms-user-select: none;\n");
  put(page, "\t\t\t\t-webkit-user-select: none;\n");
  put(page, "\t\t\t\t-moz-user-select: none;\n");
  put(page, "\t\t\t\tuser-select: none;\n");
  put(page, "\t\t\t}\n");
  put(page,
      "\t\t\tth[aria-sort=ascending]:not(.no-sort):after { border-bottom: none; border-width: 4px 4px 0; }\n");
  put(page, "\t\t\tth[aria-sort]:not(.no-sort):after {\tvisibility: visible; opacity: 0.4; }\n");
  put(page,
      "\t\t\tth[role=columnheader]:not(.no-sort):hover:after { visibility: visible; opacity: 1; }\n");
}

void put_banner(std::ostream& page) {
  put(page,
      "\t\t<div id=\"pre-header\" class=\"no-print\">"
      "<h1>Need a hand with your process library? Contact " +
          std::string(kMakerName) +
          " for help.</h1>"
          "<h2>&#x1F4DD; Writing and reviewing test procedures &#x1F4DD;</h2>"
          "<h2>&#x1F9EA; Test campaigns and verification planning &#x1F9EA;</h2>"
          "<h2>&#x1F4DA; Setting up process libraries and training authors &#x1F4DA;</h2>"
          "<h2><span style=\"background-color: #2F495A; color: #BEA465; padding: 10px;\">" +
          std::string(kMakerContactAddress) +
          "</span></h2>"
          "</div>\n");
}

// One table row per process, built as text and handed to the page in one piece.
void append_links_cell(std::string& rows, const ProcessSummary& process) {
  const std::string folder = process_folder_name(process.number, process.title);
  const auto link = [&](std::string_view extension, std::string_view icon, std::string_view alt) {
    append(
        rows,
        {"\t\t\t\t\t\t\t<a href=\"", folder_file_path(folder, extension),
         "\"><div class=\"doc-box\" style=\"background-color: #DDD;\"><div class=\"doc-icon\"><div class=\"doc-format\"><img src=\"./assets/",
         icon, "\" alt=\"", alt, "\"/></div></div></div></a>\n"});
  };
  rows.append("\t\t\t\t\t\t<td class=\"col01 no-print\">\n");
  link(".qlml", "QLML.png", "QLML");
  link(".html", "html.png", "HTML");
  link(".pdf", "pdf.png", "PDF");
  rows.append("\t\t\t\t\t\t</td>\n");
}

void append_cell(std::string& rows, std::size_t column, std::string_view value) {
  append(rows, {"\t\t\t\t\t\t<td class=\"col", two_digits(column), "\">", value, "</td>\n"});
}

void append_list(std::string& rows, std::size_t column,
                 const std::vector<std::string_view>& items) {
  append(rows, {"\t\t\t\t\t\t<td class=\"col", two_digits(column), "\"><ul>\n"});
  for (const std::string_view item : items) append(rows, {"\t\t\t\t\t\t\t<li>", item, "</li>\n"});
  rows.append("\t\t\t\t\t\t</ul></td>\n");
}

std::string rows_of(const std::vector<Process>& processes) {
  std::string rows;
  for (const Process& process : processes) append_webmenu_row(rows, summarise_process(process));
  return rows;
}

void write_table_start(std::ostream& page) {
  put(page, "\t\t<main>\n");
  put(page,
      "\t\t\t<h2 class=\"no-print\">Process metadata columns to show in the table below:</h2>\n");
  for (std::size_t column = 1; column <= std::size(kColumns); ++column) {
    const std::string checked = column <= kShownByDefault ? "checked" : "";
    put(page, "\t\t\t<input class=\"toggle-column-" + two_digits(column) +
                  " no-print\" type=\"checkbox\" " + checked + "><span class=\"no-print\">" +
                  std::string(kColumns[column - 1].label) + "</span><br/>\n");
  }
  put(page,
      "\t\t\t<h2 class=\"no-print\">Click on any column header to sort ascending/descending.</h2>\n");
  put(page, "\t\t\t<table id=\"library\">\n");
  put(page, "\t\t\t\t<thead>\n");
  put(page, "\t\t\t\t\t<tr data-sort-method=\"none\">\n");
  put(page, "\t\t\t\t\t\t<th class=\"col01 no-print\">Links</th>\n");
  for (std::size_t column = 2; column <= std::size(kColumns); ++column) {
    put(page, "\t\t\t\t\t\t<th class=\"col" + two_digits(column) + "\">" +
                  std::string(kColumns[column - 1].heading) + "</th>\n");
  }
  put(page, "\t\t\t\t\t</tr>\n");
  put(page, "\t\t\t\t</thead>\n");
  put(page, "\t\t\t\t<tbody>\n");
}

void write_table_end(std::ostream& page) {
  put(page, "\t\t\t\t</tbody>\n");
  put(page, "\t\t\t</table>\n");
  put(page, "\t\t</main>\n");
}

}  // namespace

void append_webmenu_row(std::string& rows, const ProcessSummary& process) {
  rows.append("\t\t\t\t\t<tr>\n");
  append_links_cell(rows, process);
  append_cell(rows, 2, process.number);
  append_cell(rows, 3, process.revision);
  append_cell(rows, 4, process.title);
  append_cell(rows, 5, process.subject);
  append_cell(rows, 6, process.author);
  append_cell(rows, 7, process.reviewer);
  append_cell(rows, 8, count_text(process.objectives.size()));
  append_list(rows, 9, process.objectives);
  append_cell(rows, 10, count_text(process.out_of_scope.size()));
  append_list(rows, 11, process.out_of_scope);
  append_cell(rows, 12, count_text(process.verifications.size()));
  append(rows, {"\t\t\t\t\t\t<td class=\"col13\"><ul>\n"});
  for (const VerificationMention& verification : process.verifications) {
    Requirement named;
    named.method = verification.method;
    append(rows, {"\t\t\t\t\t\t\t<li>", verification.rid, " (", named.get_method().substr(0, 1),
                  ")</li>\n"});
  }
  rows.append("\t\t\t\t\t\t</ul></td>\n");
  append_cell(rows, 14, count_text(process.resources.size()));
  append_list(rows, 15, process.resources);
  append_cell(rows, 16, count_text(process.command_lines));
  rows.append("\t\t\t\t\t</tr>\n");
}

void write_webmenu_body_start(std::ostream& page, std::string_view name, std::size_t count) {
  put(page, "\t<body>\n");
  put_banner(page);
  put(page, "\t\t<header>\n");
  put(page, "\t\t\t<h1>" + std::string(name) + "</h1>\n");
  put(page, "\t\t\t<p>Process Library with " + std::to_string(count) + " processes.</p>\n");
  put(page, "\t\t</header>\n");
  write_table_start(page);
}

void write_webmenu_body_end(std::ostream& page) {
  write_table_end(page);
  put(page, "\t</body>\n");
}

void write_sortable_table_style(std::ostream& page) { put_second_style_block(page); }

void write_webmenu_top(std::ostream& page) {
  put(page, "<!DOCTYPE html>\n");
  put(page, "<html lang=\"en-US\">\n");
}

void write_webmenu_head(std::ostream& page, std::string_view name) {
  put(page, "\t<head>\n");
  put(page, "\t\t<meta charset=\"utf-8\" />\n");
  put(page,
      "\t\t<meta name=\"viewport\" content=\"width=device-width, initial-scale=1, user-scalable=1\" />\n");
  put(page, "\t\t<style>\n");
  put_first_style_block(page);
  put_second_style_block(page);
  put(page, "\t\t</style>\n");
  put(page, "\t\t<script>\n");
  put(page, "\t\t\t" + std::string(kTablesortJs) + "\n");
  put(page, "\t\t</script>\n");
  put(page, "\t\t<script>\n");
  put(page, "\t\t\tfunction onPageReady() {\n");
  put(page, "\t\t\t\tnew Tablesort(document.getElementById('library'));\n");
  put(page, "\t\t\t}\n");
  put(page, "\t\t\tdocument.addEventListener('DOMContentLoaded', onPageReady, false);\n");
  put(page, "\t\t</script>\n");
  put(page,
      "\t\t<link rel=\"shortcut icon\" sizes=\"16x16 32x32 48x48\" type=\"image/png\" href=\"./assets/favicon.png\" />\n");
  put(page,
      "\t\t<link rel=\"apple-touch-icon\" sizes=\"180x180\" href=\"./assets/favicon.png\" />\n");
  put(page, "\t\t<link rel=\"mask-icon\" href=\"./assets/favicon.svg\" color=\"#000000\" />\n");
  put(page, "\t\t<title>&#x1F4DA; " + std::string(name) + " &#x1F4DA;</title>\n");
  put(page, "\t</head>\n");
}

void write_webmenu_body(std::ostream& page, std::string_view name,
                        const std::vector<Process>& processes) {
  write_webmenu_body_start(page, name, processes.size());
  put(page, rows_of(processes));
  write_webmenu_body_end(page);
}

void write_webmenu_bottom(std::ostream& page) { put(page, "</html>\n"); }

void write_complete_webmenu(std::ostream& page, std::string_view name,
                            const std::vector<Process>& processes) {
  write_webmenu_top(page);
  write_webmenu_head(page, name);
  write_webmenu_body(page, name, processes);
  write_webmenu_bottom(page);
}

void compose_body_table(std::ostream& page, const std::vector<Process>& processes) {
  write_table_start(page);
  put(page, rows_of(processes));
  write_table_end(page);
}

}  // namespace morvalen
