// read_qlml.h: the QLML reader. A document is read whole into lines, then one document
// pass collects the header statements and process-level lists, one section scan per
// Section line collects that section's steps, and one step scan per Step line collects
// that step's content items. Unrecognised statements are ignored, missing fields become
// fixed placeholder texts; the only failures are files that cannot be read.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// The 25 statement keywords, and None for every line that is none of them (blank lines,
// comments, unknown keywords).
enum class Keyword : std::uint8_t {
  None,
  Template,
  Number,
  Title,
  ProcessType,
  Author,
  Reviewer,
  Revision,
  Subject,
  SubjectImage,
  Product,
  ProductImage,
  Section,
  Step,
  Action,
  Command,
  Context,
  Image,
  Warning,
  CsvStart,
  CsvEnd,
  CsvFile,
  Verification,
  Resource,
  Objective,
  OutOfScope,
};

// One line split at its first bar: the normalised keyword part and the value after the
// bar, exactly as written ("" without a bar).
struct Statement {
  std::string keyword;
  std::string_view value;
};
// `line` split at its first bar, the keyword part normalised by
// trim_whitespace_make_uppercase.
Statement split_statement(std::string_view line);
// The keyword a normalised keyword text names exactly, or None.
Keyword keyword_of(std::string_view normalised);

// A keyword with its normalised text ("PROCESSTYPE") and the form documents and the cheat
// sheet write it in ("Process Type").
struct KeywordSpelling {
  Keyword keyword = Keyword::None;
  std::string_view normalised;
  std::string_view written;
};
// The 25 keywords in the order of the keyword table.
std::span<const KeywordSpelling> keyword_spellings();
// The keyword of `line`: the same as keyword_of(split_statement(line).keyword), faster.
Keyword classify_line(std::string_view line);

// The field rules of the multi-field statements, each given the value after the first bar.
// Revision: ("[No Rev]" | field 1, "[No description provided by Author]" | field 2), both
// trimmed after the emptiness tests.
RevisionEntry parse_revision_line(std::string_view value);
// Image: file and caption untrimmed; empty fields fall back as documented, finally to
// "../assets/placeholderImage-small.png".
Image parse_image_line(std::string_view value);
// Action: action and expected result untrimmed ("ERROR: NO EXPECTED VALUE PROVIDED" when
// missing); two-party verification from a third field T, Y, TPV, YES, TRUE or
// TWOPARTYVERIFICATION, in any written form.
Action parse_action_line(std::string_view value);
// Verification: requirement id and text trimmed ("???" without a text); the method from
// the third field ("???", hence Sampling, without one).
Requirement parse_verification_line(std::string_view value);
// The method a written word or letter names; Sampling for anything unknown.
VerificationMethod which_method(std::string_view text);
// Resource: the whole value untrimmed, or "ERROR: NO RESOURCE IDENTIFIED" when its first
// field is empty.
Resource parse_resource_line(std::string_view value);

// The table of an embedded block: `lines` start at the CSVSTART line (its caption between
// the first and second bar) and the rows run to the next CSVEND line, or to the end of the
// step (the next Step line, or the end of the lines) when the block has no CSVEND.
Table extract_embedded_csv(std::span<const std::string> lines);
// The table of the CSVFILE statement on line `line` of a document: `value` is "file name |
// caption"; the file is read from the document's process folder. Fatal stop "Could not
// load lines: {document_path}:{line}: CSVFILE {file name}: {reason}" when the file cannot
// be read (the system's description, or the line that is not UTF-8) or its name leads
// outside the process folder (absolute, or a ".." component).
Table extract_external_csv(std::string_view value, const std::string& document_path,
                           std::size_t line);
// The rows of the CSV file at `path`, each split at every comma and every cell trimmed;
// an empty path gives no rows without touching the file system. Fatal stop
// "Could not load lines: {path}: {description}" when the file cannot be read.
std::vector<std::vector<std::string>> open_csv_file_and_return_data_array(const std::string& path);

// The section that begins at lines[0] (a Section line): its title and every step whose
// Step line stands before the next Section line; a step runs to the next Step line anywhere
// in `lines`. `document_path` resolves CSVFILE names; the line numbers of messages count
// from lines[0] as line 1.
Section extract_next_section(std::span<const std::string> lines, const std::string& document_path);

// The Process of the document at `document_path`; an empty path gives Process{} without
// touching the file system. Fatal stop "Could not load lines: {path}: {description}" when
// the document cannot be read, the fatal stop of extract_external_csv when one of its CSV
// files cannot; a byte-order mark at the start of a file is skipped.
Process read_qlml(const std::string& document_path);
// The same reader over the lines of a document already in memory, as split_lines gives
// them; `document_path` only serves to resolve CSVFILE names.
Process read_qlml_lines(const std::vector<std::string>& lines, const std::string& document_path);

