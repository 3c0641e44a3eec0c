#include "model.h"

#include "fatal.h"
#include "text.h"

namespace morvalen {

std::string Requirement::get_method() const {
  switch (method) {
    case VerificationMethod::Demonstration:
      return "Demonstration";
    case VerificationMethod::Inspection:
      return "Inspection";
    case VerificationMethod::Analysis:
      return "Analysis";
    case VerificationMethod::Test:
      return "Test";
    case VerificationMethod::Sampling:
      break;
  }
  return "Sampling";
}

void Table::add_row(std::vector<std::string> cells) {
  if (rows.empty()) {
    rows.push_back(std::move(cells));
    return;
  }
  // The given row becomes the stored one: cells already trimmed (the readers trim as they
  // split) are kept as they are, so a row costs no second round of copies.
  cells.resize(rows.front().size());
  for (std::string& cell : cells) {
    const std::string_view trimmed = trim_view(cell);
    if (trimmed.size() != cell.size()) cell = std::string(trimmed);
  }
  rows.push_back(std::move(cells));
}

std::pair<std::size_t, std::size_t> Table::get_size() const {
  if (rows.empty()) return {0, 0};
  return {rows.size(), rows.front().size()};
}

std::vector<std::string> Table::get_row(std::size_t index) const {
  if (index >= rows.size()) fatal("table reference out of bounds");
  return rows[index];
}

void Step::add_sub_step(SubStep sub_step) { sub_steps.push_back(std::move(sub_step)); }

void Process::set_number(std::string_view text) { number = trim(text); }
void Process::set_title(std::string_view text) { title = trim(text); }
void Process::set_author(std::string_view text) { author = trim(text); }
void Process::set_reviewer(std::string_view text) { reviewer = trim(text); }
void Process::set_subject(std::string_view text) { subject = trim(text); }
void Process::set_subject_image(std::string_view text) { subject_image = trim(text); }
void Process::set_product(std::string_view text) { product = trim(text); }
void Process::set_product_image(std::string_view text) { product_image = trim(text); }
void Process::add_template(std::string_view text) { templates.push_back(trim(text)); }
void Process::add_section(Section section) { sections.push_back(std::move(section)); }

void Process::add_objective(std::string text, std::string label) {
  objectives.push_back({std::move(text), std::move(label)});
}
void Process::add_out_of_scope(std::string text, std::string label) {
  out_of_scope.push_back({std::move(text), std::move(label)});
}
void Process::add_resource(Resource resource, std::string label) {
  resources.push_back({std::move(resource), std::move(label)});
}
void Process::add_verification(Requirement requirement, std::string label) {
  verifications.push_back({std::move(requirement), std::move(label)});
}

const std::string& Process::get_revision() const {
  return revisions.empty() ? number : revisions.front().revision;
}

std::vector<CommandLine> Process::get_all_command_lines() const {
  std::vector<CommandLine> lines;
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const auto& steps = sections[s].steps;
    for (std::size_t t = 0; t < steps.size(); ++t) {
      for (const SubStep& item : steps[t].sub_steps) {
        if (const auto* command = std::get_if<Command>(&item)) {
          lines.push_back({command->text, step_label(static_cast<long long>(s + 1),
                                                     static_cast<long long>(t + 1))});
        }
      }
    }
  }
  return lines;
}

std::string step_label(long long section, long long step) {
  return "Step " + std::to_string(section) + "." + std::to_string(step);
}

void display_process_to_stdout(std::ostream& out, const Process& process) {
  std::size_t tpv = 0;
  std::size_t non_tpv = 0;
  for (const Section& section : process.sections) {
    for (const Step& step : section.steps) {
      for (const SubStep& item : step.sub_steps) {
        if (const auto* sequence = std::get_if<ActionSequence>(&item)) {
          for (const Action& action : sequence->actions) ++(action.tpv ? tpv : non_tpv);
        }
      }
    }
  }
  const std::string rule = "==============================================================\n";
  std::string text = rule + process.title + "\n";
  if (!process.objectives.empty()) {
    text += " ↪ Objectives:\n";
    for (std::size_t i = 0; i < process.objectives.size(); ++i) {
      text += "    " + std::to_string(i + 1) + ". " + process.objectives[i].text + "\n";
    }
  }
  text += " ↪ Document Number:          " + process.number + "\n";
  text += " ↪ Process Type:             " + process.process_type + "\n";
  text += " ↪ Current Revision:         " + process.get_revision() + "\n";
  text += " ↪ Author of this Rev:       " + process.author + "\n";
  text += " ↪ Reviewer of this Rev:     " + process.reviewer + "\n";
  text += " ↪ Subject of process:       " + process.subject + "\n";
  text += " ↪ Image of Subject:         " + process.subject_image + "\n";
  text += " ↪ Product produced:         " + process.product + "\n";
  text += " ↪ Image of Product:         " + process.product_image + "\n";
  text += " ↪ Count of Objectives:      " + std::to_string(process.objectives.size()) + "\n";
  text += " ↪ Count of Out of Scopes:   " + std::to_string(process.out_of_scope.size()) + "\n";
  text += " ↪ Count of Sections:        " + std::to_string(process.sections.size()) + "\n";
  text += " ↪ Count of Resources:       " + std::to_string(process.resources.size()) + "\n";
  text += " ↪ Count of Verifications:   " + std::to_string(process.verifications.size()) + "\n";
  text += " ↪ Count of Templates:       " + std::to_string(process.templates.size()) + "\n";
  text += " ↪ Count of TPV Actions:     " + std::to_string(tpv) + "\n";
  text += " ↪ Count of Non-TPV Actions: " + std::to_string(non_tpv) + "\n";
  text += rule;
  out << text;
}

}  // namespace morvalen
