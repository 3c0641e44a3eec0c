// check.cc: the document and library checks of qlml check, over the reader's own record of
// each line (trace_qlml_lines).
#include "lint/check.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>

#include "actions.h"
#include "fatal.h"
#include "files.h"
#include "names.h"
#include "read_qlml.h"
#include "text.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;

std::string_view written(Keyword keyword) {
  for (const KeywordSpelling& spelling : keyword_spellings()) {
    if (spelling.keyword == keyword) return spelling.written;
  }
  return "";
}

// The 1-based column of byte `offset` of `line`, counted in characters.
int column_of(std::string_view line, std::size_t offset) {
  int column = 1;
  for (std::size_t i = 0; i < offset && i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++column;
  }
  return column;
}

// Whether `text` is nothing but white space, as trim_view judges; most texts are settled by
// their first character that is not ASCII white space.
bool is_blank(std::string_view text) {
  // Values are mostly written after one blank: " Pressure rises".
  const auto written = [](char c) { return c > ' ' && static_cast<unsigned char>(c) < 0x80; };
  if (!text.empty() &&
      (written(text[0]) || (text.size() > 1 && text[0] == ' ' && written(text[1])))) {
    return false;
  }
  const std::size_t first = skip_ascii_white(text);
  if (first == text.size()) return true;
  if (static_cast<unsigned char>(text[first]) < 0x80) return false;
  return trim_view(text).empty();
}

// Whether `text` is `literal`, compared with the length known when compiling (no call).
template <std::size_t N>
bool is_literal(std::string_view text, const char (&literal)[N]) {
  return text.size() == N - 1 && std::memcmp(text.data(), literal, N - 1) == 0;
}

// Whether an upper-cased Action mark without white space is one that the reader takes
// for a two-party verification (`yes`) or for none (`no`, an empty field included).
bool is_tpv_mark(std::string_view mark, bool yes) {
  if (yes) {
    return is_literal(mark, "T") || is_literal(mark, "Y") || is_literal(mark, "TPV") ||
           is_literal(mark, "YES") || is_literal(mark, "TRUE") ||
           is_literal(mark, "TWOPARTYVERIFICATION");
  }
  return mark.empty() || is_literal(mark, "N") || is_literal(mark, "NO") || is_literal(mark, "F") ||
         is_literal(mark, "FALSE") || is_literal(mark, "NONE");
}

std::size_t leading_blanks(std::string_view line) {
  return static_cast<std::size_t>(trim_view(line).data() - line.data());
}

// Whether `text` begins with "//" (comments are looked for on every line).
bool begins_comment(std::string_view text) {
  return text.size() >= 2 && text[0] == '/' && text[1] == '/';
}

bool is_comment(std::string_view line) {
  // Most lines begin, after their blanks, with an ASCII character, which settles it.
  const std::size_t first = skip_ascii_white(line);
  if (first < line.size() && static_cast<unsigned char>(line[first]) < 0x80) {
    return begins_comment(line.substr(first));
  }
  return begins_comment(trim_view(line));
}

// The fields of a value split at every bar, with the byte offset of each in the line: the
// first four (no statement reads more than three) and how many there are in all.
struct Field {
  std::string_view text;
  std::size_t offset;
};
// Only the first `count` (at most four) fields are set: a split runs for most statement
// lines, and clearing the rest first would cost as much as the split itself.
struct Fields {
  std::array<Field, 4> first;
  std::size_t count = 0;
  std::size_t size() const { return count; }
  const Field& operator[](std::size_t index) const { return first[index]; }
};
Fields fields_of(std::string_view line) {
  // The first five bars bound the first four fields. Every statement line of a document
  // is split here, so the bars of sixteen bytes are found at once.
  std::array<std::size_t, 5> bar{};
  std::size_t bars = 0;
  const auto note = [&](std::size_t at) {
    if (bars < bar.size()) bar[bars] = at;
    ++bars;
  };
  const auto note_bars_of_sixteen = [&](std::size_t from, unsigned skipped) {
    unsigned found = byte_mask16(line.data() + from, '|') & ~((1u << skipped) - 1);
    for (; found != 0; found &= found - 1) {
      note(from + static_cast<std::size_t>(std::countr_zero(found)));
    }
  };
  std::size_t i = 0;
  for (; i + 16 <= line.size(); i += 16) note_bars_of_sixteen(i, 0);
  // The rest of a line of sixteen bytes or more: its last sixteen, without those seen.
  if (i < line.size() && i >= 16) {
    note_bars_of_sixteen(line.size() - 16, static_cast<unsigned>(i - (line.size() - 16)));
    i = line.size();
  }
  for (; i < line.size(); ++i) {
    if (line[i] == '|') note(i);
  }
  Fields fields;
  if (bars == 0) {
    fields.first[0] = {std::string_view{}, line.size()};
    fields.count = 1;
    return fields;
  }
  fields.count = bars;
  for (std::size_t k = 0; k < std::min(bars, fields.first.size()); ++k) {
    const std::size_t start = bar[k] + 1;
    const std::size_t end = k + 1 < bars ? bar[k + 1] : line.size();
    fields.first[k] = {line.substr(start, end - start), start};
  }
  return fields;
}

// The position of the first "<" or "&" of `text` from `from` on, or its size. Most commands
// hold neither, which sixteen bytes at a time tell.
std::size_t next_markup_sign(std::string_view text, std::size_t from) {
  std::size_t i = from;
  for (; i + 16 <= text.size(); i += 16) {
    const unsigned found = byte_mask16(text.data() + i, '<') | byte_mask16(text.data() + i, '&');
    if (found != 0) return i + static_cast<std::size_t>(std::countr_zero(found));
  }
  while (i < text.size() && text[i] != '<' && text[i] != '&') ++i;
  return i;
}

