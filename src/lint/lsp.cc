#include "lint/lsp.h"

namespace morvalen {

int run_lsp(std::span<const std::string>, std::istream&, std::ostream&, std::ostream& err) {
  err << "qlml lsp: not available yet\n";
  return 2;
}

}  // namespace morvalen
