#include "lint/lsp_check.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "files.h"
#include "lint/lsp_features.h"
#include "names.h"
#include "read_qlml.h"
#include "text.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kSeverityError = 1;
constexpr int kSeverityWarning = 2;
constexpr int kSeverityInformation = 3;
constexpr int kTagUnnecessary = 1;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string path_or_untitled(const OpenDocument& document) {
  const std::string path = path_of_file_url(document.uri);
  return path.empty() ? std::string("untitled.qlml") : path;
}

// The path the document is checked at, as the checker writes it into its findings.
std::string checked_path(const OpenDocument& document) {
  return from_path(to_path(path_or_untitled(document)));
}

// The UTF-16 column of code point `column` (from 1) on line `line` (from 1) of the
// document, as the checker counts them: the reader does not see a byte-order mark, the
// editor does.
int utf16_column(const OpenDocument& document, int line, int column) {
  std::string_view text = line_text(document, line - 1);
  int units = 0;
  if (line == 1 && text.starts_with(kByteOrderMark)) {
    text.remove_prefix(kByteOrderMark.size());
    units = 1;
  }
  return units + utf16_units_of_code_points(text, std::max(column - 1, 0));
}

json position_json(int line, int character) {
  return {{"line", std::max(line, 0)}, {"character", std::max(character, 0)}};
}

Utf16Range range_of_place(const OpenDocument& document, const Place& place) {
  if (place.line <= 0) return {};
  const int end_line = place.end_line > 0 ? place.end_line : place.line;
  const int end_column = place.end_line > 0 ? place.end_column : place.column;
  return {{place.line - 1, utf16_column(document, place.line, place.column)},
          {end_line - 1, utf16_column(document, end_line, end_column)}};
}

// A place in a file that is not open: its columns taken as UTF-16 columns, which they are
// for every character of the Basic Multilingual Plane.
Utf16Range range_elsewhere(const Place& place) {
  const int end_line = place.end_line > 0 ? place.end_line : place.line;
  const int end_column = place.end_line > 0 ? place.end_column : place.column;
  return {{std::max(place.line - 1, 0), std::max(place.column - 1, 0)},
          {std::max(end_line - 1, 0), std::max(end_column - 1, 0)}};
}

int severity_number(Severity severity) {
  switch (severity) {
    case Severity::error:
      return kSeverityError;
    case Severity::warning:
      return kSeverityWarning;
    case Severity::note:
      return kSeverityInformation;
  }
  return kSeverityWarning;
}

// Diagnostics are written as text directly: a document can have hundreds of them after
// every keystroke, and building them as JSON values first costs more than checking it.
void append_string(std::string& out, std::string_view text) {
  if (first_invalid_utf8(text)) {
    out += json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
    return;
  }
  constexpr std::string_view kHex = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
}

void append_position(std::string& out, const Utf16Position& position) {
  out += "{\"line\":" + std::to_string(position.line) +
         ",\"character\":" + std::to_string(position.character) + "}";
}

void append_range(std::string& out, const Utf16Range& range) {
  out += "{\"start\":";
  append_position(out, range.start);
  out += ",\"end\":";
  append_position(out, range.end);
  out += '}';
}

void append_diagnostic(std::string& out, const OpenDocument& document, const std::string& path,
                       const Finding& finding) {
  out += "{\"range\":";
  append_range(out, range_of_place(document, finding.place));
  out += ",\"severity\":" + std::to_string(severity_number(finding.severity)) + ",\"code\":";
  append_string(out, finding.code);
  out += ",\"source\":\"qlml\",\"message\":";
  append_string(out, finding.message);
  if (finding.drops_line) out += ",\"tags\":[" + std::to_string(kTagUnnecessary) + "]";
  if (!finding.related.empty()) {
    out += ",\"relatedInformation\":[";
    bool first = true;
    for (const Related& item : finding.related) {
      if (!first) out += ',';
      first = false;
      const bool here = item.place.file == path;
      std::error_code ignored;
      out += "{\"location\":{\"uri\":";
      append_string(out,
                    here ? document.uri
                         : file_url(from_path(fs::absolute(to_path(item.place.file), ignored))));
      out += ",\"range\":";
      append_range(out, here ? range_of_place(document, item.place) : range_elsewhere(item.place));
      out += "},\"message\":";
      append_string(out, item.message);
      out += '}';
    }
    out += ']';
  }
  out += '}';
}

json diagnostic_of(const OpenDocument& document, const std::string& path, const Finding& finding) {
  std::string text;
  append_diagnostic(text, document, path, finding);
  return json::parse(text);
}

json line_range(int line, int start, int end) {
  return {{"start", position_json(line, start)}, {"end", position_json(line, end)}};
}

json quick_fix(const OpenDocument& document, std::string title, const json& diagnostic, json edit,
               bool preferred) {
  json action = {{"title", std::move(title)},
                 {"kind", "quickfix"},
                 {"diagnostics", json::array({diagnostic})},
                 {"edit", {{"changes", {{document.uri, json::array({std::move(edit)})}}}}}};
  if (preferred) action["isPreferred"] = true;
  return action;
}

// The keyword part of `line` (the text before its first bar) without the blanks around it,
// as a byte range.
std::pair<std::size_t, std::size_t> keyword_part(std::string_view line) {
  const std::string_view part = line.substr(0, std::min(line.find('|'), line.size()));
  const std::string_view trimmed = trim_view(part);
  const auto start = static_cast<std::size_t>(trimmed.data() - part.data());
  return {start, start + trimmed.size()};
}

