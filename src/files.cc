#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "fatal.h"
#include "text.h"

namespace morvalen {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The lines of `content` as `Line`s (copies or views), so both forms split alike.
template <typename Line>
std::vector<Line> split_into(std::string_view content) {
  content = drop_byte_order_mark(content);
  std::vector<Line> lines;
  for (std::size_t start = 0;
       const std::optional<std::string_view> line = next_line(content, start);) {
    lines.emplace_back(*line);
  }
  return lines;
}

namespace fs = std::filesystem;

// The file a write to `path` ends in: `path` itself, or the file its links lead to;
// nothing when the links do not end (a loop).
std::optional<fs::path> final_target(const std::string& path) {
  fs::path target = to_path(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    if (error || !fs::is_symlink(status)) return target;
    const fs::path link = fs::read_symlink(target, error);
    if (error) return std::nullopt;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  return std::nullopt;
}

// Where the text for `path` goes.
struct WritePlan {
  std::string replaced;   // the file it ends in
  std::string temporary;  // where it is written first; "" to write in place
  std::error_code error;  // why it cannot be written at all
};

WritePlan plan_write(const std::string& path) {
  WritePlan plan{path, "", {}};
  const std::optional<fs::path> target = final_target(path);
  if (!target) return plan;
  std::error_code error;
  const fs::file_type type = fs::status(*target, error).type();
  if (type != fs::file_type::not_found && type != fs::file_type::regular) return plan;
  plan.replaced = from_path(*target);
  // An old file that could not have been written over stays: the write fails as the
  // opening of that file would have.
  if (type == fs::file_type::regular) plan.error = check_writable(plan.replaced);
  if (!plan.error)
    plan.temporary = make_temporary_beside(plan.replaced, TemporaryKind::File, plan.error);
  return plan;
}

std::error_code open_planned(const WritePlan& plan, std::ofstream& out) {
  if (plan.error) return plan.error;
  errno = 0;
  out.open(to_path(plan.temporary.empty() ? plan.replaced : plan.temporary),
           std::ios::binary | std::ios::out | std::ios::trunc);
  if (out) return {};
  const std::error_code error = last_system_error();
  // Windows refuses to open a folder as "permission denied"; POSIX says what it is.
  if (error == std::errc::permission_denied && plan.temporary.empty() && is_folder(plan.replaced)) {
    return std::make_error_code(std::errc::is_a_directory);
  }
  return error;
}

// Flushes and closes `out`, then puts the temporary file in place with the permissions of
// the file it replaces. With room set aside in the temporary file (`reserved` bytes), what
// its text did not fill is given back first.
std::error_code finish_planned(const WritePlan& plan, std::ofstream& out,
                               std::uintmax_t reserved = 0) {
  errno = 0;
  out.flush();
  if (!out) return last_system_error();
  const std::streamoff written = reserved > 0 ? static_cast<std::streamoff>(out.tellp()) : 0;
  out.close();
  if (!out) return last_system_error();
  if (plan.temporary.empty()) return {};
  if (written >= 0 && static_cast<std::uintmax_t>(written) < reserved) {
    std::error_code ignored;
    fs::resize_file(to_path(plan.temporary), static_cast<std::uintmax_t>(written), ignored);
  }
  std::error_code error;
  const fs::file_status old = fs::status(to_path(plan.replaced), error);
  if (!error && fs::is_regular_file(old)) {
    std::error_code ignored;
    fs::permissions(to_path(plan.temporary), old.permissions(), fs::perm_options::replace, ignored);
  }
  return settle_temporary(plan.temporary, [&plan] {
    std::error_code renamed;
    fs::rename(to_path(plan.temporary), to_path(plan.replaced), renamed);
    return renamed;
  });
}

void discard_planned(const WritePlan& plan, std::ofstream& out) {
  if (out.is_open()) out.close();
  if (!plan.temporary.empty()) discard_temporary(plan.temporary);
}

// Ten random letters and digits for a temporary's name.
std::string random_name_part() {
  static constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::string part(10, ' ');
  for (char& c : part) c = kAlphabet[pick(generator)];
  return part;
}

// Why reading something that is no regular file was refused.
class ReadingCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "reading"; }
  std::string message(int) const override { return "not a regular file"; }
};

}  // namespace

