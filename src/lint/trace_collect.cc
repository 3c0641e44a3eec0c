// The matrix's inputs and its assembly: the verifications of each document, the
// requirements list, and the rows, statuses and findings made of them.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fatal.h"
#include "files.h"
#include "lint/trace.h"
#include "names.h"
#include "read_qlml.h"
#include "resolve.h"
#include "text.h"

namespace morvalen {
namespace {

bool is_ascii_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The position of the first line feed of `text` from `from` on, or its size.
std::size_t find_line_feed(std::string_view text, std::size_t from) {
  const std::size_t end = text.find('\n', from);
  return end == std::string_view::npos ? text.size() : end;
}

// The position of the first character from `from` on that is neither a blank, a tab nor
// another ASCII white-space character other than the line feed.
std::size_t skip_blanks(std::string_view text, std::size_t from) {
  std::size_t i = from;
  // Documents indent with blanks: eight at a time, then one by one.
  constexpr std::uint64_t kEightBlanks = 0x2020202020202020;
  for (std::uint64_t word = 0; i + 8 <= text.size(); i += 8) {
    std::memcpy(&word, text.data() + i, sizeof word);
    if (word != kEightBlanks) break;
  }
  while (i < text.size() && text[i] != '\n' && is_ascii_white(text[i])) ++i;
  return i;
}

// Whether a line whose first character that is not white space is `c` may be a statement
// that trace reads (Number, Title, Revision, Section, Step, Verification): a keyword's first
// letter is that character. A byte beyond ASCII may be Unicode white space or a letter that
// upper-cases into one, and leaves the line to the reader's classification.
bool may_be_traced(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x80) return true;
  switch (byte | 0x20) {  // ASCII lower case
    case 'n':
    case 't':
    case 'r':
    case 's':
    case 'v':
      return true;
    default:
      return false;
  }
}

// The 1-based byte column of `field`'s text without the white space around it, within
// `line` (`field` is a view into it); the field's own start when it is all white space.
std::size_t column_of(std::string_view line, std::string_view field) {
  const std::string_view trimmed = trim_view(field);
  const char* start = trimmed.empty() ? field.data() : trimmed.data();
  return static_cast<std::size_t>(start - line.data()) + 1;
}

// Where a note about a Verification line points: its requirement text, or its id when the
// line has no text field, or the keyword when it has no bar.
std::size_t verification_column(std::string_view line) {
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return column_of(line, line);
  const std::string_view value = line.substr(bar + 1);
  const std::size_t second = value.find('|');
  if (second == std::string_view::npos) return column_of(line, value);
  const std::string_view rest = value.substr(second + 1);
  return column_of(line, rest.substr(0, rest.find('|')));
}

std::string_view value_after_bar(std::string_view line) {
  const std::size_t bar = line.find('|');
  return bar == std::string_view::npos ? std::string_view{} : line.substr(bar + 1);
}

// The first character that is not white space of each line of a text that has one, in
// order. Each 64 bytes give two masks: line feeds, and the bytes up to the blank (white
// space and control characters); one addition carries every line's start across its
// leading run of those to its first other character.
class LineStarts {
 public:
  explicit LineStarts(std::string_view text) : text_(text) {}

