// The printer of a run over many documents: one kept browser, its restart, the fallback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "browser_stand_ins.h"
#include "pdf_printer.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::fatal_message_of;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::write_file;
using testing_support::write_stand_in;

// `folder` first on PATH for the lifetime of the value.
class PathInFront {
 public:
  explicit PathInFront(const std::string& folder) {
    const char* old = std::getenv("PATH");
    old_ = old != nullptr ? old : "";
    ::setenv("PATH", (folder + ":" + old_).c_str(), 1);
  }
  ~PathInFront() { ::setenv("PATH", old_.c_str(), 1); }
  PathInFront(const PathInFront&) = delete;
  PathInFront& operator=(const PathInFront&) = delete;

 private:
  std::string old_;
};

void write_page(const std::string& path, const std::string& words) {
  write_file(path, "<!DOCTYPE html><html><body><h1>" + words + "</h1></body></html>");
}

// A stand-in that prints the per-document way but ends at once when asked for a pipe.
constexpr const char* kNoPipeBrowser =
    "#!/bin/sh\n"
    "for arg in \"$@\"; do\n"
    "  case \"$arg\" in\n"
    "    --remote-debugging-pipe) echo pipe >> \"$0.log\"; exit 1 ;;\n"
    "    --print-to-pdf=*) pdf=\"${arg#--print-to-pdf=}\" ;;\n"
    "  esac\n"
    "done\n"
    "echo print >> \"$0.log\"\n"
    "printf '%%PDF-1.4 stand-in %%%%EOF' > \"$pdf\"\n";

TEST(PdfPrinterPipe, OneDocumentOrNoPipeMeansOneBrowserPerPage) {
  ScratchFolder scratch;
  write_stand_in("bin/chromium", kNoPipeBrowser);
  PathInFront path(scratch.path() + "/bin");
  write_page("A.html", "A");
  struct Case {
    std::size_t documents;
    std::string log;
  };
  const Case cases[] = {{1, "print\nprint\n"}, {3, "pipe\nprint\nprint\n"}};
  for (const Case& c : cases) {
    fs::remove("bin/chromium.log");
    std::ostringstream out;
    PdfPrinter printer(c.documents, false, out);
    EXPECT_TRUE(printer.print("A.html", "A.pdf")) << c.documents;
    EXPECT_TRUE(printer.print("A.html", "B.pdf")) << c.documents;
    EXPECT_EQ(read_whole_file("bin/chromium.log"), c.log) << c.documents;
    EXPECT_EQ(read_whole_file("B.pdf"), "%PDF-1.4 stand-in %%EOF") << c.documents;
  }
}

TEST(PdfPrinterPipe, ABrowserThatCannotBeStartedIsAFatalStop) {
  ScratchFolder scratch;
  write_stand_in("bin/chromium", "#!/no/such/interpreter\n");
  PathInFront path(scratch.path() + "/bin");
  write_page("A.html", "A");
  std::ostringstream out;
  PdfPrinter printer(2, true, out);
  EXPECT_THAT(
      fatal_message_of([&] { printer.print("A.html", "A.pdf"); }),
      testing::StartsWith("failed to execute process: " + scratch.path() + "/bin/chromium: "));
  EXPECT_THAT(out.str(), testing::HasSubstr("--remote-debugging-pipe"));
}

}  // namespace
}  // namespace morvalen
