// The matrix's inputs and its assembly: the verifications of each document, the
// requirements list, and the rows, statuses and findings made of them.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

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

std::string_view value_after_bar(std::string_view line) {
  const std::size_t bar = line.find('|');
  return bar == std::string_view::npos ? std::string_view{} : line.substr(bar + 1);
}

// The number of bits set, for systems without a counting instruction in the baseline.
unsigned bits_set(std::uint64_t word) {
  word -= (word >> 1) & 0x5555555555555555;
  word = (word & 0x3333333333333333) + ((word >> 2) & 0x3333333333333333);
  word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0F;
  return static_cast<unsigned>((word * 0x0101010101010101) >> 56);
}

// The line feeds of the 64 bytes at `bytes`, as bits.
std::uint64_t feed_mask(const char* bytes) {
  std::uint64_t feeds = 0;
  for (unsigned k = 0; k < 4; ++k) {
    feeds |= std::uint64_t{byte_mask16(bytes + 16 * k, '\n')} << (16 * k);
  }
  return feeds;
}

// The position of the first character of `text` from `from` on that is not a blank
// (eight at a time); the size of `text` when there is none.
std::size_t skip_spaces(std::string_view text, std::size_t from) {
  constexpr std::uint64_t kEightBlanks = 0x2020202020202020;
  std::size_t i = from;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, sizeof word);
    if (word != kEightBlanks) {
      return i + static_cast<std::size_t>(std::countr_zero(word ^ kEightBlanks)) / 8;
    }
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return i;
}

// A line whose first character that is not white space may begin a statement trace reads.
struct CandidateLine {
  std::size_t start = 0;   // where the line begins
  std::size_t first = 0;   // its first character that is not white space
  std::size_t end = 0;     // its line feed, or the end of the text
  std::size_t number = 0;  // 1-based
};

// Calls visit(CandidateLine) for each line of `text`, cut as next_line cuts, whose first
// character that is not white space passes may_be_traced, in order. The line feeds are
// found 64 bytes at a time, as bit masks that also count the lines.
template <class Visit>
void for_each_candidate_line(std::string_view text, Visit&& visit) {
  const std::size_t size = text.size();
  std::uint64_t start_carry = 1;  // a line starts at the block's first byte
  std::size_t lines_before = 0;   // line feeds before the block
  for (std::size_t base = 0; base < size; base += 64) {
    const std::size_t left = size - base;
    std::uint64_t feeds = 0;
    if (left >= 64) {
      feeds = feed_mask(text.data() + base);
    } else {
      // The last bytes, padded with a letter.
      std::array<char, 64> block;
      block.fill('x');
      std::memcpy(block.data(), text.data() + base, left);
      feeds = feed_mask(block.data());
    }
    std::uint64_t starts = (feeds << 1) | start_carry;
    start_carry = feeds >> 63;
    if (left < 64) starts &= (std::uint64_t{1} << left) - 1;
    for (; starts != 0; starts &= starts - 1) {
      const auto bit = static_cast<unsigned>(std::countr_zero(starts));
      const std::size_t start = base + bit;
      // Documents indent with blanks; a tab or another control character is looked at
      // one by one.
      std::size_t first = skip_spaces(text, start);
      if (first < size && static_cast<unsigned char>(text[first]) <= ' ') {
        first = skip_blanks(text, first);
      }
      if (first == size || static_cast<unsigned char>(text[first]) <= ' ' ||
          !may_be_traced(text[first])) {
        continue;  // a blank line, or one that begins with a control character
      }
      const std::uint64_t before = feeds & ((std::uint64_t{1} << bit) - 1);
      visit(CandidateLine{start, first, find_line_feed(text, first),
                          lines_before + bits_set(before) + 1});
    }
    lines_before += bits_set(feeds);
  }
}

// Whether every byte of `text` is ASCII.
bool all_ascii(std::string_view text) {
  std::size_t i = 0;
  unsigned high = 0;
  for (; i + 16 <= text.size(); i += 16) high |= high_byte_mask16(text.data() + i);
  for (; i < text.size(); ++i) high |= static_cast<unsigned char>(text[i]) & 0x80u;
  return high == 0;
}

// A Verification line's requirement as parse_verification_line reads it, the texts as
// views into the line (or the fixed "???"), and the column a note about the line points
// at: its requirement text, or its id when the line has no text field, or the keyword when
// it has no bar.
struct VerificationFields {
  TracedRequirement requirement;
  std::size_t column = 0;
};