// The commas of a table row, and whether it holds a double quote, sixteen bytes at a time.
struct RowMarks {
  std::size_t commas = 0;
  bool quote = false;
};
RowMarks row_marks(std::string_view row) {
  RowMarks marks;
  std::size_t i = 0;
  for (; i + 16 <= row.size(); i += 16) {
    marks.commas += static_cast<std::size_t>(std::popcount(byte_mask16(row.data() + i, ',')));
    marks.quote = marks.quote || byte_mask16(row.data() + i, '"') != 0;
  }
  for (; i < row.size(); ++i) {
    marks.commas += row[i] == ',' ? 1 : 0;
    marks.quote = marks.quote || row[i] == '"';
  }
  return marks;
}

std::string_view value_of(std::string_view line) {
  const std::size_t bar = line.find('|');
  return bar == std::string_view::npos ? std::string_view{} : line.substr(bar + 1);
}

// "an Action", "a Step".
std::string with_article(std::string_view word) {
  const bool vowel =
      !word.empty() && std::string_view("AEIOU").find(word.front()) != std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(word);
}

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The optimal string alignment distance of two short texts.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// Whether check_fields has rules for lines of `keyword`.
bool has_field_rules(Keyword keyword) {
  constexpr std::uint32_t kWithRules =
      1u << static_cast<unsigned>(Keyword::Action) |
      1u << static_cast<unsigned>(Keyword::Verification) |
      1u << static_cast<unsigned>(Keyword::Resource) |
      1u << static_cast<unsigned>(Keyword::Revision) | 1u << static_cast<unsigned>(Keyword::Image) |
      1u << static_cast<unsigned>(Keyword::CsvStart) |
      1u << static_cast<unsigned>(Keyword::CsvFile) | 1u << static_cast<unsigned>(Keyword::Command);
  return ((kWithRules >> static_cast<unsigned>(keyword)) & 1u) != 0;
}

// What the documents of one library share: its assets folder, whose stylesheets are
// looked up once for all of them, and the lists a document's lines and keywords are cut
// into, whose storage the next document reuses.
struct LibraryLookups {
  std::map<std::string, bool, std::less<>> stylesheets;
  std::vector<std::string_view> lines;
  std::vector<Keyword> keywords;
};

// Builds the findings of one document.
class DocumentChecker {
 public:
  // `lookups`: shared with the other documents of the library, whose process folders
  // stand beside this one's.
  DocumentChecker(std::string document_path, std::span<const std::string_view> lines,
                  const DocumentTrace& trace, LibraryLookups& lookups)
      : file_(std::move(document_path)), lines_(lines), trace_(trace), lookups_(lookups) {
    const std::size_t slash = file_.rfind('/');
    folder_prefix_ = slash == std::string::npos ? std::string("./") : file_.substr(0, slash + 1);
  }

  std::vector<Finding> take() { return std::move(findings_); }

  void check_lines();
  void check_header();
  // `folders`: the library's process folders in byte order (scan_library_folders_in);
  // `folder_name`: the name of the document's folder. After check_header.
  void check_library(const std::vector<std::string>& folders, std::string_view folder_name);

 private:
  Place line_place(std::size_t index, std::size_t from, std::size_t to) const {
    const std::string_view line = lines_[index];
    const int number = static_cast<int>(index + 1);
    return {file_, number, column_of(line, from), number,
            column_of(line, std::min(to, line.size()))};
  }
  // The line without its blanks at either end.
  Place statement_place(std::size_t index) const {
    const std::string_view line = lines_[index];
    const std::string_view trimmed = trim_view(line);
    const std::size_t from = static_cast<std::size_t>(trimmed.data() - line.data());
    return line_place(index, from, from + trimmed.size());
  }
  Place field_place(std::size_t index, const Field& field) const {
    return line_place(index, field.offset, field.offset + field.text.size());
  }
  Finding& add(std::string code, Place place, std::string message) {
    const Rule* rule = find_rule(code);
    Finding& finding = findings_.emplace_back();
    finding.place = std::move(place);
    finding.severity = rule->severity;
    finding.code = std::move(code);
    finding.message = std::move(message);
    return findings_.back();
  }
  void relate(Finding& finding, std::size_t index, std::string message) {
    finding.related.push_back({statement_place(index), std::move(message)});
  }
  std::string line_kind(std::size_t index) const;

  void check_ignored(std::size_t index);
  void check_misplaced(std::size_t index, std::uint32_t section_line);
  void check_outside(std::size_t index);
  void check_fields(std::size_t index);
  void check_table(std::size_t index);
  void check_row(std::size_t index, std::size_t heading_cells);
  // `field`: the line's first field, the file name.
  void check_csv_file(std::size_t index, const Field& field);
  void check_image(std::size_t index, const Field& field, std::string_view statement);
  void check_template(std::size_t index);

  std::string file_;
  std::string folder_prefix_;  // the folder and a slash, to which file names are appended
  std::span<const std::string_view> lines_;
  const DocumentTrace& trace_;
  LibraryLookups& lookups_;
  // Whether the process folder holds `name`; each name is looked up once per document.
  bool file_exists(std::string_view name) {
    // Documents name the same image step after step.
    if (last_exists_ != exists_.end() && last_exists_->first == name) return last_exists_->second;
    const auto known = exists_.find(name);
    if (known != exists_.end()) {
      last_exists_ = known;
      return known->second;
    }
    const bool exists = path_exists(folder_prefix_ + std::string(name));
    last_exists_ = exists_.emplace(std::string(name), exists).first;
    return exists;
  }