// What the reader does with one line of a document, as its own passes and scans record it
// (trace_qlml_lines). The checker reports on it, and editors show it.
enum class LineFate : std::uint8_t {
  Ignored,      // blank, comment or no keyword: nothing (a table row all the same when in a table)
  Header,       // Title, Number, Process Type, Author, Reviewer, Subject, Subject Image,
                // Product, Product Image, Template or Revision: stored by the document pass
  Listed,       // Objective, Out of Scope, Resource or Verification that no step scan reaches:
                // only in the process-level lists
  Section,      // starts a section of the page
  Step,         // a Step line after the first Section line: starts a step of the page
  StepOutside,  // a Step line before the first Section line: starts no step, but counts
                // for the step labels of the process-level lists
  Action,       // an action of an action table (a run of Action lines)
  ActionDropped,  // an Action line after its step's run had ended: adds nothing
  Content,        // a content item of its step (Command, Context, Image, Warning, Objective,
                  // Out of Scope, Verification, Resource, CSVFILE)
  TableStart,     // a CSVSTART line that opens an embedded table
  TableRefused,   // a CSVSTART line while its step's table is open: adds no table
  TableEnd,       // a CSVEND line that a step scan reaches
  Outside,        // a step statement (Action, Command, ..., CSVEND) that no step scan
                  // reaches: adds nothing
};

// One line of a document as the reader saw it. Line numbers count from 1.
struct LineTrace {
  Keyword keyword = Keyword::None;
  LineFate fate = LineFate::Ignored;
  bool table_row = false;     // a row of an embedded table (whatever else the line is)
  bool heading_row = false;   // the first row of its table
  std::uint32_t section = 0;  // the page's number of the section of the step whose scan
  std::uint32_t step = 0;     // reaches the line, and the step's number in it (0: none)
  // ActionDropped: the line that ended the run before it. TableStart: the CSVEND that ends
  // the table (0: none, the table ends with its step). TableRefused: the
  // CSVSTART of the table still open. 0 otherwise.
  std::uint32_t related = 0;
};

// A step of the page: "Step {section}.{number}: {title}".
struct OutlineStep {
  std::uint32_t number = 0;    // in its section, from 1
  std::string_view title;      // as the model holds it (untrimmed), in the traced line
  std::uint32_t line = 0;      // its Step line
  std::uint32_t end_line = 0;  // the last line its step scan reaches
};
// A section of the page: "Section {number}: {title}".
struct OutlineSection {
  std::uint32_t number = 0;    // from 1, as the page numbers it
  std::string_view title;      // in the traced line
  std::uint32_t line = 0;      // its Section line
  std::uint32_t end_line = 0;  // the line before the next Section line, or the last line
  std::vector<OutlineStep> steps;
};

// The titles are views into the lines the record was made from.
struct DocumentTrace {
  std::vector<LineTrace> lines;  // lines[n - 1] is line n
  std::vector<OutlineSection> sections;
};

// What read_qlml_lines does with each of `lines` (as split_line_views gives them), recorded
// by the reader's own document pass and scans; CSV files are not read (CSVFILE lines
// are Content where a step scan reaches them) and nothing fails.
DocumentTrace trace_qlml_lines(std::span<const std::string_view> lines);
// The same with the lines' keywords already known (classify_line of each).
DocumentTrace trace_qlml_lines(std::span<const std::string_view> lines,
                               std::span<const Keyword> keywords);
// The lines of `content` as split_line_views cuts them and the keyword of each
// (classify_line), cut and classified in one walk; the lists' storage is reused. Returns
// whether every byte of `content` is ASCII.
bool split_and_classify(std::string_view content, std::vector<std::string_view>& lines,
                        std::vector<Keyword>& keywords);

// Why the CSVFILE name `name` (trimmed) cannot name a file of the process folder: an
// absolute path or a ".." component; nothing when it can.
std::optional<std::string_view> csv_name_problem(std::string_view name);

// What the library menu shows of one document, as views: the header fields the Process
// would hold, the texts of its process-level lists and the number of its Command lines
// (get_all_command_lines). The views point into the document's text or the Process they
// were taken from, or into fixed placeholder texts.
struct VerificationMention {
  std::string_view rid;
  VerificationMethod method = VerificationMethod::Sampling;
};
struct ProcessSummary {
  std::string_view number;
  std::string_view revision;  // get_revision()
  std::string_view title;
  std::string_view subject;
  std::string_view author;
  std::string_view reviewer;
  std::vector<std::string_view> objectives;
  std::vector<std::string_view> out_of_scope;
  std::vector<VerificationMention> verifications;
  std::vector<std::string_view> resources;  // the resource names
  std::size_t command_lines = 0;
};

// The summary of a Process already read; the views point into `process`.
ProcessSummary summarise_process(const Process& process);
// The summary of the document at `document_path`: the same values as
// summarise_process(read_qlml(document_path)) and the same fatal stops (a CSVFILE of a step
// is still checked and read), without building sections, steps or tables. The document is
// read into `content`, whose storage is reused, and the views point into it; `summary`'s
// lists keep their storage too, so one pair serves a whole library.
void read_qlml_summary(const std::string& document_path, std::string& content,
                       ProcessSummary& summary);
// The same over a document's text already in memory (as read_qlml_lines); the views point
// into `content`, and `document_path` only serves to resolve CSVFILE names.
void summarise_qlml_text(std::string_view content, const std::string& document_path,
                         ProcessSummary& summary);

}  // namespace morvalen
