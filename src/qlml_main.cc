// qlml_main.cc: the qlml command line in, the exit status out.
#include <iostream>
#include <string>
#include <vector>

#include "fatal.h"
#include "interrupt.h"
#include "lint/qlml.h"
#include "terminal.h"

int main(int argc, char** argv) {
  morvalen::end_run_cleanly_on_interrupt();
  morvalen::prepare_standard_streams();
  const std::vector<std::string> args = morvalen::program_arguments(argc, argv);
  return morvalen::exit_status_of(
      [&] { return morvalen::run_qlml(args, std::cin, std::cout, std::cerr); }, std::cout,
      std::cerr);
}
