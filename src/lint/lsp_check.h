// lsp_check.h: the checker's findings in the editor: diagnostics, the outline of sections and
// steps as the page numbers them, and the quick fixes. Every answer is the JSON value the
// protocol's result (or notification) holds.
#pragma once
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "lint/check.h"
#include "lint/lsp_document.h"

namespace morvalen {

// The findings of `document` under `config`, with the library checks of its folder: the
// document is checked as if stored at the path its URI names (or "untitled.qlml" for another
// URI), so that its images, tables and stylesheets are looked up where they are. Only the
// findings in the document itself are kept.
std::vector<Finding> check_open_document(const OpenDocument& document, const CheckConfig& config);

// The protocol's Diagnostic list of `findings` as JSON text: ranges in UTF-16 positions,
// codes, severities (note: Information), related places, dropped lines marked unnecessary.
std::string diagnostics_of(const OpenDocument& document, const std::vector<Finding>& findings);

// The texts "{severity} {code}: {message}" of the findings on line `line` (from 0), for hover.
std::vector<std::string> finding_notes(const std::vector<Finding>& findings, int line);

// The outline: one symbol "Section {n}: {title}" per section of the page, its steps
// "Step {n}.{m}: {title}" below it, each with the range of lines its scan reaches.
nlohmann::json document_symbols(const OpenDocument& document);

// The quick fixes for the findings on the lines of `range`: a misspelt keyword to the
// suggested one (QL001), ".css" added to a Template (QL503), and for every finding "ignore
// this code here", a "// qlml: ignore {code}" line above the statement.
nlohmann::json code_actions(const OpenDocument& document, const std::vector<Finding>& findings,
                            const Utf16Range& range);

}  // namespace morvalen