  std::vector<Finding> findings_;
  std::size_t heading_cells_ = 0;
  // The last Title and Number lines, from 1 (0: none), as check_header finds them.
  std::size_t title_line_ = 0;
  std::size_t number_line_ = 0;
  std::map<std::string, bool, std::less<>> exists_;
  std::map<std::string, bool, std::less<>>::const_iterator last_exists_ = exists_.end();
  // The CSV files read so far: why one cannot be read, and whether its heading row is empty.
  struct CsvFile {
    std::optional<std::string> problem;
    bool empty_heading = false;
  };
  std::map<std::string, CsvFile, std::less<>> csv_files_;
};

std::string DocumentChecker::line_kind(std::size_t index) const {
  const std::string_view line = lines_[index];
  const std::string number = std::to_string(index + 1);
  if (trim_view(line).empty()) return "the blank line " + number;
  if (is_comment(line)) return "the comment on line " + number;
  const Keyword keyword = trace_.lines[index].keyword;
  if (keyword == Keyword::None) return "line " + number + ", which is no statement,";
  return "the " + std::string(written(keyword)) + " line " + number;
}

void DocumentChecker::check_ignored(std::size_t index) {
  const std::string_view line = lines_[index];
  if (is_blank(line) || is_comment(line)) return;
  const std::size_t bar = std::min(line.find('|'), line.size());
  const std::string_view part = trim_view(line.substr(0, bar));
  const std::size_t from = leading_blanks(line);
  const Place place = line_place(index, from, from + part.size());
  std::string bare = trim_whitespace_make_uppercase(part);
  std::erase_if(bare, [](char c) { return c == '-' || c == '_' || c == ':'; });
  const Keyword meant = bare.empty() ? Keyword::None : keyword_of(bare);
  if (meant != Keyword::None) {
    add("QL002", place,
        "this line is ignored: " + in_quotes(part) +
            " is no keyword, since \"-\", \"_\" and \":\" count; write " +
            in_quotes(written(meant)))
        .drops_line = true;
    return;
  }
  const std::string_view suggestion = keyword_suggestion(part);
  std::string message =
      part.empty()
          ? std::string("this line is ignored: it begins with a bar, so it names no keyword")
          : "this line is ignored: " + in_quotes(part) + " is not a keyword";
  if (!suggestion.empty()) {
    message += "; did you mean " + in_quotes(suggestion) + "?";
  } else if (!part.empty()) {
    message += "; a comment begins with //";
  }
  add("QL001", place, std::move(message)).drops_line = true;
}

void DocumentChecker::check_outside(std::size_t index) {
  const LineTrace& traced = trace_.lines[index];
  const std::string kind = std::string(written(traced.keyword));
  if (trace_.sections.empty() || trace_.sections.front().line > index + 1) {
    const std::string what = traced.keyword == Keyword::Step
                                 ? "this Step stands before the first Section line: it starts "
                                   "no step on the page"
                                 : "this " + kind +
                                       " line stands before the first Section line, where the "
                                       "reader keeps no content: it is dropped";
    Finding& finding = add("QL201", statement_place(index), what);
    // A Step line before the first section still numbers the labels of the lists.
    finding.drops_line = traced.keyword != Keyword::Step && !traced.table_row;
    return;
  }
  // After a Section line, before its first Step line, where no earlier step reaches.
  const OutlineSection* section = nullptr;
  for (const OutlineSection& candidate : trace_.sections) {
    if (candidate.line <= index + 1) section = &candidate;
  }
  Finding& finding =
      add("QL202", statement_place(index),
          "this " + kind + " line stands between Section " + std::to_string(section->number) +
              " and its first Step, and no step before it reaches here: it is dropped");
  finding.drops_line = !traced.table_row;
  relate(finding, section->line - 1, "the Section line");
}

