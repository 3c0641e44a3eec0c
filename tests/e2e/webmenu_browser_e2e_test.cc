// WebMenu.html in headless Chromium: sorting by a heading click and the column check boxes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "headless_browser.h"
#include "test_support.h"
#include "write_webmenu.h"

namespace morvalen {
namespace {

using testing_support::HeadlessBrowser;
using testing_support::ScratchFolder;

TEST(WebmenuInBrowser, SortsByHeadingAndTogglesColumns) {
  ScratchFolder scratch;
  std::vector<Process> processes(3);
  const char* numbers[] = {"QL-WI-0020", "QL-WI-0030", "QL-WI-0010"};
  for (int k = 0; k < 3; ++k) { processes[k].number = numbers[k]; processes[k].title = "T"; processes[k].author = "Au"; }
  {
    std::ofstream page("WebMenu.html", std::ios::binary);
    write_webmenu_top(page);
    write_webmenu_head(page, "Lib");
    write_webmenu_body(page, "Lib", processes);
    write_webmenu_bottom(page);
  }
  HeadlessBrowser browser;
  browser.open("file://" + scratch.path() + "/WebMenu.html");
  const std::string column = "[...document.querySelectorAll('#library tbody tr')].map(r => r.cells[1].textContent)";
  std::cerr << browser.evaluate(column).dump() << "\n";
  browser.click("#library th.col02");
  std::cerr << browser.evaluate(column).dump() << "\n";
  browser.click("#library th.col02");
  std::cerr << browser.evaluate(column).dump() << "\n";
  for (const auto& e : browser.errors()) std::cerr << e << "\n";
}

}  // namespace
}  // namespace morvalen
