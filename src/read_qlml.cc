#include "read_qlml.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "fatal.h"
#include "files.h"
#include "text.h"

namespace morvalen {
namespace {

constexpr std::size_t kLongestKeyword = 12;  // VERIFICATION, SUBJECTIMAGE, PRODUCTIMAGE

constexpr std::array<std::pair<std::string_view, Keyword>, 25> kKeywords = {{
    {"TEMPLATE", Keyword::Template},
    {"NUMBER", Keyword::Number},
    {"TITLE", Keyword::Title},
    {"PROCESSTYPE", Keyword::ProcessType},
    {"AUTHOR", Keyword::Author},
    {"REVIEWER", Keyword::Reviewer},
    {"REVISION", Keyword::Revision},
    {"SUBJECT", Keyword::Subject},
    {"SUBJECTIMAGE", Keyword::SubjectImage},
    {"PRODUCT", Keyword::Product},
    {"PRODUCTIMAGE", Keyword::ProductImage},
    {"SECTION", Keyword::Section},
    {"STEP", Keyword::Step},
    {"ACTION", Keyword::Action},
    {"COMMAND", Keyword::Command},
    {"CONTEXT", Keyword::Context},
    {"IMAGE", Keyword::Image},
    {"WARNING", Keyword::Warning},
    {"CSVSTART", Keyword::CsvStart},
    {"CSVEND", Keyword::CsvEnd},
    {"CSVFILE", Keyword::CsvFile},
    {"VERIFICATION", Keyword::Verification},
    {"RESOURCE", Keyword::Resource},
    {"OBJECTIVE", Keyword::Objective},
    {"OUTOFSCOPE", Keyword::OutOfScope},
}};

static_assert(
    [] {
      for (std::size_t i = 0; i < kKeywords.size(); ++i) {
        if (static_cast<std::size_t>(kKeywords[i].second) != i + 1) return false;
      }
      return true;
    }(),
    "kKeywords lists the keywords in their enumeration's order");

// The written form of each keyword of kKeywords, in the same order.
constexpr std::array<std::string_view, kKeywords.size()> kWrittenKeywords = {
    "Template",      "Number",       "Title",    "Process Type",  "Author",
    "Reviewer",      "Revision",     "Subject",  "Subject Image", "Product",
    "Product Image", "Section",      "Step",     "Action",        "Command",
    "Context",       "Image",        "Warning",  "CSVSTART",      "CSVEND",
    "CSVFILE",       "Verification", "Resource", "Objective",     "Out of Scope"};

constexpr std::array<KeywordSpelling, kKeywords.size()> kKeywordSpellings = [] {
  std::array<KeywordSpelling, kKeywords.size()> spellings{};
  for (std::size_t i = 0; i < kKeywords.size(); ++i) {
    spellings[i] = {kKeywords[i].second, kKeywords[i].first, kWrittenKeywords[i]};
  }
  return spellings;
}();

using KeywordEntry = std::pair<std::string_view, Keyword>;

constexpr std::string_view kPlaceholderImage = "../assets/placeholderImage-small.png";

// A keyword text of up to twelve characters as two numbers (its bytes in order, zero
// bytes after its end), so that telling keywords apart costs two integer comparisons
// instead of a text compare.
struct PackedText {
  std::uint64_t first = 0;  // characters 0 to 7
  std::uint64_t rest = 0;   // characters 8 to 15
  bool operator==(const PackedText&) const = default;
};

// Puts `c` at `position` (below sixteen) of `text`.
constexpr void pack(PackedText& text, std::size_t position, unsigned char c) {
  const auto byte = static_cast<std::uint64_t>(c);
  if (position < 8) {
    text.first |= byte << (8 * position);
  } else {
    text.rest |= byte << (8 * (position - 8));
  }
}

// `text` (up to twelve characters) packed.
constexpr PackedText packed(std::string_view text) {
  PackedText packed_text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    pack(packed_text, i, static_cast<unsigned char>(text[i]));
  }
  return packed_text;
}

struct PackedKeyword {
  PackedText text;
  Keyword keyword = Keyword::None;
};

// The slot of a packed text in kKeywordSlots for the multiplier `m`.
constexpr std::size_t slot_of(const PackedText& text, std::uint64_t m) {
  return static_cast<std::size_t>(((text.first ^ (text.rest * 0x9E3779B97F4A7C15ULL)) * m) >> 58);
}

// A multiplier under which no two keywords share a slot of the 64, found at compile time:
// looking a keyword up is one multiplication and one comparison.
constexpr std::uint64_t kSlotMultiplier = [] {
  for (std::uint64_t m = 0xD6E8FEB86659FD93ULL;; m += 0x5851F42D4C957F2EULL) {
    std::array<bool, 64> taken{};
    bool clash = false;
    for (const KeywordEntry& entry : kKeywords) {
      const std::size_t slot = slot_of(packed(entry.first), m);
      clash = clash || taken[slot];
      taken[slot] = true;
    }
    if (!clash) return m;
  }
}();

constexpr std::array<PackedKeyword, 64> kKeywordSlots = [] {
  std::array<PackedKeyword, 64> slots{};
  for (const KeywordEntry& entry : kKeywords) {
    slots[slot_of(packed(entry.first), kSlotMultiplier)] = {packed(entry.first), entry.second};
  }
  return slots;
}();

// The keyword that the packed text names, or None. Packed texts of different lengths
// differ (no letter is a zero byte), so the text alone decides.
Keyword keyword_of_packed(const PackedText& text) {
  const PackedKeyword& entry = kKeywordSlots[slot_of(text, kSlotMultiplier)];
  return entry.text == text ? entry.keyword : Keyword::None;
}

// The keyword part of a line beginning at `part` (the first character that is not white
// space) when it is the common case, letters and then nothing but white space before a bar:
// its letters upper-cased and packed, their number, and where its bar stands (from `part`).
// `no_keyword` when an ASCII character other than the bar comes first after letters and
// white space (a table row, a comment). Nothing when sixteen bytes do not settle it;
// classify_statement then goes byte by byte. Sixteen bytes are looked at in one go, with no branch
// per byte.
struct PlainKeywordPart {
  PackedText letters;
  unsigned length = 0;
  unsigned bar = 0;  // no_keyword: where the byte that settled it stands
  bool no_keyword = false;
};
#if defined(__SSE2__)
// Which of the sixteen bytes at `bytes` are ASCII letters, as byte_mask16 gives its mask.
unsigned letter_mask16(const char* bytes) {
  const __m128i lower =
      _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), _mm_set1_epi8(0x20));
  // Bytes beyond ASCII are negative here, so they are no letters.
  const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                       _mm_cmplt_epi8(lower, _mm_set1_epi8('z' + 1)));
  return static_cast<unsigned>(_mm_movemask_epi8(letter));
}
#endif

