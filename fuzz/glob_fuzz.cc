// Fuzzes the wildcard matcher: a pattern and a name separated by the first NUL byte.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_check.h"
#include "glob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view pattern = input.substr(0, nul);
  const std::string_view name =
      nul == std::string_view::npos ? std::string_view{} : input.substr(nul + 1);
  const bool valid = !morvalen::glob_pattern_error(pattern).has_value();
  const bool matched = morvalen::match_component(pattern, name);
  // Within one component (patterns are split at "/" before matching).
  if (!valid && pattern.find('/') == std::string_view::npos) check(!matched);
  if (pattern.find_first_of("*?[") == std::string_view::npos) check(matched == (pattern == name));
  // Escaping makes any name a pattern that matches exactly that name.
  if (name.find('/') == std::string_view::npos) {
    const std::string escaped = morvalen::escape_glob(name);
    check(!morvalen::glob_pattern_error(escaped).has_value());
    check(morvalen::match_component(escaped, name));
    if (name != pattern && pattern.find('/') == std::string_view::npos) {
      check(!morvalen::match_component(escaped, pattern));
    }
  }
  if (valid && name.find('/') == std::string_view::npos && !name.empty()) {
    check(morvalen::match_component("*", name));
  }
  return 0;
}