  // Moves to the next such character; false after the last.
  bool next() {
    while (firsts_ == 0) {
      if (base_ != kNone) {
        lines_before_ += static_cast<std::size_t>(std::popcount(feeds_));
        if (feeds_ != 0)
          last_start_ = base_ + 64 - static_cast<std::size_t>(std::countl_zero(feeds_));
        base_ += 64;
      } else {
        base_ = 0;
      }
      if (base_ >= text_.size()) return false;
      load_block();
    }
    bit_ = static_cast<unsigned>(std::countr_zero(firsts_));
    firsts_ &= firsts_ - 1;
    return true;
  }
  std::size_t first() const { return base_ + bit_; }
  // Where its line starts.
  std::size_t line_start() const {
    const std::uint64_t before = feeds_ & ((std::uint64_t{1} << bit_) - 1);
    if (before == 0) return last_start_;
    return base_ + 64 - static_cast<std::size_t>(std::countl_zero(before));
  }
  // The 1-based number of its line.
  std::size_t line_number() const {
    const std::uint64_t before = feeds_ & ((std::uint64_t{1} << bit_) - 1);
    return lines_before_ + static_cast<std::size_t>(std::popcount(before)) + 1;
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void load_block() {
    const std::size_t left = text_.size() - base_;
    std::uint64_t low = 0;
    if (left >= 64) {
      masks(text_.data() + base_, feeds_, low);
    } else {
      // The last bytes, padded with a letter that is neither.
      std::array<char, 64> block;
      block.fill('x');
      std::memcpy(block.data(), text_.data() + base_, left);
      masks(block.data(), feeds_, low);
    }
    const std::uint64_t starts = (feeds_ << 1) | start_carry_;
    start_carry_ = feeds_ >> 63;
    const std::uint64_t blanks = low & ~feeds_;
    std::uint64_t sum = 0;
    const bool over = __builtin_add_overflow(starts, blanks, &sum);
    const bool over_again = __builtin_add_overflow(sum, add_carry_, &sum);
    add_carry_ = over || over_again ? 1 : 0;
    firsts_ = sum & ~blanks & ~feeds_;
    if (left < 64) firsts_ &= (std::uint64_t{1} << left) - 1;
  }

  // The line feeds of the 64 bytes at `bytes`, and the bytes up to the blank, as bits.
  static void masks(const char* bytes, std::uint64_t& feeds, std::uint64_t& low) {
    feeds = 0;
    low = 0;
#if defined(__SSE2__)
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i blank = _mm_set1_epi8(' ');
    for (unsigned k = 0; k < 4; ++k) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
      const auto f = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, feed)));
      const auto l = static_cast<std::uint32_t>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(chunk, blank), chunk)));
      feeds |= std::uint64_t{f} << (16 * k);
      low |= std::uint64_t{l} << (16 * k);
    }
#else
    for (unsigned i = 0; i < 64; ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      feeds |= std::uint64_t{byte == '\n'} << i;
      low |= std::uint64_t{byte <= ' '} << i;
    }
#endif
  }

  std::string_view text_;
  std::size_t base_ = kNone;       // where the current 64 bytes begin
  std::uint64_t feeds_ = 0;        // their line feeds
  std::uint64_t firsts_ = 0;       // the first characters among them not yet visited
  unsigned bit_ = 0;               // the current one
  std::uint64_t start_carry_ = 1;  // a line starts at the next block's first byte
  std::uint64_t add_carry_ = 0;    // a leading run goes on into it
  std::size_t lines_before_ = 0;   // line feeds before the current block
  std::size_t last_start_ = 0;     // the last line start before it
};

// A Verification line's value as parse_verification_line reads it, the texts as views
// into the value (or the fixed "???").
TracedRequirement requirement_of(std::string_view value) {
  const std::size_t bar = value.find('|');
  const std::string_view id = value.substr(0, bar);
  TracedRequirement requirement{trim_view(id), "???", VerificationMethod::Sampling};
  std::string_view method = "???";
  if (bar != std::string_view::npos) {
    const std::string_view rest = value.substr(bar + 1);
    const std::size_t second = rest.find('|');
    requirement.text = trim_view(rest.substr(0, second));
    if (second != std::string_view::npos) {
      const std::string_view after = rest.substr(second + 1);
      method = trim_view(after.substr(0, after.find('|')));
    }
  }
  requirement.method = which_method(method);
  return requirement;
}

// Gives the document's verifications a copy of their ids and texts of its own, in one
// piece of storage, instead of views into the text it was read from.
void keep_quotes(TracedDocument& document) {
  std::size_t size = 0;
  for (const TracedVerification& verification : document.verifications) {
    size += verification.requirement.rid.size() + verification.requirement.text.size();
  }
  auto quotes = std::make_shared<std::string>();
  quotes->reserve(size);
  for (const TracedVerification& verification : document.verifications) {
    quotes->append(verification.requirement.rid).append(verification.requirement.text);
  }
  std::size_t at = 0;
  const std::string_view kept = *quotes;
  for (TracedVerification& verification : document.verifications) {
    TracedRequirement& requirement = verification.requirement;
    requirement.rid = kept.substr(at, requirement.rid.size());
    at += requirement.rid.size();
    requirement.text = kept.substr(at, requirement.text.size());
    at += requirement.text.size();
  }
  document.quotes = std::move(quotes);
}

[[noreturn]] void reject_list(const std::string& path, std::size_t line, std::string_view problem) {
  fatal("Rejected requirements list: " + path + ": line " + std::to_string(line) + ": " +
        std::string(problem));
}

