// The POSIX side of subprocess.h: fork and exec, process groups, pipes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "interrupt.h"
#include "subprocess.h"

namespace morvalen {

struct SubprocessState {
  pid_t pid = -1;
  bool reaped = false;
  int to_program = -1;    // our end of its fd 3
  int from_program = -1;  // our end of its fd 4
};

namespace {

std::error_code errno_code() { return std::error_code(errno, std::generic_category()); }

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Every wait is bounded: a program that stops answering must never hang the run.
int milliseconds_left(SubprocessClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SubprocessClock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

SubprocessEnd end_of(int status) {
  SubprocessEnd end;
  if (WIFEXITED(status)) {
    end.exited = true;
    end.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    end.signal = WTERMSIG(status);
  }
  return end;
}

bool is_executable_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// Pipes made with close-on-exec, so that no other program started meanwhile inherits them.
bool make_pipe(int ends[2]) { return ::pipe2(ends, O_CLOEXEC) == 0; }

// In the child between fork and exec: only async-signal-safe calls. Sets up the standard
// streams and the pipe pair, then runs the program; reports errno on `report` when it
// cannot.
[[noreturn]] void exec_child(char* const* argv, char* const* environment, int report, int reads,
                             int writes) {
  ::setpgid(0, 0);
  // The run blocks its interrupt signals for the thread that handles them (interrupt.h);
  // the program starts with none blocked.
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Move every end we keep above the target numbers first, so no dup2 below closes one.
  report = ::fcntl(report, F_DUPFD_CLOEXEC, 10);
  if (reads >= 0) reads = ::fcntl(reads, F_DUPFD, 10);
  if (writes >= 0) writes = ::fcntl(writes, F_DUPFD, 10);
  const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd >= 0) {
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::dup2(null_fd, 2);
  }
  unsigned int first_closed = 3;
  if (reads >= 0 && writes >= 0) {
    ::dup2(reads, 3);
    ::dup2(writes, 4);
    first_closed = 5;
  }
  // Files this process happened to have open stay out of the program.
  ::syscall(SYS_close_range, first_closed, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */);
  ::execve(argv[0], argv, environment);
  const int code = errno;
  if (::write(report, &code, sizeof code) < 0) ::_exit(127);
  ::_exit(127);
}

}  // namespace

Subprocess::Subprocess() = default;
Subprocess::Subprocess(Subprocess&& other) noexcept = default;

Subprocess& Subprocess::operator=(Subprocess&& other) noexcept {
  if (this != &other) {
    end_subprocess(*this);
    state = std::move(other.state);
  }
  return *this;
}

Subprocess::~Subprocess() { end_subprocess(*this); }

std::optional<std::string> find_program(std::span<const std::string_view> names,
                                        std::string_view search_path) {
  for (const std::string_view name : names) {
    std::size_t start = 0;
    while (start <= search_path.size()) {
      std::size_t end = search_path.find(':', start);
      if (end == std::string_view::npos) end = search_path.size();
      std::string folder(search_path.substr(start, end - start));
      if (folder.empty()) folder = ".";
      const std::string candidate = folder + "/" + std::string(name);
      if (is_executable_file(candidate)) return candidate;
      start = end + 1;
    }
  }
  return std::nullopt;
}

bool running_as_superuser() { return ::geteuid() == 0; }

SubprocessStart start_subprocess(const std::vector<std::string>& argv, SubprocessPipes pipes,
                                 const std::vector<std::string>& environment) {
  SubprocessStart start;
  if (argv.empty()) {
    start.error = std::make_error_code(std::errc::no_such_file_or_directory);
    return start;
  }
  int program_reads[2] = {-1, -1};   // its fd 3
  int program_writes[2] = {-1, -1};  // its fd 4
  int exec_report[2] = {-1, -1};     // closed by a successful exec, else carries errno
  const auto close_all = [&] {
    for (int* ends : {program_reads, program_writes, exec_report}) {
      close_fd(ends[0]);
      close_fd(ends[1]);
    }
  };
  const bool with_pipes = pipes == SubprocessPipes::DevTools;
  if ((with_pipes && (!make_pipe(program_reads) || !make_pipe(program_writes))) ||
      !make_pipe(exec_report)) {
    start.error = errno_code();
    close_all();
    return start;
  }
  // Everything the child needs is prepared before fork.
  std::vector<char*> raw;
  for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
  raw.push_back(nullptr);
  std::vector<char*> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view entry(*variable);
    const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const auto& own) {
      const std::size_t equals = own.find('=');
      return entry.substr(0, entry.find('=')) == std::string_view(own).substr(0, equals);
    });
    if (!replaced) variables.push_back(*variable);
  }
  for (const std::string& own : environment) variables.push_back(const_cast<char*>(own.c_str()));
  variables.push_back(nullptr);
  // Forked while the interrupt's record is held, so an interrupt finds the group.
  int fork_error = 0;
  const pid_t child = static_cast<pid_t>(start_recorded_program([&]() -> std::int64_t {
    const pid_t forked = ::fork();
    if (forked < 0) {
      fork_error = errno;
      return -1;
    }
    if (forked == 0) {
      exec_child(raw.data(), variables.data(), exec_report[1], program_reads[0], program_writes[1]);
    }
    // Also here, so that the group exists before anyone could try to end it.
    ::setpgid(forked, forked);
    return forked;
  }));
  if (child < 0) {
    start.error = std::error_code(fork_error, std::generic_category());
    close_all();
    return start;
  }
  auto state = std::make_unique<SubprocessState>();
  state->pid = child;
  state->to_program = std::exchange(program_reads[1], -1);
  state->from_program = std::exchange(program_writes[0], -1);
  close_fd(exec_report[1]);
  int code = 0;
  ssize_t got = 0;
  while ((got = ::read(exec_report[0], &code, sizeof code)) < 0 && errno == EINTR) {
  }
  close_all();
  start.subprocess.state = std::move(state);
  if (got == static_cast<ssize_t>(sizeof code)) {
    start.error = std::error_code(code, std::generic_category());
    end_subprocess(start.subprocess);
    return start;
  }
  for (const int fd : {start.subprocess.state->to_program, start.subprocess.state->from_program}) {
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  return start;
}

