// The Win32 side of the platform seam, with Windows programs (stand_in.exe) in place of the
// POSIX scripts of the other tests.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files.h"
#include "pdf_printer.h"
#include "subprocess.h"
#include "test_support.h"

namespace morvalen {
namespace {

namespace fs = std::filesystem;
using testing_support::read_whole_file;
using testing_support::ScratchFolder;
using testing_support::write_file;

constexpr auto kPatience = std::chrono::seconds(20);

std::string stand_in() { return WINDOWS_STAND_IN; }

bool process_runs(DWORD id) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return false;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

// Names beyond ASCII survive the way from the program's UTF-8 strings to the system and
// back; files are replaced in place, by rename and by copy.
TEST(WindowsSeam, NonAsciiNamesAndReplacedFiles) {
  ScratchFolder scratch;
  const std::string folder = "Pumpe \u00d6lstand \u6587";
  fs::create_directory(to_path(folder));
  write_whole_file(folder + "/a.txt", "old", "open", "write");
  write_whole_file(folder + "/a.txt", "new", "open", "write");
  std::error_code error;
  EXPECT_EQ(read_file(folder + "/a.txt", error), "new");
  EXPECT_FALSE(error);
  EXPECT_FALSE(copy_file_replacing(folder + "/a.txt", folder + "/b.txt"));
  write_whole_file(folder + "/a.txt", "newer", "open", "write");
  EXPECT_FALSE(copy_file_replacing(folder + "/a.txt", folder + "/b.txt"));
  EXPECT_EQ(read_file(folder + "/b.txt", error), "newer");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(to_path("."))) {
    names.push_back(from_path(entry.path().filename()));
  }
  EXPECT_EQ(names, std::vector<std::string>{folder});
  EXPECT_EQ(from_path(to_path(folder + "\\a.txt")), folder + "/a.txt");
  EXPECT_EQ(remove_file(folder + "/missing.txt"), std::errc::no_such_file_or_directory);
  EXPECT_TRUE(file_stamp(folder + "/b.txt").has_value());
}

TEST(WindowsSeam, ExitStatusesAndStartFailures) {
  ScratchFolder scratch;
  SubprocessStart started = start_subprocess({stand_in(), "exit", "3"}, SubprocessPipes::None);
  ASSERT_FALSE(started.error) << started.error.message();
  const std::optional<SubprocessEnd> end =
      wait_for_subprocess(started.subprocess, SubprocessClock::now() + kPatience);
  ASSERT_TRUE(end.has_value());
  EXPECT_TRUE(end->exited);
  EXPECT_EQ(end->exit_status, 3);
  SubprocessStart missing = start_subprocess({"C:/nowhere/none.exe"}, SubprocessPipes::None);
  EXPECT_EQ(missing.error, std::errc::no_such_file_or_directory);
}

// A program still running at its deadline is ended with everything it started.
TEST(WindowsSeam, DeadlineEndsTheProgramAndItsChildren) {
  ScratchFolder scratch;
  SubprocessStart started =
      start_subprocess({stand_in(), "hang", "child.pid"}, SubprocessPipes::None);
  ASSERT_FALSE(started.error) << started.error.message();
  DWORD child = 0;
  const auto give_up = SubprocessClock::now() + kPatience;
  while (child == 0 && SubprocessClock::now() < give_up) {
    std::istringstream(read_whole_file("child.pid")) >> child;
    if (child == 0) ::Sleep(20);
  }
  ASSERT_NE(child, 0u);
  EXPECT_EQ(wait_for_subprocess(started.subprocess,
                                SubprocessClock::now() + std::chrono::milliseconds(200)),
            std::nullopt);
  const auto parent = static_cast<DWORD>(subprocess_id(started.subprocess));
  end_subprocess(started.subprocess);
  EXPECT_FALSE(process_runs(parent));
  EXPECT_FALSE(process_runs(child));
}

// The pipe pair arrives as the program's descriptors 3 and 4.
TEST(WindowsSeam, DevToolsPipePair) {
  ScratchFolder scratch;
  SubprocessStart started = start_subprocess({stand_in(), "echo"}, SubprocessPipes::DevTools);
  ASSERT_FALSE(started.error) << started.error.message();
  const std::string message(100000, 'x');
  ASSERT_TRUE(write_to_subprocess(started.subprocess, message + "\u00e9",
                                  SubprocessClock::now() + kPatience));
  std::string echoed;
  while (echoed.size() < message.size() + 2) {
    const PipeRead read =
        read_from_subprocess(started.subprocess, echoed, SubprocessClock::now() + kPatience);
    ASSERT_EQ(read, PipeRead::Data);
  }
  EXPECT_EQ(echoed, message + "\u00e9");
  std::string nothing;
  EXPECT_EQ(read_from_subprocess(started.subprocess, nothing,
                                 SubprocessClock::now() + std::chrono::milliseconds(50)),
            PipeRead::TimedOut);
  end_subprocess(started.subprocess);
}

TEST(WindowsSeam, BrowserSearch) {
  EXPECT_EQ(windows_browser_locations("C:\\Users\\u\\AppData\\Local"),
            (std::vector<std::string>{
                "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe",
                "C:\\Program Files (x86)\\Google\\Chrome\\Application\\chrome.exe",
                "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\Application\\chrome.exe",
                "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe"}));
  EXPECT_EQ(windows_browser_locations("").size(), 3u);
  ScratchFolder scratch;
  write_file("a/chrome.exe", "");
  write_file("b/msedge.exe", "");
  fs::create_directories("c/chrome.exe");  // a folder is no program
  EXPECT_EQ(find_program(kBrowserNames, "c;b;a"), "a\\chrome.exe");
  EXPECT_EQ(find_program(kBrowserNames, "c;\"b\\\""), "b\\msedge.exe");
  EXPECT_EQ(find_program(kBrowserNames, "c"), std::nullopt);
}

// The per-document way with a stand-in browser on PATH; an old PDF that a viewer holds
// locked is reported and left alone.
TEST(WindowsSeam, PrintsAndReportsALockedPdf) {
  ScratchFolder scratch;
  fs::create_directories("bin");
  ASSERT_TRUE(::CopyFileW(to_path(stand_in()).c_str(), L"bin\\chrome.exe", FALSE));
  const std::string old_path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  ASSERT_EQ(::_putenv_s("PATH", (scratch.path() + "/bin").c_str()), 0);
  write_file("N/N.html", "<html></html>");
  std::ostringstream out;
  PdfPrinter printer(1, true, out);
  EXPECT_TRUE(printer.print("./N/N.html", "./N/N.pdf")) << printer.get_failure();
  EXPECT_NE(read_whole_file("N/N.pdf").find("N.html"), std::string::npos);
  EXPECT_NE(out.str().find("chrome.exe"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find(" --headless "), std::string::npos) << out.str();

  const HANDLE viewer =
      ::CreateFileW(L"N\\N.pdf", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(printer.print("./N/N.html", "./N/N.pdf"));
  EXPECT_NE(printer.get_failure().find("is it open in another program?"), std::string::npos)
      << printer.get_failure();
  ::CloseHandle(viewer);
  ::_putenv_s("PATH", old_path.c_str());
}

// The kept browser over the DevTools pipe: every page of a folder whose name a URL must
// encode reaches the browser as a file:///C:/... address; a page that is no file fails alone.
TEST(WindowsSeam, KeptBrowserPrintsManyPages) {
  ScratchFolder scratch;
  fs::create_directories("bin");
  ASSERT_TRUE(::CopyFileW(to_path(PRINTER_STAND_IN).c_str(), L"bin\\chrome.exe", FALSE));
  const std::string old_path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  ASSERT_EQ(::_putenv_s("PATH", (scratch.path() + "/bin").c_str()), 0);
  const std::string folder = "QL-1 - Pumpe #2 \u00d6l";
  write_file(folder + "/A.html", "<html></html>");
  write_file(folder + "/B.html", "<html></html>");
  std::ostringstream out;
  PdfPrinter printer(3, true, out);
  EXPECT_TRUE(printer.print(folder + "/A.html", folder + "/A.pdf")) << printer.get_failure();
  EXPECT_FALSE(printer.print(folder + "/C.html", folder + "/C.pdf"));
  EXPECT_TRUE(printer.print(folder + "/B.html", folder + "/B.pdf")) << printer.get_failure();
  ::_putenv_s("PATH", old_path.c_str());
  EXPECT_EQ(read_whole_file(folder + "/B.pdf"),
            "%PDF-1.4 stand-in, kept browser, for B.html\n%%EOF\n");
  EXPECT_TRUE(path_exists(folder + "/A.pdf"));
  EXPECT_FALSE(path_exists(folder + "/C.pdf"));
  EXPECT_EQ(out.str().find("--print-to-pdf"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace morvalen
