#include "glob.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <variant>

#include "fatal.h"
#include "files.h"
#include "text.h"

namespace fs = std::filesystem;

namespace morvalen {
namespace {

constexpr std::string_view kUnclosedSet = "invalid range pattern";
constexpr std::string_view kTooManyStars = "wildcards are either regular `*` or recursive `**`";
constexpr std::string_view kRecursiveNotAlone =
    "recursive wildcards must form a single path component";

// Names and patterns are compared character by character. Bytes that are not part of
// well-formed UTF-8 become values above every code point, one per byte, so such names
// still match themselves and "?" still consumes something.
constexpr char32_t kStrayByteBase = 0x110000;

char32_t next_char(std::string_view text, std::size_t& pos) {
  const auto first = static_cast<unsigned char>(text[pos]);
  return decode_utf8(text, pos).value_or(kStrayByteBase + first);
}

std::u32string decode(std::string_view text) {
  std::u32string chars;
  chars.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) chars.push_back(next_char(text, pos));
  return chars;
}

struct Literal {
  char32_t value;
};
struct AnyChar {};
struct AnyRun {};
struct CharSet {
  bool negated = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;
  bool contains(char32_t c) const {
    bool found = false;
    for (const auto& [low, high] : ranges) found = found || (c >= low && c <= high);
    return found != negated;
  }
};
using Token = std::variant<Literal, AnyChar, AnyRun, CharSet>;

enum class ComponentKind { Recursive, Exact, Wildcard };

struct Component {
  ComponentKind kind = ComponentKind::Exact;
  std::string text;           // the component as written
  std::vector<Token> tokens;  // for Wildcard
};

struct Pattern {
  bool from_root = false;
  std::vector<Component> components;
};

struct Compiled {
  Pattern pattern;
  std::optional<GlobError> error;
};

// Parses one component that starts at byte `offset` of the whole pattern, so errors can
// give positions in the pattern the user typed.
std::optional<GlobError> parse_component(std::string_view text, std::size_t offset,
                                         Component& component) {
  component.text = std::string(text);
  if (text == "**") {
    component.kind = ComponentKind::Recursive;
    return std::nullopt;
  }
  bool has_wildcard = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '*') {
      std::size_t run = 0;
      while (pos + run < text.size() && text[pos + run] == '*') ++run;
      if (run >= 3) return GlobError{offset + pos + 2, kTooManyStars};
      if (run == 2) return GlobError{offset + pos, kRecursiveNotAlone};
      component.tokens.push_back(AnyRun{});
      has_wildcard = true;
      ++pos;
    } else if (c == '?') {
      component.tokens.push_back(AnyChar{});
      has_wildcard = true;
      ++pos;
    } else if (c == '[') {
      const std::size_t open = pos;
      CharSet set;
      ++pos;
      if (pos < text.size() && text[pos] == '!') {
        set.negated = true;
        ++pos;
      }
      bool first = true;
      bool closed = false;
      while (pos < text.size()) {
        if (text[pos] == ']' && !first) {
          closed = true;
          ++pos;
          break;
        }
        first = false;
        const char32_t low = next_char(text, pos);
        char32_t high = low;
        if (pos + 1 < text.size() && text[pos] == '-' && text[pos + 1] != ']') {
          ++pos;
          high = next_char(text, pos);
        }
        set.ranges.emplace_back(low, high);
      }
      if (!closed) return GlobError{offset + open, kUnclosedSet};
      component.tokens.push_back(std::move(set));
      has_wildcard = true;
    } else {
      component.tokens.push_back(Literal{next_char(text, pos)});
    }
  }
  component.kind = has_wildcard ? ComponentKind::Wildcard : ComponentKind::Exact;
  return std::nullopt;
}

Compiled compile(std::string_view pattern, std::string_view separators = kPathSeparators) {
  Compiled compiled;
  std::size_t start = 0;
  if (!pattern.empty() && separators.find(pattern.front()) != std::string_view::npos) {
    compiled.pattern.from_root = true;
    start = 1;
  }
  while (start <= pattern.size()) {
    std::size_t end = pattern.find_first_of(separators, start);
    if (end == std::string_view::npos) end = pattern.size();
    const std::string_view text = pattern.substr(start, end - start);
    if (!text.empty()) {
      Component component;
      if (auto error = parse_component(text, start, component)) {
        compiled.error = error;
        return compiled;
      }
      compiled.pattern.components.push_back(std::move(component));
    }
    start = end + 1;
  }
  return compiled;
}

bool token_matches(const Token& token, char32_t c) {
  if (const auto* literal = std::get_if<Literal>(&token)) return literal->value == c;
  if (const auto* set = std::get_if<CharSet>(&token)) return set->contains(c);
  return true;  // AnyChar
}

