#include "tests/e2e/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<nlohmann::json> SimResult::Of(const std::string& event) const {
  std::vector<nlohmann::json> found;
  for (const auto& e : events) {
    if (e.value("event", "") == event) found.push_back(e);
  }
  return found;
}

namespace {

std::vector<std::string> WithEvents(std::vector<std::string> args, const std::string& dir) {
  if (std::find(args.begin(), args.end(), "--events") == args.end()) {
    args.push_back("--events");
    args.push_back(dir + "/events.jsonl");
  }
  return args;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args, const std::string& dir,
                       const std::vector<std::string>& env)
    : ChildProcess(DROVEKEEPER_SIM_PATH, WithEvents(args, dir), dir, env) {
  if (std::find(args.begin(), args.end(), "--events") == args.end()) {
    events_path_ = dir + "/events.jsonl";
  }
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& dir, const std::vector<std::string>& env)
    : dir_(dir) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::string out = dir + "/stdout.txt";
  std::string err = dir + "/stderr.txt";
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> child_env(env);
  child_env.push_back("TZ=UTC");
  for (char** e = environ; *e != nullptr; ++e) child_env.push_back(*e);
  // The first entry of each name stays: the overrides, then TZ=UTC.
  std::vector<std::string> names;
  std::erase_if(child_env, [&](const std::string& entry) {
    std::string name = entry.substr(0, entry.find('='));
    if (std::find(names.begin(), names.end(), name) != names.end()) return true;
    names.push_back(name);
    return false;
  });
  std::vector<char*> raw_env;
  for (auto& e : child_env) raw_env.push_back(e.data());
  raw_env.push_back(nullptr);
  int failed = posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), raw_env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error(std::string("cannot start ") + raw[0]);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

std::optional<std::string> ChildProcess::WaitForOutput(const std::string& text,
                                                     std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::istringstream out(ReadFile(dir_ + "/stdout.txt"));
    for (std::string line; std::getline(out, line);) {
      if (line.find(text) != std::string::npos) return line;
    }
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) {
      pid_ = -1;
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

SimResult ChildProcess::Wait() {
  SimResult result;
  if (pid_ > 0) {
    waitpid(pid_, &status_, 0);
    pid_ = -1;
  }
  result.exit_code = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  result.out = ReadFile(dir_ + "/stdout.txt");
  result.err = ReadFile(dir_ + "/stderr.txt");
  if (!events_path_.empty()) {
    std::istringstream lines(ReadFile(events_path_));
    for (std::string line; std::getline(lines, line);) {
      result.events.push_back(nlohmann::json::parse(line));
    }
  }
  return result;
}

SimResult RunSim(const std::vector<std::string>& args, const std::string& dir,
                 const std::vector<std::string>& env) {
  SimProcess process(args, dir, env);
  return process.Wait();
}

}  // namespace e2e
