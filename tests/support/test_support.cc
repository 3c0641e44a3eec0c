#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "fatal.h"
#include "files.h"

namespace fs = std::filesystem;

namespace morvalen::testing_support {

ScratchFolder::ScratchFolder() {
  std::error_code error;
  path_ = make_temporary_folder("morvalen-test-", error);
  if (error) throw std::runtime_error("cannot make a scratch folder: " + error.message());
  previous_ = from_path(fs::current_path());
  fs::current_path(to_path(path_));
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::current_path(to_path(previous_), ignored);
  // Tests may leave folders without write or search permission behind, and read-only files,
  // which Windows does not delete.
  for (auto it = fs::recursive_directory_iterator(
           to_path(path_), fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_symlink(ignored)) continue;
    fs::permissions(it->path(),
                    it->is_directory(ignored) ? fs::perms::owner_all : fs::perms::owner_write,
                    fs::perm_options::add, ignored);
  }
  fs::remove_all(to_path(path_), ignored);
}

std::string fatal_message_of(const std::function<void()>& body) {
  try {
    body();
  } catch (const FatalStop& stop) {
    return stop.message;
  }
  return "<no fatal stop>";
}

void write_file(const std::string& path, const std::string& content) {
  const fs::path target = to_path(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_whole_file(const std::string& path) {
  std::ifstream in(to_path(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::map<std::string, std::string> snapshot_tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(
           to_path(root), fs::directory_options::skip_permission_denied, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string relative = from_path(fs::relative(it->path(), to_path(root)));
    if (it->is_symlink(error)) {
      tree[relative + "@"] = from_path(fs::read_symlink(it->path(), error));
      it.disable_recursion_pending();
    } else if (it->is_directory(error)) {
      tree[relative + "/"] = "";
    } else {
      tree[relative] = read_whole_file(from_path(it->path()));
    }
  }
  return tree;
}

#ifndef _WIN32
namespace {

std::string drain(int fd_out, int fd_err, std::string& err_text) {
  std::string out_text;
  pollfd fds[2] = {{fd_out, POLLIN, 0}, {fd_err, POLLIN, 0}};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t got = ::read(fds[k].fd, buffer, sizeof buffer);
      if (got <= 0) {
        ::close(fds[k].fd);
        fds[k].fd = -1;
        --open_count;
      } else {
        (k == 0 ? out_text : err_text).append(buffer, static_cast<std::size_t>(got));
      }
    }
  }
  return out_text;
}

}  // namespace

RunResult run_program(const std::vector<std::string>& argv, const std::string& cwd,
                      const std::string& path_prefix) {
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    const int null_in = ::open("/dev/null", O_RDONLY);
    if (null_in >= 0) ::dup2(null_in, 0);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    if (!path_prefix.empty()) {
      const char* old = std::getenv("PATH");
      const std::string path = path_prefix + ":" + (old ? old : "/usr/bin:/bin");
      ::setenv("PATH", path.c_str(), 1);
    }
    std::vector<char*> raw;
    for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
    raw.push_back(nullptr);
    ::execvp(raw[0], raw.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  RunResult result;
  result.out = drain(out_pipe[0], err_pipe[0], result.err);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

RunResult run_morvalen_binary(const std::vector<std::string>& args, const std::string& cwd,
                              const std::string& path_prefix) {
  std::vector<std::string> argv{morvalen_binary()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_program(argv, cwd, path_prefix);
}
#endif

std::string morvalen_binary() { return MORVALEN_BINARY; }
std::string source_dir() { return MORVALEN_SOURCE_DIR; }

void copy_example_library(const std::string& destination) {
  fs::copy(to_path(source_dir() + "/examples/library"), to_path(destination),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

}  // namespace morvalen::testing_support