std::string_view drop_byte_order_mark(std::string_view content) {
  if (content.starts_with(kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
  return content;
}

std::optional<std::string_view> next_line(std::string_view content, std::size_t& start) {
  if (start >= content.size()) return std::nullopt;
  std::size_t end = content.find('\n', start);
  const bool has_feed = end != std::string_view::npos;
  if (!has_feed) end = content.size();
  std::size_t line_end = end;
  if (has_feed && line_end > start && content[line_end - 1] == '\r') --line_end;
  const std::string_view line = content.substr(start, line_end - start);
  start = has_feed ? end + 1 : end;
  return line;
}

std::vector<std::string_view> split_line_views(std::string_view content, bool* all_ascii) {
  std::vector<std::string_view> lines;
  // Lines of documents run to some forty bytes; the list then seldom grows.
  lines.reserve(content.size() / 32 + 1);
  const bool ascii =
      for_each_line_view(content, [&](std::string_view line) { lines.push_back(line); });
  if (all_ascii != nullptr) *all_ascii = ascii;
  return lines;
}

std::vector<std::string> split_lines(std::string_view content) {
  return split_into<std::string>(content);
}

std::string read_file(const std::string& path, std::error_code& error) {
  std::string content;
  read_file_into(path, content, error);
  return content;
}

std::optional<std::string> try_read_text_file_into(const std::string& path, std::string& content) {
  std::error_code error;
  read_file_into(path, content, error);
  if (error) return error.message();
  return utf8_problem(content);
}

std::optional<std::string> utf8_problem(std::string_view content) {
  const std::optional<std::size_t> bad = first_invalid_utf8(content);
  if (!bad) return std::nullopt;
  const std::size_t line =
      1 + static_cast<std::size_t>(std::count(content.begin(), content.begin() + *bad, '\n'));
  return "line " + std::to_string(line) + " is not valid UTF-8 text";
}

void read_text_file_into(const std::string& path, std::string& content,
                         std::string_view failure_message) {
  if (const std::optional<std::string> reason = try_read_text_file_into(path, content)) {
    fatal(std::string(failure_message) + ": " + path + ": " + *reason);
  }
}

std::string read_text_file(const std::string& path, std::string_view failure_message) {
  std::string content;
  read_text_file_into(path, content, failure_message);
  return content;
}

std::vector<std::string> read_lines(const std::string& path, std::string_view failure_message) {
  return split_lines(read_text_file(path, failure_message));
}

void write_piece(std::ostream& out, std::string_view piece, std::string_view failure_message) {
  errno = 0;
  out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  if (!out) fatal(failure_message, last_system_error());
}

OutputFile::OutputFile(std::string path, std::string_view open_failure,
                       std::string_view write_failure, const std::string& shown_path)
    : path_(std::move(path)),
      failure_(std::string(write_failure) + ": " + (shown_path.empty() ? path_ : shown_path)) {
  const WritePlan plan = plan_write(path_);
  replaced_ = plan.replaced;
  temporary_ = plan.temporary;
  if (const std::error_code error = open_planned(plan, out_)) {
    if (!temporary_.empty()) discard_temporary(temporary_);
    temporary_.clear();
    fatal(std::string(open_failure) + ": " + (shown_path.empty() ? path_ : shown_path), error);
  }
  // A large file is mostly replaced by one of about its size (a library's requirements
  // matrix is tens of megabytes): its room is set aside at once.
  constexpr std::uintmax_t kReservedFrom = std::uintmax_t{1} << 20;
  if (!temporary_.empty()) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(to_path(replaced_), error);
    if (!error && size >= kReservedFrom) {
      reserve_file_room(temporary_, size);
      reserved_ = size;
    }
  }
}

OutputFile::~OutputFile() {
  if (!committed_) discard_planned(WritePlan{replaced_, temporary_, {}}, out_);
}

void OutputFile::put(std::string_view piece) { write_piece(out_, piece, failure_); }

void OutputFile::commit() {
  if (const std::error_code error =
          finish_planned(WritePlan{replaced_, temporary_, {}}, out_, reserved_))
    fatal(failure_, error);
  committed_ = true;
}

void write_whole_file(const std::string& path, std::string_view content,
                      std::string_view open_failure, std::string_view write_failure,
                      const std::string& shown_path) {
  OutputFile file(path, open_failure, write_failure, shown_path);
  file.put(content);
  file.commit();
}

std::error_code try_write_whole_file(const std::string& path, std::string_view content) {
  const WritePlan plan = plan_write(path);
  std::ofstream out;
  std::error_code error = open_planned(plan, out);
  if (error) {
    discard_planned(plan, out);
    return error;
  }
  errno = 0;
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  error = out ? finish_planned(plan, out) : last_system_error();
  if (error) discard_planned(plan, out);
  return error;
}

std::error_code not_a_regular_file_error() {
  static const ReadingCategory category;
  return std::error_code(1, category);
}

std::string make_temporary_beside(const std::string& path, TemporaryKind kind,
                                  std::error_code& error) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  // A name already taken (by another run, say) is passed over for another.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = folder + "/" + std::string(kTemporaryPrefix) + random_name_part();
    error = make_temporary(temporary, kind, [&temporary, kind] {
      if (kind == TemporaryKind::File) return create_new_file(temporary);
      std::error_code made;
      if (!fs::create_directory(to_path(temporary), made) && !made)
        made = std::make_error_code(std::errc::file_exists);
      return made;
    });
    if (error != std::errc::file_exists) return error ? "" : temporary;
  }
  return "";
}

std::error_code copy_file_whole(const std::string& from, const std::string& to) {
  std::error_code error;
  const std::string temporary = make_temporary_beside(to, TemporaryKind::File, error);
  if (error) return error;
  error = copy_file_replacing(from, temporary);
  if (!error) {
    error = settle_temporary(temporary, [&] {
      std::error_code renamed;
      fs::rename(to_path(temporary), to_path(to), renamed);
      return renamed;
    });
  }
  if (error) discard_temporary(temporary);
  return error;
}

bool is_folder(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_directory(to_path(path), ignored);
}

}  // namespace morvalen
