// qlml_main.cc: the qlml command line in, the exit status out.
#include <iostream>
#include <string>
#include <vector>

#include "fatal.h"
#include "lint/qlml.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  try {
    const int status = morvalen::run_qlml(std::vector<std::string>(argv, argv + argc), std::cin,
                                          std::cout, std::cerr);
    std::cout.flush();
    return status;
  } catch (const morvalen::FatalStop& stop) {
    std::cout.flush();
    std::cerr << stop.message << '\n';
    return 101;
  }
}