std::int64_t subprocess_id(const Subprocess& subprocess) {
  if (!subprocess.state || subprocess.state->reaped) return -1;
  return subprocess.state->pid;
}

std::optional<SubprocessEnd> wait_for_subprocess(
    Subprocess& subprocess, std::optional<SubprocessClock::time_point> deadline) {
  SubprocessState* state = subprocess.state.get();
  if (state == nullptr || state->reaped) return std::nullopt;
  int status = 0;
  while (true) {
    const pid_t reaped = ::waitpid(state->pid, &status, deadline ? WNOHANG : 0);
    if (reaped == state->pid) break;
    if (reaped < 0 && errno != EINTR) {
      // Not ours to wait for any more (someone else collected it): it has ended somehow.
      state->reaped = true;
      return SubprocessEnd{};
    }
    if (reaped == 0) {
      if (SubprocessClock::now() >= *deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  state->reaped = true;
  return end_of(status);
}

void end_subprocess(Subprocess& subprocess) {
  SubprocessState* state = subprocess.state.get();
  if (state == nullptr) return;
  // The group outlives its leader while helpers of the program are left in it.
  ::kill(-state->pid, SIGKILL);
  if (!state->reaped) {
    ::kill(state->pid, SIGKILL);
    int status = 0;
    while (::waitpid(state->pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  close_fd(state->to_program);
  close_fd(state->from_program);
  forget_program(state->pid);
  subprocess.state.reset();
}

void end_program_group_at_once(std::int64_t id) {
  if (id <= 0) return;
  const pid_t group = static_cast<pid_t>(id);
  ::kill(-group, SIGKILL);
  // The leader is this process's child: collected here unless the run's own wait got it
  // first. Its helpers go to init, which collects them; the group is gone when none is left.
  for (int waited = 0; waited < 200; ++waited) {
    int status = 0;
    ::waitpid(group, &status, WNOHANG);
    if (::kill(-group, 0) != 0 && errno == ESRCH) return;
    ::usleep(10000);
  }
}

// Writing to a pipe whose reader has gone raises SIGPIPE, whose default action would end
// the whole run. The signal is blocked around the write and a SIGPIPE that the write
// itself raised is taken off the pending set before the old mask comes back, so the
// program's death shows here as EPIPE and nothing else of this process changes.
bool write_to_subprocess(Subprocess& subprocess, std::string_view bytes,
                         SubprocessClock::time_point deadline) {
  if (!subprocess.state || subprocess.state->to_program < 0) return false;
  const int fd = subprocess.state->to_program;
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigset_t old_mask;
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  bool ok = true;
  bool broke = false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd wait_for{fd, POLLOUT, 0};
      const int left = milliseconds_left(deadline);
      if (left == 0) {
        ok = false;
        break;
      }
      if (::poll(&wait_for, 1, left) < 0 && errno != EINTR) {
        ok = false;
        break;
      }
      continue;
    }
    broke = written < 0 && errno == EPIPE;
    ok = false;
    break;
  }
  if (broke && !was_pending) {
    const timespec no_wait{0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  return ok;
}

PipeRead read_from_subprocess(Subprocess& subprocess, std::string& bytes,
                              SubprocessClock::time_point deadline) {
  if (!subprocess.state || subprocess.state->from_program < 0) return PipeRead::Failed;
  const int fd = subprocess.state->from_program;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, static_cast<std::size_t>(got));
      return PipeRead::Data;
    }
    if (got == 0) return PipeRead::Ended;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return PipeRead::Failed;
    const int left = milliseconds_left(deadline);
    if (left == 0) return PipeRead::TimedOut;
    pollfd wait_for{fd, POLLIN, 0};
    if (::poll(&wait_for, 1, left) < 0 && errno != EINTR) return PipeRead::Failed;
  }
}

}  // namespace morvalen
