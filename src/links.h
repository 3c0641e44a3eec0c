// links.h: every address the program shows or writes, in one place.
#pragma once
#include <string_view>

namespace morvalen {

// Where the wildcard syntax of DOCUMENT-NUMBER is documented.
inline constexpr std::string_view kPatternSyntaxLink =
    "https://man7.org/linux/man-pages/man7/glob.7.html";
// A document-list template to fill in and export as CSV (shipped with the sources).
inline constexpr std::string_view kListTemplateLink = "docs/DocumentList-template.csv";
// Rendered examples of the stylesheets (shipped with the sources; render them first).
inline constexpr std::string_view kExamplesLink =
    "examples/library (render it with scripts/quickstart.sh)";
// The maker's site, linked from the running footer of every procedure page.
inline constexpr std::string_view kMakerSiteLink = "https://meridane.example/morvalen/";
// The maker, named in the banner of WebMenu.html, and the address it gives for help.
inline constexpr std::string_view kMakerName = "Meridane Group";
inline constexpr std::string_view kMakerContactAddress = "morvalen@meridane.example";
// The author line: not shown on any screen.
inline constexpr std::string_view kAuthorLine = "Meridane Group <morvalen@meridane.example>";

}  // namespace morvalen
