// The Win32 side of subprocess.h: CreateProcessW, a job object per started program (ending
// the job ends the program and everything it started), and the DevTools pipe pair handed
// over as the program's C runtime descriptors 3 and 4 through STARTUPINFO.lpReserved2.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <utility>

#include "interrupt.h"
#include "subprocess.h"
#include "text.h"
#include "win32.h"

namespace morvalen {

struct SubprocessState {
  HANDLE process = nullptr;
  HANDLE job = nullptr;
  DWORD id = 0;
  bool reaped = false;
  HANDLE to_program = INVALID_HANDLE_VALUE;    // our end of its descriptor 3
  HANDLE from_program = INVALID_HANDLE_VALUE;  // our end of its descriptor 4
  OVERLAPPED reading{};                        // a read of `from_program` under way
  bool read_pending = false;
  char buffer[65536];
};

namespace {

void close_handle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
}

// The job of every program still held by a Subprocess, by program id, for an interrupt.
std::mutex& started_jobs_lock() {
  static std::mutex* const lock = new std::mutex;
  return *lock;
}
std::map<DWORD, HANDLE>& started_jobs() {
  static auto* const jobs = new std::map<DWORD, HANDLE>;
  return *jobs;
}

DWORD milliseconds_left(SubprocessClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SubprocessClock::now());
  return left.count() <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left.count(), 1 << 30));
}

bool is_executable_file(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(to_wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A pipe whose one end (ours) is opened for overlapped reads or writes, so that every wait
// on it has a deadline, and whose other end can be inherited by the program.
bool make_pipe(bool we_read, HANDLE& ours, HANDLE& theirs) {
  static std::atomic<unsigned> counter{0};
  const std::wstring name = L"\\\\.\\pipe\\morvalen-" + std::to_wstring(::GetCurrentProcessId()) +
                            L"-" + std::to_wstring(counter++);
  ours = ::CreateNamedPipeW(
      name.c_str(),
      (we_read ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND) | FILE_FLAG_OVERLAPPED |
          FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 1 << 20,
      1 << 20, 0, nullptr);
  if (ours == INVALID_HANDLE_VALUE) return false;
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  theirs = ::CreateFileW(name.c_str(), we_read ? GENERIC_WRITE : GENERIC_READ, 0, &inherited,
                         OPEN_EXISTING, 0, nullptr);
  if (theirs == INVALID_HANDLE_VALUE) {
    close_handle(ours);
    return false;
  }
  return true;
}

// Waits for the overlapped operation `op` on `handle` until `deadline`; cancels it at the
// deadline. The bytes moved, or nothing with the error (WAIT_TIMEOUT at the deadline).
std::optional<DWORD> finish_overlapped(HANDLE handle, OVERLAPPED& op,
                                       SubprocessClock::time_point deadline, DWORD& error) {
  DWORD moved = 0;
  const DWORD waited = ::WaitForSingleObject(op.hEvent, milliseconds_left(deadline));
  if (waited == WAIT_OBJECT_0) {
    if (::GetOverlappedResult(handle, &op, &moved, FALSE)) return moved;
    error = ::GetLastError();
    return std::nullopt;
  }
  error = WAIT_TIMEOUT;
  return std::nullopt;
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
      std::size_t end = search_path.find(';', start);
      if (end == std::string_view::npos) end = search_path.size();
      std::string folder(search_path.substr(start, end - start));
      // PATH entries may be quoted when they hold a ';'.
      if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
        folder = folder.substr(1, folder.size() - 2);
      }
      if (folder.empty()) folder = ".";
      // A Windows path as the user wrote it in PATH, as -v shows it.
      const bool ends_in_separator = folder.back() == '\\' || folder.back() == '/';
      const std::string candidate = folder + (ends_in_separator ? "" : "\\") + std::string(name);
      if (is_executable_file(candidate)) return candidate;
      start = end + 1;
    }
  }
  return std::nullopt;
}

bool running_as_superuser() { return false; }

