// The menu's summary reader must agree with the full reader on every field it gives and
// on every fatal stop, for documents that exercise the rules where the two could part.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "read_qlml.h"
#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;
using testing_support::ScratchFolder;
using testing_support::source_dir;
using testing_support::write_file;

// The summary's texts as one comparable record.
struct Flat {
  std::vector<std::string> fields;
  std::vector<std::string> objectives, out_of_scope, resources, verifications;
  std::size_t command_lines = 0;
  bool operator==(const Flat&) const = default;
};

void PrintTo(const Flat& flat, std::ostream* out) {
  const auto list = [&](const char* name, const std::vector<std::string>& texts) {
    *out << name << ":";
    for (const std::string& text : texts) *out << " [" << text << "]";
    *out << "\n";
  };
  list("fields", flat.fields);
  list("objectives", flat.objectives);
  list("out of scope", flat.out_of_scope);
  list("resources", flat.resources);
  list("verifications", flat.verifications);
  *out << "commands: " << flat.command_lines;
}

Flat flat(const ProcessSummary& summary) {
  Flat result;
  result.fields = {std::string(summary.number), std::string(summary.revision),
                   std::string(summary.title),  std::string(summary.subject),
                   std::string(summary.author), std::string(summary.reviewer)};
  for (const auto text : summary.objectives) result.objectives.emplace_back(text);
  for (const auto text : summary.out_of_scope) result.out_of_scope.emplace_back(text);
  for (const auto text : summary.resources) result.resources.emplace_back(text);
  for (const VerificationMention& mention : summary.verifications) {
    result.verifications.push_back(std::string(mention.rid) + "/" +
                                   std::to_string(static_cast<int>(mention.method)));
  }
  result.command_lines = summary.command_lines;
  return result;
}

// Both readers over the document at `path`: the summary, or the fatal stop's message.
void expect_same_reading(const std::string& path) {
  std::string full_stop;
  Flat full;
  full_stop = fatal_message_of([&] { full = flat(summarise_process(read_qlml(path))); });
  std::string content;
  ProcessSummary summary;
  Flat lean;
  const std::string lean_stop = fatal_message_of([&] {
    read_qlml_summary(path, content, summary);
    lean = flat(summary);
  });
  EXPECT_EQ(lean_stop, full_stop) << path;
  EXPECT_EQ(lean, full) << path;
}

TEST(ReadQlmlSummary, AgreesWithTheFullReaderOnTheExampleLibrary) {
  namespace fs = std::filesystem;
  std::size_t documents = 0;
  for (const auto& entry : fs::recursive_directory_iterator(source_dir() + "/examples")) {
    if (entry.path().extension() != ".qlml") continue;
    ++documents;
    // CSVFILE names resolve from the process folder, so read from the library root.
    const fs::path previous = fs::current_path();
    fs::current_path(entry.path().parent_path().parent_path());
    const std::string folder = entry.path().parent_path().filename().string();
    expect_same_reading("./" + folder + "/" + entry.path().filename().string());
    fs::current_path(previous);
  }
  EXPECT_GE(documents, 3u);
}

