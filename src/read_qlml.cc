#include "read_qlml.h"

#include <array>
#include <functional>
#include <map>
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

using KeywordEntry = std::pair<std::string_view, Keyword>;

// kKeywords grouped by length: entry n lists the keywords of n characters.
constexpr std::array<std::array<KeywordEntry, 7>, kLongestKeyword + 2> kKeywordsByLength = [] {
  std::array<std::array<KeywordEntry, 7>, kLongestKeyword + 2> table{};
  std::array<std::size_t, kLongestKeyword + 2> used{};
  for (const KeywordEntry& entry : kKeywords) {
    const std::size_t length = entry.first.size();
    table[length][used[length]++] = entry;
  }
  for (std::size_t length = 0; length < table.size(); ++length) {
    for (std::size_t i = used[length]; i < table[length].size(); ++i) {
      table[length][i] = {std::string_view{}, Keyword::None};
    }
  }
  return table;
}();

constexpr std::string_view kPlaceholderImage = "../assets/placeholderImage-small.png";

bool is_ascii_white(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view value_of(std::string_view line) {
  const std::size_t bar = line.find('|');
  return bar == std::string_view::npos ? std::string_view{} : line.substr(bar + 1);
}

// The first `N` fields of a value split at every bar, and how many fields it has in all.
// The field rules run for many lines of a document; this split allocates nothing.
template <std::size_t N>
struct Fields {
  std::array<std::string_view, N> field{};
  std::size_t count = 0;
};

template <std::size_t N>
Fields<N> first_fields(std::string_view value) {
  Fields<N> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t bar = value.find('|', start);
    const std::size_t end = bar == std::string_view::npos ? value.size() : bar;
    if (fields.count < N) fields.field[fields.count] = value.substr(start, end - start);
    ++fields.count;
    if (bar == std::string_view::npos) return fields;
    start = bar + 1;
  }
}

// The cells of one CSV row. Rows after the header are stored trimmed, so they are trimmed
// here already and add_row can keep the texts instead of copying them again.
std::vector<std::string> split_cells(std::string_view line, bool trimmed) {
  std::vector<std::string> cells;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
    const std::string_view cell = line.substr(start, end - start);
    cells.emplace_back(trimmed ? trim_view(cell) : cell);
    if (comma == std::string_view::npos) return cells;
    start = comma + 1;
  }
}

// The scans read every line's keyword several times (document pass, section scan, step
// scan, embedded tables), so each line is classified once up front and the scans walk the
// lines and their keywords side by side. Scans take views of the rest of the document,
// never copies, which keeps reading linear in the document's size.
struct ClassifiedLines {
  std::span<const std::string_view> text;
  std::span<const Keyword> keywords;

  std::size_t size() const { return text.size(); }
  ClassifiedLines from(std::size_t index) const {
    return {text.subspan(index), keywords.subspan(index)};
  }
};

std::vector<Keyword> classify_all(std::span<const std::string_view> lines) {
  std::vector<Keyword> keywords;
  keywords.reserve(lines.size());
  for (const std::string_view line : lines) keywords.push_back(classify_line(line));
  return keywords;
}

std::vector<std::string_view> views_of(std::span<const std::string> lines) {
  return std::vector<std::string_view>(lines.begin(), lines.end());
}

using CsvRows = std::vector<std::vector<std::string>>;

// What one read of a document carries through its scans: the document path for CSVFILE
// names, and the CSV files read so far. A document may show the same table file in many
// steps; each file is read once per document (the reader writes nothing meanwhile).
struct DocumentContext {
  const std::string& document_path;
  std::map<std::string, CsvRows, std::less<>> csv_files;
};

// The path of the CSV file a CSVFILE value names, inside the document's process folder.
std::string csv_path_of(std::string_view name, const std::string& document_path);

Table external_table(std::string_view value, DocumentContext& context) {
  const Fields<2> fields = first_fields<2>(value);
  const std::string path = csv_path_of(trim_view(fields.field[0]), context.document_path);
  auto cached = context.csv_files.find(path);
  if (cached == context.csv_files.end()) {
    cached = context.csv_files.emplace(path, open_csv_file_and_return_data_array(path)).first;
  }
  Table table;
  table.rows.reserve(cached->second.size());
  for (const std::vector<std::string>& row : cached->second) table.add_row(row);
  if (fields.count > 1) table.caption = trim(fields.field[1]);
  return table;
}

Table embedded_table(ClassifiedLines lines) {
  Table table;
  if (lines.size() == 0) return table;
  const std::string_view first = lines.text[0];
  if (first.find('|') != std::string_view::npos) {
    const std::string_view rest = value_of(first);
    table.caption = trim(rest.substr(0, rest.find('|')));
  }
  std::size_t end = 1;
  while (end < lines.size() && lines.keywords[end] != Keyword::CsvEnd) ++end;
  table.rows.reserve(end - 1);
  for (std::size_t i = 1; i < end; ++i) {
    table.add_row(split_cells(lines.text[i], !table.rows.empty()));
  }
  return table;
}

