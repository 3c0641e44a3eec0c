#include "lint/lsp_features.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "files.h"
#include "names.h"
#include "read_qlml.h"
#include "text.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The protocol's numbers for kinds and formats.
constexpr int kKindKeyword = 14;
constexpr int kKindFile = 17;
constexpr int kKindValue = 12;
constexpr int kFormatSnippet = 2;

// What the fields of each statement hold, as the cheat sheet describes them; the snippet
// a keyword completes to has one placeholder per field.
struct FieldNames {
  Keyword keyword;
  std::array<std::string_view, 3> fields;
};
constexpr std::array<FieldNames, 25> kFieldNames = {{
    {Keyword::Template, {"stylesheet file name"}},
    {Keyword::Number, {"process number"}},
    {Keyword::Title, {"process title"}},
    {Keyword::ProcessType, {"category"}},
    {Keyword::Author, {"author"}},
    {Keyword::Reviewer, {"reviewer"}},
    {Keyword::Revision, {"revision", "description of change"}},
    {Keyword::Subject, {"thing the process applies to"}},
    {Keyword::SubjectImage, {"image file name"}},
    {Keyword::Product, {"thing produced"}},
    {Keyword::ProductImage, {"image file name"}},
    {Keyword::Section, {"section title"}},
    {Keyword::Step, {"step title"}},
    {Keyword::Action, {"thing to do", "expected result"}},
    {Keyword::Command, {"verbatim computer code"}},
    {Keyword::Context, {"plain statements for context"}},
    {Keyword::Image, {"image file name", "text under the image"}},
    {Keyword::Warning, {"big bold text to capture attention"}},
    {Keyword::CsvStart, {"caption"}},
    {Keyword::CsvEnd, {}},
    {Keyword::CsvFile, {"CSV file name", "caption"}},
    {Keyword::Verification, {"requirement id", "full text of requirement", "verification method"}},
    {Keyword::Resource, {"thing needed"}},
    {Keyword::Objective, {"achieved purpose of the process"}},
    {Keyword::OutOfScope, {"note about what not to do"}},
}};

constexpr std::array<std::string_view, 5> kMethods = {"Demonstration", "Inspection", "Analysis",
                                                      "Test", "Sampling"};
constexpr std::array<std::string_view, 6> kTwoPartyWords = {
    "TPV", "Yes", "Y", "True", "T", "Two Party Verification"};
constexpr std::array<std::string_view, 8> kImageExtensions = {".png", ".jpg",  ".jpeg", ".gif",
                                                              ".svg", ".webp", ".bmp",  ".avif"};

std::string_view written_form(Keyword keyword) {
  for (const KeywordSpelling& spelling : keyword_spellings()) {
    if (spelling.keyword == keyword) return spelling.written;
  }
  return {};
}

const FieldNames& field_names(Keyword keyword) {
  return *std::find_if(kFieldNames.begin(), kFieldNames.end(),
                       [&](const FieldNames& names) { return names.keyword == keyword; });
}

std::string snippet_of(Keyword keyword) {
  std::string snippet(written_form(keyword));
  int placeholder = 0;
  for (const std::string_view field : field_names(keyword).fields) {
    if (field.empty()) break;
    snippet += " | ${" + std::to_string(++placeholder) + ":" + std::string(field) + "}";
  }
  return snippet;
}

std::string lower_ascii(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

bool has_extension(const std::string& name, std::span<const std::string_view> extensions) {
  const std::string lowered = lower_ascii(name);
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](std::string_view extension) { return lowered.ends_with(extension); });
}

