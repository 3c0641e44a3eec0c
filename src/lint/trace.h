// trace.h: qlml trace, the requirements matrix of the library: which procedure verifies
// which requirement, by which method and in which step, and which requirements of a
// requirements list nothing verifies. It writes Requirements.html and Requirements.csv in
// the library root.
#pragma once
#include <cstddef>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace morvalen {

// A verification's requirement as parse_verification_line reads it (id and text trimmed,
// "???" without a text), the texts as views into TracedDocument::quotes.
struct TracedRequirement {
  std::string_view rid;
  std::string_view text;
  VerificationMethod method = VerificationMethod::Sampling;
};

// One Verification line of a document and where it stands.
struct TracedVerification {
  TracedRequirement requirement;
  std::size_t line = 0;    // 1-based line number in the document
  std::size_t column = 0;  // 1-based byte column of the requirement text (of the id without one)
  // The reader's counters when the line is met: Section lines so far, and Step lines since
  // the last Section line; the model's step label is "Step {section}.{step}".
  long long section = 0;
  long long step = 0;
};

// What the matrix keeps of one process document.
struct TracedDocument {
  std::string folder;  // the process folder's own name
  std::string number;
  std::string revision;  // Process::get_revision()
  std::string title;
  std::vector<TracedVerification> verifications;  // in line order
  // The ids and texts the verifications quote, one after the other: a library quotes some
  // requirements in thousands of steps, so a document keeps them in one piece (shared by
  // its copies) rather than in two texts for each verification.
  std::shared_ptr<const std::string> quotes;
};

// One requirement of a requirements list.
struct ListedRequirement {
  std::string rid;
  std::string text;
  std::size_t line = 0;  // the line its record begins on
};

struct RequirementsList {
  std::string path;  // as given on the command line
  std::vector<ListedRequirement> requirements;
};

enum class TraceStatus { Verified, NotVerified, NotInList };

// One verification of a requirement as the matrix keeps it, beside the others of its
// requirement, so that a requirement's verifications are read one after the other.
struct TraceEntry {
  std::size_t document = 0;  // index into TraceMatrix::documents
  std::size_t text = 0;      // index into the row's texts
  VerificationMethod method = VerificationMethod::Sampling;
  std::size_t line = 0;
  std::size_t column = 0;
  long long section = 0;
  long long step = 0;
};

// One requirement id of the matrix.
struct TraceRow {
  std::string rid;
  // The texts its verifications quote, each once; texts[0] is the row's text: the list's,
  // or without one the text of the first verification. More than one: quoted differently.
  std::vector<std::string> texts;
  TraceStatus status = TraceStatus::Verified;
  std::vector<TraceEntry> verifications;  // documents in folder order, lines in order
};

// A finding beyond coverage, shown on the page and on standard error as
// "{path}:{line}:{column}: note: {message} [{code}]". QL801: a requirement quoted with
// different texts in the library (no list, or not in it); QL802: quoted with a text other
// than the list's; QL803: the list gives an id twice with different texts.
struct TraceFinding {
  std::string code;
  std::string path;  // the document ("{folder}/{folder}.qlml") or the list
  std::size_t line = 0;
  std::size_t column = 0;
  std::string rid;
  std::string message;
  std::optional<TraceEntry> verification;  // nothing for a finding in the list
};

struct TraceMatrix {
  std::optional<std::string> list_path;  // set when traced against a requirements list
  // In folder name order; their verifications have moved into the rows.
  std::vector<TracedDocument> documents;
  std::vector<TraceRow> rows;          // the list's order, then the other ids in natural order
  std::size_t listed_rows = 0;         // how many rows come from the list
  std::vector<TraceFinding> findings;  // the list's first, then by document and line
  std::size_t verified = 0;
  std::size_t not_verified = 0;
  std::size_t not_in_list = 0;
};