VerificationFields verification_fields(std::string_view line) {
  VerificationFields fields{{{}, "???", VerificationMethod::Sampling}, 0};
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) {
    fields.requirement.method = which_method("???");
    fields.column = column_of(line, line);
    return fields;
  }
  const std::string_view value = line.substr(bar + 1);
  const std::size_t second = value.find('|');
  const std::string_view id = value.substr(0, second);
  fields.requirement.rid = trim_view(id);
  std::string_view method = "???";
  if (second == std::string_view::npos) {
    fields.column = column_of(line, id);
  } else {
    const std::string_view rest = value.substr(second + 1);
    const std::size_t third = rest.find('|');
    const std::string_view text = rest.substr(0, third);
    fields.requirement.text = trim_view(text);
    fields.column = column_of(line, text);
    if (third != std::string_view::npos) {
      const std::string_view after = rest.substr(third + 1);
      method = trim_view(after.substr(0, after.find('|')));
    }
  }
  fields.requirement.method = which_method(method);
  return fields;
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

// The rows of the matrix by their ids: open addressing over a table of row positions twice
// the rows' number at least, the ids compared with the rows' own. A large library quotes
// its requirements tens of thousands of times.
class RowIndex {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  explicit RowIndex(const std::vector<TraceRow>& rows) : rows_(rows), slots_(64, kNone) {}

  // The position of the row of `id`, or kNone.
  std::size_t find(std::string_view id) const {
    for (std::size_t slot = hash_of(id) & mask();; slot = (slot + 1) & mask()) {
      const std::size_t row = slots_[slot];
      if (row == kNone || rows_[row].rid == id) return row;
    }
  }
  // Takes in the row at `row`, whose id none of the others has.
  void add(std::size_t row) {
    if (2 * (rows_.size() + 1) > slots_.size()) {
      std::vector<std::size_t> old = std::move(slots_);
      slots_.assign(2 * old.size(), kNone);
      for (const std::size_t kept : old) {
        if (kept != kNone) place(kept);
      }
    }
    place(row);
  }

 private:
  std::size_t mask() const { return slots_.size() - 1; }

  void place(std::size_t row) {
    std::size_t slot = hash_of(rows_[row].rid) & mask();
    while (slots_[slot] != kNone) slot = (slot + 1) & mask();
    slots_[slot] = row;
  }

  // Ids are short: their first and last eight bytes (or four, or each byte of a shorter
  // one), and eight bytes at a time in between, mixed by multiplication and shifts so that
  // every byte reaches the low bits that pick the slot.
  static std::size_t hash_of(std::string_view id) {
    const char* bytes = id.data();
    const std::size_t size = id.size();
    const auto load = [bytes](std::size_t at, auto word) {
      std::memcpy(&word, bytes + at, sizeof word);
      return static_cast<std::uint64_t>(word);
    };
    const auto mix = [](std::uint64_t hash, std::uint64_t word) {
      hash ^= word;
      hash ^= hash >> 33;
      hash *= 0xFF51AFD7ED558CCD;
      hash ^= hash >> 33;
      hash *= 0xC4CEB9FE1A85EC53;
      return hash ^ (hash >> 33);
    };
    std::uint64_t hash = size;
    if (size >= 8) {
      for (std::size_t at = 8; at < size - 8; at += 8) hash = mix(hash, load(at, std::uint64_t{}));
      return static_cast<std::size_t>(
          mix(mix(hash, load(0, std::uint64_t{})), load(size - 8, std::uint64_t{})));
    }
    if (size >= 4) {
      return static_cast<std::size_t>(
          mix(hash, load(0, std::uint32_t{}) | (load(size - 4, std::uint32_t{}) << 32)));
    }
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < size; ++i) {
      word |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    }
    return static_cast<std::size_t>(mix(hash, word));
  }

  const std::vector<TraceRow>& rows_;
  std::vector<std::size_t> slots_;  // row positions, kNone where free
};

TraceEntry entry_of(const TracedVerification& verification, std::size_t document,
                    std::size_t text) {
  return {document,
          text,
          verification.requirement.method,
          verification.line,
          verification.column,
          verification.section,
          verification.step};
}

std::string document_file_of(const TracedDocument& document) {
  // Relative to the library root, as the notes name it: "{folder}/{folder}.qlml".
  return document_path(document.folder).substr(2);
}

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