void DocumentChecker::check_fields(std::size_t index) {
  const LineTrace& traced = trace_.lines[index];
  const std::string_view line = lines_[index];
  const auto fields_beyond = [&](const Fields& fields, std::size_t read,
                                 std::string_view statement) {
    if (fields.size() <= read) return;
    const Field& first = fields[read];
    add("QL303", line_place(index, first.offset - 1, line.size()),
        "a " + std::string(statement) + " line reads " + std::to_string(read) +
            (read == 1 ? " field" : " fields") + "; the rest of the line is ignored");
  };
  switch (traced.keyword) {
    case Keyword::Action: {
      if (traced.fate != LineFate::Action) return;
      const Fields fields = fields_of(line);
      if (fields.size() == 1) {
        add("QL301", statement_place(index),
            "this Action has no expected result: the page shows \"ERROR: NO EXPECTED VALUE "
            "PROVIDED\"; write it after a second bar");
      } else if (is_blank(fields[1].text)) {
        add("QL301", field_place(index, fields[1]),
            "this Action's expected result is empty; write it after the second bar");
      }
      if (fields.size() > 2) {
        std::array<char, 24> buffer;
        std::string longer;
        const std::string_view mark =
            trim_whitespace_make_uppercase(fields[2].text, buffer, longer);
        if (!is_tpv_mark(mark, true) && !is_tpv_mark(mark, false)) {
          add("QL302", field_place(index, fields[2]),
              in_quotes(trim_view(fields[2].text)) +
                  " is no two-party-verification value, so the action has none; write TPV "
                  "(or T, Y, YES, TRUE), or leave the field out");
        }
      }
      fields_beyond(fields, 3, "Action");
      return;
    }
    case Keyword::Verification: {
      if (traced.fate != LineFate::Content && traced.fate != LineFate::Listed) return;
      const Fields fields = fields_of(line);
      if (fields.size() < 3) {
        add("QL305", statement_place(index),
            fields.size() == 1
                ? "this Verification has no requirement text and no method: the page shows "
                  "\"???\" and Sampling; write \"Verification | id | text | method\""
                : "this Verification has no method: it is read as Sampling; add \"| method\" "
                  "(Demonstration, Inspection, Analysis, Test or Sampling)");
      } else {
        std::array<char, 16> buffer;
        std::string longer;
        const std::string_view method =
            trim_whitespace_make_uppercase(fields[2].text, buffer, longer);
        if (which_method(method) == VerificationMethod::Sampling && method != "S" &&
            method != "SAMPLING") {
          add("QL304", field_place(index, fields[2]),
              in_quotes(trim_view(fields[2].text)) +
                  " is no verification method, so it is read as Sampling; write Demonstration, "
                  "Inspection, Analysis, Test or Sampling (or D, I, A, T, S)");
        }
      }
      fields_beyond(fields, 3, "Verification");
      return;
    }
    case Keyword::Resource: {
      if (traced.fate != LineFate::Content && traced.fate != LineFate::Listed) return;
      const Fields fields = fields_of(line);
      if (fields[0].text.empty()) {
        add("QL306", statement_place(index),
            "this Resource names nothing: the page lists \"ERROR: NO RESOURCE IDENTIFIED\"");
      } else if (is_blank(fields[0].text)) {
        add("QL306", statement_place(index),
            "this Resource names nothing but blanks: the page lists an empty resource");
      }
      return;
    }
    case Keyword::Revision:
      fields_beyond(fields_of(line), 2, "Revision");
      return;
    case Keyword::Image:
      if (traced.fate == LineFate::Content) {
        const Fields fields = fields_of(line);
        fields_beyond(fields, 2, "Image");
        check_image(index, fields[0], "Image");
      }
      return;
    case Keyword::CsvStart:
      if (traced.fate == LineFate::TableStart) fields_beyond(fields_of(line), 1, "CSVSTART");
      return;
    case Keyword::CsvFile:
      if (traced.fate == LineFate::Content) {
        const Fields fields = fields_of(line);
        fields_beyond(fields, 2, "CSVFILE");
        check_csv_file(index, fields[0]);
      }
      return;
    case Keyword::Command: {
      if (traced.fate != LineFate::Content) return;
      const std::string_view value = value_of(line);
      // Only what a browser takes for markup: "<" before a letter, "/", "!" or "?" opens a
      // tag, "&" before a letter, digit or "#" a character reference; "a < b" and "x && y"
      // show as written.
      std::size_t at = next_markup_sign(value, 0);
      for (; at < value.size(); at = next_markup_sign(value, at + 1)) {
        if (at + 1 == value.size()) continue;
        const char next = value[at + 1];
        const bool letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
        if (value[at] == '<' && (letter || next == '/' || next == '!' || next == '?')) break;
        if (value[at] == '&' && (letter || (next >= '0' && next <= '9') || next == '#')) break;
      }
      if (at + 1 < value.size()) {
        const std::size_t offset = static_cast<std::size_t>(value.data() - line.data()) + at;
        add("QL601", line_place(index, offset, offset + 1),
            "the page reads this " + in_quotes(value.substr(at, 1)) +
                " as HTML, since command text is inserted as it is; write " +
                (value[at] == '<' ? "&lt;" : "&amp;") + " or reword the command");
      }
      return;
    }
    default:
      return;
  }
}

void DocumentChecker::check_image(std::size_t index, const Field& field,
                                  std::string_view statement) {
  const std::string_view name = trim_view(field.text);
  // Most names hold neither a colon nor a slash, which settles the tests below at once.
  const bool plain =
      std::none_of(name.begin(), name.end(), [](char c) { return c == ':' || c == '/'; });
  // No file: the placeholder image; an address: not a file of the folder.
  if (name.empty() ||
      (!plain && (name.find("://") != std::string_view::npos || name.starts_with("data:")))) {
    return;
  }
  // Most images are there: the place is worked out for a finding only.
  const auto place = [&] {
    const std::size_t from = field.offset + leading_blanks(field.text);
    return line_place(index, from, from + name.size());
  };
  if (!file_exists(name)) {
    add("QL502", place(),
        "the " + std::string(statement) + " file " + in_quotes(name) +
            " is not in the process folder, so the page shows a broken image");
    return;
  }
  if (!plain && name.find('/') != std::string_view::npos && !name.starts_with("../")) {
    add("QL504", place(),
        in_quotes(name) +
            " lies in a subfolder of the process folder, which archives do not keep; keep it "
            "beside the document");
  }
}

void DocumentChecker::check_csv_file(std::size_t index, const Field& field) {
  const std::string_view line = lines_[index];
  const std::string_view name = trim_view(field.text);
  // The place is worked out for a finding only.
  const auto place = [&] {
    const std::size_t from = field.offset + leading_blanks(field.text);
    return line_place(index, name.empty() ? field.offset : from,
                      name.empty() ? line.size() : from + name.size());
  };
  constexpr std::string_view stop = "; every action on this document stops";
  if (name.empty()) {
    add("QL501", place(), "this CSVFILE names no file" + std::string(stop));
    return;
  }
  if (const std::optional<std::string_view> problem = csv_name_problem(name)) {
    add("QL501", place(),
        "the CSV file " + in_quotes(name) + " " + std::string(*problem) + std::string(stop));
    return;
  }
  auto file = csv_files_.find(name);
  if (file == csv_files_.end()) {
    CsvFile read;
    std::string content;
    read.problem = try_read_text_file_into(folder_prefix_ + std::string(name), content);
    std::size_t start = 0;
    const std::optional<std::string_view> heading = next_line(drop_byte_order_mark(content), start);
    read.empty_heading = !read.problem && heading &&
                         std::all_of(heading->begin(), heading->end(),
                                     [](char c) { return c == ',' || c == ' ' || c == '\t'; });
    file = csv_files_.emplace(std::string(name), std::move(read)).first;
  }
  if (file->second.problem) {
    add("QL501", place(),
        "the CSV file " + in_quotes(name) + " cannot be read: " + *file->second.problem +
            std::string(stop));
    return;
  }
  if (name.find('/') != std::string_view::npos) {
    add("QL504", place(),
        in_quotes(name) +
            " lies in a subfolder of the process folder, which archives do not keep; keep it "
            "beside the document");
  }
  if (file->second.empty_heading) {
    add("QL405", place(),
        "the first line of " + in_quotes(name) +
            " (the heading row) is empty: the table has no headings");
  }
}

