#include "support/RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "rtl/Utf8.h"
#include "support/TempFile.h"

TProgramRun RunExecutable(const std::filesystem::path& programPath, const std::vector<String>& args,
                          TProgramOutput output, const std::vector<std::string>& environment) {
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
  const auto outFile = static_cast<int>(OpenTemporaryFile());
  const auto errFile = static_cast<int>(OpenTemporaryFile());
  int pipeFds[2] = {-1, -1};
  switch (output) {
    case TProgramOutput::File: posix_spawn_file_actions_adddup2(&actions, outFile, STDOUT_FILENO); break;
    case TProgramOutput::Closed: posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO); break;
    case TProgramOutput::BrokenPipe:
      if (pipe(pipeFds) != 0) std::abort();
      close(pipeFds[0]);
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
      break;
  }
  posix_spawn_file_actions_adddup2(&actions, errFile, STDERR_FILENO);

  TProgramRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A death by signal shows as its negated number.
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (pipeFds[1] >= 0) close(pipeFds[1]);
  run.output = ReadFromStart(outFile);
  run.errors = ReadFromStart(errFile);
  CloseTemporaryFile(outFile);
  CloseTemporaryFile(errFile);
  return run;
}
