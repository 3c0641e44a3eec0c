#include "archive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "names.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::write_file;

Process named(std::string number, std::string title, std::vector<std::string> revisions = {}) {
  Process process;
  process.number = std::move(number);
  process.title = std::move(title);
  for (std::string& revision : revisions)
    process.revisions.push_back({std::move(revision), "change"});
  return process;
}

// The names of the archive folders in `previous`.
std::vector<std::string> archive_names(const std::string& previous) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(previous, error)) {
    const std::string name = entry.path().filename().string();
    if (name != "assets") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Archive, CopiesFilesButNotSubfoldersAndAssetsInFull) {
  ScratchFolder scratch;
  write_file("assets/morvalen.css", "css");
  write_file("assets/icons/deep/pdf.png", "png");
  const std::string folder = "./QL-WI-0010 - Alpha";
  write_file(folder + "/QL-WI-0010 - Alpha.qlml", "qlml");
  write_file(folder + "/QL-WI-0010 - Alpha.html", "html");
  write_file(folder + "/images/pump.png", "image");
  std::ostringstream out;
  archive_single_process(named("QL-WI-0010", "Alpha"), folder, false, out, out);

  EXPECT_EQ(out.str(), "");  // silent without verbose
  const std::vector<std::string> archives = archive_names(folder + "/previous");
  ASSERT_EQ(archives.size(), 1u);
  // Without a Revision line the archive is named after the number.
  EXPECT_THAT(archives[0], testing::StartsWith("Rev_QL-WI-0010_UTC-"));
  EXPECT_EQ(archives[0].size(), std::string_view("Rev_QL-WI-0010_UTC-2025-03-07-T14-05-09").size());
  EXPECT_TRUE(is_archive_folder_name(archives[0])) << archives[0];
  const auto archive = snapshot_tree(folder + "/previous/" + archives[0]);
  EXPECT_EQ(archive, (std::map<std::string, std::string>{{"QL-WI-0010 - Alpha.qlml", "qlml"},
                                                         {"QL-WI-0010 - Alpha.html", "html"}}));
  EXPECT_EQ(snapshot_tree(folder + "/previous/assets"),
            (std::map<std::string, std::string>{{"morvalen.css", "css"},
                                                {"icons/", ""},
                                                {"icons/deep/", ""},
                                                {"icons/deep/pdf.png", "png"}}));
}

TEST(Archive, VerboseNamesRevisionTimestampAndFolder) {
  ScratchFolder scratch;
  write_file("QL-1 - T/QL-1 - T.qlml", "qlml");
  std::ostringstream out;
  archive_single_process(named("QL-1", "T", {"B", "A"}), "./QL-1 - T", true, out, out);
  const std::vector<std::string> archives = archive_names("./QL-1 - T/previous");
  ASSERT_EQ(archives.size(), 1u);
  const std::string timestamp = archives[0].substr(std::string("Rev_B_").size());
  EXPECT_EQ(out.str(), "Revision: B\nSystemTime::now() ...ish: " + timestamp +
                           "\nTrying to create this folder: \"./QL-1 - T/previous/" + archives[0] +
                           "\"\n");
}

TEST(Archive, SameSecondReusesTheArchiveFolderAndOverwrites) {
  ScratchFolder scratch;
  write_file("N - T/N - T.qlml", "new");
  // The archiving will pick one of these two names; both hold an older copy beforehand.
  const auto now = std::chrono::system_clock::now();
  const std::string names[] = {
      archive_folder_name("N", format_archive_timestamp(now)),
      archive_folder_name("N", format_archive_timestamp(now + std::chrono::seconds(1)))};
  for (const std::string& name : names) {
    write_file("N - T/previous/" + name + "/N - T.qlml", "old");
    write_file("N - T/previous/" + name + "/kept.txt", "kept");
  }
  std::ostringstream out;
  archive_single_process(named("N", "T"), "./N - T", false, out, out);
  const std::string first = read_whole_file("N - T/previous/" + names[0] + "/N - T.qlml");
  const std::string second = read_whole_file("N - T/previous/" + names[1] + "/N - T.qlml");
  EXPECT_TRUE((first == "new") != (second == "new")) << first << " / " << second;
  EXPECT_EQ(archive_names("N - T/previous").size(), 2u);
  EXPECT_EQ(read_whole_file("N - T/previous/" + names[0] + "/kept.txt"), "kept");
}

