#include "library_generator.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "model.h"
#include "names.h"
#include "text.h"

namespace fs = std::filesystem;

namespace bench_support {
namespace {

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string header(const std::string& number, const std::string& title) {
  return "// Generated for benchmarks\n"
         "Template | bench.css\n"
         "\n"
         "Title        | " +
         title +
         "\n"
         "Number       | " +
         number +
         "\n"
         "Author       | Ada Example\n"
         "Reviewer     | Bob Example\n"
         "Process Type | Test Procedure\n"
         "\n"
         "Subject       | Pump station " +
         number +
         "\n"
         "Subject Image | subject.png\n"
         "Product       | Verified pump\n"
         "Product Image | product.png\n"
         "\n"
         "Revision | C | Third revision, tables added\n"
         "Revision | B | Second revision\n"
         "Revision | A | Initial release\n"
         "\n";
}

std::string step_block(std::size_t section, std::size_t step, bool with_csv_file) {
  const std::string id = std::to_string(section) + "." + std::to_string(step);
  std::string block = "    Step | Check subsystem " + id +
                      "\n"
                      "        Objective    | Subsystem " +
                      id +
                      " is shown to work\n"
                      "        Out of Scope | Repairs of subsystem " +
                      id +
                      "\n"
                      "        Resource     | Torque wrench, 10 mm | calibrated\n"
                      "        Verification | REQ-" +
                      id +
                      " | The subsystem shall hold pressure for 10 min | T\n"
                      "        Context      | The subsystem must be cold before this step starts.\n"
                      "        Command      | systemctl status pump-" +
                      id +
                      " | grep -c active\n"
                      "        Warning      | High pressure: wear eye protection\n"
                      "        Image        | gauge.png | The gauge of subsystem " +
                      id +
                      "\n"
                      "        // The actions below form one table\n"
                      "        Action   | Open valve V" +
                      id +
                      " | Pressure rises above 2 bar | TPV\n"
                      "        Action   | Wait five minutes | Pressure stays above 2 bar\n"
                      "        Action   | Close valve V" +
                      id +
                      " | Pressure falls | no\n"
                      "\n"
                      "        CSVSTART | Pressures of " +
                      id +
                      "\n"
                      "        Gauge, Minimum, Maximum\n"
                      "        P1, 1.5, 2.5\n"
                      "        P2, 1.8, 2.9\n"
                      "        CSVEND\n";
  if (with_csv_file) block += "        CSVFILE | limits.csv | Limits of " + id + "\n";
  return block;
}

// Adds whole lines of `text` to `document` until it holds `limit` lines.
bool append_lines(std::string& document, std::size_t& count, std::size_t limit,
                  std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    if (count == limit) return false;
    const std::size_t end = text.find('\n', start);
    document.append(text.substr(start, end + 1 - start));
    ++count;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string generate_document(const std::string& number, const std::string& title,
                              const LibraryOptions& options) {
  std::string document;
  std::size_t count = 0;
  const std::size_t limit = options.lines_per_document;
  document.reserve(limit * 48);
  append_lines(document, count, std::max(limit, std::size_t{18}), header(number, title));
  const std::size_t per_section = std::max<std::size_t>(options.steps_per_section, 1);
  std::size_t steps = 0;
  for (std::size_t section = 1; count < limit; ++section) {
    if (!append_lines(document, count, limit,
                      "Section | Part " + std::to_string(section) + " of the procedure\n")) {
      break;
    }
    for (std::size_t step = 1; step <= per_section && count < limit; ++step) {
      ++steps;
      const bool csv_file = options.csv_file_every > 0 && steps % options.csv_file_every == 0;
      if (!append_lines(document, count, limit, step_block(section, step, csv_file))) break;
    }
  }
  return document;
}

std::vector<std::string> generate_library(const std::string& root, const LibraryOptions& options) {
  const fs::path base(root);
  fs::create_directories(base);
  if (options.with_assets_folder) {
    fs::create_directories(base / "assets");
    write_text(base / "assets" / "bench.css", "");
  }
  std::vector<std::string> names;
  for (std::size_t i = 1; i <= options.processes; ++i) {
    morvalen::Process process;
    process.number = options.number_prefix + morvalen::zero_padded(i, 4);
    process.title = "Generated procedure " + std::to_string(i);
    const std::string name = morvalen::get_process_folder_name(process).substr(2);
    fs::create_directories(base / name);
    write_text(base / name / (name + ".qlml"),
               generate_document(process.number, process.title, options));
    write_text(base / name / "limits.csv",
               "Quantity, Limit, Unit\nPressure, 3.0, bar\nFlow, 12, l/min\n");
    names.push_back(name);
  }
  return names;
}

std::string make_temporary_folder(const std::string& stem) {
  std::string pattern = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void remove_folder(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

}  // namespace bench_support