std::optional<PlainKeywordPart> plain_keyword_part([[maybe_unused]] const char* part) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(part));
  const unsigned letters = letter_mask16(part);
  const unsigned blanks = white_byte_mask16(part);
  const unsigned stops = ~(letters | blanks) & 0xFFFFu;
  if (stops == 0) return std::nullopt;
  const auto stop = static_cast<unsigned>(std::countr_zero(stops));
  PlainKeywordPart plain;
  plain.bar = stop;
  // Before the stop there are only letters and white space; an ASCII stop that is not the
  // bar (the comma of a table row, the slash of a comment) makes the line no statement.
  if (part[stop] != '|' && static_cast<unsigned char>(part[stop]) < 0x80) {
    plain.no_keyword = true;
    return plain;
  }
  const auto length = static_cast<unsigned>(std::countr_one(letters));
  // Letters, then only white space up to the stop; and the stop is the bar.
  if (length > stop || (letters & ((1u << stop) - 1)) != (1u << length) - 1 || part[stop] != '|' ||
      length > kLongestKeyword) {
    return std::nullopt;
  }
  alignas(16) static constexpr std::array<unsigned char, 32> kKeep = {
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0,    0};
  const __m128i keep =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep.data() + 16 - length));
  const __m128i upper = _mm_and_si128(_mm_andnot_si128(_mm_set1_epi8(0x20), bytes), keep);
  plain.letters.first = static_cast<std::uint64_t>(_mm_cvtsi128_si64(upper));
  plain.letters.rest =
      static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(upper, upper)));
  plain.length = length;
  return plain;
#else
  return std::nullopt;
#endif
}

// What a byte is to classify_statement: a letter (as its upper case), or one of these.
enum ByteKind : char { kOtherByte = 0, kWhiteByte = 1, kBarByte = 2, kHighByte = 3 };
constexpr std::array<char, 256> kByteKinds = [] {
  std::array<char, 256> kinds{};
  for (int c = 0; c < 256; ++c) {
    if (c >= 'a' && c <= 'z') {
      kinds[c] = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      kinds[c] = static_cast<char>(c);
    } else if (c == ' ' || (c >= '\t' && c <= '\r')) {
      kinds[c] = kWhiteByte;
    } else if (c == '|') {
      kinds[c] = kBarByte;
    } else if (c >= 0x80) {
      kinds[c] = kHighByte;
    }
  }
  return kinds;
}();

// `bar` set to the position of the first bar of `line` at or after `from` (the line's
// length without one), when it is asked for.
void find_bar(std::string_view line, std::size_t from, std::size_t* bar) {
  if (bar != nullptr) *bar = std::min(line.find('|', from), line.size());
}

// The keyword of `line` and, when `bar` is given, the position of its first bar (the
// line's length without one). Keywords are ASCII letters, so an ASCII character that is
// neither a letter, white space nor the bar settles the line as None at once (comments,
// table rows); only a byte beyond ASCII needs the full Unicode rules ("ﬆep" is a Step
// line).
Keyword classify_statement(std::string_view line, std::size_t* bar) {
  const std::size_t start = skip_ascii_white(line);
  if (line.size() - start >= 16) {
    if (const std::optional<PlainKeywordPart> plain = plain_keyword_part(line.data() + start)) {
      if (plain->no_keyword) {
        find_bar(line, start + plain->bar, bar);
        return Keyword::None;
      }
      if (bar != nullptr) *bar = start + plain->bar;
      return keyword_of_packed(plain->letters);
    }
  }
  PackedText letters;  // upper-cased
  std::size_t length = 0;
  for (std::size_t i = start; i < line.size(); ++i) {
    const char kind = kByteKinds[static_cast<unsigned char>(line[i])];
    if (kind >= 'A') {
      // Upper-casing never shortens text, so more letters than the longest keyword can
      // never become one.
      if (length == kLongestKeyword) {
        find_bar(line, i, bar);
        return Keyword::None;
      }
      pack(letters, length++, static_cast<unsigned char>(kind));
    } else if (kind == kWhiteByte) {
      continue;
    } else if (kind == kBarByte) {
      if (bar != nullptr) *bar = i;
      return keyword_of_packed(letters);
    } else if (kind == kHighByte) {
      const std::size_t found = std::min(line.find('|', i), line.size());
      if (bar != nullptr) *bar = found;
      return keyword_of(trim_whitespace_make_uppercase(line.substr(0, found)));
    } else {
      find_bar(line, i, bar);
      return Keyword::None;
    }
  }
  if (bar != nullptr) *bar = line.size();
  return keyword_of_packed(letters);
}

