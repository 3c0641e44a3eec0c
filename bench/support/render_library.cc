#include "render_library.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string padded(std::size_t value, std::size_t width) {
  std::string text = std::to_string(value);
  return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
}

std::string document(const std::string& number, std::size_t index) {
  std::string text =
      "Template | Corporate.css\n"
      "Template | Hazards.css\n"
      "Number       | " +
      number +
      "\n"
      "Title        | Generated Procedure " +
      std::to_string(index) +
      "\n"
      "Process Type | Test Procedure\n"
      "Author       | Bench Author\n"
      "Reviewer     | Bench Reviewer\n"
      "Subject       | unit under test " +
      std::to_string(index) +
      "\n"
      "Subject Image | ../assets/placeholderImage-small.png\n"
      "Product       | a tested unit\n"
      "Product Image | ../assets/placeholderImage-small.png\n"
      "Revision | B | Second issue with more checks\n"
      "Revision | A | Initial release\n";
  for (int section = 1; section <= 3; ++section) {
    text += "Section | Section " + std::to_string(section) + " of the generated procedure\n";
    for (int step = 1; step <= 5; ++step) {
      const std::string label = std::to_string(section) + "." + std::to_string(step);
      text += "    Step | Step " + label + ": check the unit and record the reading\n";
      text += "        Objective | The unit passes check " + label + "\n";
      text += "        Resource | Meter " + label + " in calibration\n";
      text +=
          "        Context | This step verifies one property of the unit. Read the instructions fully before "
          "starting, keep the unit powered from the bench supply and write every reading in the log.\n";
      text += "        Warning | Hazardous voltage on the terminals while the supply is on.\n";
      text += "        Image | ../assets/placeholderImage-small.png | The unit before step " +
              label + "\n";
      for (int action = 1; action <= 4; ++action) {
        text += "        Action | Apply setting " + std::to_string(action) +
                " and wait for the reading to settle | "
                "Reading within limits " +
                std::to_string(action) + (action == 4 ? " | TPV\n" : "\n");
      }
      text += "        Command | bench-tool --check " + label + " --verbose\n";
      text += "        CSVSTART | Limits for step " + label + "\n";
      text +=
          "Quantity,Minimum,Maximum,Unit\nVoltage,11.5,12.5,V\nCurrent,0.1,0.9,A\nTemperature,15,35,C\n";
      text += "        CSVEND\n";
      text += "        Verification | REQ-" + label + "-" + std::to_string(index) +
              " | The unit shall pass check " + label + " | Test\n";
    }
  }
  return text;
}

}  // namespace

std::vector<std::string> generate_render_library(const std::string& root, std::size_t count,
                                                 const std::string& assets) {
  namespace fs = std::filesystem;
  fs::create_directories(root);
  fs::copy(assets, root + "/assets",
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::vector<std::string> numbers;
  for (std::size_t index = 1; index <= count; ++index) {
    const std::string number = "QL-BN-" + padded(index, 4);
    const std::string name = number + " - Generated Procedure " + std::to_string(index);
    fs::create_directories(root + "/" + name);
    std::ofstream(root + "/" + name + "/" + name + ".qlml", std::ios::binary)
        << document(number, index);
    numbers.push_back(number);
  }
  return numbers;
}
