// Fuzzes the command-line parser: NUL-separated arguments in, and checks that every
// outcome is one of the three the program knows, with the screens it promises.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> argv{"morvalen"};
  std::size_t start = 0;
  while (start <= input.size() && argv.size() < 64) {
    const std::size_t end = input.find('\0', start);
    argv.emplace_back(
        input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const morvalen::ParsedCommandLine parsed = morvalen::parse_command_line(argv);
  if (parsed.args) {
    check(parsed.screen.empty() && parsed.exit_status == 0);
    check(parsed.args->scriptify_process.size() % 3 == 0);
  } else if (parsed.exit_status == 2) {
    check(parsed.screen_to_stderr);
    check(parsed.screen.rfind("error: ", 0) == 0);
    check(parsed.screen.ends_with("For more information, try '--help'.\n"));
  } else {
    check(parsed.exit_status == 0 && !parsed.screen_to_stderr);
    check(parsed.screen == morvalen::version_screen() ||
          parsed.screen == morvalen::help_screen("morvalen", false) ||
          parsed.screen == morvalen::help_screen("morvalen", true));
  }
  return 0;
}