std::string_view value_of(std::string_view line) {
  const std::size_t bar = line.find('|');
  return bar == std::string_view::npos ? std::string_view{} : line.substr(bar + 1);
}

// The first `N` fields of a value split at every bar, and how many fields it has in all.
// The field rules run for many lines of a document; this split allocates nothing.
template <std::size_t N>
struct Fields {
  std::array<std::string_view, N> field{};
  std::size_t count = 0;
};

template <std::size_t N>
Fields<N> first_fields(std::string_view value) {
  Fields<N> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t bar = value.find('|', start);
    const std::size_t end = bar == std::string_view::npos ? value.size() : bar;
    if (fields.count < N) fields.field[fields.count] = value.substr(start, end - start);
    ++fields.count;
    if (bar == std::string_view::npos) return fields;
    start = bar + 1;
  }
}

// The field rules both readers share, as views into the value (or fixed texts).
std::string_view revision_of(const Fields<2>& fields) {
  return trim_view(fields.field[0].empty() ? "[No Rev]" : fields.field[0]);
}

VerificationMention mention_of(const Fields<3>& fields) {
  return {trim_view(fields.field[0]),
          which_method(fields.count > 2 ? trim_view(fields.field[2]) : "???")};
}

std::string_view resource_name_of(std::string_view value) {
  if (value.empty() || value.front() == '|') return "ERROR: NO RESOURCE IDENTIFIED";
  return value;
}

// The cells of one CSV row. Rows after the header are stored trimmed, so they are trimmed
// here already and add_row can keep the texts instead of copying them again.
std::vector<std::string> split_cells(std::string_view line, bool trimmed) {
  std::vector<std::string> cells;
  // One allocation per row rather than one per doubling.
  cells.reserve(1 + static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')));
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
    const std::string_view cell = line.substr(start, end - start);
    cells.emplace_back(trimmed ? trim_view(cell) : cell);
    if (comma == std::string_view::npos) return cells;
    start = comma + 1;
  }
}

// The scans read every line's keyword several times (document pass, section scan, step
// scan, embedded tables), so each line is classified once up front and the scans walk the
// lines and their keywords side by side. Scans take views of the rest of the document,
// never copies, which keeps reading linear in the document's size.
struct ClassifiedLines {
  std::span<const std::string_view> text;
  std::span<const Keyword> keywords;

  std::size_t size() const { return text.size(); }
  ClassifiedLines from(std::size_t index) const {
    return {text.subspan(index), keywords.subspan(index)};
  }
};

std::vector<Keyword> classify_all(std::span<const std::string_view> lines) {
  std::vector<Keyword> keywords;
  keywords.reserve(lines.size());
  for (const std::string_view line : lines) keywords.push_back(classify_line(line));
  return keywords;
}

std::vector<std::string_view> views_of(std::span<const std::string> lines) {
  return std::vector<std::string_view>(lines.begin(), lines.end());
}

using CsvRows = std::vector<std::vector<std::string>>;

// What one read of a document carries through its scans: the document path for CSVFILE
// names, its first line for the line numbers of messages, and the CSV files read so far.
// A document may show the same table file in many steps; each file is read once per
// document (the reader writes nothing meanwhile).
struct DocumentContext {
  const std::string& document_path;
  const std::string_view* first_line;
  std::map<std::string, CsvRows, std::less<>> csv_files;
  // Set by trace_qlml_lines: each pass and scan records what it does with a line here, and
  // CSV files are not read.
  DocumentTrace* trace = nullptr;

  // The 0-based index of `line`, a line of the document, and its trace.
  std::size_t index_of(const std::string_view& line) const {
    return static_cast<std::size_t>(&line - first_line);
  }
  LineTrace& traced(const std::string_view& line) const { return trace->lines[index_of(line)]; }
};

// The path of the CSV file that `name`, the trimmed file name of the CSVFILE statement on
// line `line` of the document, names inside the document's process folder.
std::string csv_path_of(std::string_view name, const std::string& document_path, std::size_t line);
// Reads the CSV file at `path` into `content` for the CSVFILE statement on line `line`.
void read_csv_file_into(const std::string& path, std::string& content,
                        const std::string& document_path, std::size_t line, std::string_view name);

CsvRows csv_rows_of(std::string_view content) {
  CsvRows rows;
  for (const std::string_view line : split_line_views(content)) {
    rows.push_back(split_cells(line, true));
  }
  return rows;
}

Table external_table(std::string_view value, std::size_t line, DocumentContext& context) {
  if (context.trace != nullptr) return {};
  const Fields<2> fields = first_fields<2>(value);
  const std::string_view name = trim_view(fields.field[0]);
  const std::string path = csv_path_of(name, context.document_path, line);
  auto cached = context.csv_files.find(path);
  if (cached == context.csv_files.end()) {
    std::string content;
    read_csv_file_into(path, content, context.document_path, line, name);
    cached = context.csv_files.emplace(path, csv_rows_of(content)).first;
  }
  Table table;
  table.rows.reserve(cached->second.size());
  for (const std::vector<std::string>& row : cached->second) table.add_row(row);
  if (fields.count > 1) table.caption = trim(fields.field[1]);
  return table;
}

