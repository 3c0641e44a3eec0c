// check_command.cc: the command line of qlml check.
#include <algorithm>
#include <filesystem>
#include <variant>

#include "fatal.h"
#include "files.h"
#include "lint/check.h"
#include "text.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage =
    "usage: qlml check [--format gcc|json|sarif|github] [--fail-on error|warning|note|never]\n"
    "                  [--select CODES] [--ignore CODES] [PATH...]\n"
    "       qlml check --explain CODE\n";

std::string help_screen() {
  return std::string(kUsage) +
         "\n"
         "Checks documents and says, line by line, what the reader will do with them.\n"
         "Without PATH: the library in the current folder, every process folder's document and\n"
         "the library as a whole. A PATH may be a .qlml file, a process folder or a library root.\n"
         "\n"
         "Options:\n"
         "  --format FORMAT    gcc (default: path:line:column: severity: message [code]), json,\n"
         "                     sarif (SARIF 2.1.0) or github (workflow annotations)\n"
         "  --fail-on LEVEL    exit 1 when a finding is at least this severe: error, warning\n"
         "                     (default), note, or never\n"
         "  --select CODES     report only these rules (comma-separated, e.g. QL203,QL301)\n"
         "  --ignore CODES     report everything but these rules\n"
         "  --explain CODE     print what the rule finds, what the reader does, how to fix it\n"
         "  -h, --help         print this help\n"
         "\n"
         "qlml.json in the library root may set \"select\", \"ignore\" and \"severity\"; a comment\n"
         "\"// qlml: ignore CODE\" silences CODE on the next statement, \"// qlml: ignore-file CODE\"\n"
         "in the whole document. Exit status: 0 clean, 1 findings, 2 wrong command line, 101 a\n"
         "file that cannot be read.\n";
}

struct CheckArgs {
  std::string format = "gcc";
  std::optional<Severity> fail_on = Severity::warning;  // nothing: never
  std::set<std::string, std::less<>> select;
  std::set<std::string, std::less<>> ignore;
  std::optional<std::string> explain;
  std::vector<std::string> paths;
  bool help = false;
};

// The arguments, or the message of a wrong command line.
std::variant<CheckArgs, std::string> parse_check_args(std::span<const std::string> args) {
  CheckArgs parsed;
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options_end || arg == "-" || !arg.starts_with("-")) {
      parsed.paths.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      parsed.help = true;
      continue;
    }
    std::optional<std::string> value;
    if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.erase(equals);
    }
    if (arg != "--format" && arg != "--fail-on" && arg != "--select" && arg != "--ignore" &&
        arg != "--explain") {
      return "unknown option '" + arg + "'";
    }
    if (!value) {
      if (i + 1 == args.size()) return "option '" + arg + "' needs a value";
      value = args[++i];
    }
    if (arg == "--format") {
      if (*value != "gcc" && *value != "json" && *value != "sarif" && *value != "github") {
        return "unknown format '" + *value + "' (gcc, json, sarif or github)";
      }
      parsed.format = *value;
    } else if (arg == "--fail-on") {
      if (*value == "error") {
        parsed.fail_on = Severity::error;
      } else if (*value == "warning") {
        parsed.fail_on = Severity::warning;
      } else if (*value == "note") {
        parsed.fail_on = Severity::note;
      } else if (*value == "never") {
        parsed.fail_on.reset();
      } else {
        return "unknown severity '" + *value + "' (error, warning, note or never)";
      }
    } else if (arg == "--explain") {
      if (find_rule(*value) == nullptr) return "unknown rule code '" + *value + "'";
      parsed.explain = *value;
    } else {
      for (const std::string_view code : split(*value, ',')) {
        const std::string_view trimmed = trim_view(code);
        if (trimmed.empty()) continue;
        if (find_rule(trimmed) == nullptr)
          return "unknown rule code '" + std::string(trimmed) + "'";
        (arg == "--select" ? parsed.select : parsed.ignore).insert(std::string(trimmed));
      }
    }
  }
  return parsed;
}

// rank: error 0, warning 1, note 2.
bool at_least(Severity severity, Severity threshold) {
  return static_cast<int>(severity) <= static_cast<int>(threshold);
}

CheckConfig config_for(const fs::path& library_root, const CheckArgs& args) {
  CheckConfig config = load_check_config(library_root);
  if (!args.select.empty()) config.select = args.select;
  config.ignore.insert(args.ignore.begin(), args.ignore.end());
  return config;
}

// `path` as a folder name, "." and trailing "/" resolved.
std::string own_name(const fs::path& path) {
  fs::path normal = fs::absolute(path).lexically_normal();
  if (normal.filename().empty()) normal = normal.parent_path();
  return from_path(normal.filename());
}

std::vector<Finding> check_path(const std::string& given, const CheckArgs& args) {
  const fs::path path = to_path(given);
  if (is_folder(given)) {
    const std::string name = own_name(path);
    const fs::path document = path / to_path(name + ".qlml");
    if (path_exists(from_path(document)) && !is_folder(from_path(document))) {
      // A process folder: its document, with what the library says about it.
      CheckConfig config = config_for(fs::absolute(path).lexically_normal() / "..", args);
      config.with_library_checks_for_document = true;
      std::string content;
      std::error_code error;
      read_file_into(from_path(document), content, error);
      if (error) fatal("Could not load lines: " + from_path(document), error);
      return check_document(document, content, config);
    }
    return check_library(path, given, config_for(path, args));
  }
  std::string content;
  std::error_code error;
  read_file_into(given, content, error);
  if (error) fatal("Could not load lines: " + given, error);
  return check_document(
      path, content, config_for(fs::absolute(path).lexically_normal().parent_path() / "..", args));
}

}  // namespace

int run_check(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const auto parsed = parse_check_args(args);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    err << "error: " << *problem << "\n"
        << kUsage << "For more information, try 'qlml check --help'.\n";
    return 2;
  }
  const CheckArgs& check = std::get<CheckArgs>(parsed);
  if (check.help) {
    out << help_screen();
    return 0;
  }
  if (check.explain) {
    out << explain_rule(*find_rule(*check.explain));
    return 0;
  }
  std::vector<Finding> findings;
  if (check.paths.empty()) {
    findings = check_library(".", "", config_for(".", check));
  } else {
    for (const std::string& path : check.paths) {
      std::vector<Finding> found = check_path(path, check);
      std::move(found.begin(), found.end(), std::back_inserter(findings));
    }
  }
  if (check.format == "json") {
    out << format_json(findings);
  } else if (check.format == "sarif") {
    out << format_sarif(findings);
  } else if (check.format == "github") {
    out << format_github(findings);
  } else {
    out << format_gcc(findings);
  }
  out.flush();
  if (!check.fail_on) return 0;
  const bool failed = std::any_of(findings.begin(), findings.end(), [&](const Finding& finding) {
    return at_least(finding.severity, *check.fail_on);
  });
  return failed ? 1 : 0;
}

}  // namespace morvalen
