// main.cc: the command line in, the exit status out.
#include <iostream>
#include <string>
#include <vector>

#include "driver.h"
#include "fatal.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv, argv + argc);
  return morvalen::exit_status_of(
      [&] { return morvalen::run_morvalen(args, std::cout, std::cerr); }, std::cout, std::cerr);
}
