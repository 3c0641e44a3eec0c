// check.h: qlml check, checks documents and the library, and reports each finding. The
// findings come from the reader's own record of what it does with every line
// (trace_qlml_lines), so the checker and the reader never disagree.
#pragma once
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvalen {

enum class Severity { error, warning, note };

// A place in a file: lines and columns count from 1, columns in characters (code points);
// the end is exclusive. Line 0: the file (or folder) as a whole.
struct Place {
  std::string file;
  int line = 0, column = 0, end_line = 0, end_column = 0;
};
// Another place that explains a finding, such as the blank line that ended an action table.
struct Related {
  Place place;
  std::string message;
};
struct Finding {
  Place place;
  Severity severity = Severity::warning;
  std::string code;  // "QL203"
  std::string message;
  std::vector<Related> related;
  // The reader drops the line of the finding: it adds nothing to the model.
  bool drops_line = false;
};

// One rule: its code, default severity, one-line summary and the text of --explain.
struct Rule {
  std::string_view code;
  Severity severity;
  std::string_view summary;
  std::string_view explanation;
};
// Every rule, in code order.
std::span<const Rule> check_rules();
// The rule of `code`, or nullptr.
const Rule* find_rule(std::string_view code);
// "error", "warning", "note".
std::string_view severity_name(Severity severity);

// What to report: the codes to report (empty: all), the codes not to report, and severities
// that replace the rules' own. qlml.json in the library root gives them, the command line
// adds to them.
struct CheckConfig {
  std::set<std::string, std::less<>> select;
  std::set<std::string, std::less<>> ignore;
  std::map<std::string, Severity, std::less<>> severities;
  // check_document also checks what the library says about this document: its folder's name
  // (QL701) and the other folders its number selects (QL703).
  bool with_library_checks_for_document = false;
};
// The configuration in `library_root`/qlml.json, or the default one without that file.
// Fatal stop "Rejected qlml.json: {path}: {problem}" for a file that cannot be read, is not
// JSON, or names an unknown member, code or severity.
CheckConfig load_check_config(const std::filesystem::path& library_root);
// Whether `config` reports `code`, and with which severity.
bool is_reported(const CheckConfig& config, std::string_view code);
Severity severity_of(const CheckConfig& config, const Rule& rule);

// The findings of one document's bytes as if stored at `document_path` (files it references
// are looked up beside it, stylesheets in "../assets" from there), in line order, after
// `config` and the document's suppression comments ("// qlml: ignore CODE" for the next
// statement, "// qlml: ignore-file CODE" for the whole document). Place::file is
// `document_path` as given. Never fails: bytes that are not UTF-8 are a finding (QL004).
std::vector<Finding> check_document(const std::filesystem::path& document_path,
                                    std::string_view bytes, const CheckConfig& config);
// The library checks of the library at `root`: every process folder's document (read from
// disk, with the library checks for it) and the folders without a document (QL702). Paths
// in the findings are `shown` joined with the folder and file names. Fatal stop "Could not
// load lines: {path}: {description}" for a document that cannot be read.
std::vector<Finding> check_library(const std::filesystem::path& root, std::string_view shown,
                                   const CheckConfig& config);

// The keyword a misspelt keyword part most likely means, in its written form ("Acton" ->
// "Action"), or "" when none is close.
std::string_view keyword_suggestion(std::string_view keyword_part);
// The text of "qlml check --explain CODE": what triggers the rule, what the reader does,
// how to fix it, an example before and after.
std::string explain_rule(const Rule& rule);

// The findings as text in each format: "gcc" lines, a "json" array, a "sarif" 2.1.0 log,
// "github" workflow commands.
std::string format_gcc(std::span<const Finding> findings);
std::string format_json(std::span<const Finding> findings);
std::string format_sarif(std::span<const Finding> findings);
std::string format_github(std::span<const Finding> findings);

// Runs "qlml check" with the arguments after the command name; returns the exit status:
// 0 when nothing at or above --fail-on was found, 1 when something was, 2 for a wrong
// command line. Fatal stops (exit 101) pass through: a file that cannot be read.
int run_check(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace morvalen