TEST(Archive, SeparatorsInTheRevisionStayInsidePrevious) {
  ScratchFolder scratch;
  write_file("N - T/N - T.qlml", "qlml");
  for (const std::string revision : {"1/2", "../../../escape", "a\\b"}) {
    std::ostringstream out;
    archive_single_process(named("N", "T", {revision}), "./N - T", false, out, out);
  }
  const std::vector<std::string> archives = archive_names("N - T/previous");
  ASSERT_EQ(archives.size(), 3u);
  EXPECT_THAT(archives[0], testing::StartsWith("Rev_.._.._.._escape_UTC-"));
  EXPECT_THAT(archives[1], testing::StartsWith("Rev_1_2_UTC-"));
  EXPECT_THAT(archives[2], testing::StartsWith("Rev_a_b_UTC-"));
  for (const std::string& archive : archives) {
    EXPECT_EQ(read_whole_file("N - T/previous/" + archive + "/N - T.qlml"), "qlml") << archive;
    EXPECT_EQ(revision_of_archive_name(archive).has_value(), true) << archive;
  }
  EXPECT_FALSE(fs::exists("escape"));
  EXPECT_EQ(snapshot_tree(".").count("N - T/previous/Rev_1/"), 0u);
}

TEST(Archive, RenamedDocumentIsArchivedWhereItWasRead) {
  ScratchFolder scratch;
  write_file("QL-1 - Old/QL-1 - Old.qlml", "qlml");
  const Process renamed = named("QL-2", "New");
  std::ostringstream err;
  const std::string folder = process_folder_of(renamed, "./QL-1 - Old/QL-1 - Old.qlml", err);
  EXPECT_EQ(folder, "./QL-1 - Old");
  EXPECT_EQ(
      err.str(),
      "warning: ./QL-1 - Old/QL-1 - Old.qlml names the process folder \"./QL-2 - New\" but lies in "
      "\"./QL-1 - Old\"; archiving in \"./QL-1 - Old\"\n");
  std::ostringstream out;
  archive_single_process(renamed, folder, false, out, out);
  EXPECT_FALSE(fs::exists("QL-2 - New"));
  const std::vector<std::string> archives = archive_names("QL-1 - Old/previous");
  ASSERT_EQ(archives.size(), 1u);
  EXPECT_EQ(read_whole_file("QL-1 - Old/previous/" + archives[0] + "/QL-1 - Old.qlml"), "qlml");

  std::ostringstream quiet;
  EXPECT_EQ(process_folder_of(named("QL-1", "Old"), "./QL-1 - Old/QL-1 - Old.qlml", quiet),
            "./QL-1 - Old");
  EXPECT_EQ(quiet.str(), "");
}

TEST(Archive, CopyDirAllOverwritesKeepsExtrasAndReportsFailures) {
  ScratchFolder scratch;
  write_file("src/a.txt", "new a");
  write_file("src/sub/b.txt", "b");
  write_file("dst/a.txt", "old a");
  write_file("dst/extra.txt", "extra");
  EXPECT_FALSE(copy_dir_all("src", "dst/"));
  EXPECT_EQ(snapshot_tree("dst"),
            (std::map<std::string, std::string>{
                {"a.txt", "new a"}, {"extra.txt", "extra"}, {"sub/", ""}, {"sub/b.txt", "b"}}));
  EXPECT_TRUE(copy_dir_all("missing", "out"));      // source cannot be listed
  EXPECT_TRUE(copy_dir_all("src", "src/a.txt/x"));  // destination cannot be created
}

