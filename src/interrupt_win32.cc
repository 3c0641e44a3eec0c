// The Win32 side of interrupt.h: a console control handler, which Windows runs on a thread
// of its own, so the cleanup may use any call. Ctrl-C and Ctrl-Break end the run with 130
// (128 + SIGINT), a closed console, a logoff or a shutdown with 129 (128 + SIGHUP).
#include <windows.h>

#include <cstdlib>
#include <string_view>

#include "interrupt.h"

namespace morvalen {
namespace {

BOOL WINAPI end_run(DWORD event) {
  const int status = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 129;
  undo_run_for_interrupt();
  constexpr std::string_view kMessage = "interrupted\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kMessage.data(),
              static_cast<DWORD>(kMessage.size()), &written, nullptr);
  std::_Exit(status);
}

}  // namespace

void end_run_cleanly_on_interrupt() { ::SetConsoleCtrlHandler(end_run, TRUE); }

}  // namespace morvalen