TEST(ReadQlmlSummary, AgreesWhereStepsSectionsAndFieldsAreUnusual) {
  ScratchFolder scratch;
  const std::vector<std::string> documents = {
      // No statements at all, and an empty file.
      "just some prose\n",
      "",
      // Commands outside any step: before a section, after a step that has no section,
      // between a section line and its first step (these belong to the step before).
      "Command | c0\nStep | loose\nCommand | c1\nSection | A\nCommand | c2\nStep | 1\nCommand | c3\n"
      "Section | B\nCommand | c4\nStep | 2\nCommand | c5\nCommand|c6\n",
      "Section | only a section\nCommand | never in a step\n",
      // Repeated header statements (the last wins), revisions (the first is current), a
      // number only (the revision falls back to it), blank fields and odd spacing.
      "Number | one\nNumber |  two  \nTitle|\nAuthor | \xe2\x80\x83 Ann \xe2\x80\x83\nReviewer\n"
      "Revision |  | first\nRevision | B | later\n",
      "Number | N-9\nSubject | s | with | bars\n",
      "Revision |   \nNumber | N\n",
      // Process-level lists anywhere, with the resource and verification field rules.
      "Objective |  keep my blanks \nOut of Scope| x | y\nResource\nResource | | named later\n"
      "Resource |  r1 \nVerification | R1 | text | t\nVerification |  R2 \nVerification | R3 | x | demo\n"
      "Section|S\nStep|T\nObjective | inner\nVerification | R4 | | Inspection\nResource|inner\n",
      // Keywords in other spellings: blanks inside, lower case, beyond ASCII, CRLF, a BOM.
      "\xef\xbb\xbfTi tle | BOM first\r\nprocess TYPE|x\r\nSECTION | s\r\n\xef\xac\x86"
      "ep | ligature\r\n"
      "com mand | cmd\r\nCommand| c \r\n",
      // Statement-like lines that are not statements.
      "// Command | commented\nCommand-1 | no\nCommands | no\nNUMBER2 | no\n,Command | no\n"
      "Section|S\nStep|T\nCSVSTART|t\nCommand | in a table is still a command\nCSVEND\n"
      "CSVSTART|never closed\nCommand | after\nAction | a | b\nCommand | after actions\n",
  };
  for (std::size_t i = 0; i < documents.size(); ++i) {
    const std::string folder = "D" + std::to_string(i);
    write_file(folder + "/" + folder + ".qlml", documents[i]);
    expect_same_reading("./" + folder + "/" + folder + ".qlml");
  }
  expect_same_reading("");
  expect_same_reading("./missing/missing.qlml");
  write_file("bad/bad.qlml", "Title | ok\nTitle | \xc3\x28\n");
  expect_same_reading("./bad/bad.qlml");
}

TEST(ReadQlmlSummary, ChecksTheCsvFilesOfStepsAsTheFullReaderDoes) {
  ScratchFolder scratch;
  write_file("D/good.csv", "a,b\n1,2\n");
  write_file("D/bad.csv", "a\n\xff\n");
  const std::vector<std::string> documents = {
      // Outside every step a CSVFILE is never read, so a missing file is no fault.
      "CSVFILE | missing.csv\nSection | S\nCSVFILE | missing.csv\nStep | loose? no, in S\nCSVFILE | good.csv\n",
      "Section|S\nStep|T\nCSVFILE | good.csv\nCSVFILE|good.csv|again\nStep|U\nCSVFILE | missing.csv\n",
      "Section|S\nStep|T\nCSVFILE | bad.csv\n",
      "Section|S\nStep|T\nCSVFILE | ../good.csv\n",
      "Section|S\nStep|T\nCSVFILE | /etc/hostname\n",
      // The first failing file in document order is the one named.
      "Section|S\nStep|T\nCSVFILE | missing.csv\nSection|S2\nStep|T2\nCSVFILE|bad.csv\n",
      // Both count the line of the statement alike, past a byte-order mark and CRLF ends.
      "\xef\xbb\xbfSection|S\r\nStep|T\r\n\r\n  CSVFILE | missing.csv | caption\r\n",
  };
  for (const std::string& document : documents) {
    write_file("D/D.qlml", document);
    expect_same_reading("./D/D.qlml");
  }
  // The reading above must have met both outcomes, not only one of them.
  std::string content;
  ProcessSummary summary;
  write_file("D/D.qlml", documents[1]);
  EXPECT_EQ(fatal_message_of([&] { read_qlml_summary("./D/D.qlml", content, summary); }),
            "Could not load lines: ./D/D.qlml:6: CSVFILE missing.csv: No such file or directory");
  write_file("D/D.qlml", documents[0]);
  EXPECT_EQ(fatal_message_of([&] { read_qlml_summary("./D/D.qlml", content, summary); }),
            "<no fatal stop>");
}

TEST(ReadQlmlSummary, ReusedBuffersGiveEachDocumentItsOwnSummary) {
  ScratchFolder scratch;
  write_file("A/A.qlml",
             "Number | A-1\nObjective | a\nObjective | b\nSection|S\nStep|T\nCommand|x\n");
  write_file("B/B.qlml", "Title | B only\n");
  std::string content;
  ProcessSummary summary;
  read_qlml_summary("./A/A.qlml", content, summary);
  EXPECT_EQ(summary.objectives.size(), 2u);
  EXPECT_EQ(summary.command_lines, 1u);
  read_qlml_summary("./B/B.qlml", content, summary);
  EXPECT_EQ(flat(summary), flat(summarise_process(read_qlml("./B/B.qlml"))));
  EXPECT_EQ(summary.title, "B only");
  EXPECT_EQ(summary.number, Process{}.number);
  EXPECT_TRUE(summary.objectives.empty());
}

}  // namespace
}  // namespace morvalen