// Every token but AnyRun consumes exactly one character, so one remembered AnyRun to fall
// back to is enough: the match is linear for the usual patterns and never exponential.
bool tokens_match(const std::vector<Token>& tokens, const std::u32string& name) {
  std::size_t t = 0;
  std::size_t n = 0;
  std::optional<std::size_t> star_token;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (t < tokens.size() && std::holds_alternative<AnyRun>(tokens[t])) {
      star_token = t++;
      star_name = n;
    } else if (t < tokens.size() && token_matches(tokens[t], name[n])) {
      ++t;
      ++n;
    } else if (star_token) {
      t = *star_token + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (t < tokens.size() && std::holds_alternative<AnyRun>(tokens[t])) ++t;
  return t == tokens.size();
}

bool component_matches(const Component& component, std::string_view name) {
  switch (component.kind) {
    case ComponentKind::Exact:
      return component.text == name;
    case ComponentKind::Recursive:
      return true;
    case ComponentKind::Wildcard:
      break;
  }
  return tokens_match(component.tokens, decode(name));
}

struct Entry {
  std::string name;
  bool real_folder = false;  // a folder, not a link to one
};

class Walker {
 public:
  Walker(const Pattern& pattern, std::ostream& out) : pattern_(pattern), out_(out) {}

  std::vector<std::string> run() {
    if (pattern_.components.empty()) return {};
    walk(pattern_.from_root ? "/" : "", 0);
    return std::move(matches_);
  }

 private:
  static std::string join(const std::string& prefix, std::string_view name) {
    if (prefix.empty()) return std::string(name);
    if (prefix.back() == '/') return prefix + std::string(name);
    return prefix + "/" + std::string(name);
  }

  bool is_last(std::size_t index) const { return index + 1 == pattern_.components.size(); }

  // The folder's entries in byte order, or nothing (with a line on `out`) when it cannot
  // be listed.
  std::vector<Entry> list(const std::string& folder) {
    const std::string shown = folder.empty() ? "." : folder;
    std::vector<Entry> entries;
    std::error_code error;
    for (FolderEntry& listed : list_folder(shown, error)) {
      bool folder_entry = listed.kind == EntryKind::Folder;
      if (listed.kind == EntryKind::Unknown) {
        const fs::path path = to_path(join(folder, listed.name));
        std::error_code ignored;
        folder_entry = fs::is_directory(path, ignored) && !fs::is_symlink(path, ignored);
      }
      entries.push_back({std::move(listed.name), folder_entry});
    }
    if (error) {
      out_ << "Skipped folder " << shown << " while matching: " << error.message() << "\n";
      return {};
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
  }

  // `path` matched component `index`: record it or walk on into it.
  void accept(const std::string& path, std::size_t index) {
    if (is_last(index)) {
      matches_.push_back(path);
      return;
    }
    std::error_code ignored;
    if (fs::is_directory(to_path(path), ignored)) walk(path, index + 1);
  }

  // Matches components `index`... against the entries of `folder`.
  void walk(const std::string& folder, std::size_t index) {
    const Component& component = pattern_.components[index];
    if (component.kind == ComponentKind::Exact) {
      const std::string path = join(folder, component.text);
      std::error_code error;
      if (fs::symlink_status(to_path(path), error).type() != fs::file_type::not_found && !error) {
        accept(path, index);
      }
      return;
    }
    if (component.kind == ComponentKind::Wildcard) {
      for (const Entry& entry : list(folder)) {
        if (component_matches(component, entry.name)) accept(join(folder, entry.name), index);
      }
      return;
    }
    // "**/**" means no more than "**".
    while (!is_last(index) && pattern_.components[index + 1].kind == ComponentKind::Recursive) {
      ++index;
    }
    walk_recursive(folder, index);
  }

  // "**" at `index`: `folder` itself stands for zero folders, then each entry is tried
  // against the rest of the pattern and, when it is a folder, walked into, so results
  // come in depth-first order of the entries.
  void walk_recursive(const std::string& folder, std::size_t index) {
    if (is_last(index)) {
      // The walk's starting folder has no name of its own to return.
      if (!folder.empty() && folder != "/") matches_.push_back(folder);
      for (const Entry& entry : list(folder)) {
        if (entry.real_folder) walk_recursive(join(folder, entry.name), index);
      }
      return;
    }
    const Component& next = pattern_.components[index + 1];
    for (const Entry& entry : list(folder)) {
      const std::string path = join(folder, entry.name);
      if (component_matches(next, entry.name)) {
        accept(path, index + 1);
      }
      if (entry.real_folder) walk_recursive(path, index);
    }
  }

  const Pattern& pattern_;
  std::ostream& out_;
  std::vector<std::string> matches_;
};

}  // namespace

std::string GlobError::describe() const {
  return "Pattern syntax error near position " + std::to_string(position) + ": " +
         std::string(reason);
}

std::optional<GlobError> glob_pattern_error(std::string_view pattern) {
  return compile(pattern).error;
}

bool match_component(std::string_view pattern, std::string_view name) {
  Component component;
  if (parse_component(pattern, 0, component)) return false;
  return component_matches(component, name);
}

std::vector<std::string> glob_paths(std::string_view pattern, std::ostream& out,
                                    std::string_view separators) {
  const Compiled compiled = compile(pattern, separators);
  if (compiled.error) fatal("Failed to read glob pattern: " + compiled.error->describe());
  return Walker(compiled.pattern, out).run();
}

std::string escape_glob(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    if (c == '*' || c == '?' || c == '[') {
      escaped += '[';
      escaped += c;
      escaped += ']';
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace morvalen