// An upper bound of the content items of the step that begins at lines[0], so its item
// list is allocated once.
std::size_t count_content_lines(ClassifiedLines lines) {
  std::size_t count = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    switch (lines.keywords[i]) {
      case Keyword::Step: return count;
      case Keyword::Action: case Keyword::Command: case Keyword::Context: case Keyword::Warning:
      case Keyword::Objective: case Keyword::OutOfScope: case Keyword::Image:
      case Keyword::Verification: case Keyword::Resource: case Keyword::CsvStart:
      case Keyword::CsvFile:
        ++count;
        break;
      default: break;
    }
  }
  return count;
}

Step scan_step(ClassifiedLines lines, DocumentContext& context) {
  Step step;
  // A run of Action lines starts a table only after some other content item; an embedded
  // table opens only after the previous one was closed.
  bool actions_may_start = true;
  bool tables_may_start = true;
  step.sub_steps.reserve(count_content_lines(lines));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Keyword keyword = lines.keywords[i];
    if (keyword == Keyword::None) continue;
    const std::string_view value = value_of(lines.text[i]);
    switch (keyword) {
      case Keyword::Step:
        if (i > 0) return step;
        step.title = std::string(value);
        break;
      case Keyword::Action: {
        if (!actions_may_start) break;
        std::size_t j = i;
        while (j < lines.size() && lines.keywords[j] == Keyword::Action) ++j;
        ActionSequence sequence;
        sequence.actions.reserve(j - i);
        for (std::size_t k = i; k < j; ++k) {
          sequence.actions.push_back(parse_action_line(value_of(lines.text[k])));
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
        step.add_sub_step(external_table(value, context));
        break;
      default:
        break;
    }
  }
  return step;
}

Section scan_section(ClassifiedLines lines, DocumentContext& context) {
  Section section;
  std::size_t step_lines = 0;
  for (std::size_t i = 1; i < lines.size() && lines.keywords[i] != Keyword::Section; ++i) {
    if (lines.keywords[i] == Keyword::Step) ++step_lines;
  }
  section.steps.reserve(step_lines);
  bool seen_section_line = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Keyword keyword = lines.keywords[i];
    if (keyword == Keyword::Section) {
      if (seen_section_line) break;
      section.title = std::string(value_of(lines.text[i]));
      seen_section_line = true;
    } else if (keyword == Keyword::Step) {
      section.steps.push_back(scan_step(lines.from(i), context));
    }
  }
  return section;
}

Process read_document(std::span<const std::string_view> lines, const std::string& document_path);

[[noreturn]] void csv_name_refused(const std::string& document_path, std::string_view name,
                                   std::string_view reason) {
  fatal("Could not load lines: " + document_path + ": CSVFILE " + quote_debug(name) + " " +
        std::string(reason));
}

std::string csv_path_of(std::string_view name, const std::string& document_path) {
  // A document must not make the program read files of other folders (a library copied
  // from elsewhere could name any file of the machine).
  if (!name.empty() && name.front() == '/') {
    csv_name_refused(document_path, name, "is an absolute path outside the process folder");
  }
  for (const std::string_view component : split(name, '/')) {
    if (component == "..") csv_name_refused(document_path, name, "leads outside the process folder");
  }
  const std::size_t first = document_path.find('/');
  if (first == std::string::npos) {
    csv_name_refused(document_path, name, "cannot be found: the document path has no folder");
  }
  const std::size_t second = document_path.find('/', first + 1);
  return document_path.substr(0, second) + "/" + std::string(name);
}

}  // namespace

Statement split_statement(std::string_view line) {
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return {trim_whitespace_make_uppercase(line), {}};
  return {trim_whitespace_make_uppercase(line.substr(0, bar)), line.substr(bar + 1)};
}

Keyword keyword_of(std::string_view normalised) {
  // Every line is classified; comparing only the keywords of the same length keeps that
  // cheap.
  for (const auto& [text, keyword] : kKeywordsByLength[std::min(normalised.size(), kLongestKeyword + 1)]) {
    if (text == normalised) return keyword;
  }
  return Keyword::None;
}

