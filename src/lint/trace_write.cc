// Requirements.csv and Requirements.html, written from a TraceMatrix.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <sstream>

#include "files.h"
#include "lint/trace.h"
#include "names.h"
#include "tablesort_js.h"
#include "text.h"
#include "version.h"
#include "write_webmenu.h"

namespace morvalen {
namespace {

constexpr std::size_t kPieceSize = std::size_t{1} << 18;

// The text of a file, composed in memory and handed to its stream in pieces of some hundred
// kilobytes: a large library's matrix takes few writes and little memory, and a failure
// names the file (`failure`, "write failed: {path}"). The many list items of a large
// matrix are written straight into its buffer (room and used_to).
class Composed {
 public:
  Composed(std::ostream& out, std::string_view failure)
      : out_(out), failure_(failure), buffer_(kPieceSize) {}

  void append(std::string_view piece) {
    if (used_ + piece.size() > buffer_.size()) {
      hand_on();
      if (piece.size() > buffer_.size()) {
        write_piece(out_, piece, failure_);
        return;
      }
    }
    std::memcpy(buffer_.data() + used_, piece.data(), piece.size());
    used_ += piece.size();
  }
  void push_back(char c) { append(std::string_view(&c, 1)); }
  // Where `size` bytes may be written at once; used_to(end) keeps those written.
  char* room(std::size_t size) {
    if (used_ + size > buffer_.size()) {
      hand_on();
      if (size > buffer_.size()) buffer_.resize(size);
    }
    return buffer_.data() + used_;
  }
  void used_to(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }
  // Hands what is composed to the stream.
  void hand_on() {
    write_piece(out_, std::string_view(buffer_.data(), used_), failure_);
    used_ = 0;
  }

 private:
  std::ostream& out_;
  std::string_view failure_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

template <class Text>
void append(Text& text, std::initializer_list<std::string_view> pieces) {
  for (const std::string_view piece : pieces) text.append(piece);
}

// `piece` copied to `at`; the end of the copy.
char* put(char* at, std::string_view piece) {
  std::memcpy(at, piece.data(), piece.size());
  return at + piece.size();
}

// The most bytes a number takes, and a step's place ("Step {n}.{t}" or a location_text).
constexpr std::size_t kNumberSize = 24;
constexpr std::size_t kPlaceSize = 5 + 2 * kNumberSize + 1 + 32;

char* put_number(char* at, long long number) {
  // Most section and step numbers have one digit.
  if (number >= 0 && number < 10) {
    *at = static_cast<char>('0' + number);
    return at + 1;
  }
  return std::to_chars(at, at + kNumberSize, number).ptr;
}

// location_text and step_anchor, written without a text of their own for each of the
// many verifications of a large library.
char* put_location(char* at, const TraceEntry& entry) {
  if (entry.section == 0 || entry.step == 0)
    return put(at, location_text(entry.section, entry.step));
  at = put(at, "Step ");
  at = put_number(at, entry.section);
  *at++ = '.';
  return put_number(at, entry.step);
}

char* put_anchor(char* at, const TraceEntry& entry) {
  if (entry.section == 0 || entry.step == 0) return at;
  at = put(at, "#Step");
  at = put_number(at, entry.section);
  *at++ = '.';
  return put_number(at, entry.step);
}

template <class Text>
void append_location(Text& text, const TraceEntry& entry) {
  std::array<char, kPlaceSize> place;
  text.append(std::string_view(
      place.data(), static_cast<std::size_t>(put_location(place.data(), entry) - place.data())));
}

template <class Text>
void append_anchor(Text& text, const TraceEntry& entry) {
  std::array<char, kPlaceSize> place;
  text.append(std::string_view(
      place.data(), static_cast<std::size_t>(put_anchor(place.data(), entry) - place.data())));
}

// The display word of each method, by its position in VerificationMethod.
std::array<std::string, 5> method_words() {
  std::array<std::string, 5> words;
  for (std::size_t i = 0; i < words.size(); ++i) {
    Requirement requirement;
    requirement.method = static_cast<VerificationMethod>(i);
    words[i] = requirement.get_method();
  }
  return words;
}

const std::string& word_of(const std::array<std::string, 5>& words, VerificationMethod method) {
  return words[static_cast<std::size_t>(method)];
}

// Model and list texts go into the page as text, never as markup: a requirement such as
// "pressure < 5 bar & steady" must show as written.
template <class Text>
void append_escaped(Text& page, std::string_view text) {
  while (!text.empty()) {
    const std::size_t special = std::min(text.find_first_of("&<>\""), text.size());
    page.append(text.substr(0, special));
    if (special == text.size()) return;
    switch (text[special]) {
      case '&':
        page.append("&amp;");
        break;
      case '<':
        page.append("&lt;");
        break;
      case '>':
        page.append("&gt;");
        break;
      default:
        page.append("&quot;");
    }
    text.remove_prefix(special + 1);
  }
}

std::string escaped(std::string_view text) {
  std::string result;
  append_escaped(result, text);
  return result;
}

// A folder name as a piece of a relative address, written as the menu writes it but with
// the characters that would end the address or the attribute early ("#", "?", "%", quotes,
// angle brackets, "&", control characters) percent-encoded; blanks and other characters
// stay, as browsers take them.
void append_encoded(std::string& address, std::string_view name) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '#' || c == '?' || c == '%' || c == '"' || c == '\'' ||
        c == '<' || c == '>' || c == '&' || c == '\\') {
      address.push_back('%');
      address.push_back(kHex[byte >> 4]);
      address.push_back(kHex[byte & 0xF]);
    } else {
      address.push_back(c);
    }
  }
}

