// resolve.h: from a DOCUMENT-NUMBER on the command line to the process folders it selects.
#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace morvalen {

// The final names of every entry of the library root (or below, when the text holds "/")
// that `document_number` matches as a wildcard pattern, with "*" appended unless it already
// ends in one: a plain number selects every name that begins with it. Each folder's names
// come in byte order, the walk is depth first; an empty text selects nothing. A folder that
// cannot be read gets one line on `out` and is skipped. Fatal stops: "Failed to read glob
// pattern: ..." for an invalid pattern; "huh?: ..." for a match without a final name that
// is valid UTF-8 text.
std::vector<std::string> globify_document_number(std::string_view document_number,
                                                 std::ostream& out);
// globify_document_number, and with `verbose` the names as one line ["A", "B"] on `out`.
std::vector<std::string> resolve_documents(std::string_view document_number, bool verbose,
                                           std::ostream& out);
}  // namespace morvalen