// The index of the line that ends the embedded table beginning at lines[0]: its CSVEND
// line or, without one, the next Step line (where its step ends), or the number of lines.
// A table never runs on into later steps, which would make every unclosed table as long as
// the rest of the document.
std::size_t embedded_table_end(ClassifiedLines lines) {
  std::size_t end = 1;
  while (end < lines.size() && lines.keywords[end] != Keyword::CsvEnd &&
         lines.keywords[end] != Keyword::Step) {
    ++end;
  }
  return end;
}

Table embedded_table(ClassifiedLines lines) {
  Table table;
  if (lines.size() == 0) return table;
  const std::string_view first = lines.text[0];
  if (first.find('|') != std::string_view::npos) {
    const std::string_view rest = value_of(first);
    table.caption = trim(rest.substr(0, rest.find('|')));
  }
  const std::size_t end = embedded_table_end(lines);
  table.rows.reserve(end - 1);
  for (std::size_t i = 1; i < end; ++i) {
    table.add_row(split_cells(lines.text[i], !table.rows.empty()));
  }
  return table;
}

// Records the rows of the embedded table beginning at lines[0], and its CSVEND line.
void trace_embedded_table(ClassifiedLines lines, const DocumentContext& context) {
  const std::size_t end = embedded_table_end(lines);
  for (std::size_t i = 1; i < end; ++i) {
    LineTrace& row = context.traced(lines.text[i]);
    row.table_row = true;
    row.heading_row = row.heading_row || i == 1;
  }
  if (end < lines.size() && lines.keywords[end] == Keyword::CsvEnd) {
    context.traced(lines.text[0]).related =
        static_cast<std::uint32_t>(context.index_of(lines.text[end]) + 1);
  }
}

// An upper bound of the content items of the step that begins at lines[0], so its item
// list is allocated once.
std::size_t count_content_lines(ClassifiedLines lines) {
  std::size_t count = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    switch (lines.keywords[i]) {
      case Keyword::Step:
        return count;
      case Keyword::Action:
      case Keyword::Command:
      case Keyword::Context:
      case Keyword::Warning:
      case Keyword::Objective:
      case Keyword::OutOfScope:
      case Keyword::Image:
      case Keyword::Verification:
      case Keyword::Resource:
      case Keyword::CsvStart:
      case Keyword::CsvFile:
        ++count;
        break;
      default:
        break;
    }
  }
  return count;
}

// The step that begins at lines[0]; `scanned`, when given, is set to the number of lines
// its scan reaches (its Step line included): the next step begins there.
Step scan_step(ClassifiedLines lines, DocumentContext& context, std::size_t* scanned = nullptr) {
  Step step;
  // A run of Action lines starts a table only after some other content item; an embedded
  // table opens only after the previous one was closed.
  bool actions_may_start = true;
  bool tables_may_start = true;
  // While tracing, the scan records what it makes of each line instead of building the
  // step's items: the line that ended the last action run, the CSVSTART of the open table.
  const bool tracing = context.trace != nullptr;
  std::uint32_t run_ended_by = 0;
  std::uint32_t open_table = 0;
  const auto number_of = [&](std::size_t i) {
    return static_cast<std::uint32_t>(context.index_of(lines.text[i]) + 1);
  };
  // Whether to build the item of line `i`; while tracing, records its fate instead.
  const auto build = [&](std::size_t i, LineFate fate, std::uint32_t related = 0) {
    if (!tracing) return true;
    LineTrace& line = context.traced(lines.text[i]);
    line.fate = fate;
    if (related != 0) line.related = related;
    return false;
  };
  if (!tracing) step.sub_steps.reserve(count_content_lines(lines));
  if (scanned != nullptr) *scanned = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Keyword keyword = lines.keywords[i];
    if (keyword == Keyword::None) continue;
    // The text after the bar, looked for only when the item is built.
    const auto value = [&] { return value_of(lines.text[i]); };
    switch (keyword) {
      case Keyword::Step:
        if (i > 0) {
          if (scanned != nullptr) *scanned = i;
          i = lines.size();
          break;
        }
        if (!tracing) step.title = std::string(value());
        break;
      case Keyword::Action: {
        if (!actions_may_start) {
          build(i, LineFate::ActionDropped, run_ended_by);
          break;
        }
        std::size_t j = i;
        while (j < lines.size() && lines.keywords[j] == Keyword::Action) ++j;
        if (tracing) {
          for (std::size_t k = i; k < j; ++k) build(k, LineFate::Action);
          run_ended_by = j < lines.size() ? number_of(j) : 0;
        } else {
          ActionSequence sequence;
          sequence.actions.reserve(j - i);
          for (std::size_t k = i; k < j; ++k) {
            sequence.actions.push_back(parse_action_line(value_of(lines.text[k])));
          }
          step.add_sub_step(std::move(sequence));
        }
        actions_may_start = false;
        // The rest of the run adds nothing while the switch is off.
        i = j - 1;
        break;
      }
      case Keyword::Command:
        if (build(i, LineFate::Content)) step.add_sub_step(Command{std::string(value())});
        actions_may_start = true;
        break;
      case Keyword::Context:
        if (build(i, LineFate::Content)) step.add_sub_step(Context{std::string(value())});
        actions_may_start = true;
        break;
      case Keyword::Warning:
        if (build(i, LineFate::Content)) step.add_sub_step(Warning{std::string(value())});
        actions_may_start = true;
        break;
      case Keyword::Objective:
        if (build(i, LineFate::Content)) step.add_sub_step(Objective{std::string(value())});
        actions_may_start = true;
        break;
      case Keyword::OutOfScope:
        if (build(i, LineFate::Content)) step.add_sub_step(OutOfScope{std::string(value())});
        actions_may_start = true;
        break;
      case Keyword::Image:
        if (build(i, LineFate::Content)) step.add_sub_step(parse_image_line(value()));
        actions_may_start = true;
        break;
      case Keyword::Verification:
        if (build(i, LineFate::Content)) {
          step.add_sub_step(Verification{parse_verification_line(value())});
        }
        actions_may_start = true;
        break;
      case Keyword::Resource:
        if (build(i, LineFate::Content)) {
          Resource resource = parse_resource_line(value());
          step.resources.push_back(resource);
          step.add_sub_step(std::move(resource));
        }
        actions_may_start = true;
        break;
      case Keyword::CsvStart:
        if (tables_may_start) {
          if (tracing) open_table = number_of(i);
          if (build(i, LineFate::TableStart)) {
            step.add_sub_step(embedded_table(lines.from(i)));
          } else {
            trace_embedded_table(lines.from(i), context);
          }
        } else {
          build(i, LineFate::TableRefused, open_table);
        }
        tables_may_start = false;
        break;
      case Keyword::CsvEnd:
        build(i, LineFate::TableEnd);
        tables_may_start = true;
        break;
      case Keyword::CsvFile:
        // Messages count lines from 1.
        if (build(i, LineFate::Content)) {
          step.add_sub_step(external_table(value(), number_of(i), context));
        }
        break;
      default:
        break;
    }
  }
  return step;
}