// The names of the regular files in `folder` that end in one of `extensions`, sorted.
std::vector<std::string> files_in(const fs::path& folder,
                                  std::span<const std::string_view> extensions) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    if (!it->is_regular_file(ignored)) continue;
    std::string name = from_path(it->path().filename());
    if (has_extension(name, extensions)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

fs::path process_folder_of(const OpenDocument& document) {
  const std::string path = path_of_file_url(document.uri);
  return path.empty() ? fs::path() : to_path(path).parent_path();
}

fs::path assets_folder_of(const OpenDocument& document) {
  const fs::path folder = process_folder_of(document);
  return folder.empty() ? fs::path() : folder.parent_path() / "assets";
}

json range_json(int line, int start, int end) {
  return {{"start", {{"line", line}, {"character", start}}},
          {"end", {{"line", line}, {"character", end}}}};
}

json keyword_items(std::string_view line, std::size_t cursor, int line_number) {
  std::size_t start = 0;
  while (start < cursor && (line[start] == ' ' || line[start] == '\t')) ++start;
  // A line that has its fields already gets the bare keyword.
  const bool bare = line.find('|', cursor) != std::string_view::npos;
  const json range =
      range_json(line_number, utf16_of_byte(line, start), utf16_of_byte(line, cursor));
  json items = json::array();
  for (const KeywordSpelling& spelling : keyword_spellings()) {
    json item = {{"label", spelling.written},
                 {"kind", kKindKeyword},
                 {"filterText", spelling.written},
                 {"textEdit", {{"range", range}, {"newText", spelling.written}}}};
    if (!bare) {
      item["textEdit"]["newText"] = snippet_of(spelling.keyword);
      item["insertTextFormat"] = kFormatSnippet;
    }
    items.push_back(std::move(item));
  }
  return items;
}

json value_items(std::span<const std::string> values, int kind, std::string_view line,
                 std::size_t field_start, std::size_t cursor, int line_number) {
  std::size_t start = field_start;
  while (start < cursor && (line[start] == ' ' || line[start] == '\t')) ++start;
  // Right after the bar the value comes with the blank that documents put there.
  const std::string lead = start == field_start && start == cursor ? " " : "";
  const json range =
      range_json(line_number, utf16_of_byte(line, start), utf16_of_byte(line, cursor));
  json items = json::array();
  for (const std::string& value : values) {
    items.push_back({{"label", value},
                     {"kind", kind},
                     {"filterText", lead + value},
                     {"textEdit", {{"range", range}, {"newText", lead + value}}}});
  }
  return items;
}

std::vector<std::string> as_strings(std::span<const std::string_view> words) {
  return std::vector<std::string>(words.begin(), words.end());
}

// The byte range in `line` of the first field of the value that begins at `start`, or of the
// whole value, trimmed; nothing when it is blank.
std::optional<std::pair<std::size_t, std::size_t>> trimmed_first_field(std::string_view line,
                                                                       std::size_t start,
                                                                       bool whole) {
  const std::size_t end = whole ? line.size() : std::min(line.find('|', start), line.size());
  const std::string_view field = line.substr(start, end - start);
  const std::string_view trimmed = trim_view(field);
  if (trimmed.empty()) return std::nullopt;
  const std::size_t from = start + static_cast<std::size_t>(trimmed.data() - field.data());
  return std::pair{from, from + trimmed.size()};
}

std::string yes_no(bool value) { return value ? "yes" : "no"; }

// The hover text of a statement: its written keyword, then what the reader takes from it,
// trimmed for reading (the page does not show the blanks around a field either).
std::string describe(Keyword keyword, std::string_view value) {
  const std::string name(written_form(keyword));
  const auto fields = split(value, '|');
  switch (keyword) {
    case Keyword::None:
      return {};
    case Keyword::Revision: {
      const RevisionEntry entry = parse_revision_line(value);
      return name + " — revision: " + entry.revision + "; description: " + entry.description;
    }
    case Keyword::Action: {
      const Action action = parse_action_line(value);
      return name + " — thing to do: " + trim(action.action) +
             "; expected: " + trim(action.expected) +
             "; two-party verification: " + yes_no(action.tpv);
    }
    case Keyword::Image: {
      const Image image = parse_image_line(value);
      return name + " — file: " + trim(image.file) + "; text under the image: " + trim(image.text);
    }
    case Keyword::Verification: {
      const Requirement requirement = parse_verification_line(value);
      return name + " — requirement: " + requirement.rid + "; text: " + requirement.text +
             "; method: " + requirement.get_method();
    }
    case Keyword::Resource:
      return name + " — thing needed: " + trim(parse_resource_line(value).name);
    case Keyword::CsvStart:
      return name + " — opens an embedded table; caption: " +
             (fields.size() > 0 ? trim(fields[0]) : std::string());
    case Keyword::CsvEnd:
      return name + " — closes an embedded table";
    case Keyword::CsvFile:
      return name + " — file: " + trim(fields[0]) +
             "; caption: " + (fields.size() > 1 ? trim(fields[1]) : std::string());
    default:
      return name + " — " + std::string(field_names(keyword).fields[0]) + ": " + trim(value);
  }
}

}  // namespace

