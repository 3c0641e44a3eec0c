#include "write_qlml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

namespace morvalen {
namespace {

using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::snapshot_tree;
using testing_support::write_file;

Process named(std::string number, std::string title) {
  Process process;
  process.number = std::move(number);
  process.title = std::move(title);
  return process;
}

Process row(std::string number, std::string title, std::vector<std::string> templates = {}) {
  Process process = named(std::move(number), std::move(title));
  process.subject = "Pump P-101";
  process.product = "Running pump";
  process.author = "A. Author";
  process.reviewer = "R. Reviewer";
  process.templates = std::move(templates);
  return process;
}

TEST(WriteQlml, TemplateLines) {
  EXPECT_EQ(compose_template_lines(row("N", "T")), "//Template|Example.css");
  EXPECT_EQ(compose_template_lines(row("N", "T", {"Corporate.css"})), "Template|Corporate.css");
  EXPECT_EQ(compose_template_lines(row("N", "T", {"Corporate.css", "Wide.css"})),
            "Template|Corporate.css\nTemplate|Wide.css");
}

TEST(WriteQlml, DraftLinesReplacePlaceholdersInOrder) {
  struct Case {
    Process process;
    std::string prototype_line, expected;
  };
  const Case cases[] = {
      {row("QL-1", "Pump"), "Number | $NUMBER", "Number | QL-1\n"},
      {row("QL-1", "Pump"), "Title|$TITLE ($TITLE)", "Title|Pump (Pump)\n"},
      {row("QL-1", "Pump"), "Subject|$SUBJECT, Product|$PRODUCT",
       "Subject|Pump P-101, Product|Running pump\n"},
      {row("QL-1", "Pump"), "$AUTHOR/$REVIEWER", "A. Author/R. Reviewer\n"},
      {row("QL-1", "Pump"), "Step | Check the pump", "Step | Check the pump\n"},
      {row("QL-1", "Pump"), "", "\n"},
      {row("QL-$TITLE-2", "Pump"), "Number|$NUMBER", "Number|QL-Pump-2\n"},  // replaced in order
      {row("QL-1", "$NUMBER"), "Title|$TITLE", "Title|$NUMBER\n"},           // no second pass
      {row("QL-1", "Pump"), "Template|$TEMPLATE", "//Template|Example.css\n"},
      {row("QL-1", "Pump", {"Corporate.css", "Wide.css"}), "  Template|$TEMPLATE  ",
       "  Template|Corporate.css\nTemplate|Wide.css  \n"},
      {row("QL-1", "Pump"), "Template | $TEMPLATE",
       "Template | $TEMPLATE\n"},  // only the exact fragment
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compose_draft_line(c.prototype_line, c.process, compose_template_lines(c.process)),
              c.expected)
        << c.prototype_line << " / " << c.process.number;
  }
}

}  // namespace
}  // namespace morvalen