// Records the step of section `section` that begins at lines[0] (its Step line), its
// number `number` in the section, and which lines its scan reaches.
void trace_step(ClassifiedLines lines, std::uint32_t section, std::uint32_t number,
                DocumentContext& context, OutlineSection& outline, std::size_t& scanned) {
  scan_step(lines, context, &scanned);
  LineTrace* const traced = &context.traced(lines.text[0]);
  traced->fate = LineFate::Step;
  for (std::size_t i = 0; i < scanned; ++i) {
    traced[i].section = section;
    traced[i].step = number;
  }
  OutlineStep& entry = outline.steps.emplace_back();
  entry.number = number;
  entry.title = value_of(lines.text[0]);
  entry.line = static_cast<std::uint32_t>(context.index_of(lines.text[0]) + 1);
  entry.end_line = entry.line + static_cast<std::uint32_t>(scanned) - 1;
}

// The index of the first of `keywords` from `from` on that is `keyword`, or their number.
// Keywords are bytes, and the scans look for the few Section and Step lines among many.
std::size_t find_keyword(std::span<const Keyword> keywords, Keyword keyword, std::size_t from) {
  static_assert(sizeof(Keyword) == 1);
  if (from >= keywords.size()) return keywords.size();
  const void* found =
      std::memchr(keywords.data() + from, static_cast<int>(keyword), keywords.size() - from);
  return found == nullptr
             ? keywords.size()
             : static_cast<std::size_t>(static_cast<const Keyword*>(found) - keywords.data());
}

// The section that begins at lines[0]; while tracing, only its record (the Section is
// empty then): its outline entry, and what its step scans do with their lines. The section
// ends at the next Section line; its steps are the Step lines before that, and each step's
// scan ends at the next Step line, where the next step begins.
Section scan_section(ClassifiedLines lines, DocumentContext& context, std::uint32_t number = 0) {
  const bool tracing = context.trace != nullptr;
  Section section;
  const std::size_t first = find_keyword(lines.keywords, Keyword::Section, 0);
  const std::size_t end = find_keyword(lines.keywords, Keyword::Section, first + 1);
  const auto step_lines = static_cast<std::size_t>(
      std::count(lines.keywords.begin(), lines.keywords.begin() + static_cast<std::ptrdiff_t>(end),
                 Keyword::Step));
  OutlineSection* outline = nullptr;
  if (!tracing) {
    if (first < lines.size()) section.title = std::string(value_of(lines.text[first]));
    section.steps.reserve(step_lines);
  } else if (lines.size() > 0) {
    outline = &context.trace->sections.emplace_back();
    outline->number = number;
    outline->title = value_of(lines.text[0]);
    outline->line = static_cast<std::uint32_t>(context.index_of(lines.text[0]) + 1);
    outline->steps.reserve(step_lines);
  }
  std::uint32_t steps = 0;
  for (std::size_t i = find_keyword(lines.keywords, Keyword::Step, 0); i < end;) {
    ++steps;
    std::size_t scanned = 0;
    if (tracing) {
      trace_step(lines.from(i), number, steps, context, *outline, scanned);
    } else {
      section.steps.push_back(scan_step(lines.from(i), context, &scanned));
    }
    i += scanned;
  }
  if (outline != nullptr) {
    outline->end_line = outline->line + static_cast<std::uint32_t>(end) - 1;
  }
  return section;
}

// `keywords`: classify_all(lines).
Process read_document(std::span<const std::string_view> lines, std::span<const Keyword> keywords,
                      const std::string& document_path, DocumentTrace* trace = nullptr);

// Every failure of a CSVFILE statement names the statement, so that the author finds it
// without searching the documents for the file name.
[[noreturn]] void csv_file_failed(const std::string& document_path, std::size_t line,
                                  std::string_view name, std::string_view reason) {
  fatal("Could not load lines: " + document_path + ":" + std::to_string(line) + ": CSVFILE " +
        std::string(name) + ": " + std::string(reason));
}

