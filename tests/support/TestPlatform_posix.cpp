#include "support/TestPlatform.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "rtl/Process.h"
#include "rtl/Utf8.h"
#include "support/TempFile.h"

namespace fs = std::filesystem;

String ToString(const fs::path& path) { return Utf8BytesToString(path.native()); }
fs::path ToPath(const String& path) { return StringToUtf8Bytes(path); }
bool RunningUnderWine() { return false; }

std::optional<TStoredTimes> StoredTimes(const fs::path& path) {
  struct stat status;
  const auto time = [](const timespec& t) { return TFileTime{t.tv_sec, static_cast<std::uint32_t>(t.tv_nsec)}; };
  if (lstat(path.c_str(), &status) != 0) return std::nullopt;
  return TStoredTimes{time(status.st_mtim), time(status.st_atim)};
}

void MakeReadOnly(const fs::path& path) { chmod(path.c_str(), 0444); }

bool MakeLink(const fs::path& link, const fs::path& target, bool) { return symlink(target.c_str(), link.c_str()) == 0; }

void RemoveTree(const fs::path& path) {
  std::system(("chmod -R u+rwx '" + path.string() + "' 2>/dev/null; rm -rf '" + path.string() + "'").c_str());
}

fs::path ProgramPath() { return (ToPath(ExecutablePath()).parent_path() / TIDEMARK_PROGRAM_FROM_TESTS).lexically_normal(); }

TProgramRun RunProgram(const std::vector<String>& args, TOutput output, bool lockedOut) {
  std::vector<std::string> strings = {ProgramPath().string()};
  std::vector<char*> argv;
  for (const String& arg : args) strings.push_back(StringToUtf8Bytes(arg));
  for (std::string& arg : strings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto out = static_cast<int>(OpenTemporaryFile()), errors = static_cast<int>(OpenTemporaryFile());
  int pipeEnds[2] = {-1, -1};
  if (output == TOutput::BrokenPipe && (pipe2(pipeEnds, O_CLOEXEC) != 0 || close(pipeEnds[0]) != 0)) std::abort();
  const pid_t child = fork();
  if (child == 0) {
    alarm(60);  // outlives exec: a program that hangs ends after a minute
    if (lockedOut && (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE), prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH),
                      geteuid() == 0 && prctl(PR_CAPBSET_READ, CAP_DAC_OVERRIDE) != 0))
      _exit(125);
    dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
    if (output == TOutput::Closed) close(STDOUT_FILENO);
    dup2(output == TOutput::File ? out : output == TOutput::Full ? open("/dev/full", O_WRONLY) : pipeEnds[1], STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) continue;
  TProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), ReadFromStart(out), ReadFromStart(errors)};
  CloseTemporaryFile(out);
  CloseTemporaryFile(errors);
  return run;
}