SubprocessStart start_subprocess(const std::vector<std::string>& argv, SubprocessPipes pipes,
                                 const std::vector<std::string>& environment) {
  SubprocessStart start;
  if (argv.empty()) {
    start.error = std::make_error_code(std::errc::no_such_file_or_directory);
    return start;
  }
  auto state = std::make_unique<SubprocessState>();
  HANDLE program_reads = INVALID_HANDLE_VALUE;   // its descriptor 3
  HANDLE program_writes = INVALID_HANDLE_VALUE;  // its descriptor 4
  HANDLE null_device = INVALID_HANDLE_VALUE;
  const auto close_theirs = [&] {
    close_handle(program_reads);
    close_handle(program_writes);
    close_handle(null_device);
  };
  const auto fail = [&](std::error_code error) {
    close_theirs();
    close_handle(state->to_program);
    close_handle(state->from_program);
    if (state->job != nullptr) ::CloseHandle(state->job);
    start.error = error;
    return std::move(start);
  };
  const bool with_pipes = pipes == SubprocessPipes::DevTools;
  if (with_pipes && (!make_pipe(false, state->to_program, program_reads) ||
                     !make_pipe(true, state->from_program, program_writes))) {
    return fail(last_windows_error());
  }
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  null_device =
      ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, OPEN_EXISTING, 0, nullptr);
  if (null_device == INVALID_HANDLE_VALUE) return fail(last_windows_error());

  // The C runtime's inherited descriptors: their count, a flag byte each, then the handles.
  constexpr unsigned char kOpen = 0x01, kPipe = 0x08, kDevice = 0x40;
  const int count = with_pipes ? 5 : 3;
  std::vector<unsigned char> descriptors(sizeof(int) + count * (1 + sizeof(HANDLE)));
  std::memcpy(descriptors.data(), &count, sizeof(int));
  HANDLE handles[5] = {null_device, null_device, null_device, program_reads, program_writes};
  for (int i = 0; i < count; ++i) {
    descriptors[sizeof(int) + i] = i < 3 ? (kOpen | kDevice) : (kOpen | kPipe);
    std::memcpy(descriptors.data() + sizeof(int) + count + i * sizeof(HANDLE), &handles[i],
                sizeof(HANDLE));
  }

  // Only these handles are passed on, not every inheritable one this process holds.
  HANDLE passed[3] = {null_device, program_reads, program_writes};
  const DWORD passed_count = with_pipes ? 3 : 1;
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<unsigned char> list_storage(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  if (!::InitializeProcThreadAttributeList(list, 1, 0, &list_size) ||
      !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, passed,
                                   passed_count * sizeof(HANDLE), nullptr, nullptr)) {
    return fail(last_windows_error());
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = null_device;
  startup.StartupInfo.hStdOutput = null_device;
  startup.StartupInfo.hStdError = null_device;
  startup.StartupInfo.cbReserved2 = static_cast<WORD>(descriptors.size());
  startup.StartupInfo.lpReserved2 = descriptors.data();
  startup.lpAttributeList = list;

  state->job = ::CreateJobObjectW(nullptr, nullptr);
  if (state->job == nullptr) {
    ::DeleteProcThreadAttributeList(list);
    return fail(last_windows_error());
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(state->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

  // This program's environment with `environment` over it, as a block of
  // NUL-terminated entries; none means the program inherits this one's.
  std::wstring environment_block;
  if (!environment.empty()) {
    std::vector<std::wstring> own;
    for (const std::string& entry : environment) own.push_back(to_wide(entry));
    const auto name_of = [](std::wstring_view entry) {
      return entry.substr(0, entry.find(L'=', 1));  // "=C:" entries keep their first "="
    };
    wchar_t* inherited_block = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = inherited_block; entry != nullptr && *entry != L'\0';
         entry += std::wcslen(entry) + 1) {
      const std::wstring_view current(entry);
      const bool replaced = std::any_of(own.begin(), own.end(), [&](const std::wstring& mine) {
        return _wcsicmp(std::wstring(name_of(mine)).c_str(),
                        std::wstring(name_of(current)).c_str()) == 0;
      });
      if (!replaced) environment_block.append(current).push_back(L'\0');
    }
    if (inherited_block != nullptr) ::FreeEnvironmentStringsW(inherited_block);
    for (const std::wstring& mine : own) environment_block.append(mine).push_back(L'\0');
    environment_block.push_back(L'\0');
  }
  std::wstring command_line = to_wide(windows_command_line(argv));
  const std::wstring application = to_wide(argv[0]);
  PROCESS_INFORMATION process{};
  // Suspended until it is in its job, so that nothing it starts escapes the job.
  const BOOL created =
      ::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP |
                           CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                       environment.empty() ? nullptr : environment_block.data(), nullptr,
                       &startup.StartupInfo, &process);
  const std::error_code create_error = created ? std::error_code() : last_windows_error();
  ::DeleteProcThreadAttributeList(list);
  if (!created) return fail(create_error);
  ::AssignProcessToJobObject(state->job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  close_theirs();
  state->process = process.hProcess;
  state->id = process.dwProcessId;
  // An interrupt ends the job (interrupt.h); the job also ends with this process, since it
  // kills its programs when its last handle closes.
  {
    const std::lock_guard<std::mutex> held(started_jobs_lock());
    started_jobs()[state->id] = state->job;
  }
  start_recorded_program([&state] { return static_cast<std::int64_t>(state->id); });
  state->reading.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  start.subprocess.state = std::move(state);
  return start;
}

std::int64_t subprocess_id(const Subprocess& subprocess) {
  if (!subprocess.state || subprocess.state->reaped) return -1;
  return subprocess.state->id;
}

std::optional<SubprocessEnd> wait_for_subprocess(
    Subprocess& subprocess, std::optional<SubprocessClock::time_point> deadline) {
  SubprocessState* state = subprocess.state.get();
  if (state == nullptr || state->reaped) return std::nullopt;
  const DWORD waited =
      ::WaitForSingleObject(state->process, deadline ? milliseconds_left(*deadline) : INFINITE);
  if (waited == WAIT_TIMEOUT) return std::nullopt;
  state->reaped = true;
  SubprocessEnd end;
  DWORD code = 0;
  if (waited == WAIT_OBJECT_0 && ::GetExitCodeProcess(state->process, &code)) {
    end.exited = true;
    end.exit_status = static_cast<int>(code);
  }
  return end;
}

void end_subprocess(Subprocess& subprocess) {
  SubprocessState* state = subprocess.state.get();
  if (state == nullptr) return;
  // The job outlives the program while helpers of it are left in it.
  if (state->job != nullptr) ::TerminateJobObject(state->job, 1);
  if (!state->reaped) {
    ::TerminateProcess(state->process, 1);
    ::WaitForSingleObject(state->process, INFINITE);
  }
  if (state->read_pending) {
    ::CancelIoEx(state->from_program, &state->reading);
    DWORD ignored = 0;
    ::GetOverlappedResult(state->from_program, &state->reading, &ignored, TRUE);
  }
  close_handle(state->to_program);
  close_handle(state->from_program);
  if (state->reading.hEvent != nullptr) ::CloseHandle(state->reading.hEvent);
  forget_program(state->id);
  {
    const std::lock_guard<std::mutex> held(started_jobs_lock());
    started_jobs().erase(state->id);
  }
  ::CloseHandle(state->process);
  if (state->job != nullptr) ::CloseHandle(state->job);
  subprocess.state.reset();
}

void end_program_group_at_once(std::int64_t id) {
  const std::lock_guard<std::mutex> held(started_jobs_lock());
  const auto found = started_jobs().find(static_cast<DWORD>(id));
  if (found == started_jobs().end() || found->second == nullptr) return;
  ::TerminateJobObject(found->second, 1);
  // Its files are closed once its processes are gone.
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  for (int waited = 0; waited < 200; ++waited) {
    if (!::QueryInformationJobObject(found->second, JobObjectBasicAccountingInformation,
                                     &accounting, sizeof accounting, nullptr) ||
        accounting.ActiveProcesses == 0) {
      return;
    }
    ::Sleep(10);
  }
}

bool write_to_subprocess(Subprocess& subprocess, std::string_view bytes,
                         SubprocessClock::time_point deadline) {
  if (!subprocess.state || subprocess.state->to_program == INVALID_HANDLE_VALUE) return false;
  const HANDLE pipe = subprocess.state->to_program;
  OVERLAPPED op{};
  op.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (op.hEvent == nullptr) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    ::ResetEvent(op.hEvent);
    if (!::WriteFile(pipe, bytes.data(), wanted, &written, &op)) {
      DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) {
        ok = false;
        break;
      }
      const std::optional<DWORD> moved = finish_overlapped(pipe, op, deadline, error);
      if (!moved) {
        ::CancelIoEx(pipe, &op);
        ::GetOverlappedResult(pipe, &op, &written, TRUE);
        ok = false;
        break;
      }
      written = *moved;
    } else if (!::GetOverlappedResult(pipe, &op, &written, FALSE)) {
      ok = false;
      break;
    }
    bytes.remove_prefix(written);
  }
  ::CloseHandle(op.hEvent);
  return ok;
}

