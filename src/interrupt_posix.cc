// The POSIX side of interrupt.h: SIGINT, SIGTERM and SIGHUP are blocked in every thread
// and taken by sigwait on a thread of their own, where the cleanup may use any call.
#include <signal.h>
#include <unistd.h>

#include <string_view>
#include <thread>

#include "interrupt.h"

namespace morvalen {
namespace {

void write_to_standard_error(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    if (written <= 0) return;  // a closed terminal takes nothing
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void end_run_cleanly_on_interrupt() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored by whoever started the run (nohup ignores SIGHUP) stays ignored.
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
      continue;
    sigaddset(&signals, signal_number);
  }
  // Blocked here, before any other thread exists, so every later thread inherits the mask
  // and only the waiting thread below ever takes these signals. Started programs get an
  // open mask back (subprocess_posix.cc).
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    int signal_number = 0;
    while (::sigwait(&signals, &signal_number) != 0) {
    }
    undo_run_for_interrupt();
    // A progress line may be showing on a terminal: the message starts on a clean line.
    if (::isatty(STDERR_FILENO) == 1) write_to_standard_error("\r\x1b[K");
    write_to_standard_error("interrupted\n");
    ::_exit(128 + signal_number);
  }).detach();
}

}  // namespace morvalen