void DocumentChecker::check_template(std::size_t index) {
  const std::string_view line = lines_[index];
  const Field field = fields_of(line)[0];
  const std::string_view name = trim_view(field.text);
  if (name.empty()) return;  // QL102
  const auto place = [&] {
    const std::size_t from = field.offset + leading_blanks(field.text);
    return line_place(index, from, from + name.size());
  };
  std::string lower = std::string(name.substr(name.size() >= 4 ? name.size() - 4 : 0));
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (lower != ".css") {
    add("QL503", place(),
        "the page links " + in_quotes(name) + " as written, without \".css\": write " +
            in_quotes(std::string(name) + ".css"));
    return;
  }
  auto sheet = lookups_.stylesheets.find(name);
  if (sheet == lookups_.stylesheets.end()) {
    const bool exists = path_exists(folder_prefix_ + "../assets/" + std::string(name));
    sheet = lookups_.stylesheets.emplace(std::string(name), exists).first;
  }
  if (!sheet->second) {
    add("QL503", place(), "the assets folder holds no stylesheet " + in_quotes(name));
  }
}

void DocumentChecker::check_row(std::size_t index, std::size_t heading_cells) {
  const std::string_view line = lines_[index];
  const LineTrace& traced = trace_.lines[index];
  if (is_comment(line)) {
    add("QL404", statement_place(index),
        "this comment is a row of the table above: inside a table every line is a row; move it "
        "before CSVSTART or after CSVEND");
    return;
  }
  if (traced.keyword != Keyword::None && traced.keyword != Keyword::CsvStart) {
    add("QL403", statement_place(index),
        "this row of the table above is also read as " + with_article(written(traced.keyword)) +
            " statement; reword it or close the table before it");
  }
  const RowMarks marks = row_marks(line);
  const std::size_t cells = marks.commas + 1;
  const std::size_t quote = marks.quote ? line.find('"') : std::string_view::npos;
  if (quote != std::string_view::npos) {
    const std::size_t close = line.find('"', quote + 1);
    if (close != std::string_view::npos &&
        line.substr(quote, close - quote).find(',') != std::string_view::npos) {
      add("QL404", line_place(index, quote, close + 1),
          "the comma inside these quotes splits the cell: tables know no quoting");
      return;
    }
  }
  if (!traced.heading_row && cells > heading_cells) {
    std::size_t cut = 0;
    for (std::size_t n = 0; n < heading_cells; ++n) cut = line.find(',', cut) + 1;
    add("QL404", line_place(index, cut - 1, line.size()),
        "this row has " + std::to_string(cells) + " cells and the heading row " +
            std::to_string(heading_cells) + ": the cells beyond are dropped");
  }
}

void DocumentChecker::check_table(std::size_t index) {
  const LineTrace& traced = trace_.lines[index];
  if (traced.fate == LineFate::TableRefused) {
    Finding& finding = add("QL402", statement_place(index),
                           "this CSVSTART adds no table: the table opened on line " +
                               std::to_string(traced.related) +
                               " is still open, so this line and the lines after it are its "
                               "rows; close that table with CSVEND first");
    if (traced.related != 0) relate(finding, traced.related - 1, "the table still open");
    return;
  }
  // A table without CSVEND ends with its step (the next Step line, or the end).
  if (traced.related == 0) {
    add("QL401", statement_place(index),
        "this table has no CSVEND in its step: every line to the end of its step is one of its "
        "rows; end it with a CSVEND line");
  }
  const std::size_t heading = index + 1;
  if (heading < lines_.size() && trace_.lines[heading].heading_row) {
    const std::string_view row = lines_[heading];
    heading_cells_ = row_marks(row).commas + 1;
    if (std::all_of(row.begin(), row.end(),
                    [](char c) { return c == ',' || c == ' ' || c == '\t'; })) {
      add("QL405", line_place(heading, 0, row.size()),
          "the heading row of this table is empty: the table shows no headings");
    }
  }
}

void DocumentChecker::check_misplaced(std::size_t index, std::uint32_t section_line) {
  const LineTrace& traced = trace_.lines[index];
  Finding& finding =
      add("QL202", statement_place(index),
          "this " + std::string(written(traced.keyword)) +
              " line stands between a Section line and its first Step: the page shows it at the "
              "end of Step " +
              std::to_string(traced.section) + "." + std::to_string(traced.step) +
              ", in the section before; move it after the Step line it belongs to");
  relate(finding, section_line - 1, "the Section line");
}

