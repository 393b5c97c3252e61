#include "support/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

#include "rtl/Utf8.h"
#include "support/TempFile.h"

namespace {

using Clock = std::chrono::steady_clock;

bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// Reads the pipe up to its writer's end or the deadline. With OneLine, single bytes up to and
// including the first line end, so that nothing beyond the first line is taken from the pipe.
std::string ReadPipe(int fd, Clock::time_point deadline, bool oneLine) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd ready{fd, POLLIN, 0};
    const int count = poll(&ready, 1, left < 0 ? 0 : static_cast<int>(left));
    if (count < 0 && errno == EINTR) continue;
    const ssize_t got = count > 0 ? read(fd, buffer, oneLine ? 1 : sizeof buffer) : 0;
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
    if (oneLine && buffer[0] == '\n') return text;
  }
}

// Reads nothing until the pipe is full (or its writer has ended), so that a writer that may
// not block meets a full pipe; then reads everything up to the writer's end.
std::string ReadOnceFull(int fd, pid_t pid, Clock::time_point deadline) {
  // A page of the pipe takes writes while they fit; the program's lines are far shorter than
  // 512 bytes, so a full pipe holds at least this much.
  const int capacity = fcntl(fd, F_GETPIPE_SZ);
  const int full = capacity - capacity / 4096 * 512;
  for (int queued = 0; queued < full && !Ended(pid) && Clock::now() < deadline;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ioctl(fd, FIONREAD, &queued);
  }
  // Time for the writer's next line to meet the full pipe.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return ReadPipe(fd, deadline, false);
}

}  // namespace

bool ProgramOutputSupported(TProgramOutput) { return true; }

TProgramRun RunExecutable(const std::filesystem::path& programPath, const std::vector<String>& args,
                          TProgramOutput output, const std::vector<std::string>& environment) {
  const Clock::time_point deadline = Clock::now() + ProgramTimeLimit;
  const std::string program = programPath.string();
  std::vector<std::string> argStrings{program};
  for (const String& arg : args) argStrings.push_back(StringToUtf8Bytes(arg));
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  extern char** environ;
  std::vector<char*> envp;
  for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const auto outFile = static_cast<int>(OpenTemporaryFile()), errFile = static_cast<int>(OpenTemporaryFile());
  // Both ends close in the child on exec; only the copy made its standard output stays.
  int pipeFds[2] = {-1, -1};
  switch (output) {
    case TProgramOutput::File: posix_spawn_file_actions_adddup2(&actions, outFile, STDOUT_FILENO); break;
    case TProgramOutput::Closed: posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO); break;
    case TProgramOutput::DiskFull:
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
      break;
    default:  // a pipe
      if (pipe2(pipeFds, O_CLOEXEC) != 0) std::abort();
      // The status flags belong to the pipe end, which the child's copy shares.
      if (output == TProgramOutput::NonBlockingPipe) fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
      if (output == TProgramOutput::BrokenPipe) close(std::exchange(pipeFds[0], -1));
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  }
  posix_spawn_file_actions_adddup2(&actions, errFile, STDERR_FILENO);

  TProgramRun run;
  pid_t pid = 0;
  const bool started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  // The pipe's writer is the child's alone now, so the reader sees its end when it ends.
  if (pipeFds[1] >= 0) close(pipeFds[1]);
  if (started && output == TProgramOutput::OneLineReader) run.firstLine = ReadPipe(pipeFds[0], deadline, true);
  if (started && output == TProgramOutput::NonBlockingPipe) run.output = ReadOnceFull(pipeFds[0], pid, deadline);
  if (pipeFds[0] >= 0) close(pipeFds[0]);
  // The child's exit code, or its negated signal number; after the deadline it is killed.
  int status = 0;
  pid_t done = 0;
  while (started && (done = waitpid(pid, &status, WNOHANG)) == 0 && !(run.timedOut = Clock::now() >= deadline))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (run.timedOut) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (started && done >= 0) run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  if (output == TProgramOutput::File) run.output = ReadFromStart(outFile);
  run.errors = ReadFromStart(errFile);
  CloseTemporaryFile(outFile);
  CloseTemporaryFile(errFile);
  return run;
}
