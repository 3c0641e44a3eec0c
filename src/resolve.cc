#include "resolve.h"

#include "fatal.h"
#include "glob.h"
#include "text.h"

namespace morvalen {

std::vector<std::string> globify_document_number(std::string_view document_number,
                                                 std::ostream& out) {
  // Appending "*" to an empty text would select the whole library root; an empty number
  // names no document.
  if (document_number.empty()) return {};
  // Shell completion of a folder name ends it with "/": the folder is meant.
  while (document_number.size() > 1 && document_number.back() == '/') {
    document_number.remove_suffix(1);
  }
  std::string pattern(document_number);
  if (pattern.back() != '*') pattern += '*';
  std::vector<std::string> names;
  for (const std::string& path : glob_paths(pattern, out)) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || first_invalid_utf8(name)) {
      fatal("huh?: " + quote_debug(path) + " has no final name that is valid UTF-8 text");
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> resolve_documents(std::string_view document_number, bool verbose,
                                           std::ostream& out) {
  std::vector<std::string> names = globify_document_number(document_number, out);
  if (verbose) out << format_name_list(names) << "\n";
  return names;
}

}  // namespace morvalen
