// read_csv.h: the document list, one planned process per row.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// The stub stylesheet written for a selected template that the assets folder lacks: a CSS
// comment of three lines naming `template_file`, without a line feed at the end.
std::string stub_stylesheet(std::string_view template_file);

// One Process per data row of the document list at `path` ("" means ./DocumentList.csv),
// in file order: number, title, subject, product, author and reviewer from the first six
// fields (trimmed), and a template "{heading}.css" for every column from the 7th on whose
// field is exactly "x" or "X". Fields are split at every comma; a line whose first field
// is empty is skipped. The header must begin with Document Number, Title, Subject,
// Product, Author, Reviewer (letter case aside, blanks count).
// The whole list is checked before anything is written. A rejected list (a header that
// fails the check, a template heading holding "/" or "\", a data row with fewer than six
// fields, an x in a column the header lacks) is the fatal stop
// "Rejected document list: {path}: line {n}: {problem}", with nothing written.
// Then, when ./assets exists, a stub stylesheet ./assets/{heading}.css (heading untrimmed)
// is written for each selected template that is missing there. With `verbose`, each
// selected template prints "Template identified: {template}\n" and each row its summary.
// Other fatal stops: "Could not load lines: {path}: ..." (unreadable or not UTF-8),
// "Could not open the file!: ..." and "Could not write template line into new file!: ..."
// (a stub that cannot be written).
std::vector<Process> read_csv(const std::string& path, bool verbose, std::ostream& out);

}  // namespace morvalen
