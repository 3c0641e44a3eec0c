#include "read_qlml.h"

#include <array>
#include <utility>

#include "fatal.h"
#include "files.h"
#include "text.h"

namespace morvalen {
namespace {

constexpr std::size_t kLongestKeyword = 12;  // VERIFICATION, SUBJECTIMAGE, PRODUCTIMAGE

constexpr std::array<std::pair<std::string_view, Keyword>, 25> kKeywords = {{
    {"TEMPLATE", Keyword::Template},
    {"NUMBER", Keyword::Number},
    {"TITLE", Keyword::Title},
    {"PROCESSTYPE", Keyword::ProcessType},
    {"AUTHOR", Keyword::Author},
    {"REVIEWER", Keyword::Reviewer},
    {"REVISION", Keyword::Revision},
    {"SUBJECT", Keyword::Subject},
    {"SUBJECTIMAGE", Keyword::SubjectImage},
    {"PRODUCT", Keyword::Product},
    {"PRODUCTIMAGE", Keyword::ProductImage},
    {"SECTION", Keyword::Section},
    {"STEP", Keyword::Step},
    {"ACTION", Keyword::Action},
    {"COMMAND", Keyword::Command},
    {"CONTEXT", Keyword::Context},
    {"IMAGE", Keyword::Image},
    {"WARNING", Keyword::Warning},
    {"CSVSTART", Keyword::CsvStart},
    {"CSVEND", Keyword::CsvEnd},
    {"CSVFILE", Keyword::CsvFile},
    {"VERIFICATION", Keyword::Verification},
    {"RESOURCE", Keyword::Resource},
    {"OBJECTIVE", Keyword::Objective},
    {"OUTOFSCOPE", Keyword::OutOfScope},
}};

constexpr std::string_view kPlaceholderImage = "../assets/placeholderImage-small.png";

bool is_ascii_white(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view value_of(std::string_view line) {
  const std::size_t bar = line.find('|');
  return bar == std::string_view::npos ? std::string_view{} : line.substr(bar + 1);
}

std::vector<std::string> split_cells(std::string_view line) {
  std::vector<std::string> cells;
  for (const std::string_view cell : split(line, ',')) cells.emplace_back(cell);
  return cells;
}

// The scans read every line's keyword several times (document pass, section scan, step
// scan, embedded tables), so each line is classified once up front and the scans walk the
// lines and their keywords side by side. Scans take views of the rest of the document,
// never copies, which keeps reading linear in the document's size.
struct ClassifiedLines {
  std::span<const std::string> text;
  std::span<const Keyword> keywords;

  std::size_t size() const { return text.size(); }
  ClassifiedLines from(std::size_t index) const {
    return {text.subspan(index), keywords.subspan(index)};
  }
};

std::vector<Keyword> classify_all(std::span<const std::string> lines) {
  std::vector<Keyword> keywords;
  keywords.reserve(lines.size());
  for (const std::string& line : lines) keywords.push_back(classify_line(line));
  return keywords;
}

Table embedded_table(ClassifiedLines lines) {
  Table table;
  if (lines.size() == 0) return table;
  const std::string_view first = lines.text[0];
  if (first.find('|') != std::string_view::npos) {
    const std::string_view rest = value_of(first);
    table.caption = trim(rest.substr(0, rest.find('|')));
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines.keywords[i] == Keyword::CsvEnd) break;
    table.add_row(split_cells(lines.text[i]));
  }
  return table;
}

Step scan_step(ClassifiedLines lines, const std::string& document_path) {
  Step step;
  // A run of Action lines starts a table only after some other content item; an embedded
  // table opens only after the previous one was closed.
  bool actions_may_start = true;
  bool tables_may_start = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view value = value_of(lines.text[i]);
    switch (lines.keywords[i]) {
      case Keyword::Step:
        if (i > 0) return step;
        step.title = std::string(value);
        break;
      case Keyword::Action: {
        if (!actions_may_start) break;
        ActionSequence sequence;
        std::size_t j = i;
        for (; j < lines.size() && lines.keywords[j] == Keyword::Action; ++j) {
          sequence.actions.push_back(parse_action_line(value_of(lines.text[j])));
        }
        step.add_sub_step(std::move(sequence));
        actions_may_start = false;
        // The rest of the run adds nothing while the switch is off.
        i = j - 1;
        break;
      }
      case Keyword::Command:
        step.add_sub_step(Command{std::string(value)});
        actions_may_start = true;
        break;
      case Keyword::Context:
        step.add_sub_step(Context{std::string(value)});
        actions_may_start = true;
        break;
      case Keyword::Warning:
        step.add_sub_step(Warning{std::string(value)});
        actions_may_start = true;
        break;
      case Keyword::Objective:
        step.add_sub_step(Objective{std::string(value)});
        actions_may_start = true;
        break;
      case Keyword::OutOfScope:
        step.add_sub_step(OutOfScope{std::string(value)});
        actions_may_start = true;
        break;
      case Keyword::Image:
        step.add_sub_step(parse_image_line(value));
        actions_may_start = true;
        break;
      case Keyword::Verification:
        step.add_sub_step(Verification{parse_verification_line(value)});
        actions_may_start = true;
        break;
      case Keyword::Resource: {
        Resource resource = parse_resource_line(value);
        step.resources.push_back(resource);
        step.add_sub_step(std::move(resource));
        actions_may_start = true;
        break;
      }
      case Keyword::CsvStart:
        if (tables_may_start) step.add_sub_step(embedded_table(lines.from(i)));
        tables_may_start = false;
        break;
      case Keyword::CsvEnd:
        tables_may_start = true;
        break;
      case Keyword::CsvFile:
        step.add_sub_step(extract_external_csv(value, document_path));
        break;
      default:
        break;
    }
  }
  return step;
}

Section scan_section(ClassifiedLines lines, const std::string& document_path) {
  Section section;
  bool seen_section_line = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Keyword keyword = lines.keywords[i];
    if (keyword == Keyword::Section) {
      if (seen_section_line) break;
      section.title = std::string(value_of(lines.text[i]));
      seen_section_line = true;
    } else if (keyword == Keyword::Step) {
      section.steps.push_back(scan_step(lines.from(i), document_path));
    }
  }
  return section;
}