// "./{folder}/{folder}{extension}", encoded.
std::string file_address(std::string_view folder, std::string_view extension) {
  std::string address;
  append_encoded(address, process_file_path(folder, extension));
  return address;
}

constexpr std::array<VerificationMethod, 5> kMethods = {
    VerificationMethod::Demonstration, VerificationMethod::Inspection, VerificationMethod::Analysis,
    VerificationMethod::Test, VerificationMethod::Sampling};

// The methods of the row's verifications, each once, in the model's order.
std::string methods_of(const TraceRow& row, const std::array<std::string, 5>& words) {
  std::string methods;
  for (const VerificationMethod method : kMethods) {
    const bool used = std::any_of(row.verifications.begin(), row.verifications.end(),
                                  [&](const TraceEntry& entry) { return entry.method == method; });
    if (!used) continue;
    if (!methods.empty()) methods.append(", ");
    methods.append(word_of(words, method));
  }
  return methods;
}

// The word of each status on the page, and the class that colours its cell, in the order
// of TraceStatus.
struct StatusName {
  std::string_view word;
  std::string_view css_class;
};
constexpr StatusName kStatusNames[] = {{"Verified", "status-verified"},
                                       {"Not verified", "status-not-verified"},
                                       {"Not in the list", "status-not-in-the-list"}};

const StatusName& name_of(TraceStatus status) {
  return kStatusNames[static_cast<std::size_t>(status)];
}

// What each verification of a document shows on the page, around its anchor, location
// and method: computed once per document.
struct DocumentPieces {
  std::string link_start;       // the list item up to the page's address, anchor to follow
  std::string link_end;         // the rest of the link, and the revision
  std::string pdf;              // the PDF link, closing the list item
  std::string number_link_end;  // the end of a link that shows the document number only
};