Keyword classify_line(std::string_view line) {
  std::array<char, kLongestKeyword> buffer{};
  std::size_t length = 0;
  for (const char c : line) {
    if (c == '|') break;
    const auto byte = static_cast<unsigned char>(c);
    // Beyond ASCII, white space and case mapping need the full Unicode rules ("ﬆep" is a
    // Step line).
    if (byte >= 0x80) return keyword_of(trim_whitespace_make_uppercase(line.substr(0, line.find('|'))));
    if (is_ascii_white(byte)) continue;
    // Upper-casing never shortens text, so more letters than the longest keyword can
    // never become one.
    if (length == kLongestKeyword) return Keyword::None;
    buffer[length++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return keyword_of(std::string_view(buffer.data(), length));
}

RevisionEntry parse_revision_line(std::string_view value) {
  const Fields<2> fields = first_fields<2>(value);
  const std::string_view revision = fields.field[0].empty() ? "[No Rev]" : fields.field[0];
  const std::string_view description = fields.count > 1 && !fields.field[1].empty()
                                            ? fields.field[1]
                                            : "[No description provided by Author]";
  return {trim(revision), trim(description)};
}

Image parse_image_line(std::string_view value) {
  const Fields<2> fields = first_fields<2>(value);
  Image image;
  image.file = std::string(fields.field[0].empty() ? kPlaceholderImage : fields.field[0]);
  if (fields.count > 1 && !fields.field[1].empty()) {
    image.text = std::string(fields.field[1]);
  } else {
    image.text = image.file;
  }
  return image;
}

Action parse_action_line(std::string_view value) {
  const Fields<3> fields = first_fields<3>(value);
  Action action;
  action.action = std::string(fields.field[0]);
  if (fields.count == 1) {
    action.expected = "ERROR: NO EXPECTED VALUE PROVIDED";
    return action;
  }
  action.expected = std::string(fields.field[1]);
  if (fields.count > 2) {
    const std::string mark = trim_whitespace_make_uppercase(fields.field[2]);
    action.tpv = mark == "T" || mark == "Y" || mark == "TPV" || mark == "YES" ||
                 mark == "TRUE" || mark == "TWOPARTYVERIFICATION";
  }
  return action;
}

Requirement parse_verification_line(std::string_view value) {
  const Fields<3> fields = first_fields<3>(value);
  Requirement requirement;
  requirement.rid = trim(fields.field[0]);
  requirement.text = fields.count > 1 ? trim(fields.field[1]) : "???";
  requirement.method = which_method(fields.count > 2 ? trim_view(fields.field[2]) : "???");
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
  const std::vector<std::string_view> views = views_of(lines);
  const std::vector<Keyword> keywords = classify_all(views);
  return embedded_table({views, keywords});
}

Table extract_external_csv(std::string_view value, const std::string& document_path) {
  DocumentContext context{document_path, {}};
  return external_table(value, context);
}

std::vector<std::vector<std::string>> open_csv_file_and_return_data_array(
    const std::string& path) {
  if (path.empty()) return {};
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : read_lines(path)) rows.push_back(split_cells(line, true));
  return rows;
}

Section extract_next_section(std::span<const std::string> lines,
                             const std::string& document_path) {
  const std::vector<std::string_view> views = views_of(lines);
  const std::vector<Keyword> keywords = classify_all(views);
  DocumentContext context{document_path, {}};
  return scan_section({views, keywords}, context);
}

Process read_qlml(const std::string& document_path) {
  if (document_path.empty()) return Process{};
  // The model copies what it keeps, so the lines can stay views into the file's text.
  const std::string content = read_text_file(document_path);
  return read_document(split_line_views(content), document_path);
}

Process read_qlml_lines(const std::vector<std::string>& lines,
                        const std::string& document_path) {
  return read_document(views_of(lines), document_path);
}

namespace {

Process read_document(std::span<const std::string_view> lines, const std::string& document_path) {
  const std::vector<Keyword> keywords = classify_all(lines);
  const ClassifiedLines all{lines, keywords};
  DocumentContext context{document_path, {}};
  Process process;
  // The lists grow to known sizes; allocating them once spares the copies of regrowth.
  std::array<std::size_t, kKeywords.size() + 1> counts{};
  for (const Keyword keyword : keywords) ++counts[static_cast<std::size_t>(keyword)];
  const auto count_of = [&](Keyword keyword) { return counts[static_cast<std::size_t>(keyword)]; };
  process.sections.reserve(count_of(Keyword::Section));
  process.objectives.reserve(count_of(Keyword::Objective));
  process.out_of_scope.reserve(count_of(Keyword::OutOfScope));
  process.resources.reserve(count_of(Keyword::Resource));
  process.verifications.reserve(count_of(Keyword::Verification));
  process.revisions.reserve(count_of(Keyword::Revision));
  long long section_counter = 0;
  long long step_counter = 0;
  // Comment lines need no test of their own: their keyword part begins with "//" and so
  // names no keyword.
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (keywords[i] == Keyword::None) continue;
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
        process.add_section(scan_section(all.from(i), context));
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

}  // namespace

}  // namespace morvalen