[[noreturn]] void csv_name_refused(const std::string& document_path, std::string_view name,
                                   std::string_view reason) {
  fatal("Could not load lines: " + document_path + ": CSVFILE " + quote_debug(name) + " " +
        std::string(reason));
}

}  // namespace

Statement split_statement(std::string_view line) {
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return {trim_whitespace_make_uppercase(line), {}};
  return {trim_whitespace_make_uppercase(line.substr(0, bar)), line.substr(bar + 1)};
}

Keyword keyword_of(std::string_view normalised) {
  for (const auto& [text, keyword] : kKeywords) {
    if (text == normalised) return keyword;
  }
  return Keyword::None;
}

Keyword classify_line(std::string_view line) {
  const std::string_view part = line.substr(0, line.find('|'));
  std::array<char, kLongestKeyword> buffer{};
  std::size_t length = 0;
  for (const char c : part) {
    const auto byte = static_cast<unsigned char>(c);
    // Beyond ASCII, white space and case mapping need the full Unicode rules ("ﬆep" is a
    // Step line).
    if (byte >= 0x80) return keyword_of(trim_whitespace_make_uppercase(part));
    if (is_ascii_white(byte)) continue;
    // Upper-casing never shortens text, so more letters than the longest keyword can
    // never become one.
    if (length == kLongestKeyword) return Keyword::None;
    buffer[length++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return keyword_of(std::string_view(buffer.data(), length));
}

RevisionEntry parse_revision_line(std::string_view value) {
  const std::vector<std::string_view> fields = split(value, '|');
  const std::string_view revision = fields[0].empty() ? "[No Rev]" : fields[0];
  const std::string_view description = fields.size() > 1 && !fields[1].empty()
                                            ? fields[1]
                                            : "[No description provided by Author]";
  return {trim(revision), trim(description)};
}

Image parse_image_line(std::string_view value) {
  const std::vector<std::string_view> fields = split(value, '|');
  Image image;
  image.file = std::string(fields[0].empty() ? kPlaceholderImage : fields[0]);
  if (fields.size() > 1 && !fields[1].empty()) {
    image.text = std::string(fields[1]);
  } else {
    image.text = image.file;
  }
  return image;
}

Action parse_action_line(std::string_view value) {
  const std::vector<std::string_view> fields = split(value, '|');
  Action action;
  action.action = std::string(fields[0]);
  if (fields.size() == 1) {
    action.expected = "ERROR: NO EXPECTED VALUE PROVIDED";
    return action;
  }
  action.expected = std::string(fields[1]);
  if (fields.size() > 2) {
    const std::string mark = trim_whitespace_make_uppercase(fields[2]);
    action.tpv = mark == "T" || mark == "Y" || mark == "TPV" || mark == "YES" ||
                 mark == "TRUE" || mark == "TWOPARTYVERIFICATION";
  }
  return action;
}

Requirement parse_verification_line(std::string_view value) {
  const std::vector<std::string_view> fields = split(value, '|');
  Requirement requirement;
  requirement.rid = trim(fields[0]);
  requirement.text = fields.size() > 1 ? trim(fields[1]) : "???";
  requirement.method = which_method(fields.size() > 2 ? trim_view(fields[2]) : "???");
  return requirement;
}

VerificationMethod which_method(std::string_view text) {
  const std::string word = trim_whitespace_make_uppercase(text);
  if (word == "D" || word == "DEMO" || word == "DEMONSTRATION") {
    return VerificationMethod::Demonstration;
  }
  if (word == "I" || word == "INSPECTION") return VerificationMethod::Inspection;
  if (word == "A" || word == "ANALYSIS") return VerificationMethod::Analysis;
  if (word == "T" || word == "TEST") return VerificationMethod::Test;
  return VerificationMethod::Sampling;
}

Resource parse_resource_line(std::string_view value) {
  const std::size_t bar = value.find('|');
  if (value.empty() || bar == 0) return {"ERROR: NO RESOURCE IDENTIFIED"};
  return {std::string(value)};
}

Table extract_embedded_csv(std::span<const std::string> lines) {
  const std::vector<Keyword> keywords = classify_all(lines);
  return embedded_table({lines, keywords});
}

Table extract_external_csv(std::string_view value, const std::string& document_path) {
  const std::vector<std::string_view> fields = split(value, '|');
  const std::string name = trim(fields[0]);
  // A document must not make the program read files of other folders (a library copied
  // from elsewhere could name any file of the machine).
  if (!name.empty() && name.front() == '/') {
    csv_name_refused(document_path, name, "is an absolute path outside the process folder");
  }
  for (const std::string_view component : split(name, '/')) {
    if (component == "..") {
      csv_name_refused(document_path, name, "leads outside the process folder");
    }
  }
  const std::vector<std::string_view> components = split(document_path, '/');
  if (components.size() < 2) {
    csv_name_refused(document_path, name, "cannot be found: the document path has no folder");
  }
  const std::string csv_path =
      std::string(components[0]) + "/" + std::string(components[1]) + "/" + name;
  Table table;
  for (std::vector<std::string>& row : open_csv_file_and_return_data_array(csv_path)) {
    table.add_row(std::move(row));
  }
  if (fields.size() > 1) table.caption = trim(fields[1]);
  return table;
}

std::vector<std::vector<std::string>> open_csv_file_and_return_data_array(
    const std::string& path) {
  if (path.empty()) return {};
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : read_lines(path)) {
    std::vector<std::string> cells;
    for (const std::string_view cell : split(line, ',')) cells.push_back(trim(cell));
    rows.push_back(std::move(cells));
  }
  return rows;
}

Section extract_next_section(std::span<const std::string> lines,
                             const std::string& document_path) {
  const std::vector<Keyword> keywords = classify_all(lines);
  return scan_section({lines, keywords}, document_path);
}

Process read_qlml(const std::string& document_path) {
  if (document_path.empty()) return Process{};
  return read_qlml_lines(read_lines(document_path), document_path);
}

Process read_qlml_lines(const std::vector<std::string>& lines,
                        const std::string& document_path) {
  const std::vector<Keyword> keywords = classify_all(lines);
  const ClassifiedLines all{lines, keywords};
  Process process;
  long long section_counter = 0;
  long long step_counter = 0;
  // Comment lines need no test of their own: their keyword part begins with "//" and so
  // names no keyword.
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view value = value_of(lines[i]);
    switch (keywords[i]) {
      case Keyword::Step: ++step_counter; break;
      case Keyword::Title: process.set_title(value); break;
      case Keyword::Number: process.set_number(value); break;
      case Keyword::Author: process.set_author(value); break;
      case Keyword::Reviewer: process.set_reviewer(value); break;
      case Keyword::ProcessType: process.process_type = trim(value); break;
      case Keyword::Subject: process.set_subject(value); break;
      case Keyword::SubjectImage: process.set_subject_image(value); break;
      case Keyword::Product: process.set_product(value); break;
      case Keyword::ProductImage: process.set_product_image(value); break;
      case Keyword::Template: process.add_template(value); break;
      case Keyword::Revision: process.revisions.push_back(parse_revision_line(value)); break;
      case Keyword::Section:
        process.add_section(scan_section(all.from(i), document_path));
        ++section_counter;
        step_counter = 0;
        break;
      case Keyword::Resource:
        process.add_resource(parse_resource_line(value), step_label(section_counter, step_counter));
        break;
      case Keyword::Objective:
        process.add_objective(std::string(value), step_label(section_counter, step_counter));
        break;
      case Keyword::OutOfScope:
        process.add_out_of_scope(std::string(value), step_label(section_counter, step_counter));
        break;
      case Keyword::Verification:
        process.add_verification(parse_verification_line(value),
                                 step_label(section_counter, step_counter));
        break;
      default: break;
    }
  }
  return process;
}

}  // namespace morvalen
