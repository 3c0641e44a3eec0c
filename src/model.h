// model.h: the document model. A Process owns everything it holds, by value.
#pragma once
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace morvalen {

enum class VerificationMethod { Demonstration, Inspection, Analysis, Test, Sampling };

struct Requirement {
  std::string rid;
  std::string text;
  VerificationMethod method = VerificationMethod::Sampling;
  // "Demonstration", "Inspection", "Analysis", "Test" or "Sampling".
  std::string get_method() const;
};

struct Resource {
  std::string name;
};

struct Action {
  std::string action;
  std::string expected;
  bool tpv = false;
};

struct Table {
  std::string caption;
  std::vector<std::vector<std::string>> rows;  // rows[0] is the header row
  // The first row is kept as given; every later row gets exactly as many cells as the
  // header row, each trimmed, missing ones empty, extra ones dropped.
  void add_row(std::vector<std::string> cells);
  // (number of rows, cells of the header row), or (0, 0) without rows.
  std::pair<std::size_t, std::size_t> get_size() const;
  // A copy of row `index`; fatal stop "table reference out of bounds" past the last row.
  std::vector<std::string> get_row(std::size_t index) const;
};

// The content items of a step, one record per kind, in this order.
struct Objective {
  std::string text;
};
struct OutOfScope {
  std::string text;
};
struct ActionSequence {
  std::vector<Action> actions;
};
struct Command {
  std::string text;
};
struct Image {
  std::string file;
  std::string text;
};
struct Warning {
  std::string text;
};
struct Verification {
  Requirement requirement;
};
struct Context {
  std::string text;
};
using SubStep = std::variant<Objective, OutOfScope, ActionSequence, Command, Image, Warning,
                             Verification, Resource, Context, Table>;

struct Step {
  std::string title;
  std::vector<Resource> resources;
  std::vector<SubStep> sub_steps;
  void add_sub_step(SubStep sub_step);
};

struct Section {
  std::string title;
  std::vector<Step> steps;
};

// A text of the process-level lists with the step label ("Step 2.3") it was met in.
struct RevisionEntry {
  std::string revision;
  std::string description;
};
struct LabelledText {
  std::string text;
  std::string label;
};
struct LabelledResource {
  Resource resource;
  std::string label;
};
struct LabelledRequirement {
  Requirement requirement;
  std::string label;
};
// One Command line with the label of its step, as get_all_command_lines gives them.
struct CommandLine {
  std::string command;
  std::string label;
};

inline constexpr std::string_view kNoProcessType = "NO PROCESS TYPE IDENTIFIED IN QLML FILE";

// Process{} is a fresh Process with every placeholder text set and every list empty.
struct Process {
  std::string number = "NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT";
  std::vector<RevisionEntry> revisions;  // first entry: the current revision
  std::string title = "NO TITLE IN QLML FILE";
  std::string process_type = std::string(kNoProcessType);
  std::string author = "NO AUTHOR IN QLML FILE";
  std::string reviewer = "NO REVIEWER IN QLML FILE";
  std::string subject = "NO SUBJECT IN QLML FILE";
  std::string subject_image = "DEFAULT-PLACEHOLDER-IMAGE.png";
  std::string product = "N/A";
  std::string product_image = "N/A";
  std::vector<LabelledText> objectives;
  std::vector<LabelledText> out_of_scope;
  std::vector<Section> sections;
  std::vector<LabelledResource> resources;
  std::vector<LabelledRequirement> verifications;
  std::vector<std::string> templates;

  // The setters store the text trimmed of Unicode white space; the last call wins.
  void set_number(std::string_view text);
  void set_title(std::string_view text);
  void set_author(std::string_view text);
  void set_reviewer(std::string_view text);
  void set_subject(std::string_view text);
  void set_subject_image(std::string_view text);
  void set_product(std::string_view text);
  void set_product_image(std::string_view text);
  // Appends the trimmed file name.
  void add_template(std::string_view text);
  void add_section(Section section);
  void add_objective(std::string text, std::string label);
  void add_out_of_scope(std::string text, std::string label);
  void add_resource(Resource resource, std::string label);
  void add_verification(Requirement requirement, std::string label);

  // The revision of the first Revision line, or `number` without any.
  const std::string& get_revision() const;
  // Every Command item in document order, labelled by 1-based section and step positions.
  std::vector<CommandLine> get_all_command_lines() const;
};

// "Step {section}.{step}".
std::string step_label(long long section, long long step);
// The console summary of `process`, 21 lines or more, framed by rows of '='.
void display_process_to_stdout(std::ostream& out, const Process& process);

}  // namespace morvalen