void DocumentChecker::check_lines() {
  // The Section line last seen, and its number.
  std::uint32_t section_line = 0;
  std::uint32_t section_number = 0;
  for (std::size_t index = 0; index < lines_.size(); ++index) {
    const LineTrace& traced = trace_.lines[index];
    if (traced.fate == LineFate::Section) {
      section_line = static_cast<std::uint32_t>(index + 1);
      ++section_number;
    }
    // Content that the last step of an earlier section reaches, past this Section line.
    if (traced.section != 0 && traced.section < section_number && !traced.table_row &&
        (traced.fate == LineFate::Action || traced.fate == LineFate::Content ||
         traced.fate == LineFate::TableStart)) {
      check_misplaced(index, section_line);
    }
    if (traced.table_row) {
      check_row(index, heading_cells_);
    }
    switch (traced.fate) {
      case LineFate::Ignored:
        if (!traced.table_row) check_ignored(index);
        break;
      case LineFate::Outside:
      case LineFate::StepOutside:
        check_outside(index);
        break;
      case LineFate::ActionDropped: {
        std::string message = "this Action line is dropped: ";
        if (traced.related != 0) {
          message += line_kind(traced.related - 1) +
                     " ended the action table above, and only a content line (Context, Command, "
                     "...) starts a new one";
        } else {
          message += "the action table above had ended";
        }
        Finding& finding = add("QL203", statement_place(index), std::move(message));
        finding.drops_line = !traced.table_row;  // a row all the same
        if (traced.related != 0) {
          relate(finding, traced.related - 1, "the line that ended the action table");
        }
        break;
      }
      case LineFate::TableStart:
      case LineFate::TableRefused:
        check_table(index);
        check_fields(index);
        break;
      case LineFate::Section:
      case LineFate::Step: {
        if (is_blank(value_of(lines_[index]))) {
          add("QL204", statement_place(index),
              "this " + std::string(written(traced.keyword)) +
                  " has no title: the page shows an empty heading");
        }
        break;
      }
      default:
        // Objective, Out of Scope, Context, Warning and CSVEND lines have no field rules.
        if (has_field_rules(traced.keyword)) check_fields(index);
        break;
    }
  }
  for (const OutlineSection& section : trace_.sections) {
    if (section.steps.empty()) {
      add("QL204", statement_place(section.line - 1),
          "Section " + std::to_string(section.number) +
              " has no Step line: the page shows it without content");
    }
  }
}

void DocumentChecker::check_header() {
  // The statements whose last line wins, and those whose placeholder prints when missing.
  struct Slot {
    Keyword keyword;
    bool required;
    std::string_view placeholder;
  };
  static constexpr std::array<Slot, 9> kSlots = {{
      {Keyword::Title, true, "NO TITLE IN QLML FILE"},
      {Keyword::Number, true, "NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT"},
      {Keyword::ProcessType, true, "NO PROCESS TYPE IDENTIFIED IN QLML FILE"},
      {Keyword::Author, true, "NO AUTHOR IN QLML FILE"},
      {Keyword::Reviewer, true, "NO REVIEWER IN QLML FILE"},
      {Keyword::Subject, true, "NO SUBJECT IN QLML FILE"},
      {Keyword::SubjectImage, false, ""},
      {Keyword::Product, false, ""},
      {Keyword::ProductImage, false, ""},
  }};
  // The lines of each slot: how many, and the last (which wins).
  std::array<std::size_t, kSlots.size()> count{};
  std::array<std::size_t, kSlots.size()> last{};
  bool has_revision = false;
  for (std::size_t index = 0; index < lines_.size(); ++index) {
    const LineTrace& traced = trace_.lines[index];
    if (traced.fate != LineFate::Header) continue;
    if (is_blank(value_of(lines_[index]))) {
      add("QL102", statement_place(index),
          "this " + std::string(written(traced.keyword)) +
              " is empty: the page shows nothing where its value belongs");
    }
    if (traced.keyword == Keyword::Revision) has_revision = true;
    if (traced.keyword == Keyword::Template) check_template(index);
    for (std::size_t slot = 0; slot < kSlots.size(); ++slot) {
      if (kSlots[slot].keyword == traced.keyword) {
        ++count[slot];
        last[slot] = index;
      }
    }
  }
  const auto top = [&] { return Place{file_, 1, 1, 1, 1}; };
  static_assert(kSlots[0].keyword == Keyword::Title && kSlots[1].keyword == Keyword::Number);
  title_line_ = count[0] == 0 ? 0 : last[0] + 1;
  number_line_ = count[1] == 0 ? 0 : last[1] + 1;
  for (std::size_t slot = 0; slot < kSlots.size(); ++slot) {
    const std::string_view name = written(kSlots[slot].keyword);
    if (count[slot] == 0 && kSlots[slot].required) {
      add("QL101", top(),
          "the document has no " + std::string(name) + " line: the page prints " +
              in_quotes(kSlots[slot].placeholder));
    }
    // The lines a later one overrides, seldom any.
    for (std::size_t index = 0; count[slot] > 1 && index < last[slot]; ++index) {
      const LineTrace& traced = trace_.lines[index];
      if (traced.fate != LineFate::Header || traced.keyword != kSlots[slot].keyword) continue;
      Finding& finding =
          add("QL103", statement_place(index),
              "this " + std::string(name) + " is overridden by the " + std::string(name) +
                  " line " + std::to_string(last[slot] + 1) + ": the last one wins");
      relate(finding, last[slot], "the " + std::string(name) + " that wins");
    }
    if (kSlots[slot].keyword == Keyword::SubjectImage ||
        kSlots[slot].keyword == Keyword::ProductImage) {
      if (count[slot] != 0) {
        const std::size_t index = last[slot];
        const Field field = fields_of(lines_[index])[0];
        // The whole value names the image; "N/A" is the product image's own "none".
        const std::string_view value = value_of(lines_[index]);
        if (trim_view(value) != "N/A") {
          check_image(index, {value, field.offset}, name);
        }
      }
    }
  }
  if (!has_revision) {
    add("QL104", top(),
        "the document has no Revision line: the document number stands in for the revision on "
        "the page, in the menu and in archive folder names");
  }
}