struct CsvRecord {
  std::vector<std::string> fields;
  std::size_t line = 0;
};

// The records of a CSV text as RFC 4180 has them: fields separated by commas, records by
// line ends (CRLF or LF); a field that begins with a double quote runs to the closing one,
// commas and line ends included, a doubled quote inside standing for one. Text between a
// closing quote and the next separator is kept as it stands.
std::vector<CsvRecord> csv_records(std::string_view content, const std::string& path) {
  const std::string_view text = drop_byte_order_mark(content);
  std::vector<CsvRecord> records;
  std::size_t line = 1;
  std::size_t i = 0;
  const auto line_end_at = [&](std::size_t at) {
    return text[at] == '\n' ||
           (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] == '\n'));
  };
  while (i < text.size()) {
    CsvRecord record;
    record.line = line;
    while (true) {
      std::string field;
      if (i < text.size() && text[i] == '"') {
        const std::size_t opened = line;
        ++i;
        while (true) {
          if (i == text.size()) reject_list(path, opened, "a quoted field is not closed");
          if (text[i] == '"') {
            ++i;
            if (i == text.size() || text[i] != '"') break;
          } else if (text[i] == '\n') {
            ++line;
          }
          field.push_back(text[i]);
          ++i;
        }
      }
      const std::size_t start = i;
      while (i < text.size() && text[i] != ',' && !line_end_at(i)) ++i;
      field.append(text.substr(start, i - start));
      record.fields.push_back(std::move(field));
      if (i == text.size()) break;
      if (text[i] == ',') {
        ++i;
        continue;
      }
      i += text[i] == '\r' && i + 1 < text.size() ? 2 : 1;
      ++line;
      break;
    }
    records.push_back(std::move(record));
  }
  return records;
}

// The position of the header field that names `column`, or nothing.
std::optional<std::size_t> column_named(const CsvRecord& header, std::string_view column) {
  for (std::size_t i = 0; i < header.fields.size(); ++i) {
    if (trim_whitespace_make_uppercase(header.fields[i]) == column) return i;
  }
  return std::nullopt;
}

std::string trimmed_field(const CsvRecord& record, std::size_t index) {
  return index < record.fields.size() ? trim(record.fields[index]) : std::string();
}

std::string document_file_of(const TracedDocument& document) {
  // Relative to the library root, as the notes name it: "{folder}/{folder}.qlml".
  return document_path(document.folder).substr(2);
}

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

TracedDocument trace_document(std::string_view content, std::string folder) {
  const Process fresh;
  TracedDocument document;
  document.folder = std::move(folder);
  std::string_view number = fresh.number;
  std::string_view title = fresh.title;
  std::optional<std::string> revision;
  long long section = 0;
  long long step = 0;
  // Lines are cut here as next_line cuts them. The first character of each line that is not
  // white space settles most lines without the reader's classification; those characters
  // are found 64 bytes at a time (LineStarts).
  const std::string_view text = drop_byte_order_mark(content);
  for (LineStarts lines(text); lines.next();) {
    const std::size_t first = lines.first();
    if (!may_be_traced(text[first])) continue;
    const std::size_t line_start = lines.line_start();
    // A control character before it: the line's first character is that one.
    if (skip_blanks(text, line_start) != first) continue;
    const std::size_t end = find_line_feed(text, first);
    std::string_view line = text.substr(line_start, end - line_start);
    const Keyword keyword = classify_line(line.substr(first - line_start));
    if (keyword == Keyword::None) continue;
    if (line.ends_with('\r') && end < text.size()) line.remove_suffix(1);
    switch (keyword) {
      case Keyword::Number:
        number = trim_view(value_after_bar(line));
        break;
      case Keyword::Title:
        title = trim_view(value_after_bar(line));
        break;
      case Keyword::Revision:
        if (!revision) revision = parse_revision_line(value_after_bar(line)).revision;
        break;
      case Keyword::Section:
        ++section;
        step = 0;
        break;
      case Keyword::Step:
        ++step;
        break;
      case Keyword::Verification:
        document.verifications.push_back({requirement_of(value_after_bar(line)),
                                          lines.line_number(), verification_column(line), section,
                                          step});
        break;
      default:
        break;
    }
  }
  document.number = std::string(number);
  document.title = std::string(title);
  document.revision = revision ? std::move(*revision) : document.number;
  keep_quotes(document);
  return document;
}