std::string csv_path_of(std::string_view name, const std::string& document_path, std::size_t line) {
  // A document must not make the program read files of other folders (a library copied
  // from elsewhere could name any file of the machine).
  if (const std::optional<std::string_view> problem = csv_name_problem(name)) {
    csv_file_failed(document_path, line, name, *problem);
  }
  const std::size_t first = document_path.find('/');
  if (first == std::string::npos) {
    csv_file_failed(document_path, line, name, "cannot be found: the document path has no folder");
  }
  const std::size_t second = document_path.find('/', first + 1);
  return document_path.substr(0, second) + "/" + std::string(name);
}

void read_csv_file_into(const std::string& path, std::string& content,
                        const std::string& document_path, std::size_t line, std::string_view name) {
  if (const std::optional<std::string> reason = try_read_text_file_into(path, content)) {
    csv_file_failed(document_path, line, name, *reason);
  }
}

}  // namespace

Statement split_statement(std::string_view line) {
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return {trim_whitespace_make_uppercase(line), {}};
  return {trim_whitespace_make_uppercase(line.substr(0, bar)), line.substr(bar + 1)};
}

Keyword keyword_of(std::string_view normalised) {
  if (normalised.size() > kLongestKeyword) return Keyword::None;
  // A zero byte packs as no byte at all: the length tells "STEP" from "STEP\0".
  const Keyword keyword = keyword_of_packed(packed(normalised));
  return keyword != Keyword::None &&
                 kKeywordSpellings[static_cast<std::size_t>(keyword) - 1].normalised.size() ==
                     normalised.size()
             ? keyword
             : Keyword::None;
}

std::span<const KeywordSpelling> keyword_spellings() { return kKeywordSpellings; }

Keyword classify_line(std::string_view line) { return classify_statement(line, nullptr); }

RevisionEntry parse_revision_line(std::string_view value) {
  const Fields<2> fields = first_fields<2>(value);
  const std::string_view description = fields.count > 1 && !fields.field[1].empty()
                                           ? fields.field[1]
                                           : "[No description provided by Author]";
  return {std::string(revision_of(fields)), trim(description)};
}

Image parse_image_line(std::string_view value) {
  const Fields<2> fields = first_fields<2>(value);
  Image image;
  image.file = std::string(fields.field[0].empty() ? kPlaceholderImage : fields.field[0]);
  if (fields.count > 1 && !fields.field[1].empty()) {
    image.text = std::string(fields.field[1]);
  } else {
    image.text = image.file;
  }
  return image;
}

Action parse_action_line(std::string_view value) {
  const Fields<3> fields = first_fields<3>(value);
  Action action;
  action.action = std::string(fields.field[0]);
  if (fields.count == 1) {
    action.expected = "ERROR: NO EXPECTED VALUE PROVIDED";
    return action;
  }
  action.expected = std::string(fields.field[1]);
  if (fields.count > 2) {
    const std::string mark = trim_whitespace_make_uppercase(fields.field[2]);
    action.tpv = mark == "T" || mark == "Y" || mark == "TPV" || mark == "YES" || mark == "TRUE" ||
                 mark == "TWOPARTYVERIFICATION";
  }
  return action;
}

Requirement parse_verification_line(std::string_view value) {
  const Fields<3> fields = first_fields<3>(value);
  const VerificationMention mention = mention_of(fields);
  Requirement requirement;
  requirement.rid = std::string(mention.rid);
  requirement.text = fields.count > 1 ? trim(fields.field[1]) : "???";
  requirement.method = mention.method;
  return requirement;
}

VerificationMethod which_method(std::string_view text) {
  std::array<char, 16> buffer;
  std::string longer;
  const std::string_view word = trim_whitespace_make_uppercase(text, buffer, longer);
  if (word == "D" || word == "DEMO" || word == "DEMONSTRATION") {
    return VerificationMethod::Demonstration;
  }
  if (word == "I" || word == "INSPECTION") return VerificationMethod::Inspection;
  if (word == "A" || word == "ANALYSIS") return VerificationMethod::Analysis;
  if (word == "T" || word == "TEST") return VerificationMethod::Test;
  return VerificationMethod::Sampling;
}

Resource parse_resource_line(std::string_view value) {
  return {std::string(resource_name_of(value))};
}

Table extract_embedded_csv(std::span<const std::string> lines) {
  const std::vector<std::string_view> views = views_of(lines);
  const std::vector<Keyword> keywords = classify_all(views);
  return embedded_table({views, keywords});
}

Table extract_external_csv(std::string_view value, const std::string& document_path,
                           std::size_t line) {
  DocumentContext context{document_path, nullptr, {}};
  return external_table(value, line, context);
}

std::vector<std::vector<std::string>> open_csv_file_and_return_data_array(const std::string& path) {
  if (path.empty()) return {};
  return csv_rows_of(read_text_file(path));
}

Section extract_next_section(std::span<const std::string> lines, const std::string& document_path) {
  const std::vector<std::string_view> views = views_of(lines);
  const std::vector<Keyword> keywords = classify_all(views);
  DocumentContext context{document_path, views.data(), {}};
  return scan_section({views, keywords}, context);
}

Process read_qlml(const std::string& document_path) {
  if (document_path.empty()) return Process{};
  // The model copies what it keeps, so the lines can stay views into the file's text.
  const std::string content = read_text_file(document_path);
  const std::vector<std::string_view> lines = split_line_views(content);
  return read_document(lines, classify_all(lines), document_path);
}

