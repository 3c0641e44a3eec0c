// read_csv.h: the document list reader, one planned process per row.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// One planned process of the document list, and the templates its row selects.
struct DocumentListRow {
  Process process;
  std::vector<std::string> template_files;  // "{heading}.css", the heading as written
};

// One row per data row of the document list at `path` ("" means ./DocumentList.csv), in
// file order: number, title, subject, product, author and reviewer from the first six
// fields (trimmed), and a template "{heading}.css" for every column from the 7th on whose
// field is exactly "x" or "X" (trimmed in the Process, as written in `template_files`).
// Lines end at a line feed, a carriage return and line feed, or a carriage return alone.
// Fields are split at every comma; a line whose first field is empty is skipped. The
// header must begin with Document Number, Title, Subject, Product, Author, Reviewer
// (letter case aside, blanks count). A rejected list (a header that fails the check, a
// template heading holding "/" or "\", a data row with fewer than six fields, an x in a
// column the header lacks, a field that begins with a double quote, which a spreadsheet
// writes around a field holding a comma) is the fatal stop "Rejected document list:
// {path}: line {n}: {problem}"; a rejected header that holds a semicolon or a tab says that
// the list seems to use that separator; an unreadable one "Could not load lines: {path}: ..." (also
// not UTF-8). Reads only: the stubs of missing templates are the drafts action's (read_csv).
std::vector<DocumentListRow> read_document_list(const std::string& path);

}  // namespace morvalen