TEST(Cleanup, PlansKeepTheLatestArchivePerRevision) {
  const std::string a2024 = "Rev_A_UTC-2024-05-01-T10-00-00";
  const std::string a2025 = "Rev_A_UTC-2025-01-01-T09-00-00";
  const std::string b2024 = "Rev_B_UTC-2024-06-01-T08-00-00";
  const std::string ab2023 = "Rev_AB_UTC-2023-01-01-T00-00-00";
  const std::string ab2026 = "Rev_AB_UTC-2026-01-01-T00-00-00";
  const std::string one_old = "Rev_1_UTC-2024-01-01-T00-00-00";
  const std::string one_new = "Rev_1_UTC-2025-01-01-T00-00-00";
  const std::string bracket = "Rev_[1]_UTC-2023-01-01-T00-00-00";
  const std::string star = "Rev_*_UTC-2023-01-01-T00-00-00";
  const std::string question = "Rev_?_UTC-2023-01-01-T00-00-00";
  const struct {
    std::string label;
    std::vector<std::string> names;
    std::vector<RevisionCleanup> expected;
  } cases[] = {
      {"A/A/B", {b2024, a2025, "assets", a2024}, {{"A", {a2024}, a2025}, {"B", {}, b2024}}},
      {"single", {a2024}, {{"A", {}, a2024}}},
      {"A and AB apart",
       {ab2026, a2025, ab2023, a2024},
       {{"AB", {ab2023}, ab2026}, {"A", {a2024}, a2025}}},
      {"glob characters are literal",
       {one_new, bracket, one_old, star, question},
       {{"*", {}, star}, {"1", {one_old}, one_new}, {"?", {}, question}, {"[1]", {}, bracket}}},
      {"no archives", {"assets", "notes", "Rev_UTC-2024-05-01-T10-00-00", "Rev_A_UTC-x"}, {}},
  };
  for (const auto& c : cases) {
    const CleanupPlan plan = plan_cleanup(c.names);
    std::vector<std::string> revisions;
    for (const RevisionCleanup& expected : c.expected) revisions.push_back(expected.revision);
    EXPECT_EQ(plan.revisions, revisions) << c.label;
    ASSERT_EQ(plan.per_revision.size(), c.expected.size()) << c.label;
    for (std::size_t k = 0; k < c.expected.size(); ++k) {
      EXPECT_EQ(plan.per_revision[k].revision, c.expected[k].revision) << c.label;
      EXPECT_EQ(plan.per_revision[k].to_delete, c.expected[k].to_delete) << c.label;
      EXPECT_EQ(plan.per_revision[k].to_keep, c.expected[k].to_keep) << c.label;
    }
  }
}