// trace_document into `document`, whose storage is reused, without the copy of the
// quotes: its verifications' texts are views into `content`.
void trace_text(std::string_view content, std::string_view folder, TracedDocument& document) {
  static const Process fresh;  // the header fields of a document without them
  document.folder.assign(folder);
  document.verifications.clear();
  document.quotes.reset();
  std::string_view number = fresh.number;
  std::string_view title = fresh.title;
  std::optional<std::string> revision;
  long long section = 0;
  long long step = 0;
  // Lines are cut here as next_line cuts them; most are settled by their first character
  // that is not white space, without the reader's classification.
  const std::string_view text = drop_byte_order_mark(content);
  for_each_candidate_line(text, [&](const CandidateLine& candidate) {
    // Only the first Revision line counts, and no other keyword begins with an R: after
    // it, such lines (Resource, Reviewer) need no classification.
    if (revision && (text[candidate.first] | 0x20) == 'r') return;
    std::string_view line = text.substr(candidate.start, candidate.end - candidate.start);
    const Keyword keyword = classify_line(line.substr(candidate.first - candidate.start));
    if (keyword == Keyword::None) return;
    if (line.ends_with('\r') && candidate.end < text.size()) line.remove_suffix(1);
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
      case Keyword::Verification: {
        const VerificationFields fields = verification_fields(line);
        document.verifications.push_back(
            {fields.requirement, candidate.number, fields.column, section, step});
        break;
      }
      default:
        break;
    }
  });
  document.number.assign(number);
  document.title.assign(title);
  document.revision = revision ? std::move(*revision) : document.number;
}

// read_traced_document into `document`, whose storage is reused, without the copy of the
// quotes: views into `content`.
void read_traced_text(const std::string& folder, std::string& content, TracedDocument& document) {
  // Read as read_text_file_into reads, with its fatal stops; a text all in ASCII, which a
  // quick look settles, is UTF-8 without the full check.
  const std::string path = document_path(folder);
  std::error_code error;
  read_file_into(path, content, error);
  std::optional<std::string> problem;
  if (error) {
    problem = error.message();
  } else if (!all_ascii(content)) {
    problem = utf8_problem(content);
  }
  if (problem) fatal("Could not load lines: " + path + ": " + *problem);
  trace_text(content, folder, document);
}

// The matrix taken in one document at a time, in folder order: each row's first
// verification is its first quote, and the findings come out in document and line order.
// A document's quotes may be views into text that changes once add returns: the matrix
// keeps copies of what it needs.
class MatrixAssembly {
 public:
  explicit MatrixAssembly(const std::optional<RequirementsList>& list)
      : list_(list), row_of_(matrix_.rows) {
    if (list) {
      matrix_.list_path = list->path;
      for (const ListedRequirement& listed : list->requirements) add_listed(listed);
    }
    listed_rows_ = matrix_.rows.size();
    first_quotes_.resize(listed_rows_);
  }

  // Takes in `document`, whose verifications stay as they are.
  void add(const TracedDocument& document) {
    std::vector<TraceRow>& rows = matrix_.rows;
    // Its header first: a note on a later line may point to an earlier one of the same
    // document.
    const std::size_t d = matrix_.documents.size();
    matrix_.documents.push_back(
        {document.folder, document.number, document.revision, document.title, {}, {}});
    const TraceStatus unlisted = list_ ? TraceStatus::NotInList : TraceStatus::Verified;
    for (const TracedVerification& verification : document.verifications) {
      const TracedRequirement& requirement = verification.requirement;
      std::size_t found = row_of_.find(requirement.rid);
      if (found == RowIndex::kNone) {
        rows.push_back(
            {std::string(requirement.rid), {std::string(requirement.text)}, unlisted, {}});
        found = rows.size() - 1;
        row_of_.add(found);
        first_quotes_.push_back({d, verification.line});
      }
      TraceRow& row = rows[found];
      std::size_t text = 0;
      if (row.texts.front() != requirement.text) {
        text = static_cast<std::size_t>(
            std::find(row.texts.begin(), row.texts.end(), requirement.text) - row.texts.begin());
        if (text == row.texts.size()) row.texts.emplace_back(requirement.text);
        note_other_quote(document, verification, found, entry_of(verification, d, text));
      }
      row.verifications.push_back(entry_of(verification, d, text));
    }
  }