Process read_qlml_lines(const std::vector<std::string>& lines, const std::string& document_path) {
  const std::vector<std::string_view> views = views_of(lines);
  return read_document(views, classify_all(views), document_path);
}

DocumentTrace trace_qlml_lines(std::span<const std::string_view> lines) {
  return trace_qlml_lines(lines, classify_all(lines));
}

DocumentTrace trace_qlml_lines(std::span<const std::string_view> lines,
                               std::span<const Keyword> keywords) {
  DocumentTrace trace;
  // CSV files are not read while tracing, so the path serves nothing.
  const std::string no_path;
  read_document(lines, keywords, no_path, &trace);
  return trace;
}

bool split_and_classify(std::string_view content, std::vector<std::string_view>& lines,
                        std::vector<Keyword>& keywords) {
  lines.clear();
  keywords.clear();
  lines.reserve(content.size() / 32 + 1);
  keywords.reserve(content.size() / 32 + 1);
  return for_each_line_view(content, [&](std::string_view line) {
    lines.push_back(line);
    // The line was just cut, so its bytes are at hand.
    keywords.push_back(classify_statement(line, nullptr));
  });
}

std::optional<std::string_view> csv_name_problem(std::string_view name) {
  if (!name.empty() && name.front() == '/') return "an absolute path outside the process folder";
  for (std::size_t start = 0;;) {
    const std::size_t slash = std::min(name.find('/', start), name.size());
    if (name.substr(start, slash - start) == "..") return "leads outside the process folder";
    if (slash == name.size()) return std::nullopt;
    start = slash + 1;
  }
}

namespace {

// The fate of a line of each keyword as the document pass alone leaves it.
constexpr LineFate first_fate(Keyword keyword) {
  switch (keyword) {
    case Keyword::None:
      return LineFate::Ignored;
    case Keyword::Template:
    case Keyword::Number:
    case Keyword::Title:
    case Keyword::ProcessType:
    case Keyword::Author:
    case Keyword::Reviewer:
    case Keyword::Revision:
    case Keyword::Subject:
    case Keyword::SubjectImage:
    case Keyword::Product:
    case Keyword::ProductImage:
      return LineFate::Header;
    case Keyword::Section:
      return LineFate::Section;
    case Keyword::Step:
      return LineFate::StepOutside;
    case Keyword::Objective:
    case Keyword::OutOfScope:
    case Keyword::Resource:
    case Keyword::Verification:
      return LineFate::Listed;
    default:
      return LineFate::Outside;
  }
}
constexpr std::array<LineFate, kKeywords.size() + 1> kFirstFates = [] {
  std::array<LineFate, kKeywords.size() + 1> fates{};
  for (std::size_t k = 0; k < fates.size(); ++k) fates[k] = first_fate(static_cast<Keyword>(k));
  return fates;
}();

// Every line's fate as the document pass alone leaves it; the scans then record theirs.
void start_trace(std::span<const Keyword> keywords, DocumentTrace& trace) {
  trace.lines.clear();
  trace.lines.reserve(keywords.size());
  trace.sections.clear();
  for (const Keyword keyword : keywords) {
    LineTrace& line = trace.lines.emplace_back();
    line.keyword = keyword;
    line.fate = kFirstFates[static_cast<std::size_t>(keyword)];
  }
}

Process read_document(std::span<const std::string_view> lines, std::span<const Keyword> keywords,
                      const std::string& document_path, DocumentTrace* trace) {
  const ClassifiedLines all{lines, keywords};
  DocumentContext context{document_path, lines.data(), {}, trace};
  Process process;
  if (trace != nullptr) {
    start_trace(keywords, *trace);
    // The record needs only the section scans: the rest of the document pass builds the
    // model, and what it does with each line follows from its keyword (start_trace).
    std::uint32_t sections = 0;
    for (std::size_t i = find_keyword(keywords, Keyword::Section, 0); i < lines.size();
         i = find_keyword(keywords, Keyword::Section, i + 1)) {
      scan_section(all.from(i), context, ++sections);
    }
    return process;
  }
  // The lists grow to known sizes; allocating them once spares the copies of regrowth.
  std::array<std::size_t, kKeywords.size() + 1> counts{};
  for (const Keyword keyword : keywords) ++counts[static_cast<std::size_t>(keyword)];
  const auto count_of = [&](Keyword keyword) { return counts[static_cast<std::size_t>(keyword)]; };
  process.sections.reserve(count_of(Keyword::Section));
  process.objectives.reserve(count_of(Keyword::Objective));
  process.out_of_scope.reserve(count_of(Keyword::OutOfScope));
  process.resources.reserve(count_of(Keyword::Resource));
  process.verifications.reserve(count_of(Keyword::Verification));
  process.revisions.reserve(count_of(Keyword::Revision));
  long long section_counter = 0;
  long long step_counter = 0;
  // Comment lines need no test of their own: their keyword part begins with "//" and so
  // names no keyword.
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (keywords[i] == Keyword::None) continue;
    const std::string_view value = value_of(lines[i]);
    switch (keywords[i]) {
      case Keyword::Step:
        ++step_counter;
        break;
      case Keyword::Title:
        process.set_title(value);
        break;
      case Keyword::Number:
        process.set_number(value);
        break;
      case Keyword::Author:
        process.set_author(value);
        break;
      case Keyword::Reviewer:
        process.set_reviewer(value);
        break;
      case Keyword::ProcessType:
        process.process_type = trim(value);
        break;
      case Keyword::Subject:
        process.set_subject(value);
        break;
      case Keyword::SubjectImage:
        process.set_subject_image(value);
        break;
      case Keyword::Product:
        process.set_product(value);
        break;
      case Keyword::ProductImage:
        process.set_product_image(value);
        break;
      case Keyword::Template:
        process.add_template(value);
        break;
      case Keyword::Revision:
        process.revisions.push_back(parse_revision_line(value));
        break;
      case Keyword::Section:
        process.add_section(
            scan_section(all.from(i), context, static_cast<std::uint32_t>(section_counter + 1)));
        ++section_counter;
        step_counter = 0;
        break;
      case Keyword::Resource:
        process.add_resource(parse_resource_line(value), step_label(section_counter, step_counter));
        break;
      case Keyword::Objective:
        process.add_objective(std::string(value), step_label(section_counter, step_counter));
        break;
      case Keyword::OutOfScope:
        process.add_out_of_scope(std::string(value), step_label(section_counter, step_counter));
        break;
      case Keyword::Verification:
        process.add_verification(parse_verification_line(value),
                                 step_label(section_counter, step_counter));
        break;
      default:
        break;
    }
  }
  return process;
}

}  // namespace