TracedDocument read_traced_document(const std::string& folder, std::string& content) {
  read_text_file_into(document_path(folder), content);
  return trace_document(content, folder);
}

std::vector<ListedRequirement> parse_requirements_list(std::string_view content,
                                                       const std::string& path) {
  const std::vector<CsvRecord> records = csv_records(content, path);
  constexpr std::string_view kHeaderProblem =
      "the header must name the columns Requirement and Text";
  if (records.empty()) reject_list(path, 1, kHeaderProblem);
  const std::optional<std::size_t> id_column = column_named(records.front(), "REQUIREMENT");
  const std::optional<std::size_t> text_column = column_named(records.front(), "TEXT");
  if (!id_column || !text_column) reject_list(path, 1, kHeaderProblem);
  std::vector<ListedRequirement> requirements;
  for (std::size_t i = 1; i < records.size(); ++i) {
    std::string rid = trimmed_field(records[i], *id_column);
    if (rid.empty()) continue;
    requirements.push_back(
        {std::move(rid), trimmed_field(records[i], *text_column), records[i].line});
  }
  return requirements;
}

RequirementsList read_requirements_list(const std::string& path) {
  const std::string content = read_text_file(path, "Could not read the requirements list");
  return {path, parse_requirements_list(content, path)};
}

TraceMatrix build_trace_matrix(std::vector<TracedDocument> documents,
                               const std::optional<RequirementsList>& list) {
  TraceMatrix matrix;
  std::sort(documents.begin(), documents.end(),
            [](const TracedDocument& a, const TracedDocument& b) { return a.folder < b.folder; });
  matrix.documents = std::move(documents);
  std::vector<TraceRow>& rows = matrix.rows;
  std::size_t verifications = 0;
  for (const TracedDocument& document : matrix.documents) {
    verifications += document.verifications.size();
  }
  // Keys are views into the list and into the documents' quotes, which outlive the map.
  std::unordered_map<std::string_view, std::size_t> row_of;
  row_of.reserve(verifications + (list ? list->requirements.size() : 0));
  std::vector<std::size_t> list_lines;  // of the listed rows, which come first
  if (list) {
    matrix.list_path = list->path;
    for (const ListedRequirement& listed : list->requirements) {
      const auto found = row_of.find(listed.rid);
      if (found == row_of.end()) {
        row_of.emplace(listed.rid, rows.size());
        rows.push_back({listed.rid, {listed.text}, TraceStatus::NotVerified, {}});
        list_lines.push_back(listed.line);
      } else if (rows[found->second].texts.front() != listed.text) {
        matrix.findings.push_back({"QL803", list->path, listed.line, 1, listed.rid,
                                   listed.rid + " is listed again with another text, " +
                                       in_quotes(listed.text) + "; the text of line " +
                                       std::to_string(list_lines[found->second]) + " counts",
                                   std::nullopt});
      }
    }
  }
  const std::size_t listed_rows = rows.size();
  const TraceStatus unlisted = list ? TraceStatus::NotInList : TraceStatus::Verified;
  // Documents in folder order and their lines in order: each row's first verification is
  // its first quote, and the findings come out in document and line order.
  for (std::size_t d = 0; d < matrix.documents.size(); ++d) {
    TracedDocument& document = matrix.documents[d];
    for (TracedVerification& verification : document.verifications) {
      const TracedRequirement& requirement = verification.requirement;
      const TraceEntry entry{d,
                             0,
                             requirement.method,
                             verification.line,
                             verification.column,
                             verification.section,
                             verification.step};
      auto found = row_of.find(requirement.rid);
      if (found == row_of.end()) {
        found = row_of.emplace(requirement.rid, rows.size()).first;
        rows.push_back(
            {std::string(requirement.rid), {std::string(requirement.text)}, unlisted, {entry}});
        continue;
      }
      TraceRow& row = rows[found->second];
      const auto same = std::find(row.texts.begin(), row.texts.end(), requirement.text);
      TraceEntry placed = entry;
      placed.text = static_cast<std::size_t>(same - row.texts.begin());
      if (placed.text != 0) {
        const bool listed = found->second < listed_rows;
        TraceFinding finding{listed ? "QL802" : "QL801",
                             document_file_of(document),
                             verification.line,
                             verification.column,
                             row.rid,
                             row.rid + " is quoted here as " + in_quotes(requirement.text),
                             placed};
        if (listed) {
          finding.message += " but the requirements list has " + in_quotes(row.texts.front()) +
                             " (" + list->path + ":" + std::to_string(list_lines[found->second]) +
                             ")";
        } else {
          const TraceEntry& first = row.verifications.front();
          finding.message += " but as " + in_quotes(row.texts.front()) + " in " +
                             document_file_of(matrix.documents[first.document]) + ":" +
                             std::to_string(first.line);
        }
        matrix.findings.push_back(std::move(finding));
      }
      if (same == row.texts.end()) row.texts.emplace_back(requirement.text);
      row.verifications.push_back(placed);
    }
  }
  for (TracedDocument& document : matrix.documents) {
    document.verifications = {};
    document.quotes.reset();
  }
  for (std::size_t r = 0; r < listed_rows; ++r) {
    if (!rows[r].verifications.empty()) rows[r].status = TraceStatus::Verified;
  }
  // The ids outside the list follow in natural order.
  std::vector<std::string_view> unlisted_ids;
  for (std::size_t r = listed_rows; r < rows.size(); ++r) unlisted_ids.push_back(rows[r].rid);
  const std::vector<std::size_t> order = natural_order(unlisted_ids);
  std::vector<TraceRow> sorted;
  sorted.reserve(rows.size());
  for (std::size_t r = 0; r < listed_rows; ++r) sorted.push_back(std::move(rows[r]));
  for (const std::size_t i : order) sorted.push_back(std::move(rows[listed_rows + i]));
  rows = std::move(sorted);
  for (const TraceRow& row : rows) {
    switch (row.status) {
      case TraceStatus::Verified:
        ++matrix.verified;
        break;
      case TraceStatus::NotVerified:
        ++matrix.not_verified;
        break;
      case TraceStatus::NotInList:
        ++matrix.not_in_list;
        break;
    }
  }
  return matrix;
}

