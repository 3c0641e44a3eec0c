#include "interrupt.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "files.h"
#include "subprocess.h"

namespace morvalen {
namespace {

// What the run would leave behind if it ended now.
struct RunRecord {
  std::mutex lock;
  std::atomic<bool> interrupted{false};
  std::map<std::string, TemporaryKind> temporaries;
  std::set<std::int64_t> programs;
};

// The one record of the process (see interrupt.h); never destroyed, so that an interrupt
// during the process's exit still finds it.
RunRecord& record() {
  static RunRecord* const the_record = new RunRecord;
  return *the_record;
}

// Removes `path`; a folder may still be receiving files from the run's other thread for a
// moment, so its removal is tried a few times.
void remove_now(const std::string& path, TemporaryKind kind) {
  namespace fs = std::filesystem;
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::error_code error;
    if (kind == TemporaryKind::File) {
      fs::remove(to_path(path), error);
    } else {
      fs::remove_all(to_path(path), error);
    }
    if (!fs::exists(fs::symlink_status(to_path(path), error))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

std::error_code make_temporary(const std::string& path, TemporaryKind kind,
                               const std::function<std::error_code()>& make) {
  RunRecord& run = record();
  const std::lock_guard<std::mutex> held(run.lock);
  const std::error_code error = make();
  if (!error) run.temporaries[path] = kind;
  return error;
}

std::error_code settle_temporary(const std::string& path,
                                 const std::function<std::error_code()>& settle) {
  RunRecord& run = record();
  const std::lock_guard<std::mutex> held(run.lock);
  const std::error_code error = settle();
  if (!error) run.temporaries.erase(path);
  return error;
}

void discard_temporary(const std::string& path) {
  RunRecord& run = record();
  const std::lock_guard<std::mutex> held(run.lock);
  const auto found = run.temporaries.find(path);
  remove_now(path, found == run.temporaries.end() ? TemporaryKind::Folder : found->second);
  if (found != run.temporaries.end()) run.temporaries.erase(found);
}

void record_temporary(const std::string& path, TemporaryKind kind) {
  RunRecord& run = record();
  const std::lock_guard<std::mutex> held(run.lock);
  run.temporaries[path] = kind;
}

void forget_temporary(const std::string& path) {
  RunRecord& run = record();
  const std::lock_guard<std::mutex> held(run.lock);
  run.temporaries.erase(path);
}

std::int64_t start_recorded_program(const std::function<std::int64_t()>& start) {
  RunRecord& run = record();
  const std::lock_guard<std::mutex> held(run.lock);
  const std::int64_t id = start();
  if (id >= 0) run.programs.insert(id);
  return id;
}

void forget_program(std::int64_t id) {
  RunRecord& run = record();
  const std::lock_guard<std::mutex> held(run.lock);
  run.programs.erase(id);
}

void stop_here_when_interrupted() {
  RunRecord& run = record();
  if (!run.interrupted.load()) return;
  // The interrupt holds the lock until the process ends.
  const std::lock_guard<std::mutex> held(run.lock);
}

void undo_run_for_interrupt() {
  RunRecord& run = record();
  run.interrupted = true;
  run.lock.lock();  // for good: nothing of the run starts or settles any more
  // The programs first: a browser must not write into a folder while it is removed.
  for (const std::int64_t id : run.programs) end_program_group_at_once(id);
  for (const auto& [path, kind] : run.temporaries) remove_now(path, kind);
}

}  // namespace morvalen
