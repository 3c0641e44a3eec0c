#include "write_qlml.h"

#include <string_view>

namespace morvalen {
namespace {

constexpr std::string_view kReplacedInTitles = "/\\:*?\"<>|#%&+{}";

std::string replace_characters(std::string_view text, std::string_view replaced) {
  std::string result(text);
  for (char& c : result) {
    if (replaced.find(c) != std::string_view::npos) c = '_';
  }
  return result;
}

}  // namespace

std::string get_process_folder_name(const Process& process) {
  // A separator in the number would place the folder somewhere else than the library root.
  return "./" + replace_characters(process.number, "/\\") + " - " +
         replace_characters(process.title, kReplacedInTitles);
}

}  // namespace morvalen
