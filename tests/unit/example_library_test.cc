// The bundled example library is what a new user renders first and what drafts are made
// from; these checks keep it complete and consistent when its documents are edited.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "actions.h"
#include "files.h"
#include "model.h"
#include "names.h"
#include "read_csv.h"
#include "read_qlml.h"
#include "test_support.h"
#include "text.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::copy_example_library;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::source_dir;

std::string library_dir() { return source_dir() + "/examples/library"; }

// The process folder names of the example library, sorted.
std::vector<std::string> example_folders() {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(library_dir(), error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory(error) && name != "assets") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The document path as the actions build it; relative, since CSVFILE names are resolved
// from its first two components. Used inside a LibraryCopy.
std::string document_path(const std::string& folder) {
  return "./" + folder + "/" + folder + ".qlml";
}

// A scratch copy of the example library, made the current folder.
struct LibraryCopy {
  ScratchFolder scratch;
  LibraryCopy() { copy_example_library(scratch.path()); }
};

bool exists_in(const std::string& folder, const std::string& file) {
  std::error_code error;
  return fs::is_regular_file(fs::path(folder) / file, error);
}

// The normalised keyword of a line (the text before its first bar).
std::string keyword_of(std::string_view line) {
  return trim_whitespace_make_uppercase(line.substr(0, line.find('|')));
}

// The third field of a line's value, trimmed and normalised, or "" with fewer fields.
std::string third_field_of(std::string_view line) {
  const std::vector<std::string_view> fields = split(line, '|');
  return fields.size() > 3 ? trim_whitespace_make_uppercase(fields[3]) : "";
}

TEST(ExampleLibrary, HasTheProceduresAndEveryAssetFile) {
  EXPECT_GE(example_folders().size(), 2u);
  const std::string assets = library_dir() + "/assets";
  for (const char* file :
       {"morvalen.css", "favicon.png", "favicon.svg", "placeholderImage-small.png", "QLML.png",
        "html.png", "pdf.png", "QLML-prototype.qlml", "QuickLever.bat"}) {
    EXPECT_TRUE(exists_in(assets, file)) << file;
  }
  for (const char* image :
       {"favicon.png", "placeholderImage-small.png", "QLML.png", "html.png", "pdf.png"}) {
    EXPECT_THAT(read_whole_file(assets + "/" + image), testing::StartsWith("\x89PNG\r\n\x1a\n"))
        << image;
  }
}

TEST(ExampleLibrary, EachDocumentIsCompleteAndFindsItsFiles) {
  LibraryCopy library;
  for (const std::string& folder : example_folders()) {
    SCOPED_TRACE(folder);
    const Process process = read_qlml(document_path(folder));
    const Process fresh;
    // The folder is where drafts, the archive and the menu look for this document.
    EXPECT_EQ(get_process_folder_name(process), "./" + folder);
    EXPECT_THAT(process.number, testing::StartsWith("QL-"));
    EXPECT_NE(process.title, fresh.title);
    EXPECT_NE(process.process_type, fresh.process_type);
    EXPECT_NE(process.author, fresh.author);
    EXPECT_NE(process.reviewer, fresh.reviewer);
    EXPECT_NE(process.subject, fresh.subject);
    EXPECT_GE(process.revisions.size(), 2u);
    EXPECT_GE(process.sections.size(), 2u);

    const std::string here = "./" + folder;
    EXPECT_TRUE(exists_in(here, process.subject_image)) << process.subject_image;
    if (process.product != "N/A") {
      EXPECT_TRUE(exists_in(here, process.product_image)) << process.product_image;
    }
    for (const std::string& stylesheet : process.templates) {
      EXPECT_TRUE(exists_in("./assets", stylesheet)) << stylesheet;
    }
    for (const Section& section : process.sections) {
      EXPECT_FALSE(section.steps.empty()) << section.title;
      for (const Step& step : section.steps) {
        EXPECT_FALSE(step.sub_steps.empty()) << step.title;
        for (const SubStep& sub_step : step.sub_steps) {
          if (const Image* image = std::get_if<Image>(&sub_step)) {
            // The file field keeps the blanks around it; browsers strip them from a src.
            EXPECT_TRUE(exists_in(here, trim(image->file))) << image->file;
          }
          if (const Table* table = std::get_if<Table>(&sub_step)) {
            EXPECT_GE(table->rows.size(), 2u) << table->caption;
            EXPECT_FALSE(table->caption.empty());
          }
        }
      }
    }
  }
}

// A blank line or a comment between Action lines drops the later ones silently; every
// Action line written in the examples must reach an action table.
TEST(ExampleLibrary, NoActionLineIsDropped) {
  LibraryCopy library;
  for (const std::string& folder : example_folders()) {
    SCOPED_TRACE(folder);
    std::size_t written = 0;
    for (const std::string& line : read_lines(document_path(folder))) {
      if (keyword_of(line) == "ACTION") ++written;
    }
    std::size_t read = 0;
    for (const Section& section : read_qlml(document_path(folder)).sections) {
      for (const Step& step : section.steps) {
        for (const SubStep& sub_step : step.sub_steps) {
          if (const ActionSequence* sequence = std::get_if<ActionSequence>(&sub_step))
            read += sequence->actions.size();
        }
      }
    }
    EXPECT_EQ(read, written);
  }
}

TEST(ExampleLibrary, TogetherTheDocumentsUseEveryStatementAndForm) {
  LibraryCopy library;
  std::set<std::string> keywords;
  std::set<std::string> method_forms;
  std::set<std::string> tpv_forms;
  std::set<std::size_t> sub_step_kinds;
  std::set<std::string> methods;
  bool command_with_pipe = false;
  bool action_without_tpv = false;
  bool without_product = false;
  bool with_product = false;
  for (const std::string& folder : example_folders()) {
    for (const std::string& line : read_lines(document_path(folder))) {
      const std::string keyword = keyword_of(line);
      keywords.insert(keyword);
      if (keyword == "VERIFICATION") method_forms.insert(third_field_of(line));
      if (keyword == "ACTION") tpv_forms.insert(third_field_of(line));
    }
    const Process process = read_qlml(document_path(folder));
    (process.product == "N/A" ? without_product : with_product) = true;
    for (const LabelledRequirement& verification : process.verifications) {
      methods.insert(verification.requirement.get_method());
    }
    for (const CommandLine& command : process.get_all_command_lines()) {
      if (command.command.find('|') != std::string::npos) command_with_pipe = true;
    }
    for (const Section& section : process.sections) {
      for (const Step& step : section.steps) {
        for (const SubStep& sub_step : step.sub_steps) {
          sub_step_kinds.insert(sub_step.index());
          if (const ActionSequence* sequence = std::get_if<ActionSequence>(&sub_step)) {
            for (const Action& action : sequence->actions) action_without_tpv |= !action.tpv;
          }
        }
      }
    }
  }
  for (const char* keyword :
       {"TEMPLATE",     "NUMBER",       "TITLE",    "PROCESSTYPE",  "AUTHOR",
        "REVIEWER",     "REVISION",     "SUBJECT",  "SUBJECTIMAGE", "PRODUCT",
        "PRODUCTIMAGE", "SECTION",      "STEP",     "ACTION",       "COMMAND",
        "CONTEXT",      "IMAGE",        "WARNING",  "CSVSTART",     "CSVEND",
        "CSVFILE",      "VERIFICATION", "RESOURCE", "OBJECTIVE",    "OUTOFSCOPE"}) {
    EXPECT_TRUE(keywords.count(keyword)) << keyword;
  }
  for (const char* form : {"D", "DEMO", "DEMONSTRATION", "I", "INSPECTION", "A", "ANALYSIS", "T",
                           "TEST", "S", "SAMPLING"}) {
    EXPECT_TRUE(method_forms.count(form)) << "verification method " << form;
  }
  for (const char* form : {"T", "Y", "TPV", "YES", "TRUE", "TWOPARTYVERIFICATION"}) {
    EXPECT_TRUE(tpv_forms.count(form)) << "two-party verification " << form;
  }
  EXPECT_EQ(methods,
            (std::set<std::string>{"Demonstration", "Inspection", "Analysis", "Test", "Sampling"}));
  EXPECT_EQ(sub_step_kinds.size(), std::variant_size_v<SubStep>);
  EXPECT_TRUE(command_with_pipe);
  EXPECT_TRUE(action_without_tpv);
  EXPECT_TRUE(with_product);
  EXPECT_TRUE(without_product);
}

// The placeholders of the prototype, filled in the order the draft writer uses.
std::string fill_prototype(const std::string& prototype, const Process& row) {
  std::string template_lines = "//Template|Example.css";
  if (!row.templates.empty()) {
    template_lines.clear();
    for (const std::string& stylesheet : row.templates) {
      if (!template_lines.empty()) template_lines += "\n";
      template_lines += "Template|" + stylesheet;
    }
  }
  std::string text = prototype;
  for (const auto& [placeholder, value] :
       std::vector<std::pair<std::string, std::string>>{{"$NUMBER", row.number},
                                                        {"$TITLE", row.title},
                                                        {"$SUBJECT", row.subject},
                                                        {"$PRODUCT", row.product},
                                                        {"$AUTHOR", row.author},
                                                        {"$REVIEWER", row.reviewer},
                                                        {"Template|$TEMPLATE", template_lines}}) {
    text = replace_all(text, placeholder, value);
  }
  return text;
}

TEST(ExampleLibrary, DocumentListRowsMakeDraftsThatRead) {
  LibraryCopy library;
  const auto assets_before = snapshot_tree("assets");
  std::ostringstream out;
  const std::vector<Process> rows = read_csv("DocumentList.csv", false, out);
  // Every template column names a stylesheet the library has, so no stub is written.
  EXPECT_EQ(snapshot_tree("assets"), assets_before);
  ASSERT_GE(rows.size(), 3u);

  const std::string prototype = read_whole_file("assets/QLML-prototype.qlml");
  for (const char* placeholder :
       {"$NUMBER", "$TITLE", "$SUBJECT", "$PRODUCT", "$AUTHOR", "$REVIEWER"}) {
    EXPECT_THAT(prototype, testing::HasSubstr(placeholder));
  }
  EXPECT_THAT(prototype, testing::HasSubstr("\nTemplate|$TEMPLATE\n"));

  const std::vector<std::string> existing = example_folders();
  std::size_t already_there = 0;
  bool row_without_templates = false;
  for (const Process& row : rows) {
    SCOPED_TRACE(row.number);
    const std::string folder = get_process_folder_name(row).substr(2);
    if (std::find(existing.begin(), existing.end(), folder) != existing.end()) ++already_there;
    row_without_templates |= row.templates.empty();

    const Process draft =
        read_qlml_lines(split_lines(fill_prototype(prototype, row)), "./x/x.qlml");
    EXPECT_EQ(draft.number, row.number);
    EXPECT_EQ(draft.title, row.title);
    EXPECT_EQ(draft.subject, row.subject);
    EXPECT_EQ(draft.author, row.author);
    EXPECT_EQ(draft.reviewer, row.reviewer);
    EXPECT_EQ(draft.templates, row.templates);
    EXPECT_GE(draft.sections.size(), 2u);
    EXPECT_EQ(draft.revisions.size(), 1u);
  }
  // One row names an example that exists, to show that a draft is never written over it.
  EXPECT_EQ(already_there, 1u);
  EXPECT_TRUE(row_without_templates);
}

}  // namespace
}  // namespace morvalen
