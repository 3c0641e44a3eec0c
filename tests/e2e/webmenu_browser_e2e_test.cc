// WebMenu.html written by the binary, opened in headless Chromium: sorting by a heading
// click and showing or hiding columns with the check boxes, without script errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "devtools_pipe.h"
#include "headless_browser.h"
#include "names.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::copy_example_library;
using testing_support::HeadlessBrowser;
using testing_support::run_morvalen_binary;
using testing_support::ScratchFolder;
using testing_support::write_file;

// A 1x1 grey PNG, so that every icon the page shows loads without an error.
const std::string kTinyPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00"
    "\x00\x01\x08\x00\x00\x00\x00\x3a\x7e\x9b\x55\x00\x00\x00\x0a\x49\x44\x41\x54\x78\x9c\x63"
    "\x60\x00\x00\x00\x02\x00\x01\x48\xaf\xa4\x71\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60"
    "\x82",
    67);

struct Document {
  std::string number, title, author;
};

std::vector<std::string> texts(const nlohmann::json& values) {
  return values.get<std::vector<std::string>>();
}

// The text of column `n` (1-based) in every body row, in row order.
std::string column_texts(int n) {
  return "[...document.querySelectorAll('#library tbody tr')].map(r => r.cells[" +
         std::to_string(n - 1) + "].textContent)";
}

// Whether the heading and every cell of column `n` are displayed.
std::string column_shown(int n) {
  return "[...document.querySelectorAll('#library tr')].map(r => getComputedStyle(r.children[" +
         std::to_string(n - 1) + "]).display !== 'none')";
}

TEST(WebmenuInBrowser, SortsByHeadingAndTogglesColumns) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Browser Library";
  for (const char* icon : {"favicon.png", "QLML.png", "html.png", "pdf.png"}) {
    write_file(root + "/assets/" + icon, kTinyPng);
  }
  write_file(root + "/assets/favicon.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>\n");
  const Document documents[] = {{"QL-WI-0020", "Valve check", "Bo"},
                                {"ql-wi-0030", "Filter swap", "Cy"},
                                {"QL-WI-0010", "Pump start", "Al"},
                                {"QL-WI-0005", "Leak test", "Di"}};
  for (const Document& d : documents) {
    const std::string folder = d.number + " - " + d.title;
    write_file(root + "/" + folder + "/" + folder + ".qlml",
               "Number | " + d.number + "\nTitle | " + d.title + "\nAuthor | " + d.author + "\n");
  }
  const auto run = run_morvalen_binary({"-w"}, root);
  ASSERT_EQ(run.exit_status, 0) << run.err;

  HeadlessBrowser browser;
  browser.open(file_url(root + "/WebMenu.html"));
  ASSERT_EQ(browser.evaluate("typeof Tablesort"), "function");
  ASSERT_EQ(browser.evaluate("document.querySelectorAll('#library tbody tr').length"), 4);

  // Sorting ignores case: ql-wi-0030 sorts last.
  const std::vector<std::string> ascending = {"QL-WI-0005", "QL-WI-0010", "QL-WI-0020",
                                              "ql-wi-0030"};
  std::vector<std::string> descending(ascending.rbegin(), ascending.rend());
  browser.click("#library th.col02");
  EXPECT_EQ(texts(browser.evaluate(column_texts(2))), ascending) << "first click on Number";
  EXPECT_EQ(
      browser.evaluate("document.querySelector('#library th.col02').getAttribute('aria-sort')"),
      "ascending");
  browser.click("#library th.col02");
  EXPECT_EQ(texts(browser.evaluate(column_texts(2))), descending) << "second click on Number";
  EXPECT_EQ(
      browser.evaluate("document.querySelector('#library th.col02').getAttribute('aria-sort')"),
      "descending");
  // The other cells moved with their row.
  EXPECT_EQ(texts(browser.evaluate(column_texts(4))),
            (std::vector<std::string>{"Filter swap", "Valve check", "Pump start", "Leak test"}));

  const std::vector<bool> all_shown(5, true);
  const std::vector<bool> all_hidden(5, false);
  for (int column = 1; column <= 16; ++column) {
    EXPECT_EQ(browser.evaluate(column_shown(column)).get<std::vector<bool>>(),
              column <= 4 ? all_shown : all_hidden)
        << "column " << column << " on first display";
  }
  browser.click("input.toggle-column-04");
  EXPECT_EQ(browser.evaluate("document.querySelector('input.toggle-column-04').checked"), false);
  EXPECT_EQ(browser.evaluate(column_shown(4)).get<std::vector<bool>>(), all_hidden)
      << "Title unchecked";
  browser.click("input.toggle-column-06");
  EXPECT_EQ(browser.evaluate(column_shown(6)).get<std::vector<bool>>(), all_shown)
      << "Author checked";
  EXPECT_EQ(texts(browser.evaluate(column_texts(6))),
            (std::vector<std::string>{"Cy", "Bo", "Al", "Di"}));
  EXPECT_EQ(browser.evaluate(column_shown(2)).get<std::vector<bool>>(), all_shown)
      << "Number untouched";

  EXPECT_THAT(browser.errors(), testing::IsEmpty());

  // The example library's menu, with its real icons, sorts the same way.
  const std::string example = scratch.path() + "/example";
  copy_example_library(example);
  const auto example_run = run_morvalen_binary({"-w"}, example);
  ASSERT_EQ(example_run.exit_status, 0) << example_run.err;
  browser.open(file_url(example + "/WebMenu.html"));
  std::vector<std::string> numbers = texts(browser.evaluate(column_texts(2)));
  ASSERT_GE(numbers.size(), 3u);
  std::sort(numbers.begin(), numbers.end());
  browser.click("#library th.col02");
  EXPECT_EQ(texts(browser.evaluate(column_texts(2))), numbers) << "example library, ascending";
  browser.click("#library th.col02");
  EXPECT_EQ(texts(browser.evaluate(column_texts(2))),
            std::vector<std::string>(numbers.rbegin(), numbers.rend()))
      << "example library, descending";
  browser.click("input.toggle-column-04");
  EXPECT_EQ(browser.evaluate(column_shown(4)).get<std::vector<bool>>(),
            std::vector<bool>(numbers.size() + 1, false));
  EXPECT_THAT(browser.errors(), testing::IsEmpty());
}

TEST(WebmenuInBrowser, MissingBrowserFailsLoudly) {
  EXPECT_THROW(HeadlessBrowser("/nonexistent/chromium"), std::runtime_error);
}

}  // namespace
}  // namespace morvalen
