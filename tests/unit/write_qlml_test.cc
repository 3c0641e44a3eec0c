#include "write_qlml.h"

#include <gtest/gtest.h>

namespace morvalen {
namespace {

Process named(std::string number, std::string title) {
  Process process;
  process.number = std::move(number);
  process.title = std::move(title);
  return process;
}

TEST(WriteQlml, ProcessFolderNames) {
  struct Case {
    std::string number, title, expected;
  };
  const Case cases[] = {
      {"QL-WI-0010", "Pump Start/Stop", "./QL-WI-0010 - Pump Start_Stop"},
      {"N", "/\\:*?\"<>|#%&+{}", "./N - _______________"},
      {"N", "Caf\u00e9 r\u00e9glage v1.2  (final)", "./N - Caf\u00e9 r\u00e9glage v1.2  (final)"},
      {"QL/WI\\7", "T", "./QL_WI_7 - T"},     // separators in the number stay inside the root
      {"QL:WI*?#", "T", "./QL:WI*?# - T"},    // everything else in the number is kept
  };
  for (const Case& c : cases) EXPECT_EQ(get_process_folder_name(named(c.number, c.title)), c.expected) << c.title;
  EXPECT_EQ(get_process_folder_name(Process{}),
            "./NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT - NO TITLE IN QLML FILE");
}

}  // namespace
}  // namespace morvalen