PipeRead read_from_subprocess(Subprocess& subprocess, std::string& bytes,
                              SubprocessClock::time_point deadline) {
  SubprocessState* state = subprocess.state.get();
  if (state == nullptr || state->from_program == INVALID_HANDLE_VALUE) return PipeRead::Failed;
  const HANDLE pipe = state->from_program;
  // A read that timed out stays under way into the state's buffer and is collected by the
  // next call, so no byte is lost between calls.
  if (!state->read_pending) {
    ::ResetEvent(state->reading.hEvent);
    DWORD got = 0;
    if (::ReadFile(pipe, state->buffer, sizeof state->buffer, &got, &state->reading)) {
      if (!::GetOverlappedResult(pipe, &state->reading, &got, FALSE)) return PipeRead::Failed;
      if (got == 0) return PipeRead::Ended;
      bytes.append(state->buffer, got);
      return PipeRead::Data;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_BROKEN_PIPE) return PipeRead::Ended;
    if (error != ERROR_IO_PENDING) return PipeRead::Failed;
    state->read_pending = true;
  }
  DWORD error = 0;
  const std::optional<DWORD> got = finish_overlapped(pipe, state->reading, deadline, error);
  if (!got) {
    if (error == WAIT_TIMEOUT) return PipeRead::TimedOut;
    state->read_pending = false;
    return error == ERROR_BROKEN_PIPE ? PipeRead::Ended : PipeRead::Failed;
  }
  state->read_pending = false;
  if (*got == 0) return PipeRead::Ended;
  bytes.append(state->buffer, *got);
  return PipeRead::Data;
}

}  // namespace morvalen