void DocumentChecker::check_library(const std::vector<std::string>& folders,
                                    std::string_view folder_name) {
  // The last Number and Title lines decide, as in the model (check_header found them).
  const std::size_t number_line = number_line_;
  const std::string_view number = number_line == 0
                                      ? "NO NUMBER IN QLML FILE - THIS IS PLACEHOLDER TEXT"
                                      : trim_view(value_of(lines_[number_line - 1]));
  const std::string_view title =
      title_line_ == 0 ? "NO TITLE IN QLML FILE" : trim_view(value_of(lines_[title_line_ - 1]));
  const auto place = [&] {
    return number_line == 0 ? Place{file_, 1, 1, 1, 1} : statement_place(number_line - 1);
  };
  const std::string full_name = process_folder_name(number, title);
  const std::string_view expected = std::string_view(full_name).substr(2);
  if (folder_name != expected) {
    add("QL701", place(),
        "the process folder is named " + in_quotes(folder_name) +
            ", but its Number and Title give " + in_quotes(expected) +
            ": archives and menu links will look for that folder");
  }
  if (number.empty() || number_line == 0) return;
  // The folders that begin with the number stand together in byte order.
  for (auto other = std::lower_bound(folders.begin(), folders.end(), number);
       other != folders.end() && other->starts_with(number); ++other) {
    if (*other != folder_name) {
      add("QL703", place(),
          "the number " + in_quotes(number) + " also selects the folder " + in_quotes(*other) +
              ": morvalen -p " + std::string(number) + " renders both");
    }
  }
}

// Findings the configuration and the suppression comments keep, with their severities.
std::vector<Finding> apply_config(std::vector<Finding> findings, const CheckConfig& config,
                                  std::span<const std::string_view> lines,
                                  const DocumentTrace& trace) {
  // Without findings there is nothing to silence.
  if (findings.empty()) return findings;
  // "// qlml: ignore CODES" silences CODES on the next statement (the next line that is not
  // blank and not a comment), "// qlml: ignore-file CODES" in the whole document.
  std::set<std::string, std::less<>> file_codes;
  std::map<int, std::set<std::string, std::less<>>> line_codes;
  std::set<std::string, std::less<>> pending;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    // Only a comment (or a line after one) matters here; most lines are settled by their
    // first character that is not ASCII white space.
    if (pending.empty()) {
      // A statement is no comment.
      if (index < trace.lines.size() && trace.lines[index].keyword != Keyword::None) continue;
      const std::string_view raw = lines[index];
      const std::size_t first = skip_ascii_white(raw);
      if (first == raw.size() ||
          (raw[first] != '/' && static_cast<unsigned char>(raw[first]) < 0x80)) {
        continue;
      }
    }
    const std::string_view line = trim_view(lines[index]);
    const bool row = index < trace.lines.size() && trace.lines[index].table_row;
    if (begins_comment(line) && !row) {
      std::string_view rest = trim_view(line.substr(2));
      if (!rest.starts_with("qlml:")) continue;
      rest = trim_view(rest.substr(5));
      bool whole_file = false;
      if (rest.starts_with("ignore-file")) {
        whole_file = true;
        rest = rest.substr(11);
      } else if (rest.starts_with("ignore")) {
        rest = rest.substr(6);
      } else {
        continue;
      }
      std::string codes(rest);
      std::replace(codes.begin(), codes.end(), ',', ' ');
      for (const std::string_view code : split(codes, ' ')) {
        if (code.empty()) continue;
        (whole_file ? file_codes : pending).insert(std::string(code));
      }
      continue;
    }
    if (line.empty()) continue;
    if (!pending.empty()) {
      line_codes[static_cast<int>(index + 1)].merge(pending);
      pending.clear();
    }
  }
  std::vector<Finding> kept;
  for (Finding& finding : findings) {
    if (!is_reported(config, finding.code) || file_codes.contains(finding.code)) continue;
    if (const auto codes = line_codes.find(finding.place.line);
        codes != line_codes.end() && codes->second.contains(finding.code)) {
      continue;
    }
    finding.severity = severity_of(config, *find_rule(finding.code));
    kept.push_back(std::move(finding));
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Finding& a, const Finding& b) { return a.place.line < b.place.line; });
  return kept;
}

Severity parse_severity(std::string_view text, const std::string& path) {
  if (text == "error") return Severity::error;
  if (text == "warning") return Severity::warning;
  if (text == "note") return Severity::note;
  fatal("Rejected qlml.json: " + path + ": unknown severity \"" + std::string(text) +
        "\" (error, warning or note)");
}

}  // namespace

bool is_reported(const CheckConfig& config, std::string_view code) {
  if (!config.select.empty() && !config.select.contains(code)) return false;
  return !config.ignore.contains(code);
}

Severity severity_of(const CheckConfig& config, const Rule& rule) {
  const auto found = config.severities.find(rule.code);
  return found == config.severities.end() ? rule.severity : found->second;
}

std::string_view keyword_suggestion(std::string_view keyword_part) {
  const std::string normalised = trim_whitespace_make_uppercase(keyword_part);
  if (normalised.empty() || normalised.size() > 16) return "";
  std::string_view best;
  std::size_t best_distance = 3;
  for (const KeywordSpelling& spelling : keyword_spellings()) {
    const std::size_t distance = edit_distance(normalised, spelling.normalised);
    if (distance < best_distance) {
      best_distance = distance;
      best = spelling.written;
    }
  }
  // Short words are close to many keywords: allow one edit per three characters.
  if (best_distance > std::max<std::size_t>(1, normalised.size() / 3)) return "";
  return best;
}