ProcessSummary summarise_process(const Process& process) {
  ProcessSummary summary;
  summary.number = process.number;
  summary.revision = process.get_revision();
  summary.title = process.title;
  summary.subject = process.subject;
  summary.author = process.author;
  summary.reviewer = process.reviewer;
  for (const LabelledText& objective : process.objectives)
    summary.objectives.push_back(objective.text);
  for (const LabelledText& declaration : process.out_of_scope)
    summary.out_of_scope.push_back(declaration.text);
  for (const LabelledRequirement& verification : process.verifications) {
    summary.verifications.push_back(
        {verification.requirement.rid, verification.requirement.method});
  }
  for (const LabelledResource& resource : process.resources)
    summary.resources.push_back(resource.resource.name);
  summary.command_lines = process.get_all_command_lines().size();
  return summary;
}

namespace {

// `summary` as for a document without statements; its lists keep their storage.
void start_summary(ProcessSummary& summary) {
  static const Process kFresh{};
  summary.number = kFresh.number;
  summary.title = kFresh.title;
  summary.subject = kFresh.subject;
  summary.author = kFresh.author;
  summary.reviewer = kFresh.reviewer;
  summary.revision = summary.number;
  summary.objectives.clear();
  summary.out_of_scope.clear();
  summary.verifications.clear();
  summary.resources.clear();
  summary.command_lines = 0;
}

}  // namespace

void read_qlml_summary(const std::string& document_path, std::string& content,
                       ProcessSummary& summary) {
  content.clear();
  if (document_path.empty()) {
    start_summary(summary);
    return;
  }
  read_text_file_into(document_path, content);
  summarise_qlml_text(content, document_path, summary);
}

void summarise_qlml_text(std::string_view content, const std::string& document_path,
                         ProcessSummary& summary) {
  start_summary(summary);
  // The full reader's steps exist only after a Section line, and each runs from its Step
  // line to the next Step line wherever that stands; together they cover every line from
  // the first Step line after the first Section line to the end. Those lines' Command
  // items are the command lines, and their CSVFILE tables are read (and can fail).
  bool in_section = false;
  bool in_steps = false;
  bool has_revision = false;
  std::vector<std::string> csv_files_read;
  std::string csv_content;
  const std::string_view text = drop_byte_order_mark(content);
  std::size_t line_number = 0;
  for (std::size_t start = 0;
       const std::optional<std::string_view> line = next_line(text, start);) {
    ++line_number;
    std::size_t bar = 0;
    const Keyword keyword = classify_statement(*line, &bar);
    if (keyword == Keyword::None) continue;
    const std::string_view value = bar < line->size() ? line->substr(bar + 1) : std::string_view{};
    switch (keyword) {
      case Keyword::Number:
        summary.number = trim_view(value);
        break;
      case Keyword::Title:
        summary.title = trim_view(value);
        break;
      case Keyword::Subject:
        summary.subject = trim_view(value);
        break;
      case Keyword::Author:
        summary.author = trim_view(value);
        break;
      case Keyword::Reviewer:
        summary.reviewer = trim_view(value);
        break;
      case Keyword::Revision:
        if (!has_revision) summary.revision = revision_of(first_fields<2>(value));
        has_revision = true;
        break;
      case Keyword::Objective:
        summary.objectives.push_back(value);
        break;
      case Keyword::OutOfScope:
        summary.out_of_scope.push_back(value);
        break;
      case Keyword::Resource:
        summary.resources.push_back(resource_name_of(value));
        break;
      case Keyword::Verification:
        summary.verifications.push_back(mention_of(first_fields<3>(value)));
        break;
      case Keyword::Section:
        in_section = true;
        break;
      case Keyword::Step:
        in_steps = in_steps || in_section;
        break;
      case Keyword::Command:
        if (in_steps) ++summary.command_lines;
        break;
      case Keyword::CsvFile:
        if (in_steps) {
          const std::string_view name = trim_view(first_fields<1>(value).field[0]);
          std::string path = csv_path_of(name, document_path, line_number);
          if (std::find(csv_files_read.begin(), csv_files_read.end(), path) ==
              csv_files_read.end()) {
            read_csv_file_into(path, csv_content, document_path, line_number, name);
            csv_files_read.push_back(std::move(path));
          }
        }
        break;
      default:
        break;
    }
  }
  if (!has_revision) summary.revision = summary.number;
}

}  // namespace morvalen
