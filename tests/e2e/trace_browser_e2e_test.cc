// Requirements.html written by the built qlml, opened in headless Chromium next to real
// procedure pages: the id column sorts in natural order, and every link opens the page of
// the verifying document at the step that holds the requirement.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devtools_pipe.h"
#include "headless_browser.h"
#include "names.h"
#include "read_qlml.h"
#include "test_support.h"
#include "write_html.h"

namespace morvalen {
namespace {

using testing_support::HeadlessBrowser;
using testing_support::read_whole_file;
using testing_support::run_program;
using testing_support::ScratchFolder;
using testing_support::source_dir;
using testing_support::write_file;

std::vector<std::string> texts(const nlohmann::json& values) {
  return values.get<std::vector<std::string>>();
}

constexpr const char* kIds =
    "[...document.querySelectorAll('#requirements tbody tr')]"
    ".map(r => r.cells[0].textContent)";

TEST(TraceInBrowser, SortsIdsNaturallyAndLinksOpenTheVerifyingSteps) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "/Browser Library";
  struct Document {
    std::string folder, text;
  };
  // A folder name with a blank, "#" and a letter beyond ASCII must still be reached.
  const Document documents[] = {
      {"QL-WI-0001 - Prüfstand #2",
       "Number | QL-WI-0001\nTitle | Prüfstand #2\n"
       "Verification | REQ-1 | Before any section | T\n"
       "Section | One\n  Step | First\n  Step | Second\n"
       "    Verification | REQ-10 | Ten | Inspection\n"},
      {"QL-WI-0002 - Valve",
       "Number | QL-WI-0002\nTitle | Valve\nSection | A\n  Step | A1\nSection | B\n"
       "  Step | B1\n    Verification | REQ-2 | Two | Demo\n"
       "    Verification | REQ-1 | One | A\n"},
  };
  for (const Document& document : documents) {
    const std::string path = root + "/" + document.folder + "/" + document.folder;
    write_file(path + ".qlml", document.text);
    generate_complete_html(path + ".html", read_qlml(path + ".qlml"));
  }
  write_file(root + "/assets/favicon.png",
             read_whole_file(source_dir() + "/examples/library/assets/favicon.png"));
  write_file(root + "/list.csv", "Requirement,Text\nREQ-10,Ten\nREQ-1,One\nREQ-2,Two\n");
  const auto run = run_program({QLML_BINARY, "trace", "--requirements", "list.csv"}, root);
  ASSERT_EQ(run.exit_status, 0) << run.err;

  HeadlessBrowser browser;
  browser.open(file_url(root + "/Requirements.html"));
  ASSERT_EQ(browser.evaluate("typeof Tablesort"), "function");
  EXPECT_EQ(texts(browser.evaluate(kIds)), (std::vector<std::string>{"REQ-10", "REQ-1", "REQ-2"}))
      << "the list's order first";
  browser.click("#requirements th.requirement");
  EXPECT_EQ(texts(browser.evaluate(kIds)), (std::vector<std::string>{"REQ-1", "REQ-2", "REQ-10"}));
  browser.click("#requirements th.requirement");
  EXPECT_EQ(texts(browser.evaluate(kIds)), (std::vector<std::string>{"REQ-10", "REQ-2", "REQ-1"}));
  EXPECT_EQ(browser.evaluate("document.querySelector('#requirements th.requirement')"
                             ".getAttribute('aria-sort')"),
            "descending");

  // Each verification: [id, page address, PDF address].
  const nlohmann::json links = browser.evaluate(
      "[...document.querySelectorAll('#requirements tbody tr')].flatMap(r =>"
      " [...r.querySelectorAll('td.verified-by li')].map(li => {"
      "   const a = li.querySelectorAll('a'); return [r.cells[0].textContent, a[0].href, a[1].href];"
      " }))");
  ASSERT_EQ(links.size(), 4u);
  EXPECT_THAT(browser.errors(), testing::IsEmpty());
  for (const nlohmann::json& link : links) {
    const std::string rid = link[0];
    const std::string page = link[1];
    const std::string pdf = link[2];
    const std::string page_file = page.substr(0, page.find('#'));
    EXPECT_EQ(pdf, page_file.substr(0, page_file.size() - 5) + ".pdf") << rid;
    // From the matrix each time: a link into the page already open would only scroll it.
    browser.open(file_url(root + "/Requirements.html"));
    browser.open(page);
    const std::string title = browser.evaluate("document.title");
    // The anchor of the step, where the page has one, and the requirement box in that step.
    const std::string step_text = browser.evaluate(
        "(() => { const name = decodeURIComponent(location.hash.slice(1));"
        " if (!name) return 'no anchor';"
        " const anchors = document.getElementsByName(name);"
        " return anchors.length === 1 ? anchors[0].closest('div.step').textContent : 'missing'; })()");
    if (rid == "REQ-10") {
      EXPECT_EQ(title, "QL-WI-0001 \"Prüfstand #2\"");
      EXPECT_THAT(page, testing::EndsWith("#Step1.2"));
      EXPECT_THAT(step_text, testing::HasSubstr("REQ-10: \"Ten\""));
    } else if (rid == "REQ-2") {
      EXPECT_EQ(title, "QL-WI-0002 \"Valve\"");
      EXPECT_THAT(page, testing::EndsWith("#Step2.1"));
      EXPECT_THAT(step_text, testing::HasSubstr("REQ-2: \"Two\""));
    } else if (title == "QL-WI-0002 \"Valve\"") {
      EXPECT_THAT(step_text, testing::HasSubstr("REQ-1: \"One\"")) << rid;
    } else {
      // Before the first section: the page has no step for it, the link opens the page.
      EXPECT_EQ(title, "QL-WI-0001 \"Prüfstand #2\"") << rid;
      EXPECT_EQ(step_text, "no anchor");
    }
  }
}

}  // namespace
}  // namespace morvalen
