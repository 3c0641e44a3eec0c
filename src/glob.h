// glob.h: wildcard patterns over paths, and walking the file system with them.
//
// A pattern is split at "/" (on Windows also at a backslash) into components (empty
// components are ignored; a leading separator starts at the file-system root, anything else
// at the current folder). Within a
// component, "?" matches one character, "*" any run of characters (the empty one too),
// "[...]" one character of a set with ranges such as "0-9" (by code point), "[!...]" one
// character outside the set; "]" right after "[" or "[!" and "-" at either end are members.
// A component that is exactly "**" matches the current folder and every folder below it.
// Matching is case-sensitive, byte-exact for names that are not valid UTF-8, and does not
// treat names beginning with "." specially.
#pragma once
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace morvalen {

// What separates the components of a pattern: "/", on Windows a backslash as well.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "/\\";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif

// Why a pattern is invalid, with the byte position (from 0) where the fault was found.
// Reasons: "invalid range pattern" (a "[" never closed), "wildcards are either regular `*`
// or recursive `**`" (three or more "*" in a row), "recursive wildcards must form a single
// path component" ("**" beside other characters).
struct GlobError {
  std::size_t position = 0;
  std::string_view reason;
  // "Pattern syntax error near position {position}: {reason}".
  std::string describe() const;
};

// The first fault of `pattern`, or nothing for a valid pattern.
std::optional<GlobError> glob_pattern_error(std::string_view pattern);

// Whether `name` matches the one-component pattern `pattern` ("/" in either is an
// ordinary character here, "**" acts as "*"); false for an invalid pattern.
bool match_component(std::string_view pattern, std::string_view name);

// The paths of the entries (folders and files alike) that `pattern` matches, joined with
// "/" in the pattern's own spelling ("./a/b" for "./a/*"). The walk is depth first; each
// folder's entries come in byte order of their names. Literal components must name
// existing entries; "**" does not walk into links to folders, so a link loop ends. A
// folder that cannot be listed gets one line on `out` and is skipped. Fatal stop
// "Failed to read glob pattern: {describe()}" for an invalid pattern. `separators` are the
// characters that separate components (kPathSeparators).
std::vector<std::string> glob_paths(std::string_view pattern, std::ostream& out,
                                    std::string_view separators = kPathSeparators);

// `text` as a pattern that matches exactly `text` (a name without "/"): "*", "?" and "["
// are put in brackets.
std::string escape_glob(std::string_view text);

}  // namespace morvalen
