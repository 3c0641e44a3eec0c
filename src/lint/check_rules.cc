// check_rules.cc: the rules of qlml check, their default severities and their explanations.
// The rule table of the manual page (docs/man/qlml.1) lists the same codes and severities.
#include <algorithm>
#include <array>
#include <string>

#include "lint/check.h"

namespace morvalen {
namespace {

// Each explanation: what triggers the rule, what the reader does and how to fix it; then,
// each after a line "--", a document before and after the fix.
constexpr std::array<Rule, 30> kRules = {{
    {"QL001", Severity::warning, "unknown keyword",
     "A line whose keyword (the text before the first bar) is none of the 25 keywords.\n"
     "The reader ignores the line: nothing of it reaches the page. The nearest keyword is\n"
     "suggested. Fix the spelling, or make the line a comment with //.\n"
     "--\n"
     "Acton | Open valve V1 | Valve open\n"
     "--\n"
     "Action | Open valve V1 | Valve open\n"},
    {"QL002", Severity::error, "keyword with \"-\", \"_\" or \":\"",
     "A keyword written with a hyphen, an underscore or a colon, such as Process_Type,\n"
     "Sub-ject or Title:. Blanks inside and around keywords do not matter, these characters\n"
     "do: the line matches no keyword and the reader ignores it. Write the keyword with\n"
     "blanks or nothing between its words.\n"
     "--\n"
     "Process_Type | Test Procedure\n"
     "--\n"
     "Process Type | Test Procedure\n"},
    {"QL004", Severity::error, "not valid UTF-8",
     "The document holds bytes that are not UTF-8 text (often a file saved as Latin-1 or\n"
     "Windows-1252). The reader refuses the whole file: rendering, archiving, the menu and\n"
     "every other action on it stop with \"Could not load lines\". Save the file as UTF-8.\n"
     "--\n"
     "Title | Pump \\xe9tage (saved as Latin-1)\n"
     "--\n"
     "Title | Pump étage (saved as UTF-8)\n"},
    {"QL101", Severity::warning, "header statement missing",
     "No Title, Number, Author, Reviewer, Process Type or Subject line. The reader keeps its\n"
     "placeholder, and the page prints it (\"NO TITLE IN QLML FILE\"). Add the statement.\n"
     "(A missing Revision is QL104: no placeholder prints for it.)\n"
     "--\n"
     "Number | QL-WI-0010\n"
     "--\n"
     "Number | QL-WI-0010\n"
     "Title | Pump Start/Stop\n"},
    {"QL102", Severity::warning, "header value empty",
     "A header statement (Title, Number, Process Type, Author, Reviewer, Subject, Subject\n"
     "Image, Product, Product Image, Template, Revision) whose value is empty or only blanks.\n"
     "The reader stores the empty text, and the page shows nothing where the value belongs.\n"
     "Write the value after the bar, or remove the line.\n"
     "--\n"
     "Author |\n"
     "--\n"
     "Author | J. Smith\n"},
    {"QL103", Severity::warning, "header statement given twice",
     "A header statement that a later one of the same kind overrides: the last Title,\n"
     "Number, Process Type, Author, Reviewer, Subject, Subject Image, Product or Product\n"
     "Image line of a document wins, wherever it stands. Remove the earlier line, or the\n"
     "later one if the earlier is meant.\n"
     "--\n"
     "Title | Pump Start/Stop\n"
     "...\n"
     "Title | Pump Start\n"
     "--\n"
     "Title | Pump Start/Stop\n"},
    {"QL104", Severity::warning, "no Revision line",
     "The document has no Revision line. The reader uses the document number as the current\n"
     "revision: the page, the menu and the archive folders show the number where the\n"
     "revision belongs, and the revision table is empty. Add a Revision line (the first one\n"
     "is the current revision).\n"
     "--\n"
     "Number | QL-WI-0010\n"
     "--\n"
     "Number | QL-WI-0010\n"
     "Revision | A | First release\n"},
    {"QL201", Severity::warning, "content before the first Section",
     "A Step, Action, Command, Context, Image, Warning or table line before the first Section\n"
     "line. Steps exist only inside sections, so the reader keeps none of it (Objective,\n"
     "Out of Scope, Resource and Verification lines still count in the document's lists).\n"
     "Add a Section line above it, or move it into a step.\n"
     "--\n"
     "Step | Preparation\n"
     "Action | Close valve V1 | Valve closed\n"
     "--\n"
     "Section | Preparation\n"
     "Step | Close the inlet\n"
     "Action | Close valve V1 | Valve closed\n"},
    {"QL202", Severity::warning, "content between a Section and its first Step",
     "A content line after a Section line and before that section's first Step line. The\n"
     "reader does not show it in that section: it ends up at the end of the last step\n"
     "before the Section line, or, when there is none, it is dropped. Move it into a step\n"
     "of the section, after its Step line.\n"
     "--\n"
     "Section | Shutdown\n"
     "Warning | The pump is hot\n"
     "Step | Stop the pump\n"
     "--\n"
     "Section | Shutdown\n"
     "Step | Stop the pump\n"
     "Warning | The pump is hot\n"},
    {"QL203", Severity::warning, "Action line dropped",
     "An Action line after an action table of the same step had ended, with only blank,\n"
     "comment, unknown, header or table lines between them. An action table is a run of\n"
     "consecutive Action lines; after it, only a content line (Context, Command, Warning,\n"
     "Image, Objective, Out of Scope, Verification, Resource) lets a new one start. The\n"
     "reader drops the line. Remove the blank line or comment, or put a Context line\n"
     "before the new table.\n"
     "--\n"
     "Action | Start the pump | Pump runs\n"
     "\n"
     "Action | Open valve V2 | Flow shown\n"
     "--\n"
     "Action | Start the pump | Pump runs\n"
     "Action | Open valve V2 | Flow shown\n"},
    {"QL204", Severity::warning, "empty section or title",
     "A Section without any Step line before the next Section line, or a Section or Step\n"
     "line without a title. The page shows an empty section, or a heading without text.\n"
     "Add the steps or the title, or remove the line.\n"
     "--\n"
     "Section |\n"
     "Step | Check the seal\n"
     "--\n"
     "Section | Inspection\n"
     "Step | Check the seal\n"},
    {"QL301", Severity::error, "Action without an expected result",
     "An Action line with no second field, or an empty one. The reader puts \"ERROR: NO\n"
     "EXPECTED VALUE PROVIDED\" in the expected-result column (or leaves it empty). Write the\n"
     "expected result after a second bar.\n"
     "--\n"
     "Action | Start the pump\n"
     "--\n"
     "Action | Start the pump | Pump runs, no alarm\n"},
    {"QL302", Severity::warning, "two-party verification not recognised",
     "A third Action field that is none of T, Y, TPV, YES, TRUE, Two Party Verification (any\n"
     "case, any blanks) nor a plain no (N, NO, F, FALSE, NONE or empty). The reader reads it\n"
     "as no two-party verification: the action gets no second signature box. Write TPV for\n"
     "a two-party-verified action, or leave the field out.\n"
     "--\n"
     "Action | Sign the permit | Permit signed | 2PV\n"
     "--\n"
     "Action | Sign the permit | Permit signed | TPV\n"},
    {"QL303", Severity::warning, "fields beyond the last one read",
     "More bars than the statement has fields: Revision and Image read two fields, Action and\n"
     "Verification three, CSVSTART one (the caption), CSVFILE two. The reader ignores the\n"
     "rest of the line. Remove the extra fields, or join them into the last one.\n"
     "--\n"
     "Image | pump.png | The pump | front view\n"
     "--\n"
     "Image | pump.png | The pump, front view\n"},
    {"QL304", Severity::warning, "verification method not recognised",
     "A Verification method (third field) that is none of D, Demo, Demonstration, I,\n"
     "Inspection, A, Analysis, T, Test, S, Sampling. The reader reads it as Sampling. Write\n"
     "one of the methods.\n"
     "--\n"
     "Verification | REQ-12 | The pump starts | Inspect\n"
     "--\n"
     "Verification | REQ-12 | The pump starts | Inspection\n"},
    {"QL305", Severity::error, "Verification with fewer than three fields",
     "A Verification line without a requirement text or a method. The reader puts \"???\" for\n"
     "a missing text and Sampling for a missing method. Write the requirement id, its text\n"
     "and the method, separated by bars.\n"
     "--\n"
     "Verification | REQ-12\n"
     "--\n"
     "Verification | REQ-12 | The pump starts within 5 s | Test\n"},
    {"QL306", Severity::error, "empty Resource",
     "A Resource line with nothing (or only blanks) before its second bar. The reader lists\n"
     "\"ERROR: NO RESOURCE IDENTIFIED\" (or a blank name) among the resources. Name the\n"
     "resource.\n"
     "--\n"
     "Resource |\n"
     "--\n"
     "Resource | Torque wrench 20-100 Nm\n"},
    {"QL401", Severity::error, "CSVSTART without CSVEND in its step",
     "An embedded table whose CSVEND line is missing, or stands only in a later step. The\n"
     "table takes every line up to the end of its step (the next Step line, or the end of\n"
     "the document) as rows. Close the table with CSVEND in its step.\n"
     "--\n"
     "CSVSTART | Settings\n"
     "Name, Value\n"
     "Speed, 1450\n"
     "Step | Start the pump\n"
     "--\n"
     "CSVSTART | Settings\n"
     "Name, Value\n"
     "Speed, 1450\n"
     "CSVEND\n"
     "Step | Start the pump\n"},
    {"QL402", Severity::error, "CSVSTART inside an open table",
     "A CSVSTART line while a table of its step is still open (no CSVEND since the last\n"
     "CSVSTART). The reader adds no table for it: the line and the lines after it are rows\n"
     "of the open table. Close the first table with CSVEND before the second CSVSTART.\n"
     "--\n"
     "CSVSTART | Inlet\n"
     "Name, Value\n"
     "CSVSTART | Outlet\n"
     "--\n"
     "CSVSTART | Inlet\n"
     "Name, Value\n"
     "CSVEND\n"
     "CSVSTART | Outlet\n"},
    {"QL403", Severity::warning, "table row read as a statement",
     "A row of an embedded table that begins like a statement (a keyword and a bar). The\n"
     "table keeps it as a row, and the reader acts on it as a statement too: an Action adds\n"
     "an action, a Title changes the title. Reword the row so that it does not begin with a\n"
     "keyword and a bar, or close the table before it.\n"
     "--\n"
     "CSVSTART | Steps\n"
     "Step, Time\n"
     "Step | 2 minutes\n"
     "--\n"
     "CSVSTART | Steps\n"
     "Step, Time\n"
     "Step 2, 2 minutes\n"},
    {"QL404", Severity::warning, "row the table does not read as meant",
     "A row with more cells than the heading row (the cells beyond are dropped), a quoted\n"
     "cell with a comma (there is no quoting: the comma splits the cell, the quotes stay),\n"
     "or a comment line inside a table (it is a row like any other). Match the row to the\n"
     "heading row, reword the cell without a comma, move the comment out of the table.\n"
     "--\n"
     "Name, Value\n"
     "Pressure, \"4,5 bar\"\n"
     "--\n"
     "Name, Value\n"
     "Pressure, 4.5 bar\n"},
    {"QL405", Severity::warning, "empty heading row",
     "A table whose first row (the heading row) has no text in any cell, such as a blank line\n"
     "after CSVSTART or a blank first line of a CSV file. The table shows an empty heading,\n"
     "and every row is cut to the heading row's width. Write the headings.\n"
     "--\n"
     "CSVSTART | Settings\n"
     "\n"
     "Speed, 1450\n"
     "--\n"
     "CSVSTART | Settings\n"
     "Name, Value\n"
     "Speed, 1450\n"},
    {"QL501", Severity::error, "CSVFILE missing or unreadable",
     "A CSVFILE line whose file is not in the process folder, cannot be read, is not UTF-8,\n"
     "or whose name leads outside the folder (absolute, or with ..). Every action on the\n"
     "document stops with \"Could not load lines\". Put the file beside the document, or\n"
     "correct its name.\n"
     "--\n"
     "CSVFILE | settigns.csv | Settings\n"
     "--\n"
     "CSVFILE | settings.csv | Settings\n"},
    {"QL502", Severity::warning, "image not in the process folder",
     "An Image, Subject Image or Product Image file that is not in the process folder. The\n"
     "page shows a broken image. Put the image beside the document, or correct the name\n"
     "(letter case counts).\n"
     "--\n"
     "Image | Pump.PNG | The pump\n"
     "--\n"
     "Image | pump.png | The pump\n"},
    {"QL503", Severity::warning, "Template without its stylesheet",
     "A Template line whose file is not in the library's assets folder, or whose name does\n"
     "not end in \".css\". The page links it as written, and the browser finds no stylesheet.\n"
     "Name a stylesheet of the assets folder, with its extension.\n"
     "--\n"
     "Template | Corporate\n"
     "--\n"
     "Template | Corporate.css\n"},
    {"QL504", Severity::note, "referenced file in a subfolder",
     "A CSVFILE or image named with a subfolder of the process folder (images/pump.png).\n"
     "The page finds it, but archives copy only the files of the process folder itself, so\n"
     "archived revisions lack it. Keep referenced files directly in the process folder.\n"
     "--\n"
     "Image | images/pump.png | The pump\n"
     "--\n"
     "Image | pump.png | The pump\n"},
    {"QL601", Severity::warning, "\"<\" or \"&\" in a Command",
     "A Command with \"<\" or \"&\". The page inserts command text as it is, so the browser\n"
     "reads it as HTML: a redirection such as <input.txt vanishes as a tag, &copy becomes a\n"
     "sign. Write &lt; and &amp; in the page, or reword the command.\n"
     "--\n"
     "Command | sort <names.txt\n"
     "--\n"
     "Command | sort names.txt\n"},
    {"QL701", Severity::warning, "folder name does not match",
     "A process folder whose name is not \"{number} - {title}\" as the document's Number and\n"
     "Title give it (with / \\ : * ? \" < > | # % & + { } in the title as _). The archive and\n"
     "the menu links compute the name from the document and miss the folder. Rename the\n"
     "folder (and its document), or correct the Number or Title.\n"
     "--\n"
     "QL-WI-0010 - Pump/QL-WI-0010 - Pump.qlml with Title | Pump Start/Stop\n"
     "--\n"
     "QL-WI-0010 - Pump Start_Stop/QL-WI-0010 - Pump Start_Stop.qlml\n"},
    {"QL702", Severity::error, "folder without its document",
     "A folder of the library root (other than assets and hidden folders without a document)\n"
     "that holds no \"{folder}/{folder}.qlml\". Every such folder is a process folder to\n"
     "morvalen, and morvalen -w stops at it. Add the document, rename it to the folder's\n"
     "name, or move the folder out of the library.\n"
     "--\n"
     "notes/ (no notes/notes.qlml)\n"
     "--\n"
     "(notes moved out of the library)\n"},
    {"QL703", Severity::note, "number selects another document too",
     "A document number that begins another process folder's name: morvalen -p NUMBER\n"
     "selects every folder whose name begins with NUMBER, so it renders, archives or cleans\n"
     "both. Give the numbers the same length, or select with the full folder name.\n"
     "--\n"
     "QL-WI-001 and QL-WI-0010\n"
     "--\n"
     "QL-WI-0001 and QL-WI-0010\n"},
}};

}  // namespace

std::span<const Rule> check_rules() { return kRules; }

// The rules stand in code order, so a code is found by halving (every finding looks up its
// rule).
static_assert(std::is_sorted(kRules.begin(), kRules.end(),
                             [](const Rule& a, const Rule& b) { return a.code < b.code; }));

const Rule* find_rule(std::string_view code) {
  const auto found = std::lower_bound(
      kRules.begin(), kRules.end(), code,
      [](const Rule& rule, std::string_view wanted) { return rule.code < wanted; });
  return found != kRules.end() && found->code == code ? &*found : nullptr;
}

std::string_view severity_name(Severity severity) {
  switch (severity) {
    case Severity::error:
      return "error";
    case Severity::warning:
      return "warning";
    case Severity::note:
      return "note";
  }
  return "warning";
}

std::string explain_rule(const Rule& rule) {
  const std::string_view text = rule.explanation;
  const std::size_t before = text.find("--\n");
  const std::size_t after = text.find("--\n", before + 3);
  const auto indented = [](std::string_view lines) {
    std::string out;
    for (std::size_t start = 0; start < lines.size();) {
      const std::size_t end = lines.find('\n', start);
      out += "    ";
      out += lines.substr(start, end - start);
      out += '\n';
      start = end + 1;
    }
    return out;
  };
  return std::string(rule.code) + " (" + std::string(severity_name(rule.severity)) +
         " by default): " + std::string(rule.summary) + "\n\n" +
         std::string(text.substr(0, before)) + "\nBefore:\n" +
         indented(text.substr(before + 3, after - before - 3)) + "\nAfter:\n" +
         indented(text.substr(after + 3));
}

}  // namespace morvalen
