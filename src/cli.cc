#include "cli.h"

#include <array>

#include "files.h"
#include "links.h"

namespace morvalen {
namespace {

enum class Kind { Flag, Value, Triple, Help, Version };

struct OptionSpec {
  char short_name;
  std::string_view long_name;
  Kind kind;
  std::string_view value_names;  // as shown on the help screen
};

constexpr std::array<OptionSpec, 11> kOptions{{
    {'l', "listgen", Kind::Value, "<CSV-FILE>"},
    {'w', "webmenu", Kind::Flag, ""},
    {'p', "process-qlml", Kind::Value, "<DOCUMENT-NUMBER>"},
    {'s', "scriptify-process", Kind::Triple,
     "<DOCUMENT-NUMBER> <SCRIPT-FORMAT> <PAUSE-AFTER-EACH>"},
    {'a', "archive-process", Kind::Value, "<DOCUMENT-NUMBER>"},
    {'i', "inspect-process", Kind::Value, "<DOCUMENT-NUMBER>"},
    {'c', "cleanup-previous", Kind::Value, "<DOCUMENT-NUMBER>"},
    {'v', "verbose", Kind::Flag, ""},
    {'e', "qlml-help", Kind::Flag, ""},
    {'h', "help", Kind::Help, ""},
    {'V', "version", Kind::Version, ""},
}};

std::string glob_lines() {
  return "- DOCUMENT-NUMBER should be surrounded by quotes, particularly if wildcards are used\n"
         "  - Wildcards are accepted, e.g. *, ?, [0-9]\n"
         "  - Wildcards follow \"glob\" formatting: <" +
         std::string(kPatternSyntaxLink) + ">";
}

std::string help_text(char option, bool long_form) {
  switch (option) {
    case 'l': {
      std::string text =
          "Read a single CSV file to create many new first-draft processes from scratch\n"
          "- CSV-FILE\n"
          "  - Comma-separated text file that strictly conforms to the template below\n"
          "  - Exception: _TFlag_ columns (7th column and beyond) are user-defined\n"
          "  - Free Excel file to modify and export as CSV: <" +
          std::string(kListTemplateLink) + ">";
      if (long_form) {
        text +=
            "\n"
            "\n"
            "| \"Document Number\" | \"Title\" | \"Subject\" | \"Product\" | \"Author\" | \"Reviewer\" | _TFlag_ | _TFlag_ | ... |\n"
            "| ----------------- | ------- | --------- | --------- | -------- | ---------- | ------- | ------- | --- |\n"
            "| ...               | ...     | ...       | ...       | ...      | ...        |    x    |         | ... |\n"
            "| ...               | ...     | ...       | ...       | ...      | ...        |         |    x    | ... |\n"
            "| ...               | ...     | ...       | ...       | ...      | ...        |         |         | ... |\n"
            "| ...               | ...     | ...       | ...       | ...      | ...        |    x    |    x    | ... |";
      }
      return text;
    }
    case 'w':
      return "Generate (or overwrite) a menu that indexes useful information for every process in a library\n"
             "WebMenu.html is generated in the Process Library root folder";
    case 'p':
      return "Read a single QLML and produce an HTML file as well as a PDF of that process\n" +
             glob_lines();
    case 's':
      return "Export every \"Command\" line from a single process into a script with a defined language/format\n" +
             glob_lines() +
             "\n"
             "- SCRIPT-FORMAT can be \"bash\" or \"powershell\" or \"python\" or \"applescript\"\n"
             "- PAUSE-AFTER-EACH\n"
             "  - {\"true\",\"1\"} to insert a format-specific wait after each command\n"
             "  - {\"false\",\"0\"} to script with no waiting";
    case 'a':
      return "Only perform the archiving process, i.e. create a new archive in \"previous\"\n"
             "Note: this operation is performed at the end of every \"Process QLML\" action\n"
             "This option _only_ performs the archiving, not the processing.\n" +
             glob_lines();
    case 'i':
      return "Inspect a document by reading its QLML and returning information (no file generation)\n" +
             glob_lines();
    case 'c':
      return "Delete all but one \"previous\" version for each Revision for a given process\n"
             "  For example, for a document that has many \"previous\" copies across four\n"
             "  Revisions (-,A,B,C), then this option deletes all subdirectories except\n"
             "  four: the one with the latest timestamp for each Revision variant";
    case 'v':
      return "Output more information to stdout as Morvalen executes (flag)";
    case 'e':
      return "Display syntax help for Quick Lever Markup Language (QLML)";
    case 'h':
      return long_form ? "Print help (see a summary with '-h')"
                       : "Print help (see more with '--help')";
    default:
      return "Print version";
  }
}

constexpr std::string_view kBanner =
    "\n"
    "\n"
    "\x1b[1;30;47mMorvaen\x1b[0m\x1b[30;47m, the Quick Lever process generation engine.\x1b[0m\n"
    "\n"
    "Arguments passed into the options should be surrounded by single or double quotes, e.g.\n"
    "% ./morvalen -p \"QL-WI-0010\"    \x1b[36m<< double quotes are accepted\x1b[0m\n"
    "% ./morvalen -a 'QL-WI-*'       \x1b[36m<< single quotes are accepted\x1b[0m";

constexpr std::string_view kIndent = "          ";

std::string usage_line(std::string_view program_name) {
  return "Usage: " + std::string(program_name) + " [OPTIONS]";
}

std::string indent_lines(std::string_view text) {
  std::string result;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    if (!line.empty()) result.append(kIndent);
    result.append(line);
    result += '\n';
    start = end + 1;
  }
  return result;
}

std::string option_name(const OptionSpec& spec) {
  std::string name = "--" + std::string(spec.long_name);
  if (!spec.value_names.empty()) name += " " + std::string(spec.value_names);
  return name;
}

std::string program_file_name(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return std::string(kProgramName);
  const std::size_t slash = argv[0].find_last_of(kWindowsFileNames ? "/\\" : "/");
  return slash == std::string::npos ? argv[0] : argv[0].substr(slash + 1);
}

const OptionSpec* find_long(std::string_view name) {
  for (const OptionSpec& spec : kOptions) {
    if (spec.long_name == name) return &spec;
  }
  return nullptr;
}

const OptionSpec* find_short(char name) {
  for (const OptionSpec& spec : kOptions) {
    if (spec.short_name == name) return &spec;
  }
  return nullptr;
}

// A value may not look like an option: "-x..." is one, a lone "-" is not.
bool looks_like_option(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

class Parser {
 public:
  explicit Parser(const std::vector<std::string>& argv)
      : argv_(argv), program_(program_file_name(argv)) {}

  ParsedCommandLine run() {
    std::size_t i = 1;
    while (i < argv_.size() && !done_) {
      const std::string& arg = argv_[i++];
      if (arg == "--") {
        if (i < argv_.size()) return usage_error("unexpected argument '" + argv_[i] + "' found");
        continue;
      }
      if (arg.rfind("--", 0) == 0) {
        const std::size_t equals = arg.find('=');
        const std::string name =
            arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OptionSpec* spec = find_long(name);
        if (spec == nullptr) return usage_error("unexpected argument '--" + name + "' found");
        std::optional<std::string> attached;
        if (equals != std::string::npos) attached = arg.substr(equals + 1);
        if (!apply(*spec, attached, i, true)) return result_;
      } else if (looks_like_option(arg)) {
        for (std::size_t k = 1; k < arg.size() && !done_; ++k) {
          const OptionSpec* spec = find_short(arg[k]);
          if (spec == nullptr)
            return usage_error("unexpected argument '-" + std::string(1, arg[k]) + "' found");
          std::optional<std::string> attached;
          if (spec->kind == Kind::Value || spec->kind == Kind::Triple) {
            if (k + 1 < arg.size()) {
              attached = arg.substr(arg[k + 1] == '=' ? k + 2 : k + 1);
            }
            k = arg.size();
          }
          if (!apply(*spec, attached, i, false)) return result_;
        }
      } else {
        return usage_error("unexpected argument '" + arg + "' found");
      }
    }
    if (!done_) result_.args = args_;
    return result_;
  }

 private:
  // Applies one option; false when the run ends here with a screen.
  bool apply(const OptionSpec& spec, const std::optional<std::string>& attached, std::size_t& next,
             bool given_long) {
    const std::string display =
        "'--" + std::string(spec.long_name) +
        (spec.value_names.empty() ? "" : " " + std::string(spec.value_names)) + "'";
    if (spec.kind == Kind::Help || spec.kind == Kind::Version) {
      if (attached)
        return usage_error_bool("unexpected value '" + *attached + "' for " + display +
                                " found; no more were expected");
      result_.screen =
          spec.kind == Kind::Help ? help_screen(program_, given_long) : version_screen();
      done_ = true;
      return false;
    }
    if (spec.kind != Kind::Triple) {
      if (seen_[static_cast<unsigned char>(spec.short_name)]) {
        return usage_error_bool("the argument " + display + " cannot be used multiple times");
      }
      seen_[static_cast<unsigned char>(spec.short_name)] = true;
    }
    switch (spec.kind) {
      case Kind::Flag:
        if (attached)
          return usage_error_bool("unexpected value '" + *attached + "' for " + display +
                                  " found; no more were expected");
        (spec.short_name == 'w'   ? args_.webmenu
         : spec.short_name == 'v' ? args_.verbose
                                  : args_.qlml_help) = true;
        return true;
      case Kind::Value: {
        std::string value;
        if (attached) {
          value = *attached;
        } else if (next < argv_.size() && !looks_like_option(argv_[next])) {
          value = argv_[next++];
        } else {
          return usage_error_bool("a value is required for " + display + " but none was supplied");
        }
        text_field(spec.short_name) = value;
        return true;
      }
      case Kind::Triple: {
        std::vector<std::string> values;
        auto add = [&values](const std::string& text) {
          std::size_t start = 0;
          while (true) {
            const std::size_t blank = text.find(' ', start);
            values.push_back(
                text.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
            if (blank == std::string::npos) break;
            start = blank + 1;
          }
        };
        if (attached) add(*attached);
        while (values.size() < 3 && next < argv_.size() && !looks_like_option(argv_[next]))
          add(argv_[next++]);
        if (values.size() != 3) {
          return usage_error_bool(display + " requires 3 values, but " +
                                  std::to_string(values.size()) +
                                  (values.size() == 1 ? " was" : " were") + " provided");
        }
        args_.scriptify_process.insert(args_.scriptify_process.end(), values.begin(), values.end());
        return true;
      }
      default:
        return true;
    }
  }

  std::string& text_field(char name) {
    switch (name) {
      case 'l':
        return args_.listgen;
      case 'p':
        return args_.process_qlml;
      case 'a':
        return args_.archive_process;
      case 'i':
        return args_.inspect_process;
      default:
        return args_.cleanup_previous;
    }
  }

  ParsedCommandLine usage_error(const std::string& problem) {
    usage_error_bool(problem);
    return result_;
  }

  bool usage_error_bool(const std::string& problem) {
    result_.screen = "error: " + problem + "\n\n" + usage_line(program_) +
                     "\n\nFor more information, try '--help'.\n";
    result_.screen_to_stderr = true;
    result_.exit_status = 2;
    done_ = true;
    return false;
  }

  const std::vector<std::string>& argv_;
  std::string program_;
  MorvalenArgs args_;
  ParsedCommandLine result_;
  std::array<bool, 256> seen_{};
  bool done_ = false;
};

}  // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& argv) {
  return Parser(argv).run();
}

std::string help_screen(std::string_view program_name, bool long_form) {
  std::string screen(kBanner);
  screen += "\n\n" + usage_line(program_name) + "\n\nOptions:\n";
  for (const OptionSpec& spec : kOptions) {
    screen += "  -" + std::string(1, spec.short_name) + ", " + option_name(spec) + "\n";
    screen += indent_lines(help_text(spec.short_name, long_form));
    if (spec.kind == Kind::Value) screen += "\n" + std::string(kIndent) + "[default: ]\n";
    screen += "\n";
  }
  return screen;
}

std::string version_screen() {
  return std::string(kProgramName) + " " + std::string(kVersion) + "\n";
}

}  // namespace morvalen