// Runs "qlml trace" with the arguments after the command name in the current folder, the
// library root; returns the exit status: 0, 1 with --fail-on-uncovered when a requirement of
// the list is verified nowhere, 2 for a wrong command line. Fatal stops (exit 101) pass
// through: a document or the list that cannot be read, a file that cannot be written.
int run_trace(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// The number, revision, title and verifications of a document's text, read as read_qlml
// reads them (its classification, field rules and step counters) without building the
// model; a byte-order mark at the start is skipped. CSV files are not read.
TracedDocument trace_document(std::string_view content, std::string folder);
// The same for the document of process folder `folder`, read into `content` (storage
// reused). Fatal stop "Could not load lines: ./{folder}/{folder}.qlml: ..." as read_qlml's.
TracedDocument read_traced_document(const std::string& folder, std::string& content);

// The requirements of a list in CSV form (RFC 4180 quoting; a byte-order mark, CRLF and LF
// accepted): the header names the columns Requirement and Text (letter case and blanks
// around aside; other columns are ignored); every later record with a non-empty id is one
// requirement, id and text trimmed. A repeated id is kept as given (build_trace_matrix
// notes it). Fatal stop "Rejected requirements list: {path}: line {n}: {problem}".
std::vector<ListedRequirement> parse_requirements_list(std::string_view content,
                                                       const std::string& path);
// The list in the file at `path`. Fatal stops: "Could not read the requirements list:
// {path}: ..." (missing, unreadable, not UTF-8) and those of parse_requirements_list.
RequirementsList read_requirements_list(const std::string& path);

// The matrix of `documents` (any order), against `list` when given: rows, statuses, counts
// and findings.
TraceMatrix build_trace_matrix(std::vector<TracedDocument> documents,
                               const std::optional<RequirementsList>& list);
// The same for the documents of process folders `folders`, read as read_traced_document
// reads them, with its fatal stops, one at a time (none is kept whole: a large library has
// some hundred thousand verifications); `before_each` is called with each folder before its
// document is read.
TraceMatrix trace_library(std::vector<std::string> folders,
                          const std::optional<RequirementsList>& list,
                          const std::function<void(const std::string&)>& before_each);

// The text whose bytes sort ids in natural order, runs of digits compared by their value:
// REQ-2 before REQ-10, REQ-01 the same as REQ-1.
std::string natural_sort_key(std::string_view id);
// Whether `a` sorts before `b`: by natural_sort_key, then by their bytes.
bool natural_less(std::string_view a, std::string_view b);
// The positions of `ids` in the order natural_less gives them.
std::vector<std::size_t> natural_order(const std::vector<std::string_view>& ids);
// Where a verification stands, as the procedure page numbers it: "Step {n}.{t}", "before
// the first section" or "outside a step" (after a Section line, before its first Step),
// from the reader's counters (TracedVerification::section and ::step).
std::string location_text(long long section, long long step);
// The anchor of that step on the procedure page, "Step{n}.{t}", or "" where the page has
// none for it.
std::string step_anchor(long long section, long long step);
// "{N} requirements: {V} verified, {U} not verified" and, with a list,
// ", {X} not in the list".
std::string trace_summary_line(const TraceMatrix& matrix);
// "{path}:{line}:{column}: note: {message} [{code}]".
std::string format_finding(const TraceFinding& finding);

// `field` as one CSV field: in double quotes, inner ones doubled, when it holds a comma, a
// double quote, a line feed or a carriage return; otherwise as it is.
std::string csv_field(std::string_view field);
// Requirements.csv: a byte-order mark (so that spreadsheets take the file as UTF-8), the
// header "Requirement,Text,Method,Document Number,Revision,Title,Location", then one
// record per verification, row by row; a requirement of the list that nothing verifies
// gets one record with its id and text only. Records end with CRLF. Fatal stop
// "{failure_message}: {description}".
void write_requirements_csv(std::ostream& out, const TraceMatrix& matrix,
                            std::string_view failure_message = "write failed");
// Requirements.html: a self-contained page in the style of the menu page, with the
// library's name, the counts, one sortable table row per requirement (links to the
// verifying procedure pages at the step, and to their PDFs) and the findings. Every text is
// HTML-escaped. `written_at` is shown as the time the page was written. Fatal stop
// "{failure_message}: {description}".
void write_requirements_page(std::ostream& out, const TraceMatrix& matrix,
                             std::string_view library_name, std::string_view written_at,
                             std::string_view failure_message = "write failed");

}  // namespace morvalen
