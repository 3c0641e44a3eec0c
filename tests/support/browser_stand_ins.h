// browser_stand_ins.h: programs put first on PATH under a browser's name, to play a
// browser that fails in a given way.
#pragma once
#include <string>

namespace morvalen::testing_support {

// The real browser found on the test's PATH, or "" when none is installed.
std::string real_browser();
// A Perl program that starts `real_browser` with its DevTools pipe relayed through
// itself and kills it (and ends) when the second print is asked for, so the page in
// flight is lost; every later start (a file "{program}.started" marks the first) runs
// the real browser directly.
std::string browser_killed_at_second_print(const std::string& real_browser);
// Writes `content` to `path` as a program (owner may read, write, execute).
void write_stand_in(const std::string& path, const std::string& content);

}  // namespace morvalen::testing_support