CheckConfig load_check_config(const fs::path& library_root) {
  CheckConfig config;
  const std::string path = from_path(library_root / "qlml.json");
  if (!path_exists(path)) return config;
  std::string content;
  if (const std::optional<std::string> reason = try_read_text_file_into(path, content)) {
    fatal("Rejected qlml.json: " + path + ": " + *reason);
  }
  const nlohmann::json json = nlohmann::json::parse(content, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    fatal("Rejected qlml.json: " + path + ": not a JSON object");
  }
  const auto code_of = [&](const nlohmann::json& item) {
    if (!item.is_string() || find_rule(item.get<std::string>()) == nullptr) {
      fatal("Rejected qlml.json: " + path + ": unknown rule code " + item.dump());
    }
    return item.get<std::string>();
  };
  for (const auto& [member, value] : json.items()) {
    if (member == "select" || member == "ignore") {
      if (!value.is_array()) fatal("Rejected qlml.json: " + path + ": " + member + " is no list");
      for (const nlohmann::json& item : value) {
        (member == "select" ? config.select : config.ignore).insert(code_of(item));
      }
    } else if (member == "severity") {
      if (!value.is_object()) {
        fatal("Rejected qlml.json: " + path + ": severity is no object");
      }
      for (const auto& [code, level] : value.items()) {
        code_of(code);
        if (!level.is_string()) fatal("Rejected qlml.json: " + path + ": severity of " + code);
        config.severities[code] = parse_severity(level.get<std::string>(), path);
      }
    } else {
      fatal("Rejected qlml.json: " + path + ": unknown member \"" + member +
            "\" (select, ignore, severity)");
    }
  }
  return config;
}

namespace {

// The findings of the document `document_path` (as from_path writes it); with
// `library_folders`, also the library checks, the document's folder being `folder_name`.
std::vector<Finding> check_document_among(std::string document_path, std::string_view bytes,
                                          const CheckConfig& config,
                                          const std::vector<std::string>* library_folders,
                                          std::string_view folder_name, LibraryLookups& lookups);

}  // namespace

std::vector<Finding> check_document(const fs::path& document_path, std::string_view bytes,
                                    const CheckConfig& config) {
  LibraryLookups lookups;
  if (!config.with_library_checks_for_document) {
    return check_document_among(from_path(document_path), bytes, config, nullptr, {}, lookups);
  }
  const fs::path folder = fs::absolute(document_path).lexically_normal().parent_path();
  const std::vector<std::string> folders =
      scan_library_folders_in(from_path(folder.parent_path())).process_folders;
  return check_document_among(from_path(document_path), bytes, config, &folders,
                              from_path(folder.filename()), lookups);
}

namespace {

std::vector<Finding> check_document_among(std::string document_path, std::string_view bytes,
                                          const CheckConfig& config,
                                          const std::vector<std::string>* library_folders,
                                          std::string_view folder_name, LibraryLookups& lookups) {
  // Cutting the lines tells whether the text is all ASCII; only a text that is not needs
  // the UTF-8 check.
  const bool all_ascii = split_and_classify(bytes, lookups.lines, lookups.keywords);
  const std::span<const std::string_view> lines = lookups.lines;
  if (const std::optional<std::size_t> bad = all_ascii ? std::nullopt : first_invalid_utf8(bytes)) {
    const std::string_view before = bytes.substr(0, *bad);
    const std::size_t line_start =
        before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    const int line = static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1;
    const int column = column_of(bytes.substr(line_start), *bad - line_start);
    Finding finding;
    finding.place = {std::move(document_path), line, column, line, column + 1};
    finding.severity = Severity::error;
    finding.code = "QL004";
    finding.message =
        "this byte is not UTF-8 text: every action on this document stops with \"Could not load "
        "lines\"; save the file as UTF-8";
    std::vector<Finding> findings;
    findings.push_back(std::move(finding));
    return apply_config(std::move(findings), config, {}, DocumentTrace{});
  }
  const DocumentTrace trace = trace_qlml_lines(lines, lookups.keywords);
  DocumentChecker checker(std::move(document_path), lines, trace, lookups);
  checker.check_header();
  checker.check_lines();
  if (library_folders != nullptr) checker.check_library(*library_folders, folder_name);
  return apply_config(checker.take(), config, lines, trace);
}

}  // namespace

std::vector<Finding> check_library(const fs::path& root, std::string_view shown,
                                   const CheckConfig& config) {
  CheckConfig document_config = config;
  document_config.with_library_checks_for_document = true;
  // The paths of findings: `shown`, a slash and the folder and file names.
  const std::string shown_prefix =
      shown.empty() || shown == "." ? std::string() : from_path(to_path(shown) / "");
  const auto shown_path = [&](const std::string& relative) { return shown_prefix + relative; };
  LibraryLookups lookups;
  std::vector<Finding> findings;
  std::string content;
  const std::string root_prefix = from_path(root / "");
  const std::vector<std::string> folders = scan_library_folders_in(from_path(root)).process_folders;
  std::string document;
  for (const std::string& folder : folders) {
    document.assign(folder).append("/").append(folder).append(".qlml");
    const std::string path = root_prefix + document;
    // Read at once: only a document that cannot be read is looked for.
    std::error_code error;
    read_file_into(path, content, error);
    if (error && !path_exists(path)) {
      if (is_reported(config, "QL702")) {
        const Rule& rule = *find_rule("QL702");
        Finding finding;
        finding.place.file = shown_path(folder);
        finding.severity = severity_of(config, rule);
        finding.code = "QL702";
        finding.message = "this folder holds no document " + in_quotes(folder + ".qlml") +
                          ": morvalen takes every folder of the library for a process folder, "
                          "and morvalen -w stops here";
        findings.push_back(std::move(finding));
      }
      continue;
    }
    if (error) fatal("Could not load lines: " + shown_path(document), error);
    std::vector<Finding> found = check_document_among(shown_path(document), content,
                                                      document_config, &folders, folder, lookups);
    std::move(found.begin(), found.end(), std::back_inserter(findings));
  }
  return findings;
}

}  // namespace morvalen
