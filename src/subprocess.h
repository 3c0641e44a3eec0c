// subprocess.h: other programs: finding one, starting it, talking to it over a pipe pair,
// waiting for it with a deadline and ending it with everything it started.
//
// The one door to the system's processes: subprocess_posix.cc implements it with fork, exec
// and process groups; a subprocess_win32.cc beside it implements the same functions with
// CreateProcessW and a job object, so no caller changes. A started program leads a group
// of its own (its process group; its job object on Windows): ending it ends its helpers too,
// and whoever ends the run early (an interrupt, say) finds everything through the one
// Subprocess it holds.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace morvalen {

using SubprocessClock = std::chrono::steady_clock;

// What a started program is given besides its arguments. Its standard input, output and
// error are the null device either way: a browser's output is noise for the user.
enum class SubprocessPipes {
  None,
  // A pipe pair in the manner of Chromium's --remote-debugging-pipe: the program reads
  // commands from the first and writes replies to the second (its file descriptors 3 and
  // 4 on POSIX, handed over through the startup information on Windows).
  DevTools,
};

// How a program ended.
struct SubprocessEnd {
  bool exited = false;  // by itself, with `exit_status`
  int exit_status = 0;
  int signal = 0;  // the signal that ended it, when it did not exit (POSIX)
};

// The system's handles of a started program: defined by the implementation file.
struct SubprocessState;

// A started program, or none. Move-only; destroying it ends the program and everything it
// started (end_subprocess).
struct Subprocess {
  std::unique_ptr<SubprocessState> state;  // empty: nothing started, or ended and reaped

  Subprocess();
  Subprocess(Subprocess&& other) noexcept;
  Subprocess& operator=(Subprocess&& other) noexcept;
  ~Subprocess();
};

// What start_subprocess gives: the running program, or the error that kept it from
// running (not found, not executable, a bad interpreter line, no resources).
struct SubprocessStart {
  Subprocess subprocess;
  std::error_code error;
};

// The first of `names` that is an executable file in a folder of `search_path` (a PATH
// value: folders separated by ":" on POSIX, ";" on Windows, an empty entry meaning the
// current folder), tried name by name, each through all folders: the folder, "/" and the
// name.
std::optional<std::string> find_program(std::span<const std::string_view> names,
                                        std::string_view search_path);
// Whether this program runs with the rights of the superuser (root on POSIX).
bool running_as_superuser();

// Starts the program at the path `argv[0]` with `argv`, in a group of its own, with
// `pipes`. Files this program holds open are not passed on. The program is recorded for an
// interrupt (interrupt.h) until end_subprocess.
// `environment` holds "NAME=value" entries that the program gets besides (or instead of)
// this program's own.
SubprocessStart start_subprocess(const std::vector<std::string>& argv, SubprocessPipes pipes,
                                 const std::vector<std::string>& environment = {});
// The system's id of the program (its process id), or -1 when none runs.
std::int64_t subprocess_id(const Subprocess& subprocess);
// Waits until the program has ended, or until `deadline` when one is given: its end, or
// nothing when it still runs at the deadline (or none runs).
std::optional<SubprocessEnd> wait_for_subprocess(
    Subprocess& subprocess, std::optional<SubprocessClock::time_point> deadline = std::nullopt);
// Ends the program at once, if it still runs, with everything it started (the group is
// ended even when the program itself has already ended), collects it and closes the
// pipes. Afterwards `subprocess` holds none. Safe to call more than once.
void end_subprocess(Subprocess& subprocess);
// Ends the program `id` (subprocess_id) and everything it started at once, and waits a
// moment for them to be gone; for an interrupt (interrupt.h), which does not hold the
// Subprocess. The Subprocess, if still held, is collected by end_subprocess as usual.
void end_program_group_at_once(std::int64_t id);

// Writes all of `bytes` to the program's command pipe (SubprocessPipes::DevTools). False
// when the program has closed its end or gone, on any other error, or at `deadline`. A
// program that has gone never ends this one (no SIGPIPE).
bool write_to_subprocess(Subprocess& subprocess, std::string_view bytes,
                         SubprocessClock::time_point deadline);

enum class PipeRead {
  Data,      // bytes were appended
  Ended,     // the program closed its end: nothing more will come
  Failed,    // the pipe could not be read, or no program runs
  TimedOut,  // nothing came before the deadline
};

// Appends what the program has written to its reply pipe (SubprocessPipes::DevTools) to
// `bytes`, waiting until something comes or `deadline` passes.
PipeRead read_from_subprocess(Subprocess& subprocess, std::string& bytes,
                              SubprocessClock::time_point deadline);

}  // namespace morvalen