TEST(Cleanup, ListsThenDeletesOnlyOlderArchives) {
  ScratchFolder scratch;
  const std::string previous = "QL-1 - T/previous/";
  for (const std::string name : {"Rev_A_UTC-2024-05-01-T10-00-00", "Rev_A_UTC-2025-01-01-T09-00-00",
                                 "Rev_B_UTC-2024-06-01-T08-00-00"}) {
    write_file(previous + name + "/doc.pdf", "pdf");
  }
  write_file(previous + "assets/morvalen.css", "css");
  write_file(previous + "notes/Rev_A_UTC-2000-01-01-T00-00-00/x",
             "x");  // deeper: not an archive of this folder
  write_file(previous + "Rev_C_UTC-2020-01-01-T00-00-00", "a file, not a folder");
  write_file(previous + "Rev_C_UTC-2021-01-01-T00-00-00/doc.pdf", "pdf");
  std::ostringstream out;
  cleanup_process_folder("QL-1 - T", out);
  EXPECT_EQ(out.str(),
            "For this process, these are all the revisions: [\"A\", \"B\", \"C\"]\n"
            "\nHere are all of the archive folders for Rev A:\n"
            "      Rev_A_UTC-2024-05-01-T10-00-00 \x1b[93mDELETE\x1b[0m\n"
            "   💾 Rev_A_UTC-2025-01-01-T09-00-00 💾  << only one to be saved...\n"
            "\nHere are all of the archive folders for Rev B:\n"
            "   💾 Rev_B_UTC-2024-06-01-T08-00-00 💾  << only one to be saved...\n"
            "\nHere are all of the archive folders for Rev C:\n"
            "      Rev_C_UTC-2020-01-01-T00-00-00 \x1b[93mDELETE\x1b[0m\n"
            "   💾 Rev_C_UTC-2021-01-01-T00-00-00 💾  << only one to be saved...\n"
            "Attempting to delete Rev_A_UTC-2024-05-01-T10-00-00 ... \n"
            "Attempting to delete Rev_C_UTC-2020-01-01-T00-00-00 ... \n");
  EXPECT_EQ(snapshot_tree(previous), (std::map<std::string, std::string>{
                                         {"Rev_A_UTC-2025-01-01-T09-00-00/", ""},
                                         {"Rev_A_UTC-2025-01-01-T09-00-00/doc.pdf", "pdf"},
                                         {"Rev_B_UTC-2024-06-01-T08-00-00/", ""},
                                         {"Rev_B_UTC-2024-06-01-T08-00-00/doc.pdf", "pdf"},
                                         {"Rev_C_UTC-2020-01-01-T00-00-00", "a file, not a folder"},
                                         {"Rev_C_UTC-2021-01-01-T00-00-00/", ""},
                                         {"Rev_C_UTC-2021-01-01-T00-00-00/doc.pdf", "pdf"},
                                         {"assets/", ""},
                                         {"assets/morvalen.css", "css"},
                                         {"notes/", ""},
                                         {"notes/Rev_A_UTC-2000-01-01-T00-00-00/", ""},
                                         {"notes/Rev_A_UTC-2000-01-01-T00-00-00/x", "x"}}));
}

TEST(Cleanup, FoldersWithoutArchivesAndBracketedTitles) {
  ScratchFolder scratch;
  write_file("QL-1 - T[1]/previous/Rev_A_UTC-2024-01-01-T00-00-00/x", "x");
  write_file("QL-1 - T[1]/previous/Rev_A_UTC-2025-01-01-T00-00-00/x", "x");
  // The folder a glob "T[1]" would match instead: it must not be touched.
  write_file("QL-1 - T1/previous/Rev_A_UTC-2020-01-01-T00-00-00/x", "x");
  write_file("QL-1 - T1/previous/Rev_A_UTC-2021-01-01-T00-00-00/x", "x");
  write_file("QL-2 - Empty/QL-2 - Empty.qlml", "");
  const auto untouched = snapshot_tree("QL-1 - T1");
  std::ostringstream out;
  cleanup_process_folder("QL-1 - T[1]", out);
  EXPECT_THAT(out.str(),
              testing::HasSubstr("Attempting to delete Rev_A_UTC-2024-01-01-T00-00-00 ... \n"));
  EXPECT_FALSE(fs::exists("QL-1 - T[1]/previous/Rev_A_UTC-2024-01-01-T00-00-00"));
  EXPECT_TRUE(fs::exists("QL-1 - T[1]/previous/Rev_A_UTC-2025-01-01-T00-00-00/x"));
  EXPECT_EQ(snapshot_tree("QL-1 - T1"), untouched);

  std::ostringstream empty;
  cleanup_process_folder("QL-2 - Empty", empty);
  cleanup_process_folder("QL-3 - Missing", empty);
  EXPECT_EQ(empty.str(),
            "For this process, these are all the revisions: []\n"
            "For this process, these are all the revisions: []\n");
}

}  // namespace
}  // namespace morvalen
