// The names the program builds, and the archive folder names it parses back.
#include "names.h"

#include <gtest/gtest.h>

namespace morvalen {
namespace {

Process named(std::string number, std::string title) {
  Process process;
  process.number = std::move(number);
  process.title = std::move(title);
  return process;
}

TEST(Names, ProcessFolderNames) {
  struct Case {
    std::string number, title, expected;
  };
  const Case cases[] = {
      {"QL-WI-0010", "Pump Start/Stop", "./QL-WI-0010 - Pump Start_Stop"},
      {"N", "/\\:*?\"<>|#%&+{}", "./N - _______________"},
      {"N", "Caf\u00e9 r\u00e9glage v1.2  (final)", "./N - Caf\u00e9 r\u00e9glage v1.2  (final)"},
      {"QL/WI\\7", "T", "./QL_WI_7 - T"},   // separators in the number stay inside the root
      {"QL:WI*?#", "T", "./QL:WI*?# - T"},  // everything else in the number is kept
  };
  for (const Case& c : cases)
    EXPECT_EQ(get_process_folder_name(named(c.number, c.title)), c.expected) << c.title;
  EXPECT_EQ(get_process_folder_name(Process{}),
            "./NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT - NO TITLE IN QLML FILE");
}

TEST(Names, NamesWindowsWouldNotKeep) {
  struct Case {
    std::string_view name;
    std::optional<std::string> problem;
  };
  const Case cases[] = {
      {"QL-1 - Pump.", "ends in a dot or a blank"},
      {"QL-1 - Pump ", "ends in a dot or a blank"},
      {"con", "is the reserved device name CON"},
      {"Nul.txt", "is the reserved device name NUL"},
      {"COM1 .x", "is the reserved device name COM1"},
      {"lpt9", "is the reserved device name LPT9"},
      {"COM0", std::nullopt},
      {"CONSOLE", std::nullopt},
      {"QL-1 - CON", std::nullopt},
      {"QL-1 - Pump.v2", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(windows_name_problem(c.name), c.problem) << c.name;
}

TEST(Names, DocumentPath) { EXPECT_EQ(document_path("QL-1 - A"), "./QL-1 - A/QL-1 - A.qlml"); }

TEST(Names, PathsInProcessFolders) {
  EXPECT_EQ(process_file_path("QL-1 - A", ".sh"), "./QL-1 - A/QL-1 - A.sh");
  EXPECT_EQ(folder_file_path("./QL-1 - A", ".html"), "./QL-1 - A/./QL-1 - A.html");
  EXPECT_EQ(batch_file_copy_path("./QL-1 - A"), "./QL-1 - A/QuickLever.bat");
  EXPECT_EQ(stub_stylesheet_path("Dark.css"), "./assets/Dark.css");
  EXPECT_EQ(previous_folder("./QL-1 - A"), "./QL-1 - A/previous");
  struct Case {
    std::string document, page, folder;
  };
  const Case cases[] = {{"./A/A.qlml", "./A/A.html", "./A"},
                        {"./A.qlml x/A.qlml x", "./A.qlml x/A.qlml x.html", "./A.qlml x"},
                        {"A.qlml", "A.html", "."}};
  for (const Case& c : cases) {
    EXPECT_EQ(replace_qlml_extension(c.document, ".html"), c.page) << c.document;
    EXPECT_EQ(folder_of_document(c.document), c.folder) << c.document;
  }
}

TEST(Names, TimestampsHaveFixedWidths) {
  using namespace std::chrono;
  const struct {
    sys_seconds time;
    std::string_view expected;
  } cases[] = {
      {sys_days{2025y / 3 / 7} + 14h + 5min + 9s, "UTC-2025-03-07-T14-05-09"},
      {sys_days{1970y / 1 / 1}, "UTC-1970-01-01-T00-00-00"},
      {sys_days{2024y / 12 / 31} + 23h + 59min + 59s, "UTC-2024-12-31-T23-59-59"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_archive_timestamp(c.time), c.expected) << c.expected;
}

TEST(Names, FolderNamesKeepSeparatorsOutOfTheRevision) {
  const struct {
    std::string_view revision, expected;
  } cases[] = {
      {"B", "Rev_B_UTC-X"},         {"1/2", "Rev_1_2_UTC-X"},
      {"a\\b", "Rev_a_b_UTC-X"},    {"../../x", "Rev_.._.._x_UTC-X"},
      {"[1]*?", "Rev_[1]*?_UTC-X"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(archive_folder_name(c.revision, "UTC-X"), c.expected) << c.revision;
}

TEST(Names, RevisionsAreTakenFromArchiveNames) {
  const struct {
    std::string_view name;
    std::optional<std::string> revision;
  } cases[] = {
      {"Rev_A_UTC-2024-05-01-T10-00-00", "A"},
      {"Rev__UTC-2024-05-01-T10-00-00", ""},
      {"Rev_[1]_UTC-2024-05-01-T10-00-00", "[1]"},
      {"Rev_A_UTC-B_UTC-2024-05-01-T10-00-00", "A_UTC-B"},  // the revision ends at the timestamp
      {"Rev_UTC-2024-05-01-T10-00-00", std::nullopt},       // no revision can be taken
      {"Rev_A_UTC-2024-05-01", std::nullopt},
      {"assets", std::nullopt},
      {"rev_A_UTC-2024-05-01-T10-00-00", std::nullopt},
      {"Rev_A_UTC-1-2-3-T4-5-6", "A"},
  };
  for (const auto& c : cases) EXPECT_EQ(revision_of_archive_name(c.name), c.revision) << c.name;
}

}  // namespace
}  // namespace morvalen
