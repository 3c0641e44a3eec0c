// interrupt.h: a run that is interrupted (Ctrl-C, kill, a closed terminal) leaves nothing
// of its own behind. Every temporary file and folder of the run, and every program it
// started, is recorded here while it exists; the interrupt ends those programs with all
// they started, removes those temporaries, says "interrupted" on standard error and ends
// the run with 128 + the signal's number (130 for Ctrl-C).
//
// The record is the one piece of state shared by the whole run: an interrupt comes at any
// moment and must find everything. It is kept under a lock that the interrupt takes and
// never gives back, so whatever the run does next that touches the record waits until the
// process is gone: a temporary is made, and a program is started, either before the
// interrupt sees the record (and is undone) or never. Outputs become final under the same
// lock, so a file is either in place and complete or removed as a temporary.
//
// interrupt.cc keeps the record; interrupt_posix.cc waits for the signals on a thread of
// its own (an interrupt_win32.cc would register a console control handler instead).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

namespace morvalen {

enum class TemporaryKind { File, Folder };

// From now on SIGINT, SIGTERM and SIGHUP end the run as described above. Call once at the
// start of main, before any other thread or program is started.
void end_run_cleanly_on_interrupt();

// Runs `make`, which creates the temporary at `path` exclusively, and records `path` when
// it succeeds: an interrupt from then on removes it (a folder with everything in it).
// Returns the error of `make`.
std::error_code make_temporary(const std::string& path, TemporaryKind kind,
                               const std::function<std::error_code()>& make);
// Runs `settle`, which puts the temporary at `path` in its final place (a rename), and
// forgets `path` when it succeeds. Returns the error of `settle`; on an error `path` is
// still a temporary of the run.
std::error_code settle_temporary(const std::string& path,
                                 const std::function<std::error_code()>& settle);
// Removes the temporary at `path` (a folder with everything in it) and forgets it.
void discard_temporary(const std::string& path);
// Records an output that is being built in place (an archive folder): an interrupt removes
// it like a temporary until it is forgotten.
void record_temporary(const std::string& path, TemporaryKind kind);
void forget_temporary(const std::string& path);

// Runs `start`, which starts a program and gives its id (subprocess_id), or -1; records
// the id, so that an interrupt ends the program and everything it started.
std::int64_t start_recorded_program(const std::function<std::int64_t()>& start);
// The program `id` has been ended and collected: nothing for an interrupt to end.
void forget_program(std::int64_t id);

// Waits for good when an interrupt is being handled; returns at once otherwise. For long
// loops that write outside the record (copying an archive), so they stop early.
void stop_here_when_interrupted();

// What the interrupt does before the process ends: ends every recorded program with all it
// started, then removes every recorded temporary. Keeps the record locked for good; called
// once, from the platform's interrupt handler.
void undo_run_for_interrupt();

}  // namespace morvalen
