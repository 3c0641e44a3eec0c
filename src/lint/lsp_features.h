// lsp_features.h: what the language server answers about one open document: completion,
// hover and document links. Every answer is the JSON value the protocol's result holds.
// Files are looked up beside the document (its process folder) and in the library's
// assets folder, the process folder's sibling.
#pragma once
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "lint/lsp_document.h"

namespace morvalen {

// The completion items at `position`: at the start of a line the keywords in their written
// form, with a snippet of their fields; in a field, the values that field takes (verification
// methods, two-party-verification words, file names of the process folder, stylesheets of
// the assets folder). An empty list elsewhere.
nlohmann::json completion_items(const OpenDocument& document, Utf16Position position);

// What the statement on the line of `position` is and the fields the reader takes from it,
// with `notes` (one text a line) below; null on a line that is no statement and has no notes.
nlohmann::json hover_at(const OpenDocument& document, Utf16Position position,
                        const std::vector<std::string>& notes);

// A link for every Image, Subject Image, Product Image and CSVFILE file name that names a
// file of the process folder, and every Template that names a stylesheet of the assets
// folder.
nlohmann::json document_links(const OpenDocument& document);

}  // namespace morvalen