  TraceMatrix finish() {
    std::vector<TraceRow>& rows = matrix_.rows;
    for (std::size_t r = 0; r < listed_rows_; ++r) {
      if (!rows[r].verifications.empty()) rows[r].status = TraceStatus::Verified;
    }
    // The ids outside the list follow in natural order.
    std::vector<std::string_view> unlisted_ids;
    for (std::size_t r = listed_rows_; r < rows.size(); ++r) unlisted_ids.push_back(rows[r].rid);
    const std::vector<std::size_t> order = natural_order(unlisted_ids);
    std::vector<TraceRow> sorted;
    sorted.reserve(rows.size());
    for (std::size_t r = 0; r < listed_rows_; ++r) sorted.push_back(std::move(rows[r]));
    for (const std::size_t i : order) sorted.push_back(std::move(rows[listed_rows_ + i]));
    rows = std::move(sorted);
    matrix_.listed_rows = listed_rows_;
    for (const TraceRow& row : rows) {
      switch (row.status) {
        case TraceStatus::Verified:
          ++matrix_.verified;
          break;
        case TraceStatus::NotVerified:
          ++matrix_.not_verified;
          break;
        case TraceStatus::NotInList:
          ++matrix_.not_in_list;
          break;
      }
    }
    return std::move(matrix_);
  }

 private:
  void add_listed(const ListedRequirement& listed) {
    std::vector<TraceRow>& rows = matrix_.rows;
    const std::size_t found = row_of_.find(listed.rid);
    if (found == RowIndex::kNone) {
      rows.push_back({listed.rid, {listed.text}, TraceStatus::NotVerified, {}});
      row_of_.add(rows.size() - 1);
      list_lines_.push_back(listed.line);
    } else if (rows[found].texts.front() != listed.text) {
      matrix_.findings.push_back({"QL803", list_->path, listed.line, 1, listed.rid,
                                  listed.rid + " is listed again with another text, " +
                                      in_quotes(listed.text) + "; the text of line " +
                                      std::to_string(list_lines_[found]) + " counts",
                                  std::nullopt});
    }
  }

  // QL802 or QL801 for a verification that quotes row `r` with a text other than its first.
  void note_other_quote(const TracedDocument& document, const TracedVerification& verification,
                        std::size_t r, const TraceEntry& entry) {
    const TraceRow& row = matrix_.rows[r];
    const bool listed = r < listed_rows_;
    TraceFinding finding{listed ? "QL802" : "QL801",
                         document_file_of(document),
                         verification.line,
                         verification.column,
                         row.rid,
                         row.rid + " is quoted here as " + in_quotes(verification.requirement.text),
                         entry};
    if (listed) {
      finding.message += " but the requirements list has " + in_quotes(row.texts.front()) + " (" +
                         list_->path + ":" + std::to_string(list_lines_[r]) + ")";
    } else {
      const FirstQuote& first = first_quotes_[r];
      finding.message += " but as " + in_quotes(row.texts.front()) + " in " +
                         document_file_of(matrix_.documents[first.document]) + ":" +
                         std::to_string(first.line);
    }
    matrix_.findings.push_back(std::move(finding));
  }

  struct FirstQuote {
    std::size_t document = 0;
    std::size_t line = 0;
  };

  const std::optional<RequirementsList>& list_;
  TraceMatrix matrix_;
  RowIndex row_of_;                      // over matrix_.rows
  std::vector<std::size_t> list_lines_;  // of the listed rows, which come first
  std::size_t listed_rows_ = 0;
  std::vector<FirstQuote> first_quotes_;  // of each row outside the list
};

}  // namespace

TracedDocument trace_document(std::string_view content, std::string folder) {
  TracedDocument document;
  trace_text(content, folder, document);
  keep_quotes(document);
  return document;
}

TracedDocument read_traced_document(const std::string& folder, std::string& content) {
  TracedDocument document;
  read_traced_text(folder, content, document);
  keep_quotes(document);
  return document;
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
  const auto by_folder = [](const TracedDocument& a, const TracedDocument& b) {
    return a.folder < b.folder;
  };
  // The library's folders come in order already.
  if (!std::is_sorted(documents.begin(), documents.end(), by_folder)) {
    std::sort(documents.begin(), documents.end(), by_folder);
  }
  MatrixAssembly assembly(list);
  for (const TracedDocument& document : documents) assembly.add(document);
  return assembly.finish();
}

TraceMatrix trace_library(std::vector<std::string> folders,
                          const std::optional<RequirementsList>& list,
                          const std::function<void(const std::string&)>& before_each) {
  if (!std::is_sorted(folders.begin(), folders.end())) std::sort(folders.begin(), folders.end());
  MatrixAssembly assembly(list);
  std::string content;
  TracedDocument document;  // one at a time, its storage reused
  for (const std::string& folder : folders) {
    before_each(folder);
    read_traced_text(folder, content, document);
    assembly.add(document);
  }
  return assembly.finish();
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