bool ends_with_css(std::string_view name) {
  if (name.size() < 4) return false;
  std::string tail(name.substr(name.size() - 4));
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".css";
}

}  // namespace

std::vector<Finding> check_open_document(const OpenDocument& document, const CheckConfig& config) {
  const std::string path = checked_path(document);
  std::vector<Finding> findings =
      check_document(to_path(path_or_untitled(document)), document.text, config);
  std::erase_if(findings, [&](const Finding& finding) { return finding.place.file != path; });
  return findings;
}

std::string diagnostics_of(const OpenDocument& document, const std::vector<Finding>& findings) {
  const std::string path = checked_path(document);
  std::string text = "[";
  for (const Finding& finding : findings) {
    if (text.size() > 1) text += ',';
    append_diagnostic(text, document, path, finding);
  }
  text += ']';
  return text;
}

std::vector<std::string> finding_notes(const std::vector<Finding>& findings, int line) {
  std::vector<std::string> notes;
  for (const Finding& finding : findings) {
    if (finding.place.line - 1 != line) continue;
    notes.push_back(std::string(severity_name(finding.severity)) + " " + finding.code + ": " +
                    finding.message);
  }
  return notes;
}

json document_symbols(const OpenDocument& document) {
  const std::vector<std::string_view> lines = split_line_views(document.text);
  const DocumentTrace trace = trace_qlml_lines(lines);
  const auto end_of = [&](std::uint32_t line) {
    const int index = static_cast<int>(line) - 1;
    return position_json(index, utf16_of_byte(line_text(document, index), std::string::npos));
  };
  const auto whole_line = [&](std::uint32_t line) {
    return json{{"start", position_json(static_cast<int>(line) - 1, 0)}, {"end", end_of(line)}};
  };
  constexpr int kKindNamespace = 3;
  constexpr int kKindFunction = 12;
  json symbols = json::array();
  for (const OutlineSection& section : trace.sections) {
    json children = json::array();
    // A step's scan may run on past the next Section line: the section's range covers it.
    std::uint32_t end_line = std::max(section.end_line, section.line);
    for (const OutlineStep& step : section.steps) {
      const std::uint32_t step_end = std::max(step.end_line, step.line);
      end_line = std::max(end_line, step_end);
      children.push_back({{"name", "Step " + std::to_string(section.number) + "." +
                                       std::to_string(step.number) + ": " + trim(step.title)},
                          {"kind", kKindFunction},
                          {"range",
                           {{"start", position_json(static_cast<int>(step.line) - 1, 0)},
                            {"end", end_of(step_end)}}},
                          {"selectionRange", whole_line(step.line)}});
    }
    symbols.push_back(
        {{"name", "Section " + std::to_string(section.number) + ": " + trim(section.title)},
         {"kind", kKindNamespace},
         {"range",
          {{"start", position_json(static_cast<int>(section.line) - 1, 0)},
           {"end", end_of(end_line)}}},
         {"selectionRange", whole_line(section.line)},
         {"children", std::move(children)}});
  }
  return symbols;
}

json code_actions(const OpenDocument& document, const std::vector<Finding>& findings,
                  const Utf16Range& range) {
  const std::string path = checked_path(document);
  json actions = json::array();
  for (const Finding& finding : findings) {
    const int line = finding.place.line - 1;
    if (line > range.end.line || (line < range.start.line && finding.place.line > 0)) continue;
    if (finding.place.line <= 0 && range.start.line > 0) continue;
    const json diagnostic = diagnostic_of(document, path, finding);
    const std::string_view text = line_text(document, std::max(line, 0));
    if (finding.code == "QL001") {
      const auto [start, end] = keyword_part(text);
      const std::string_view written = text.substr(start, end - start);
      const std::string_view suggestion = keyword_suggestion(written);
      if (!suggestion.empty() && suggestion != written) {
        actions.push_back(quick_fix(
            document,
            "Change \"" + std::string(written) + "\" to \"" + std::string(suggestion) + "\"",
            diagnostic,
            {{"range", line_range(line, utf16_of_byte(text, start), utf16_of_byte(text, end))},
             {"newText", suggestion}},
            true));
      }
    }
    if (finding.code == "QL503" && classify_line(text) == Keyword::Template) {
      const std::size_t bar = text.find('|');
      const std::string_view value = trim_view(text.substr(bar + 1));
      if (!value.empty() && !ends_with_css(value)) {
        const int at = utf16_of_byte(
            text, static_cast<std::size_t>(value.data() + value.size() - text.data()));
        actions.push_back(
            quick_fix(document, "Add \".css\" to \"" + std::string(value) + "\"", diagnostic,
                      {{"range", line_range(line, at, at)}, {"newText", ".css"}}, true));
      }
    }
    if (finding.place.line <= 0) {
      actions.push_back(quick_fix(document, "Ignore " + finding.code + " in this document",
                                  diagnostic,
                                  {{"range", line_range(0, 0, 0)},
                                   {"newText", "// qlml: ignore-file " + finding.code + "\n"}},
                                  false));
      continue;
    }
    const std::string indent(text.substr(0, text.find_first_not_of(" \t") == std::string_view::npos
                                                ? 0
                                                : text.find_first_not_of(" \t")));
    actions.push_back(quick_fix(document, "Ignore " + finding.code + " here", diagnostic,
                                {{"range", line_range(line, 0, 0)},
                                 {"newText", indent + "// qlml: ignore " + finding.code + "\n"}},
                                false));
  }
  return actions;
}

}  // namespace morvalen
