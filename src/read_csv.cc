#include "read_csv.h"

#include <array>

#include "fatal.h"
#include "files.h"
#include "names.h"
#include "text.h"

namespace morvalen {
namespace {

constexpr std::array<std::string_view, 6> kHeadings = {"Document Number", "Title",  "Subject",
                                                       "Product",         "Author", "Reviewer"};

[[noreturn]] void reject(const std::string& path, std::size_t line, const std::string& problem) {
  fatal("Rejected document list: " + path + ": line " + std::to_string(line) + ": " + problem);
}

// The lines of a document list: a line feed, a carriage return and line feed, or a carriage
// return alone (spreadsheets saving for classic Mac OS) ends a line.
std::vector<std::string> list_lines(std::string_view content) {
  content = drop_byte_order_mark(content);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(content.substr(start));
      break;
    }
    lines.emplace_back(content.substr(start, end - start));
    start = end + (content.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// A spreadsheet quotes a field that holds a comma; this list format has no quoting, so such
// a field would shift every later column of its row.
void reject_quoted_fields(const std::string& path, std::size_t line,
                          const std::vector<std::string_view>& fields) {
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (!fields[k].starts_with('"')) continue;
    reject(
        path, line,
        "field " + std::to_string(k + 1) +
            " is quoted; this list has no quoting: remove the quotes, and the commas inside fields");
  }
}

// What a rejected header adds when it seems to use another separator than the comma.
std::string separator_hint(std::string_view header) {
  if (header.find(';') != std::string_view::npos)
    return "; the list must be separated by commas, this one seems to use ';'";
  if (header.find('\t') != std::string_view::npos)
    return "; the list must be separated by commas, this one seems to use tabs";
  return "";
}

std::vector<std::string> check_header(const std::string& path,
                                      const std::vector<std::string>& lines) {
  if (lines.empty()) {
    reject(
        path, 1,
        "the list is empty; its first line must be the header Document Number,Title,Subject,Product,Author,Reviewer");
  }
  const std::vector<std::string_view> pieces = split(lines.front(), ',');
  reject_quoted_fields(path, 1, pieces);
  std::vector<std::string> header(pieces.begin(), pieces.end());
  const std::string hint = separator_hint(lines.front());
  if (header.size() < kHeadings.size()) {
    reject(
        path, 1,
        "the header has " + std::to_string(header.size()) +
            " fields; it must begin with the six headings Document Number,Title,Subject,Product,Author,Reviewer" +
            hint);
  }
  // Headings are compared without trimming: a blank after a comma is part of the heading.
  for (std::size_t i = 0; i < kHeadings.size(); ++i) {
    if (to_upper(header[i]) != to_upper(kHeadings[i])) {
      reject(path, 1,
             "column " + std::to_string(i + 1) + " is headed " + quote_debug(header[i]) +
                 " instead of " + quote_debug(kHeadings[i]) + hint);
    }
  }
  // The heading names a file in the assets folder; a separator would put its stub elsewhere.
  for (std::size_t i = kHeadings.size(); i < header.size(); ++i) {
    if (header[i].find_first_of("/\\") != std::string::npos) {
      reject(path, 1,
             "the template column " + std::to_string(i + 1) + " is headed " +
                 quote_debug(header[i]) +
                 ", which holds \"/\" or \"\\\" and so names no stylesheet of the assets folder");
    }
  }
  return header;
}

DocumentListRow read_row(const std::string& path, std::size_t line_number,
                         const std::vector<std::string_view>& fields,
                         const std::vector<std::string>& header) {
  if (fields.size() < kHeadings.size()) {
    reject(path, line_number,
           "the row has " + std::to_string(fields.size()) +
               " fields instead of at least 6 (a comma inside a field splits it)");
  }
  DocumentListRow row;
  row.process.set_number(fields[0]);
  row.process.set_title(fields[1]);
  row.process.set_subject(fields[2]);
  row.process.set_product(fields[3]);
  row.process.set_author(fields[4]);
  row.process.set_reviewer(fields[5]);
  for (std::size_t i = kHeadings.size(); i < fields.size(); ++i) {
    if (fields[i] != "x" && fields[i] != "X") continue;
    if (i >= header.size()) {
      reject(path, line_number,
             "column " + std::to_string(i + 1) +
                 " selects a template with an x, but the header has only " +
                 std::to_string(header.size()) + " columns");
    }
    const std::string file_name = header[i] + ".css";
    row.process.add_template(file_name);
    row.template_files.push_back(file_name);
  }
  return row;
}

}  // namespace

std::vector<DocumentListRow> read_document_list(const std::string& path) {
  const std::string list_path = path.empty() ? std::string(kDefaultDocumentList) : path;
  const std::vector<std::string> lines = list_lines(read_text_file(list_path));
  const std::vector<std::string> header = check_header(list_path, lines);
  std::vector<DocumentListRow> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string_view> fields = split(lines[i], ',');
    if (fields.front().empty()) continue;
    reject_quoted_fields(list_path, i + 1, fields);
    rows.push_back(read_row(list_path, i + 1, fields, header));
  }
  return rows;
}

}  // namespace morvalen
