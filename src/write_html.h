// write_html.h: the procedure page, one self-contained HTML file per Process.
//
// Every text of the model goes into the page as it stands: nothing is escaped, so markup in
// a document's text takes effect in the page. Lines go to the stream in order, gathered
// into chunks of whole lines (up to 1 MiB) that are handed over as they fill and at the end
// of every function below. Every write is checked: a failed one is the fatal stop
// "write failed: {description}".
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// Writes the page of `process` to the file at `path` through the write path (OutputFile of
// files.h): the page is there whole, or the file is as it was. Fatal stops
// "cannot open file: {path}: {description}" and "write failed: {path}: {description}",
// naming `shown_path` instead when that is given (see OutputFile).
void generate_complete_html(const std::string& path, const Process& process,
                            const std::string& shown_path = "");
// The same page, byte for byte, into any stream; it ends with "</html>" and no line feed.
void write_complete_html(std::ostream& out, const Process& process);

// The body element: the classification banners, the layout table with every page row (title
// page, revision and requirements pages, table of contents, overview, non-conformance log,
// one row per section), the running header and the running footer. `sections` is the
// process's own list.
void compose_html_body(std::ostream& out, const Process& process,
                       const std::vector<Section>& sections);
// The revision page row (oldest revision first, the current one marked) and, only when the
// process has verifications, the requirements page row.
void compose_html_body_rev_req_page(std::ostream& out, const Process& process);
// The table-of-contents row (links to every section and step, roles table, hazard banners),
// the overview row (objectives, out-of-scope declarations, subject and product, coloured
// resource bubbles) and the non-conformance log row.
void compose_html_body_toc(std::ostream& out, const Process& process,
                           const std::vector<Section>& sections);
// One page row per section, with the anchors "Section{n}" and "Step{n}.{t}" that the table of
// contents links to; `author` is named in every requirement box. No sections, no rows.
void compose_html_body_section(std::ostream& out, std::string_view author,
                               const std::vector<Section>& sections);

}  // namespace morvalen