json completion_items(const OpenDocument& document, Utf16Position position) {
  const std::string_view line = line_text(document, position.line);
  const std::size_t cursor = byte_of_utf16(line, position.character);
  const std::string_view before = line.substr(0, cursor);
  if (trim_view(before).starts_with("//")) return json::array();
  const std::size_t first_bar = before.find('|');
  if (first_bar == std::string_view::npos) return keyword_items(line, cursor, position.line);
  const auto field = static_cast<std::size_t>(std::count(before.begin(), before.end(), '|'));
  const std::size_t field_start = before.rfind('|') + 1;
  const auto items = [&](const std::vector<std::string>& values, int kind) {
    return value_items(values, kind, line, field_start, cursor, position.line);
  };
  switch (classify_line(line)) {
    case Keyword::Verification:
      return field == 3 ? items(as_strings(kMethods), kKindValue) : json::array();
    case Keyword::Action:
      return field == 3 ? items(as_strings(kTwoPartyWords), kKindValue) : json::array();
    case Keyword::Image:
    case Keyword::SubjectImage:
    case Keyword::ProductImage:
      return field == 1 ? items(files_in(process_folder_of(document), kImageExtensions), kKindFile)
                        : json::array();
    case Keyword::CsvFile: {
      constexpr std::array<std::string_view, 1> kCsv = {".csv"};
      return field == 1 ? items(files_in(process_folder_of(document), kCsv), kKindFile)
                        : json::array();
    }
    case Keyword::Template: {
      constexpr std::array<std::string_view, 1> kCss = {".css"};
      return field == 1 ? items(files_in(assets_folder_of(document), kCss), kKindFile)
                        : json::array();
    }
    default:
      return json::array();
  }
}

json hover_at(const OpenDocument& document, Utf16Position position,
              const std::vector<std::string>& notes) {
  const std::string_view line = line_text(document, position.line);
  std::string text;
  if (!trim_view(line).starts_with("//")) {
    const std::size_t bar = line.find('|');
    const std::string_view value =
        bar == std::string_view::npos ? std::string_view() : line.substr(bar + 1);
    text = describe(classify_line(line), value);
  }
  for (const std::string& note : notes) text += (text.empty() ? "" : "\n\n") + note;
  if (text.empty()) return nullptr;
  return {{"contents", {{"kind", "plaintext"}, {"value", text}}},
          {"range", range_json(position.line, 0, utf16_of_byte(line, line.size()))}};
}

json document_links(const OpenDocument& document) {
  json links = json::array();
  const fs::path folder = process_folder_of(document);
  if (folder.empty()) return links;
  const fs::path assets = assets_folder_of(document);
  const int lines = static_cast<int>(document.line_starts.size());
  for (int number = 0; number < lines; ++number) {
    const std::string_view line = line_text(document, number);
    const Keyword keyword = classify_line(line);
    const fs::path* base = &folder;
    bool whole = false;
    switch (keyword) {
      case Keyword::Image:
      case Keyword::CsvFile:
        break;
      case Keyword::SubjectImage:
      case Keyword::ProductImage:
        whole = true;
        break;
      case Keyword::Template:
        whole = true;
        base = &assets;
        break;
      default:
        continue;
    }
    const std::size_t bar = line.find('|');
    if (bar == std::string_view::npos) continue;
    const auto field = trimmed_first_field(line, bar + 1, whole);
    if (!field) continue;
    const std::string name(line.substr(field->first, field->second - field->first));
    const fs::path target = (*base / to_path(name)).lexically_normal();
    std::error_code ignored;
    if (!fs::is_regular_file(target, ignored)) continue;
    links.push_back({{"range", range_json(number, utf16_of_byte(line, field->first),
                                          utf16_of_byte(line, field->second))},
                     {"target", file_url(from_path(target))}});
  }
  return links;
}

}  // namespace morvalen