std::vector<DocumentPieces> pieces_of(const TraceMatrix& matrix) {
  std::vector<DocumentPieces> pieces;
  pieces.reserve(matrix.documents.size());
  for (const TracedDocument& document : matrix.documents) {
    DocumentPieces piece;
    piece.link_start = "<a href=\"" + file_address(document.folder, ".html");
    piece.link_end = "\">" + escaped(document.number) + " " + escaped(document.title) +
                     "</a>, Rev " + escaped(document.revision) + ", ";
    piece.number_link_end = "\">" + escaped(document.number) + "</a>, ";
    piece.pdf = " (<a href=\"" + file_address(document.folder, ".pdf") + "\">PDF</a>)</li>\n";
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

// Each row's place in the natural order of the ids, zero-padded so that the table's text
// sort follows it (REQ-2 before REQ-10) when the id column is sorted. The rows outside the
// list come in natural order already (build_trace_matrix sorts them): the list's rows,
// sorted, are merged into them, and all of them are sorted only when they are not.
std::vector<std::string> id_sort_keys(const TraceMatrix& matrix) {
  const std::vector<TraceRow>& rows = matrix.rows;
  const std::size_t listed = std::min(matrix.listed_rows, rows.size());
  std::vector<std::string_view> listed_ids;
  listed_ids.reserve(listed);
  for (std::size_t r = 0; r < listed; ++r) listed_ids.push_back(rows[r].rid);
  const std::vector<std::size_t> listed_order = natural_order(listed_ids);
  std::vector<std::size_t> order;  // row positions in natural order
  order.reserve(rows.size());
  struct Keyed {
    std::string key;
    std::string_view id;
    bool operator<(const Keyed& other) const {
      const int by_key = key.compare(other.key);
      return by_key != 0 ? by_key < 0 : id < other.id;
    }
  };
  const auto keyed = [&](std::size_t r) {
    return Keyed{natural_sort_key(rows[r].rid), rows[r].rid};
  };
  std::size_t next_listed = 0;
  std::optional<Keyed> listed_head;
  if (next_listed < listed) listed_head = keyed(listed_order[next_listed]);
  std::optional<Keyed> previous;
  bool in_order = true;
  for (std::size_t r = listed; r < rows.size() && in_order; ++r) {
    Keyed current = keyed(r);
    if (previous && !(*previous < current)) in_order = false;
    while (listed_head && *listed_head < current) {
      order.push_back(listed_order[next_listed++]);
      listed_head.reset();
      if (next_listed < listed) listed_head = keyed(listed_order[next_listed]);
    }
    order.push_back(r);
    previous = std::move(current);
  }
  if (in_order) {
    for (; next_listed < listed; ++next_listed) order.push_back(listed_order[next_listed]);
  } else {
    std::vector<std::string_view> ids;
    ids.reserve(rows.size());
    for (const TraceRow& row : rows) ids.push_back(row.rid);
    order = natural_order(ids);
  }
  const std::size_t width = std::to_string(order.size()).size();
  std::vector<std::string> keys(order.size());
  for (std::size_t rank = 0; rank < order.size(); ++rank) {
    keys[order[rank]] = zero_padded(rank, width);
  }
  return keys;
}

void append_row(Composed& page, const std::vector<DocumentPieces>& pieces,
                const std::array<std::string, 5>& words, const TraceRow& row,
                std::string_view sort_key) {
  append(page, {"\t\t\t\t\t<tr>\n", "\t\t\t\t\t\t<td class=\"requirement\" data-sort=\"", sort_key,
                "\">"});
  append_escaped(page, row.rid);
  page.append("</td>\n\t\t\t\t\t\t<td class=\"text\">");
  append_escaped(page, row.texts.front());
  if (row.texts.size() > 1) {
    page.append(
        "<div class=\"quoted-differently\">&#x26A0; Quoted with another text: see <a href=\"#findings\">Findings</a></div>");
  }
  append(page, {"</td>\n\t\t\t\t\t\t<td class=\"methods\">", methods_of(row, words),
                "</td>\n\t\t\t\t\t\t<td class=\"status ", name_of(row.status).css_class, "\">",
                name_of(row.status).word, "</td>\n\t\t\t\t\t\t<td class=\"verified-by\"><ul>\n"});
  // One line for each verification, written straight into the page.
  for (const TraceEntry& entry : row.verifications) {
    const DocumentPieces& piece = pieces[entry.document];
    const std::string& method = word_of(words, entry.method);
    char* at = page.room(4 + piece.link_start.size() + kPlaceSize + piece.link_end.size() +
                         kPlaceSize + 2 + method.size() + piece.pdf.size());
    at = put(at, "<li>");
    at = put(at, piece.link_start);
    at = put_anchor(at, entry);
    at = put(at, piece.link_end);
    at = put_location(at, entry);
    at = put(at, ", ");
    at = put(at, method);
    page.used_to(put(at, piece.pdf));
  }
  page.append("\t\t\t\t\t\t</ul></td>\n\t\t\t\t\t</tr>\n");
}

void append_finding(Composed& page, const std::vector<DocumentPieces>& pieces,
                    const TraceFinding& finding) {
  page.append("\t\t\t\t\t<tr>\n\t\t\t\t\t\t<td class=\"requirement\">");
  append_escaped(page, finding.rid);
  page.append("</td>\n\t\t\t\t\t\t<td class=\"where\">");
  if (finding.verification) {
    const TraceEntry& entry = *finding.verification;
    const DocumentPieces& piece = pieces[entry.document];
    page.append(piece.link_start);
    append_anchor(page, entry);
    page.append(piece.number_link_end);
    append_location(page, entry);
  } else {
    page.append("requirements list ");
    append_escaped(page, finding.path);
  }
  append(page,
         {", line ", std::to_string(finding.line), "</td>\n\t\t\t\t\t\t<td class=\"finding\">"});
  append_escaped(page, finding.message);
  append(page,
         {"</td>\n\t\t\t\t\t\t<td class=\"code\">", finding.code, "</td>\n\t\t\t\t\t</tr>\n"});
}

void append_page_head(std::string& page, std::string_view library_name) {
  page.append("\t<head>\n");
  page.append("\t\t<meta charset=\"utf-8\" />\n");
  page.append(
      "\t\t<meta name=\"viewport\" content=\"width=device-width, initial-scale=1, user-scalable=1\" />\n");
  page.append("\t\t<style>\n");
  page.append(
      "\t\t\t@media print { .no-print, .no-print * { display: none !important; } header { position: static; } table { font-size: 0.7em; } a { color: black; text-decoration: none; } }\n");
  page.append("\t\t\tbody { font-family: sans-serif; padding: 0px; margin: 0px;}\n");
  page.append(
      "\t\t\theader { z-index: 100; border-bottom: 3px solid black; background-color: #2F495A; color: white; position: sticky; top:0px;}\n");
  page.append("\t\t\theader, main { padding: 20px; margin:0px;}\n");
  page.append("\t\t\theader h1 { margin: 0px 0px 10px 0px; }\n");
  page.append("\t\t\theader p { margin: 4px 0px; }\n");
  page.append("\t\t\ttable { margin-top: 20px; }\n");
  page.append("\t\t\tth { white-space: nowrap; }\n");
  page.append("\t\t\ttd { vertical-align: top; }\n");
  page.append("\t\t\ttd ul { margin: 0px; padding-left: 1.2em; }\n");
  page.append("\t\t\ttd.requirement { white-space: nowrap; font-weight: bold; }\n");
  page.append("\t\t\t.status-verified { background-color: #D8EDD3; }\n");
  page.append("\t\t\t.status-not-verified { background-color: #F5CFC8; font-weight: bold; }\n");
  page.append("\t\t\t.status-not-in-the-list { background-color: #F7E6B2; }\n");
  page.append(
      "\t\t\t.quoted-differently { margin-top: 6px; font-size: 0.85em; color: #8A3B12; }\n");
  page.append("\t\t\t#findings { scroll-margin-top: 160px; }\n");
  std::ostringstream sortable;  // composed in memory, where writing cannot fail
  write_sortable_table_style(sortable);
  page.append(sortable.view());
  // The sort arrow stands in the heading's right padding, so that a narrow column keeps
  // its heading on one line.
  page.append("\t\t\tth { position: relative; padding-right: 1.4em; }\n");
  page.append(
      "\t\t\tth[role=columnheader]:not(.no-sort):after { position: absolute; right: 0.5em; top: 50%; margin-top: -2px; }\n");
  page.append("\t\t</style>\n");
  page.append("\t\t<script>\n");
  page.append("\t\t\t" + std::string(kTablesortJs) + "\n");
  page.append("\t\t</script>\n");
  page.append("\t\t<script>\n");
  page.append("\t\t\tdocument.addEventListener('DOMContentLoaded', function () {\n");
  page.append("\t\t\t\tfor (const id of ['requirements', 'findings-table']) {\n");
  page.append("\t\t\t\t\tconst table = document.getElementById(id);\n");
  page.append("\t\t\t\t\tif (table) new Tablesort(table);\n");
  page.append("\t\t\t\t}\n");
  page.append("\t\t\t}, false);\n");
  page.append("\t\t</script>\n");
  page.append(
      "\t\t<link rel=\"shortcut icon\" sizes=\"16x16 32x32 48x48\" type=\"image/png\" href=\"./assets/favicon.png\" />\n");
  page.append("\t\t<title>&#x1F4CB; " + escaped(library_name) +
              " Requirements &#x1F4CB;</title>\n");
  page.append("\t</head>\n");
}

void append_page_header(std::string& page, const TraceMatrix& matrix, std::string_view library_name,
                        std::string_view written_at) {
  page.append("\t\t<header>\n");
  page.append("\t\t\t<h1>" + escaped(library_name) + ": Requirements Traceability</h1>\n");
  page.append("\t\t\t<p>" + trace_summary_line(matrix) + ".</p>\n");
  std::string traced =
      "\t\t\t<p>Traced in " + std::to_string(matrix.documents.size()) + " procedures";
  if (matrix.list_path) traced += " against the requirements list " + escaped(*matrix.list_path);
  traced += "; " + std::to_string(matrix.findings.size()) + " findings. Written " +
            escaped(written_at) + " by qlml trace " + std::string(kVersion) + ".</p>\n";
  page.append(traced);
  page.append("\t\t</header>\n");
}

void append_findings(Composed& page, const TraceMatrix& matrix,
                     const std::vector<DocumentPieces>& pieces) {
  page.append("\t\t\t<h2 id=\"findings\">Findings</h2>\n");
  if (matrix.findings.empty()) {
    page.append(
        matrix.list_path
            ? "\t\t\t<p>None: every procedure quotes each requirement as the list does.</p>\n"
            : "\t\t\t<p>None: every procedure quotes each requirement with the same text.</p>\n");
    return;
  }
  page.append("\t\t\t<table id=\"findings-table\">\n");
  page.append("\t\t\t\t<thead>\n");
  page.append("\t\t\t\t\t<tr>\n");
  page.append("\t\t\t\t\t\t<th>Requirement</th>\n");
  page.append("\t\t\t\t\t\t<th>Where</th>\n");
  page.append("\t\t\t\t\t\t<th>Finding</th>\n");
  page.append("\t\t\t\t\t\t<th>Code</th>\n");
  page.append("\t\t\t\t\t</tr>\n");
  page.append("\t\t\t\t</thead>\n");
  page.append("\t\t\t\t<tbody>\n");
  for (const TraceFinding& finding : matrix.findings) {
    append_finding(page, pieces, finding);
  }
  page.append("\t\t\t\t</tbody>\n");
  page.append("\t\t\t</table>\n");
}

template <class Text>
void append_csv_field(Text& csv, std::string_view field) {
  const bool plain = std::none_of(field.begin(), field.end(), [](char c) {
    return c == ',' || c == '"' || c == '\n' || c == '\r';
  });
  if (plain) {
    csv.append(field);
    return;
  }
  csv.push_back('"');
  for (const char c : field) {
    if (c == '"') csv.push_back('"');
    csv.push_back(c);
  }
  csv.push_back('"');
}

template <class Text>
void append_csv_record(Text& csv, std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (const std::string_view field : fields) {
    if (!first) csv.push_back(',');
    first = false;
    append_csv_field(csv, field);
  }
  csv.append("\r\n");
}

}  // namespace

std::string csv_field(std::string_view field) {
  std::string csv;
  append_csv_field(csv, field);
  return csv;
}

void write_requirements_csv(std::ostream& out, const TraceMatrix& matrix,
                            std::string_view failure_message) {
  const std::array<std::string, 5> words = method_words();
  // The document's three fields, between commas, once per document.
  std::vector<std::string> document_fields;
  document_fields.reserve(matrix.documents.size());
  for (const TracedDocument& document : matrix.documents) {
    std::string fields = ",";
    append_csv_record(fields, {document.number, document.revision, document.title, ""});
    fields.resize(fields.size() - 2);  // the record's line end
    document_fields.push_back(std::move(fields));
  }
  Composed csv(out, failure_message);
  csv.append("\xEF\xBB\xBF");
  append_csv_record(
      csv, {"Requirement", "Text", "Method", "Document Number", "Revision", "Title", "Location"});
  for (const TraceRow& row : matrix.rows) {
    if (row.verifications.empty()) {
      append_csv_record(csv, {row.rid, row.texts.front(), "", "", "", "", ""});
    }
    // The id and the row's text as fields once, for the row's many records.
    const std::string id = csv_field(row.rid) + ",";
    const std::string start = id + csv_field(row.texts.front()) + ",";
    for (const TraceEntry& entry : row.verifications) {
      if (entry.text != 0) {
        csv.append(id);
        append_csv_field(csv, row.texts[entry.text]);
        csv.push_back(',');
      }
      // The rest of the record written straight into the text.
      const std::string_view quote = entry.text == 0 ? std::string_view(start) : "";
      const std::string& method = word_of(words, entry.method);
      const std::string& fields = document_fields[entry.document];
      char* at = csv.room(quote.size() + method.size() + fields.size() + kPlaceSize + 2);
      at = put(at, quote);
      at = put(at, method);
      at = put(at, fields);
      at = put_location(at, entry);
      csv.used_to(put(at, "\r\n"));
    }
  }
  csv.hand_on();
}

void write_requirements_page(std::ostream& out, const TraceMatrix& matrix,
                             std::string_view library_name, std::string_view written_at,
                             std::string_view failure_message) {
  const std::vector<DocumentPieces> pieces = pieces_of(matrix);
  const std::array<std::string, 5> words = method_words();
  const std::vector<std::string> sort_keys = id_sort_keys(matrix);
  Composed page(out, failure_message);
  page.append("<!DOCTYPE html>\n");
  page.append("<html lang=\"en-US\">\n");
  std::string head;
  append_page_head(head, library_name);
  page.append(head);
  page.append("\t<body>\n");
  std::string header;
  append_page_header(header, matrix, library_name, written_at);
  page.append(header);
  page.append("\t\t<main>\n");
  page.append(
      "\t\t\t<h2 class=\"no-print\">Click on any column header to sort ascending/descending.</h2>\n");
  page.append("\t\t\t<table id=\"requirements\">\n");
  page.append("\t\t\t\t<thead>\n");
  page.append("\t\t\t\t\t<tr data-sort-method=\"none\">\n");
  page.append("\t\t\t\t\t\t<th class=\"requirement\">Requirement</th>\n");
  page.append("\t\t\t\t\t\t<th class=\"text\">Text</th>\n");
  page.append("\t\t\t\t\t\t<th class=\"methods\">Methods</th>\n");
  page.append("\t\t\t\t\t\t<th class=\"status\">Status</th>\n");
  page.append(
      "\t\t\t\t\t\t<th class=\"verified-by no-sort\" data-sort-method=\"none\">Verified by</th>\n");
  page.append("\t\t\t\t\t</tr>\n");
  page.append("\t\t\t\t</thead>\n");
  page.append("\t\t\t\t<tbody>\n");
  for (std::size_t r = 0; r < matrix.rows.size(); ++r) {
    append_row(page, pieces, words, matrix.rows[r], sort_keys[r]);
  }
  page.append("\t\t\t\t</tbody>\n");
  page.append("\t\t\t</table>\n");
  append_findings(page, matrix, pieces);
  page.append("\t\t</main>\n");
  page.append("\t</body>\n");
  page.append("</html>\n");
  page.hand_on();
}

}  // namespace morvalen
