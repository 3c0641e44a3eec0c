// check_output.cc: the findings of qlml check in each output format.
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "lint/check.h"
#include "version.h"

namespace morvalen {
namespace {

using nlohmann::json;

// The path as a relative URI reference: "/" kept, every other byte that is not unreserved
// percent-encoded (blanks in folder names are common).
std::string uri_of(std::string_view path) {
  std::string uri;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      uri += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      uri += escaped;
    }
  }
  if (uri.starts_with("./")) uri.erase(0, 2);
  return uri;
}

json sarif_location(const Place& place) {
  json physical = {{"artifactLocation", {{"uri", uri_of(place.file)}}}};
  if (place.line > 0) {
    physical["region"] = {{"startLine", place.line},
                          {"startColumn", place.column},
                          {"endLine", place.end_line},
                          {"endColumn", place.end_column}};
  }
  return {{"physicalLocation", physical}};
}

// `message` with every run of digits as "#": messages name line numbers ("the blank line
// 41"), which move when lines are added above.
std::string without_numbers(std::string_view message) {
  std::string out;
  for (const char c : message) {
    if (c < '0' || c > '9') {
      out += c;
    } else if (out.empty() || out.back() != '#') {
      out += '#';
    }
  }
  return out;
}

// FNV-1a, 64 bits, in hexadecimal: a fingerprint that stays as long as the finding's file,
// code, message (numbers aside) and occurrence do, whatever lines are added above it.
std::string fingerprint(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

std::string_view sarif_level(Severity severity) {
  return severity == Severity::note ? "note" : severity_name(severity);
}

// A workflow command's data: "%", CR and LF escaped; properties also ":" and ",".
std::string github_escape(std::string_view text, bool property) {
  std::string out;
  for (const char c : text) {
    if (c == '%') {
      out += "%25";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else if (property && c == ':') {
      out += "%3A";
    } else if (property && c == ',') {
      out += "%2C";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string format_gcc(std::span<const Finding> findings) {
  // A library can have a hundred thousand findings: each line is appended piece by piece,
  // with no text put together on the way.
  std::string out;
  const auto place = [&](const Place& at) {
    out += at.file;
    out += ':';
    if (at.line == 0) return;
    out += std::to_string(at.line);
    out += ':';
    out += std::to_string(at.column);
    out += ':';
  };
  for (const Finding& finding : findings) {
    place(finding.place);
    out += ' ';
    out += severity_name(finding.severity);
    out += ": ";
    out += finding.message;
    out += " [";
    out += finding.code;
    out += "]\n";
    for (const Related& related : finding.related) {
      place(related.place);
      out += " note: ";
      out += related.message;
      out += '\n';
    }
  }
  return out;
}

std::string format_json(std::span<const Finding> findings) {
  json array = json::array();
  for (const Finding& finding : findings) {
    json related = json::array();
    for (const Related& other : finding.related) {
      related.push_back({{"file", other.place.file},
                         {"line", other.place.line},
                         {"column", other.place.column},
                         {"end_line", other.place.end_line},
                         {"end_column", other.place.end_column},
                         {"message", other.message}});
    }
    array.push_back({{"file", finding.place.file},
                     {"line", finding.place.line},
                     {"column", finding.place.column},
                     {"end_line", finding.place.end_line},
                     {"end_column", finding.place.end_column},
                     {"severity", severity_name(finding.severity)},
                     {"code", finding.code},
                     {"message", finding.message},
                     {"related", related}});
  }
  return array.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string format_sarif(std::span<const Finding> findings) {
  json rules = json::array();
  for (const Rule& rule : check_rules()) {
    rules.push_back({{"id", rule.code},
                     {"shortDescription", {{"text", rule.summary}}},
                     {"fullDescription", {{"text", rule.summary}}},
                     {"help", {{"text", explain_rule(rule)}}},
                     {"defaultConfiguration", {{"level", sarif_level(rule.severity)}}}});
  }
  json results = json::array();
  std::map<std::string, int> occurrences;
  for (const Finding& finding : findings) {
    const std::span<const Rule> all = check_rules();
    std::size_t index = 0;
    while (index < all.size() && all[index].code != finding.code) ++index;
    const std::string identity =
        finding.place.file + "\n" + finding.code + "\n" + without_numbers(finding.message);
    const int occurrence = occurrences[identity]++;
    json result = {
        {"ruleId", finding.code},
        {"ruleIndex", index},
        {"level", sarif_level(finding.severity)},
        {"message", {{"text", finding.message}}},
        {"locations", json::array({sarif_location(finding.place)})},
        {"partialFingerprints",
         {{"qlmlFinding/v1", fingerprint(identity + "\n" + std::to_string(occurrence))}}}};
    if (!finding.related.empty()) {
      json related = json::array();
      int id = 1;
      for (const Related& other : finding.related) {
        json location = sarif_location(other.place);
        location["id"] = id++;
        location["message"] = {{"text", other.message}};
        related.push_back(location);
      }
      result["relatedLocations"] = related;
    }
    results.push_back(result);
  }
  json log = {
      {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
      {"version", "2.1.0"},
      {"runs",
       json::array({{{"tool",
                      {{"driver",
                        {{"name", "qlml"}, {"version", std::string(kVersion)}, {"rules", rules}}}}},
                     {"columnKind", "unicodeCodePoints"},
                     {"results", results}}})}};
  return log.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string format_github(std::span<const Finding> findings) {
  std::string out;
  for (const Finding& finding : findings) {
    const std::string_view command = finding.severity == Severity::error     ? "error"
                                     : finding.severity == Severity::warning ? "warning"
                                                                             : "notice";
    out += "::" + std::string(command) + " file=" + github_escape(finding.place.file, true);
    if (finding.place.line > 0) {
      out += ",line=" + std::to_string(finding.place.line) +
             ",col=" + std::to_string(finding.place.column) +
             ",endLine=" + std::to_string(finding.place.end_line) +
             ",endColumn=" + std::to_string(finding.place.end_column);
    }
    out += ",title=" + finding.code + "::" + github_escape(finding.message, false) + "\n";
  }
  return out;
}

}  // namespace morvalen