std::string natural_sort_key(std::string_view id) {
  // A run of digits becomes "0", its length without leading zeros in two bytes, and those
  // digits: runs compare by length, then digit by digit, and against any other character
  // as a digit does (the marker "0" is a digit).
  std::string key;
  key.reserve(id.size() + 8);
  for (std::size_t i = 0; i < id.size();) {
    if (!is_digit(id[i])) {
      key.push_back(id[i++]);
      continue;
    }
    std::size_t end = i;
    while (end < id.size() && is_digit(id[end])) ++end;
    while (i + 1 < end && id[i] == '0') ++i;
    const std::size_t length = std::min<std::size_t>(end - i, 0xFFFF);
    key.push_back('0');
    key.push_back(static_cast<char>(length >> 8));
    key.push_back(static_cast<char>(length & 0xFF));
    key.append(id.substr(i, end - i));
    i = end;
  }
  return key;
}

bool natural_less(std::string_view a, std::string_view b) {
  const int order = natural_sort_key(a).compare(natural_sort_key(b));
  return order != 0 ? order < 0 : a < b;
}

std::vector<std::size_t> natural_order(const std::vector<std::string_view>& ids) {
  std::vector<std::string> keys;
  keys.reserve(ids.size());
  for (const std::string_view id : ids) keys.push_back(natural_sort_key(id));
  std::vector<std::size_t> order(ids.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const int by_key = keys[a].compare(keys[b]);
    return by_key != 0 ? by_key < 0 : ids[a] < ids[b];
  });
  return order;
}

std::string location_text(long long section, long long step) {
  if (section == 0) return "before the first section";
  if (step == 0) return "outside a step";
  return step_label(section, step);
}

std::string step_anchor(long long section, long long step) {
  if (section == 0 || step == 0) return "";
  return "Step" + std::to_string(section) + "." + std::to_string(step);
}

std::string trace_summary_line(const TraceMatrix& matrix) {
  std::string line = std::to_string(matrix.rows.size()) +
                     " requirements: " + std::to_string(matrix.verified) + " verified, " +
                     std::to_string(matrix.not_verified) + " not verified";
  if (matrix.list_path) line += ", " + std::to_string(matrix.not_in_list) + " not in the list";
  return line;
}

std::string format_finding(const TraceFinding& finding) {
  return finding.path + ":" + std::to_string(finding.line) + ":" + std::to_string(finding.column) +
         ": note: " + finding.message + " [" + finding.code + "]";
}

}  // namespace morvalen
