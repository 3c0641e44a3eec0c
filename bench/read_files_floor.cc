// The file work of `morvalen -w` alone: lists the library in the current folder and reads
// every process folder's document and each CSV file its CSVFILE lines name, once, through
// the platform seam (list_folder, read_file_into) as -w does, without reading anything else
// of what they say. Built for both systems; bench/wine_overhead.sh sets its time beside
// -w's, so that what a system costs per file reads apart from what the program does.
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "files.h"

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// The distinct names of the document's CSVFILE lines.
std::set<std::string> csv_names(std::string_view document) {
  std::set<std::string> names;
  for (std::size_t at = document.find("CSVFILE"); at != std::string_view::npos;
       at = document.find("CSVFILE", at + 1)) {
    const std::size_t bar = document.find('|', at);
    const std::size_t end = document.find_first_of("|\n", bar + 1);
    if (bar == std::string_view::npos || end == std::string_view::npos) break;
    names.emplace(trimmed(document.substr(bar + 1, end - bar - 1)));
  }
  return names;
}

}  // namespace

int main() {
  using namespace morvalen;
  std::error_code error;
  std::string document;
  std::string csv;
  std::size_t files = 0;
  std::size_t bytes = 0;
  for (const FolderEntry& folder : list_folder(".", error)) {
    if (folder.kind != EntryKind::Folder || folder.name.starts_with('.')) continue;
    std::error_code missing;
    read_file_into(folder.name + "/" + folder.name + ".qlml", document, missing);
    if (missing) continue;
    files += 1;
    bytes += document.size();
    for (const std::string& name : csv_names(document)) {
      read_file_into(folder.name + "/" + name, csv, missing);
      files += missing ? 0 : 1;
      bytes += csv.size();
    }
  }
  if (error) {
    std::fprintf(stderr, "cannot list the library: %s\n", error.message().c_str());
    return 1;
  }
  std::printf("%zu files, %zu bytes\n", files, bytes);
  return 0;
}
