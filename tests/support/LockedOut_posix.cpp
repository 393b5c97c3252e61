#include "support/LockedOut.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

// Gives up the power to pass permission checks that root holds, so that a directory's
// permission bits bind this process as they bind its owner; a process without that power
// keeps what it has.
bool DropPermissionOverride() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct capabilities[2] = {};
  if (syscall(SYS_capget, &header, capabilities) != 0) return false;
  const std::uint32_t overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
  capabilities[0].effective &= ~overrides;
  capabilities[0].permitted &= ~overrides;
  capabilities[0].inheritable &= ~overrides;
  return syscall(SYS_capset, &header, capabilities) == 0;
}

// The child's side: gives up the override, runs the body and sends its result. Ends with
// _exit, so that nothing of the test runner's runs twice; the alarm ends a body that hangs.
[[noreturn]] void RunInChild(const std::function<std::string()>& body, int out) {
  if (!DropPermissionOverride()) _exit(2);
  alarm(60);
  try {
    const std::string result = body();
    for (std::size_t sent = 0; sent < result.size();) {
      const ssize_t count = write(out, result.data() + sent, result.size() - sent);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) _exit(3);
      sent += static_cast<std::size_t>(count);
    }
  } catch (...) {
    _exit(4);
  }
  _exit(0);
}

}  // namespace

TLockedDirectory::TLockedDirectory(const std::filesystem::path& directory, TLock lock) : fDirectory(directory) {
  // Listing locked: the owner may still write, so that the tree can be removed afterwards.
  fHolds = chmod(directory.c_str(), lock == TLock::Everything ? 0 : 0311) == 0;
}

TLockedDirectory::~TLockedDirectory() {
  if (fHolds) chmod(fDirectory.c_str(), 0755);
}

std::optional<std::string> RunLockedOut(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    RunInChild(body, fds[1]);
  }
  close(fds[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t count; (count = read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (count > 0) {
      result.append(buffer, static_cast<std::size_t>(count));
    } else if (errno != EINTR) {
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (child <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return result;
}
