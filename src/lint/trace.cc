#include "lint/trace.h"

namespace morvalen {

int run_trace(std::span<const std::string>, std::ostream&, std::ostream& err) {
  err << "qlml trace: not available yet\n";
  return 2;
}

}  // namespace morvalen
